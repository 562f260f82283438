// tesselarc-cli flash against tesselarc-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/process.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::RunCommand;
using test_support::SimProcess;

const Bytes kA{0, 3, 1, 2, 3},
    kB{0, 20, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

std::string FirmwareFile(const std::string& name, const std::string& extra = "") {
  // The version is read from the file name's fourth character on.
  const std::string dir = test_support::TempPath("flash");
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/" + name;
  std::ofstream out(path);
  for (const Bytes* r : {&kA, &kB}) {
    for (uint8_t b : *r) out << std::hex << (b >> 4) << (b & 15) << ' ';
  }
  out << extra << '\n';
  return path;
}

TEST(FlashOverPty, UpdatesTheEscRecordByRecord) {
  const std::string path = FirmwareFile("ESC0130.xup");
  // The second record is answered "again" once.
  SimProcess sim({"--answer-at", "19200", "--trace", "--verdicts", "11,00"});
  const auto r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "flash", path});
  sim.Stop();
  std::filesystem::remove_all(test_support::TempPath("flash"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Not a terminal: plain lines at the start, every 10 % and the end, never one per record.
  EXPECT_NE(r.err.find("flashing: started\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("flashing: 100% done in "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Transferring.."), std::string::npos) << r.err;
  // After the read: the version query, the loader entry and the records, nothing else.
  Bytes want{0xD7, 0xD6, 0xD6, 0xD6, 0xD6};
  for (const Bytes* r : {&kA, &kB, &kB}) want.insert(want.end(), r->begin(), r->end());
  const Bytes host = sim.TracedHostBytes();
  const auto start = std::find_end(host.begin(), host.end(), want.begin(), want.begin() + 5);
  EXPECT_EQ(Bytes(start, host.end()), want);
}

TEST(FlashOverPty, DamagedFileExitsTwoAndOlderVersionNeedsForce) {
  const std::string damaged = FirmwareFile("ESC0130.xup", "00 09 01");
  const std::string old_fw = FirmwareFile("ESC0110.xup");
  SimProcess sim({"--answer-at", "19200", "--trace"});
  const auto bad = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "flash", damaged});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("needs 11 bytes but only 3 remain"), std::string::npos) << bad.err;
  EXPECT_TRUE(sim.TracedHostBytes().empty());

  // "BB" that lost its last digit would go out as 0x0B with the records still chaining.
  std::string lost = damaged.substr(0, damaged.rfind('/')) + "/ESC0131.xup";
  std::ofstream(lost) << "00 03 01 02 BB 00 01 B\n";
  const auto lost_digit = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "flash", lost});
  EXPECT_EQ(lost_digit.exit_code, 2);
  EXPECT_NE(lost_digit.err.find("stands alone"), std::string::npos) << lost_digit.err;
  EXPECT_TRUE(sim.TracedHostBytes().empty());

  const auto old = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "flash", old_fw});
  EXPECT_EQ(old.exit_code, 1);
  EXPECT_NE(old.err.find("tesselarc-cli: version old: ESC0110 is older than ESC0120: use --force "
                         "to flash an older version; nothing was sent\n"),
            std::string::npos)
      << old.err;
  const Bytes host = sim.TracedHostBytes();
  EXPECT_EQ(std::count(host.begin(), host.end(), 0xD6), 0);
  const auto forced =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "flash", old_fw, "--force"});
  EXPECT_EQ(forced.exit_code, 0) << forced.err;
  std::filesystem::remove_all(test_support::TempPath("flash"));
}

}  // namespace
}  // namespace tessel
