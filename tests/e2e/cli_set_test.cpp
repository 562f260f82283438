// set by option text, the closest names for a misspelt field, --dry-run, fields, and the JSON
// keys that came beside the old ones.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/model/field_values.h"
#include "sim/virtual_esc.h"
#include "tests/support/expected_wire.h"
#include "tests/support/process.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;

int32_t Choose(const std::string& field, const std::string& value, std::string* problem = nullptr) {
  const SettableField* f = FindSettableField(field);
  if (f == nullptr) return -100;
  const OptionChoice c = ChooseOption(*f, value);
  if (problem) *problem = c.problem;
  return c.index.value_or(-1);
}

TEST(SetValue, TextIndexAndMarkedDefault) {
  EXPECT_EQ(Choose("run_mode", "Forward/Reverse"), 2);
  EXPECT_EQ(Choose("run_mode", "  forward/REVERSE "), 2);  // any case, trimmed
  EXPECT_EQ(Choose("run_mode", "forward/brake"), 0);       // "(*)" may be left out
  EXPECT_EQ(Choose("run_mode", "Forward/Brake(*)"), 0);
  EXPECT_EQ(Choose("run_mode", "1"), 1);
  EXPECT_EQ(Choose("run_mode", "#2"), 2);
  EXPECT_EQ(Choose("voltage_cutoff", "auto"), 1);
  EXPECT_EQ(Choose("v1_cutoff_voltage", "#5"), 5);
  // Not a prefix or a part: exact after trimming.
  EXPECT_EQ(Choose("run_mode", "Forward"), -1);
  EXPECT_EQ(Choose("run_mode", "3"), -1);
  EXPECT_EQ(Choose("run_mode", "#3"), -1);
  EXPECT_EQ(Choose("run_mode", "-1"), -1);
}

TEST(SetValue, ANumberThatIsOneOptionsIndexAndAnothersTextIsAmbiguous) {
  std::string problem;
  // punch_rate1 lists "1".."30": "5" is index 5 ("6") and the text of index 4.
  EXPECT_EQ(Choose("punch_rate1", "5", &problem), -1);
  EXPECT_NE(problem.find("#4 \"5\""), std::string::npos) << problem;
  EXPECT_NE(problem.find("#5 \"6\""), std::string::npos) << problem;
  EXPECT_EQ(Choose("punch_rate1", "#4"), 4);
  // Past the last index the number can only be a text.
  EXPECT_EQ(Choose("punch_rate1", "30"), 29);
  // Unknown texts list the options, a long list by its ends.
  EXPECT_EQ(Choose("run_mode", "fast", &problem), -1);
  EXPECT_EQ(problem,
            "run_mode: no option \"fast\"; options: 0 \"Forward/Brake(*)\", 1 "
            "\"Forward/Brake/Reverse\", 2 \"Forward/Reverse\"");
  EXPECT_EQ(Choose("voltage_cutoff", "99v", &problem), -1);
  EXPECT_NE(problem.find("83 \"11.1v\""), std::string::npos) << problem;
  EXPECT_NE(problem.find("'tesselarc-cli fields voltage_cutoff'"), std::string::npos) << problem;
}

TEST(SetValue, ClosestFieldNames) {
  EXPECT_EQ(ClosestFieldNames("runmode").at(0), "run_mode");
  EXPECT_EQ(ClosestFieldNames("punch_rate").size(), 2u);
  const auto cutoff = ClosestFieldNames("cutoff");
  EXPECT_NE(std::find(cutoff.begin(), cutoff.end(), "voltage_cutoff"), cutoff.end());
  EXPECT_NE(std::find(cutoff.begin(), cutoff.end(), "v1_cutoff_voltage"), cutoff.end());
  EXPECT_EQ(ClosestFieldNames("RUN MODE").at(0), "run_mode");  // the label as read shows it
  EXPECT_TRUE(ClosestFieldNames("xyzzyplugh").empty());
}

TEST(CliSet, ByTextSendsTheChangeAndSaysWhatChanged) {
  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set",
                                      "run_mode=forward/reverse", "punch_rate1=#9"});
  sim.Stop();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "run_mode: Forward/Brake/Reverse -> Forward/Reverse\npunch_rate1: 25 -> 10\n");
  EscSettingsImage expected = SampleFullEscImage();
  expected.run_mode = 2;
  expected.punch_rate1 = 9;
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(expected);
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  ASSERT_GE(host.size(), want.size());
  EXPECT_EQ(std::vector<uint8_t>(host.end() - static_cast<long>(want.size()), host.end()), want);
}

