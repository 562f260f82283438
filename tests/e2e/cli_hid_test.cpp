// tesselarc-cli against tesselarc-sim --hid over its Unix socket: the socket back-end, the HID
// engine and the virtual HID adapter as separate programs.
#include <gtest/gtest.h>

#include "sim/virtual_esc.h"
#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

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

TEST(CliOverHidSocket, ReadsSetsAndReadsBackTheFullEsc) {
  SimProcess sim({"--hid"});
  ASSERT_FALSE(sim.path().empty());
  const EscSettingsImage want = SampleFullEscImage();
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(JsonInt(r.out, "device_class"), 3);
  EXPECT_NE(r.out.find("\"version\": \"V1.05_120307\""), std::string::npos) << r.out;
  EXPECT_EQ(JsonInt(r.out, "punch_rate1"), want.punch_rate1);

  const int run_mode = want.run_mode == 2 ? 1 : 2;
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "set",
                  "run_mode=" + std::to_string(run_mode)});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(JsonInt(r.out, "run_mode"), run_mode);
}

TEST(CliOverHidSocket, ASendCutOffByAPulledAdapterFailsEvenWhenItComesBack) {
  // The read takes six bytes; the adapter goes on the first pair's command byte and is
  // plugged back at once, and the tool reads the ESC afresh. Bytes left: not "nothing sent".
  SimProcess sim({"--hid", "--unplug-after", "7"});
  ASSERT_FALSE(sim.path().empty());
  const EscSettingsImage want = SampleFullEscImage();
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "set",
                  "drag_brake=" + std::to_string(want.drag_brake == 3 ? 2 : 3), "run_mode=0"},
                 30000);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("the adapter was lost during the send; after 0 of 27 settings and 0 of 3 "
                       "curves; the ESC holds a mix: read it and send again"),
            std::string::npos)
      << r.err;
}

TEST(CliOverHidSocket, InfoNamesTheAdapterAndTheDeviceBehindIt) {
  SimProcess lcd({"--hid", "--device", "lcd"});
  ASSERT_FALSE(lcd.path().empty());
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", lcd.path(), "info", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"link\": \"hid\", \"adapter\": \"V1.05_12037\", \"device\": \"none\", "
            "\"device_class\": 0, \"esc_version\": null}\n");
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", lcd.path(), "read"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no ESC"), std::string::npos) << r.err;

  SimProcess v1({"--hid", "--device", "v1-bec"});
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", v1.path(), "info"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("device:      V1-series ESC with BEC"), std::string::npos) << r.out;
}

TEST(CliOverHidSocket, NothingListeningFailsWithTheSocketNamed) {
  const CommandResult r = RunCommand(
      {TESSEL_CLI_BINARY, "--hid-socket", "/nonexistent/adapter", "--timeout", "1", "read"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cannot open the HID adapter at /nonexistent/adapter"), std::string::npos)
      << r.err;
}

TEST(CliOverHidSocket, AnExistingPathThatIsNoAdapterIsRefusedWithItsReason) {
  const test_support::ScratchFolder dir;
  const std::string file = dir.Write("plain.txt", std::string("x"));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--hid", "/dev/null"}, "/dev/null: not a HID device"},
      {{"--hid", dir.path()}, ": it is a folder, not a HID device"},
      {{"--hid", file}, "plain.txt: not a HID device"},
      {{"--hid-socket", "/dev/null"}, "/dev/null: not a socket"},
      {{"--hid-socket", dir.path()}, ": it is a folder, not a socket"},
      {{"--hid-socket", file}, "plain.txt: not a socket"},
  };
  for (const auto& [option, reason] : cases) {
    const CommandResult r =
        RunCommand({TESSEL_CLI_BINARY, option[0], option[1], "--timeout", "1", "read"});
    EXPECT_EQ(r.exit_code, 1) << option[0] << " " << option[1];
    EXPECT_NE(r.err.find("cannot open the HID adapter at " + option[1]), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace tessel
