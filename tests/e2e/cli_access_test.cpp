// tesselarc-cli run by a user who may not open the adapter's node: one clear word on stderr,
// exit 1 at the time-out. Needs root to become that user; skipped otherwise.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/support/process.h"

namespace tessel {
namespace {

using test_support::ReadAll;
using test_support::TempPath;

constexpr uid_t kNobody = 65534;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(CliAccess, ARefusedPortIsToldOnceAndEndsWithExitOne) {
  if (geteuid() != 0) GTEST_SKIP() << "becoming another user needs root";
  // The adapter's node as a plain system leaves it: root's, nobody else may open it.
  const std::string node = TempPath("ttyUSB-denied");
  std::ofstream(node) << "";
  ASSERT_EQ(chmod(node.c_str(), 0600), 0);
  const std::string err_path = TempPath("access-err.txt");
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(err, 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(err, STDERR_FILENO);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDOUT_FILENO);
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(99);
    execl(TESSEL_CLI_BINARY, TESSEL_CLI_BINARY, "--port", node.c_str(), "--timeout", "1.5", "read",
          static_cast<char*>(nullptr));
    _exit(98);
  }
  close(err);
  int status = 0;
  waitpid(child, &status, 0);
  const std::string text = ReadAll(err_path);
  unlink(node.c_str());
  unlink(err_path.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 98) GTEST_SKIP() << "the build folder is closed to other users";
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  // Said once, and at once: a named port that may not be opened is not waited for.
  EXPECT_EQ(Count(text, "cannot open the serial programming adapter at " + node +
                            ": permission denied."),
            1u)
      << text;
  EXPECT_NE(text.find("60-tesselarc.rules"), std::string::npos) << text;
  EXPECT_NE(text.find("tesselarc-cli doctor"), std::string::npos) << text;
  // And at the time-out, the reason once more in one line.
  EXPECT_NE(text.find("tesselarc-cli: cannot open " + node +
                      ": permission denied (run tesselarc-cli doctor)\n"),
            std::string::npos)
      << text;
}

TEST(CliVersion, EveryProgramTellsItsVersion) {
  using test_support::RunCommand;
  for (const char* program : {TESSEL_CLI_BINARY, TESSEL_SIM_BINARY}) {
    const auto r = RunCommand({program, "--version"});
    EXPECT_EQ(r.exit_code, 0) << program;
    EXPECT_EQ(r.out, std::string(program).substr(std::string(program).rfind('/') + 1) + " " +
                         TESSEL_VERSION + "\n");
  }
}

}  // namespace
}  // namespace tessel
