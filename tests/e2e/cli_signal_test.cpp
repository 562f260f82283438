// tesselarc-cli under SIGHUP and SIGPIPE: the signals stop a run at its next safe step and
// end it with their own exit code, never by the default action that kills it mid-transfer.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>

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

}  // namespace
}  // namespace tessel
