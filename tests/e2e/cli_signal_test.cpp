// tesselarc-cli under SIGHUP and SIGPIPE, and the firmware waits under --timeout: the signals
// stop a run at its next safe step and end it with their own exit code, never by the
// default action that kills it mid-transfer.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "tests/support/process.h"

extern char** environ;

namespace tessel {
namespace {

using test_support::RunCommand;
using test_support::SimProcess;

TEST(CliSignals, HangUpAndBrokenPipeEndTheRunWithTheirOwnCodes) {
  // SIGHUP while the tool waits for an ESC that never answers: 129, a normal exit.
  SimProcess silent({"--silent", "--trace"});
  bool sent = false;
  const auto hup = RunCommand({TESSEL_CLI_BINARY, "--port", silent.path(), "--timeout", "60",
                               "read"},
                              0, [&](pid_t pid) {
                                if (!sent && !silent.TracedHostBytes().empty()) {
                                  sent = true;
                                  kill(pid, SIGHUP);
                                }
                              });
  EXPECT_TRUE(sent);
  EXPECT_EQ(hup.exit_code, 129) << hup.err;

  // Stderr is a pipe nobody reads: the first line raises SIGPIPE, which stops the read; the
  // report that follows is lost, and the run still ends by itself with 141.
  SimProcess sim({"--answer-at", "19200"});
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  // The child must not inherit SIGPIPE ignored from the test runner.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> argv{TESSEL_CLI_BINARY, "--port", sim.path(), "read"};
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 141);
}

// A box that stops acknowledging ends the flash after --timeout plus 2 s, traced.
TEST(CliSignals, FirmwareWaitsHonourTheTimeout) {
  const std::string dir = test_support::TempPath("fwwait");
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/box.xut", trace = dir + "/trace.txt";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 1500; ++i) out.put(static_cast<char>((i * 13 + 5) ^ 0xB6));
  }
  SimProcess sim({"--hid", "--device", "lcd", "--silent-block", "1"});
  const auto r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "--timeout", "4",
                             "--trace", trace, "flash", "--lcd", path});
  const std::string traced = test_support::ReadAll(trace);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("did not acknowledge a block"), std::string::npos) << r.err;
  EXPECT_NE(traced.find(" timeout "), std::string::npos) << traced;
  EXPECT_NE(traced.find("in 6000 ms"), std::string::npos) << traced;
}

}  // namespace
}  // namespace tessel