TEST(CliSet, DryRunAndRefusalsSendNothing) {
  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult dry =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "--dry-run", "esc_out=7.4V"});
  const CommandResult unknown =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "punch_rate=3"});
  const CommandResult ambiguous =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "punch_rate2=7"});
  sim.Stop();
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out, "esc_out: 6.0v(*) -> 7.4v\n");
  EXPECT_NE(dry.err.find("dry run: nothing was sent"), std::string::npos) << dry.err;
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("unknown field 'punch_rate'; did you mean punch_rate1 or "
                             "punch_rate2?"),
            std::string::npos)
      << unknown.err;
  EXPECT_EQ(ambiguous.exit_code, 2);
  // Only the dry run read the ESC; the end-of-settings command of a send never went out.
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  EXPECT_FALSE(host.empty());
  EXPECT_EQ(std::count(host.begin(), host.end(), kEndOfSettingsCommand), 0);
}

TEST(CliJson, NewKeysStandBesideTheOldOnes) {
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const EscSettingsImage sample = SampleFullEscImage();
  for (const std::string& part :
       {"\"settings\": {\"run_mode\": " + std::to_string(sample.run_mode),
        std::string("\"settings_text\": {\"run_mode\": \"Forward/Brake/Reverse\""),
        std::string("\"esc_out\": \"6.0v(*)\"}"),
        "\"log\": {\"log_batt_min_voltage\": " + std::to_string(sample.log_batt_min_voltage),
        std::string("\"log_units\": {\"batt_min_voltage_v\": 7.4, \"esc_max_temp_c\": 65, "
                    "\"motor_max_temp_c\": 58, \"motor_max_rpm\": 45000}")}) {
    EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
  }
  const CommandResult v1 =
      RunCommand({TESSEL_CLI_BINARY, "--demo=v1-bec", "--quiet", "read", "--json"});
  ASSERT_EQ(v1.exit_code, 0) << v1.err;
  EXPECT_NE(v1.out.find("\"settings_text\": {\"v1_cutoff_voltage\": \""), std::string::npos)
      << v1.out;
}

TEST(CliFields, ReadShowsTheNamesThatSetAndFieldsTake) {
  const CommandResult read = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read"});
  ASSERT_EQ(read.exit_code, 0) << read.err;
  EXPECT_NE(
      read.out.find("\n  run_mode              RUN MODE ............. Forward/Brake/Reverse\n"),
      std::string::npos)
      << read.out;
  const CommandResult fields = RunCommand({TESSEL_CLI_BINARY, "fields"});
  ASSERT_EQ(fields.exit_code, 0);
  // Every field set takes is listed, with its default marked once.
  for (const SettableField& f : SettableFields()) {
    const auto at = fields.out.find("\n  " + f.name + "  (" + f.label);
    ASSERT_NE(at, std::string::npos) << f.name;
    // The field's block ends where the next field (two spaces, then a name) starts.
    size_t end = at + 1;
    do {
      end = fields.out.find("\n  ", end + 1);
    } while (end != std::string::npos && fields.out[end + 3] == ' ');
    const std::string block = fields.out.substr(at, end == std::string::npos ? end : end - at);
    EXPECT_NE(block.find("[default]"), std::string::npos) << block;
  }
  const CommandResult one = RunCommand({TESSEL_CLI_BINARY, "fields", "--json", "turbo_delay"});
  ASSERT_EQ(one.exit_code, 0);
  EXPECT_NE(one.out.find("{\"name\": \"turbo_delay\", \"label\": \"TURBO DELAY\", \"page\": "
                         "\"Turbo\", \"default\": 6, \"options\": [{\"index\": 0, \"text\": "
                         "\"Instant\", \"default\": false}"),
            std::string::npos)
      << one.out;
  EXPECT_NE(one.out.find("\"depends\": \"turbo_timing other than 0, and turbo_activation 0 or 2\""),
            std::string::npos)
      << one.out;
}

}  // namespace
}  // namespace tessel
