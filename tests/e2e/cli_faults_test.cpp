// tesselarc-cli against a virtual ESC that misbehaves, over a pseudo-terminal: names that must
// not overwrite other files, damaged curves, a device that vanishes or freezes, signals, a
// second tool on the same port, and files that are no regular files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/process.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;

class CliFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(test_support::TempPath("clifaults"));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir, fs::perms::all, ec);
    fs::remove_all(dir, ec);
  }
  static std::string Slurp(const fs::path& p) { return test_support::ReadAll(p.string()); }
  static bool Has(const std::vector<uint8_t>& bytes, uint8_t b) {
    return std::find(bytes.begin(), bytes.end(), b) != bytes.end();
  }
  fs::path dir;
};

TEST_F(CliFaults, ReadOutKeepsTheNameGivenAndNeverReplacesAnotherFile) {
  std::ofstream(dir / "precious.DATA") << "precious";
  CommandResult r = RunCommand(
      {TESSEL_CLI_BINARY, "--demo", "read", "--out", (dir / "precious.new").string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Slurp(dir / "precious.DATA"), "precious");
  EXPECT_EQ(fs::file_size(dir / "precious.new.DATA"), 800u);

  // Names that are no file, and targets that must not be replaced, are refused up front.
  fs::create_directories(dir / "sub");
  std::ofstream(dir / "locked.DATA") << "locked";
  fs::permissions(dir / "locked.DATA", fs::perms::owner_read);
  for (const std::vector<std::string>& out :
       {std::vector<std::string>{"--out="}, {"--out", (dir / "sub").string() + "/"},
        {"--out", (dir / "sub").string()}, {"--out", "/dev/full"},
        {"--out", (dir / "locked").string()}}) {
    std::vector<std::string> argv{TESSEL_CLI_BINARY, "--demo", "read"};
    argv.insert(argv.end(), out.begin(), out.end());
    r = RunCommand(argv);
    EXPECT_EQ(r.exit_code, 2) << out.back() << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << out.back();
  }
  EXPECT_FALSE(fs::exists("/dev/full.DATA"));
  EXPECT_FALSE(fs::exists(dir / "sub" / ".DATA"));
  EXPECT_EQ(Slurp(dir / "locked.DATA"), "locked");
  EXPECT_EQ(fs::status(dir / "locked.DATA").permissions() & fs::perms::all,
            fs::perms::owner_read);
}

TEST_F(CliFaults, DamagedCurveFailsTheReadAndBlocksASendUnlessForced) {
  SimProcess sim({"--answer-at", "19200", "--bad-curve", "throttle", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "read", "--json"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("\"damaged\": [\"throttle_curve\"]"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("damaged curve"), std::string::npos) << r.err;

  r = RunCommand(
      {TESSEL_CLI_BINARY, "--port", sim.path(), "read", "--out", (dir / "saved").string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_FALSE(fs::exists(dir / "saved.DATA"));

  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "run_mode=0"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_FALSE(Has(sim.TracedHostBytes(), 0xAF));  // no settings went out at all

  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "run_mode=0", "--force"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(Has(sim.TracedHostBytes(), 0xAF));

  // The check is made of the image as it goes out: a linear throttle sends no curve points,
  // and switching the damaged curve back on is refused like any send of it, naming --force.
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "throttle_curve_mode=0"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "throttle_curve_mode=1"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("throttle curve arrived damaged"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("use --force"), std::string::npos) << r.err;
}

TEST_F(CliFaults, VanishedOrFrozenEscEndsTheRunInTime) {
  // A V1 read takes 2 probe bytes, 3 identifications, the block command and the version
  // command; the device goes away a few pairs into the send.
  {
    SimProcess sim({"--device", "v1", "--answer-at", "19200", "--vanish-after", "14"});
    const CommandResult r = RunCommand(
        {TESSEL_CLI_BINARY, "--port", sim.path(), "set", "v1_motor_timing=2"}, 20000);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_LT(r.elapsed_ms, 5000);  // the read and a few pairs; nothing waits for the device
    EXPECT_NE(r.err.find("adapter was lost"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("of 16 settings; the ESC holds a mix"), std::string::npos) << r.err;
  }
  {
    // Frozen in the middle of a curve: within the time-out plus 2 s of the last byte.
    SimProcess sim({"--answer-at", "19200", "--freeze-after", "150"});
    const CommandResult r = RunCommand(
        {TESSEL_CLI_BINARY, "--port", sim.path(), "--timeout", "2", "set", "run_mode=2"}, 30000);
    EXPECT_EQ(r.exit_code, 1) << r.err;
    // The read and the start of the send take a second or two, then the 2 s time-out and its
    // 2 s of grace at most.
    EXPECT_LT(r.elapsed_ms, 2000 + 2000 + 3000);
    EXPECT_NE(r.err.find("the ESC holds a mix"), std::string::npos) << r.err;
  }
}

TEST_F(CliFaults, AFrozenEscIsCreditedWithThePairsItEchoedOnly) {
  // The pairs go out unanswered but for their echo: the ESC freezes nine pairs into the send,
  // and the other eighteen still leave the tool.
  SimProcess sim({"--answer-at", "19200", "--freeze-after", "30", "--trace"});
  const CommandResult r = RunCommand(
      {TESSEL_CLI_BINARY, "--port", sim.path(), "--timeout", "2", "set", "run_mode=2"}, 30000);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  sim.Stop();
  const std::vector<uint8_t> taken = sim.TracedHostBytes();
  const auto first_pair = std::find(taken.begin(), taken.end(), 0xA4);
  ASSERT_NE(first_pair, taken.end());
  const auto pairs = (taken.end() - first_pair) / 2;
  EXPECT_NE(r.err.find("after " + std::to_string(pairs) + " of 27 settings and 0 of "),
            std::string::npos)
      << r.err;
}

TEST_F(CliFaults, InterruptStopsAtTheNextStepAndSaysWhatWasSent) {
  SimProcess sim({"--answer-at", "1200", "--trace"});
  bool signalled = false;
  const CommandResult r = RunCommand(
      {TESSEL_CLI_BINARY, "--port", sim.path(), "set", "run_mode=2"}, 30000, [&](pid_t pid) {
        // As soon as the first settings pair is on the line (0xA4 sets run_mode).
        if (!signalled && Has(sim.TracedHostBytes(), 0xA4)) {
          kill(pid, SIGINT);
          signalled = true;
        }
      });
  ASSERT_TRUE(signalled);
  EXPECT_EQ(r.exit_code, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted after "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("of 27 settings"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the ESC holds a mix: read it and send again"), std::string::npos)
      << r.err;
}

TEST_F(CliFaults, SecondToolOnThePortIsToldItIsBusy) {
  SimProcess sim({"--answer-at", "1200"});
  const pid_t first = test_support::Spawn(
      {TESSEL_CLI_BINARY, "--port", sim.path(), "set", "run_mode=2"},
      test_support::TempPath("first-out"), test_support::TempPath("first-err"));
  usleep(500000);
  const CommandResult second =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--timeout", "3", "read"}, 10000);
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_NE(second.err.find("port busy: " + sim.path() + " is in use by process " +
                            std::to_string(first)),
            std::string::npos)
      << second.err;
}

TEST_F(CliFaults, FifoIsRefusedInsteadOfBlocking) {
  const fs::path fifo = dir / "pipe.DATA";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{TESSEL_CLI_BINARY, "show", fifo.string()},
        {TESSEL_CLI_BINARY, "--demo", "write", fifo.string()},
        {TESSEL_CLI_BINARY, "--demo", "flash", fifo.string()}}) {
    const CommandResult r = RunCommand(argv, 10000);
    EXPECT_EQ(r.exit_code, 2) << argv[argv.size() - 2] << ": " << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace tessel
