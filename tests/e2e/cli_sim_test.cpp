// tesselarc-cli against tesselarc-sim over a pseudo-terminal: the real serial back-end, the
// real engine, the virtual ESC on the far side.
#include <gtest/gtest.h>

#include <cstdio>

#include "core/model/settings_file.h"
#include "sim/virtual_esc.h"
#include "tests/support/expected_wire.h"
#include "tests/support/process.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;

int JsonInt(const std::string& json, const std::string& key) {
  const std::string pattern = "\"" + key + "\": ";
  const auto at = json.find(pattern);
  if (at == std::string::npos) return -1;
  return std::atoi(json.c_str() + at + pattern.size());
}

TEST(CliOverPty, ReadJsonShowsTheVirtualEsc) {
  SimProcess sim({"--answer-at", "19200"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const EscSettingsImage want = SampleFullEscImage();
  EXPECT_EQ(JsonInt(r.out, "device_class"), 3);
  EXPECT_NE(r.out.find("\"version\": \"ESC0120\""), std::string::npos) << r.out;
  EXPECT_EQ(JsonInt(r.out, "punch_rate1"), want.punch_rate1);
  EXPECT_EQ(JsonInt(r.out, "turbo_slope_off"), want.turbo_slope_off);
  EXPECT_EQ(JsonInt(r.out, "log_motor_max_rpm"), want.log_motor_max_rpm);
  EXPECT_NE(r.out.find("\"throttle_curve\": {\"points\": [[0,0], [20,35], [45,60], [70,82], "
                       "[100,100]]"),
            std::string::npos)
      << r.out;
}

TEST(CliOverPty, WriteSendsExactlyTheApplySequence) {
  EscSettingsImage file_image = SampleFullEscImage();
  file_image.run_mode = 2;
  file_image.punch_rate2 = 3;
  file_image.brake_curve_mode = 0;  // kept in the file, not sent
  const std::string path = test_support::TempPath("write.DATA");
  std::string error;
  ASSERT_TRUE(ExportSettingsToPath(file_image, path, true, error)) << error;
  // What the ESC must receive: the imported image, curves resampled as the import does.
  EscSettingsImage expected;
  ASSERT_TRUE(ImportSettingsFromPath(path, expected, error)) << error;
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(expected);

  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "write", path});
  sim.Stop();
  std::remove(path.c_str());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  ASSERT_GE(host.size(), want.size());
  const std::vector<uint8_t> tail(host.end() - static_cast<long>(want.size()), host.end());
  EXPECT_EQ(tail, want);
}

TEST(CliOverPty, BadFileIsRefusedBeforeAnythingIsSent) {
  const std::string path = test_support::TempPath("bad.DATA");
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fputs("not a settings file", f);
    std::fclose(f);
  }
  SimProcess sim({"--trace"});
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "write", path});
  sim.Stop();
  std::remove(path.c_str());
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("Import file error!"), std::string::npos) << r.err;
  EXPECT_TRUE(sim.TracedHostBytes().empty());
}

TEST(CliOverPty, SilentEscEndsWithExitOne) {
  SimProcess sim({"--silent"});
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--timeout", "1.5", "read"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no ESC answers"), std::string::npos) << r.err;
}

TEST(CliDemo, ReadOutThenShowPrintsTheSameSettings) {
  const std::string base = test_support::TempPath("demo");
  const CommandResult read = RunCommand({TESSEL_CLI_BINARY, "--demo", "read", "--out", base});
  ASSERT_EQ(read.exit_code, 0) << read.err;
  const CommandResult show = RunCommand({TESSEL_CLI_BINARY, "show", base + ".DATA"});
  std::remove((base + ".DATA").c_str());
  ASSERT_EQ(show.exit_code, 0) << show.err;
  // The sheets agree below their first line (the file carries no version).
  auto body = [](const std::string& s) { return s.substr(s.find('\n')); };
  EXPECT_EQ(body(read.out), body(show.out));
}

TEST(CliUsage, BadUsageExitsTwo) {
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY}).exit_code, 2);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "frobnicate"}).exit_code, 2);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo", "set", "run_mode=3"}).exit_code, 2);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo", "set", "no_such_field=1"}).exit_code, 2);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "show", "/nonexistent/file.DATA"}).exit_code, 2);
}

TEST(CliDemo, SetOnV1SendsAndReadsBack) {
  const CommandResult set = RunCommand(
      {TESSEL_CLI_BINARY, "--demo=v1", "set", "v1_cutoff_voltage=5", "v1_motor_timing=4"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  // A full-ESC field does not apply to a V1-series ESC.
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "set", "run_mode=1"}).exit_code, 2);
}

}  // namespace
}  // namespace tessel
