// tesselarc-cli's command line as a new user meets it: help for every command, errors in one
// line with the hint where to read on, exit codes 0 / 1 / 2.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::RunCommand;

const char* const kCommands[] = {"ports", "info",   "read",   "set",  "write",   "show", "diff",
                                 "flash", "fields", "doctor", "history", "restore", "share"};

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(CliHelp, EveryCommandHasUsageExampleAndExitCodesThreeWays) {
  for (const char* command : kCommands) {
    const CommandResult asked = RunCommand({TESSEL_CLI_BINARY, command, "--help"});
    ASSERT_EQ(asked.exit_code, 0) << command << asked.err;
    EXPECT_EQ(asked.out.rfind(std::string("usage: tesselarc-cli "), 0), 0u) << asked.out;
    EXPECT_NE(asked.out.find(std::string(" ") + command), std::string::npos) << asked.out;
    EXPECT_NE(asked.out.find("\nexample:\n  tesselarc-cli "), std::string::npos) << asked.out;
    EXPECT_NE(asked.out.find("\nexit status:\n  0  "), std::string::npos) << asked.out;
    // A three-digit code keeps the space before its text.
    if (const auto at = asked.out.find("  130"); at != std::string::npos) {
      EXPECT_EQ(asked.out.compare(at, 7, "  130  "), 0) << asked.out;
    }
    EXPECT_TRUE(asked.err.empty()) << asked.err;
    // The same text from "help COMMAND", "-h" and an adapter option before it.
    EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "help", command}).out, asked.out) << command;
    EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo", command, "-h"}).out, asked.out) << command;
  }
  const CommandResult main = RunCommand({TESSEL_CLI_BINARY, "--help"});
  EXPECT_EQ(main.exit_code, 0);
  for (const char* command : kCommands) {
    EXPECT_NE(main.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
  }
}

TEST(CliHelp, UsageErrorsAreOneLineWithTheHint) {
  struct Case {
    std::vector<std::string> args;
    std::string problem;
    std::string hint;
  };
  const std::vector<Case> cases = {
      {{}, "no command given", "tesselarc-cli --help"},
      {{"frobnicate"}, "unknown command 'frobnicate'", "tesselarc-cli --help"},
      {{"raed"}, "unknown command 'raed' (did you mean 'read'?)", "tesselarc-cli --help"},
      {{"read", "--jsn"}, "read: unknown option '--jsn'", "tesselarc-cli read --help"},
      {{"read", "extra"}, "read: unexpected argument 'extra'", "tesselarc-cli read --help"},
      {{"--port"}, "missing value after '--port'", "tesselarc-cli --help"},
      {{"show"}, "show needs FILE", "tesselarc-cli show --help"},
      {{"--demo=bogus", "read"}, "--demo takes full, v1", "tesselarc-cli read --help"},
      {{"--timeout", "-3", "read"},
       "--timeout needs a positive number",
       "tesselarc-cli read --help"},
      {{"--demo", "--port", "/dev/ttyS0", "info"},
       "exclude each other",
       "tesselarc-cli info --help"},
      {{"--demo", "set", "run_mode"},
       "expected FIELD=VALUE, got 'run_mode'",
       "tesselarc-cli set --help"},
      {{"help", "nothing"}, "no command 'nothing'", "tesselarc-cli --help"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{TESSEL_CLI_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const CommandResult r = RunCommand(argv);
    EXPECT_EQ(r.exit_code, 2) << c.problem;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("tesselarc-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; try '" + c.hint + "'\n"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
}

TEST(CliHelp, OptionsStandBeforeOrAfterTheCommand) {
  const CommandResult before =
      RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read", "--json"});
  const CommandResult after =
      RunCommand({TESSEL_CLI_BINARY, "read", "--json", "--demo=full", "--quiet"});
  ASSERT_EQ(before.exit_code, 0) << before.err;
  ASSERT_EQ(after.exit_code, 0) << after.err;
  EXPECT_EQ(before.out, after.out);
  EXPECT_TRUE(before.err.empty()) << before.err;  // --quiet
}

TEST(CliAdapterErrors, ANamedPortThatCannotBeOpenedFailsAtOnceWithTheReason) {
  // A long time-out: these must not wait for it.
  const CommandResult missing =
      RunCommand({TESSEL_CLI_BINARY, "--port", "/nonexistent/ttyUSB9", "--timeout", "600", "read"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err,
            "tesselarc-cli: cannot open /nonexistent/ttyUSB9: no such file or directory; check "
            "the name ('tesselarc-cli ports' lists the serial ports)\n");
  const std::string plain = test_support::TempPath("not-a-tty");
  {
    FILE* f = std::fopen(plain.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const CommandResult file =
      RunCommand({TESSEL_CLI_BINARY, "--port", plain, "--timeout", "600", "set", "run_mode=1"});
  std::remove(plain.c_str());
  EXPECT_EQ(file.exit_code, 1);
  EXPECT_NE(file.err.find("cannot open " + plain + ": not a serial device"), std::string::npos)
      << file.err;
}

}  // namespace
}  // namespace tessel
