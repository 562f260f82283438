// tesselarc-cli flash against tesselarc-sim --hid over its Unix socket: the LCD program box's
// block update end to end, with the bytes the virtual adapter received taken from its trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/process.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;

// The data bytes of every output report in a --hid --trace log ("O> 02 n d1 .. dn ...").
Bytes TracedOutputData(const std::string& trace) {
  Bytes bytes;
  std::istringstream in(trace);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("O>", 0) != 0) continue;
    std::istringstream fields(line.substr(2));
    std::vector<int> report;
    std::string hex;
    while (fields >> hex) report.push_back(std::stoi(hex, nullptr, 16));
    if (report.size() < 2 || report[0] != 2) continue;
    for (int i = 0; i < report[1] && 2 + i < static_cast<int>(report.size()); ++i) {
      bytes.push_back(static_cast<uint8_t>(report[2 + i]));
    }
  }
  return bytes;
}

class CliHidFlash : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_support::TempPath("hidflash");
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string WriteMasked(const std::string& name, const Bytes& image) {
    const std::string path = dir_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (uint8_t b : image) out.put(static_cast<char>(b ^ 0xB6));
    return path;
  }
  std::string dir_;
};

TEST_F(CliHidFlash, UpdatesTheLcdProgramBoxThroughTheSocket) {
  Bytes image(1500);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
  const std::string path = WriteMasked("BOX.XUT", image);
  SimProcess sim({"--hid", "--device", "lcd", "--trace"});
  ASSERT_FALSE(sim.path().empty());

  CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "flash", "--lcd", path});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // 0, 34 and 100 % of the three blocks, as steps of 10 %, ending at 100 %.
  EXPECT_NE(r.err.find("flashing: started\nflashing: 30%\nflashing: 100% done in "),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(" s\nflashed "), std::string::npos) << r.err;
  Bytes want{0xD3, 0x13, 0x7E, 0x05, 0xDC, 0x02, 0x00};
  want.insert(want.end(), image.begin(), image.begin() + 512);
  want.insert(want.end(), {0x02, 0x00});
  want.insert(want.end(), image.begin() + 512, image.begin() + 1024);
  want.insert(want.end(), {0x01, 0xDC});
  want.insert(want.end(), image.begin() + 1024, image.end());
  want.insert(want.end(), {0x13, 0x81, 0x13, 0xCF, 0xD4});
  const Bytes host = TracedOutputData(sim.Errors());
  const auto start = std::find(host.begin(), host.end(), 0xD3);
  EXPECT_EQ(Bytes(start, host.end()), want);

  // The restarted box answers presence with 0x27 and still takes the next update; files of
  // the wrong kind or too short are refused before the adapter is even opened.
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "flash", "--lcd", path});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const size_t sent = TracedOutputData(sim.Errors()).size();
  const std::string small = WriteMasked("small.xut", Bytes(512, 1));
  const std::string hgm = WriteMasked("esc.hgm", image);
  const std::string settings = WriteMasked("race.DATA", Bytes(800, 1));
  for (const std::string& bad : {small, hgm, settings}) {
    r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "flash", "--lcd", bad});
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << r.err;
  }
  EXPECT_EQ(TracedOutputData(sim.Errors()).size(), sent);
}

// A box that stops acknowledging ends the flash after --timeout plus 2 s, traced.
TEST_F(CliHidFlash, FirmwareWaitsHonourTheTimeout) {
  const std::string path = WriteMasked("box.xut", Bytes(1500, 7)), trace = dir_ + "/trace.txt";
  SimProcess sim({"--hid", "--device", "lcd", "--silent-block", "1"});
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "--timeout",
                                      "4", "--trace", trace, "flash", "--lcd", path});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("did not acknowledge a block"), std::string::npos) << r.err;
  const std::string traced = test_support::ReadAll(trace);
  EXPECT_NE(traced.find(" timeout [hid 9] input: no \"ok\" for the block at 0 in 6000 ms"),
            std::string::npos)
      << traced;
}

}  // namespace
}  // namespace tessel
