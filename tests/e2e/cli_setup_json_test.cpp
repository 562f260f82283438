// JSON setups from the command line: what `read --json` printed goes back through `write` with
// the bytes `write` of the matching .DATA file sends, `show` prints it as it prints the .DATA
// file, and a refused setup names its line and field and sends nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/model/settings_file.h"
#include "sim/virtual_esc.h"
#include "tests/support/expected_wire.h"
#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;
using Bytes = std::vector<uint8_t>;

void WriteText(const std::string& path, const std::string& text) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
}

// The host's bytes of a `write FILE` against a fresh virtual ESC over a pty.
Bytes WriteThroughPty(const std::string& file, CommandResult& r) {
  SimProcess sim({"--answer-at", "19200", "--trace"});
  EXPECT_FALSE(sim.path().empty());
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "write", file});
  sim.Stop();
  return sim.TracedHostBytes();
}

// The sheet without its DATA section: a JSON setup carries no logged data.
std::string SettingsPart(const std::string& sheet) {
  const auto data = sheet.find("\nDATA\n");
  const auto curves = sheet.find("\nCURVES\n");
  if (data == std::string::npos || curves == std::string::npos) return sheet;
  return sheet.substr(0, data) + sheet.substr(curves);
}

TEST(CliSetupJson, ReadJsonThenWriteSendsWhatTheDataFileSends) {
  const std::string json = test_support::TempPath("a.json");
  const std::string data = test_support::TempPath("a.DATA");
  {
    SimProcess sim({"--answer-at", "19200"});
    ASSERT_FALSE(sim.path().empty());
    const CommandResult r =
        RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "read", "--json"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    WriteText(json, r.out);
    const CommandResult out =
        RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "read", "--out", data});
    ASSERT_EQ(out.exit_code, 0) << out.err;
  }

  CommandResult from_json;
  CommandResult from_data;
  const Bytes json_wire = WriteThroughPty(json, from_json);
  const Bytes data_wire = WriteThroughPty(data, from_data);
  ASSERT_EQ(from_json.exit_code, 0) << from_json.err;
  ASSERT_EQ(from_data.exit_code, 0) << from_data.err;
  EXPECT_NE(from_json.err.find("sent " + json), std::string::npos) << from_json.err;

  EscSettingsImage expected;
  std::string error;
  ASSERT_TRUE(ImportSettingsFromPath(data, expected, error)) << error;
  const Bytes want = test_support::ExpectedFullSend(expected);
  for (const Bytes* wire : {&json_wire, &data_wire}) {
    ASSERT_GE(wire->size(), want.size());
    EXPECT_EQ(Bytes(wire->end() - static_cast<long>(want.size()), wire->end()), want);
  }

  // show prints the JSON setup as it prints the .DATA file of the same read.
  const CommandResult show_json = RunCommand({TESSEL_CLI_BINARY, "show", json});
  const CommandResult show_data = RunCommand({TESSEL_CLI_BINARY, "show", data});
  ASSERT_EQ(show_json.exit_code, 0) << show_json.err;
  ASSERT_EQ(show_data.exit_code, 0) << show_data.err;
  EXPECT_EQ(SettingsPart(show_json.out), SettingsPart(show_data.out));
  std::remove(json.c_str());
  std::remove(data.c_str());
}

TEST(CliSetupJson, ShowPrintsFieldsBeyondTheirListsAsWriteTakesThemAndSaysSo) {
  EscSettingsImage image = SampleFullEscImage();
  for (const ParamField& f : FullEscFields()) {
    if (f.set_command) image.*(f.field) = 0xFF;
  }
  image.esc_out = 0xFF;
  const test_support::ScratchFolder dir;
  const std::string data = dir.Write("ff.DATA", EncodeSettingsFile(image));
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "show", "--json", data});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("28 fields lie beyond their option lists and are taken as their last "
                       "option: run_mode 255 -> 2, "),
            std::string::npos)
      << r.err;
  // What it prints is a setup equal to what `write` of the file sends.
  r = RunCommand({TESSEL_CLI_BINARY, "diff", dir.Write("ff.json", r.out), data});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
}

TEST(CliSetupJson, RefusedSetupNamesLineAndFieldAndSendsNothing) {
  const std::string path = test_support::TempPath("bad.json");
  WriteText(path, "{\n  \"settings\": {\n    \"drag_brake\": 400\n  }\n}\n");
  SimProcess sim({"--trace"});
  const CommandResult w = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "write", path});
  const CommandResult s = RunCommand({TESSEL_CLI_BINARY, "show", path});
  sim.Stop();
  EXPECT_EQ(w.exit_code, 2);
  EXPECT_NE(w.err.find(path + " line 3: settings.drag_brake: 400 is out of range (0.."),
            std::string::npos)
      << w.err;
  EXPECT_TRUE(sim.TracedHostBytes().empty());
  EXPECT_EQ(s.exit_code, 2);
  EXPECT_EQ(s.err, w.err);

  // A setup for the other kind of ESC is refused after the read, before any send.
  WriteText(path, "{\"device_class\": 1, \"settings\": {\"v1_drag_brake\": 1}}");
  const CommandResult v1 = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "write", path});
  EXPECT_EQ(v1.exit_code, 2);
  EXPECT_NE(v1.err.find("is a setup for a V1-series ESC; this is a full ESC; nothing was sent"),
            std::string::npos)
      << v1.err;
  const CommandResult no_bec =
      RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "write", path});
  EXPECT_EQ(no_bec.exit_code, 0) << no_bec.err;
  WriteText(path, "{\"settings_text\": {\"v1_bec_voltage\": \"6.0V\"}}");
  const CommandResult bec = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "write", path});
  EXPECT_EQ(bec.exit_code, 2);
  EXPECT_NE(bec.err.find("this V1-series ESC has no BEC; nothing was sent"), std::string::npos)
      << bec.err;
  // A settings file is a full ESC's, refused for a V1-series ESC as a setup of the other kind.
  const std::string data = test_support::TempPath("full.DATA");
  ASSERT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read", "--out", data}).exit_code, 0);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "write", data}).exit_code, 2);
  std::remove(data.c_str());
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tessel
