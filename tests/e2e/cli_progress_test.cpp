// Progress on stderr: one rewriting line on a terminal, plain lines at every 10 % elsewhere,
// nothing with --quiet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/progress.h"
#include "tests/support/process.h"

namespace tessel {
namespace {

struct Captured {
  std::FILE* file = std::tmpfile();
  ~Captured() { std::fclose(file); }
  std::string Text() {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
    return text;
  }
};

TEST(ProgressMeter, StepsModeSaysStartEveryTenPercentAndEnd) {
  Captured out;
  uint64_t now = 0;
  ProgressMeter meter(out.file, ProgressMeter::Mode::kSteps, [&] { return now; });
  meter.Begin("reading");
  for (int p : {3, 9, 10, 14, 35, 36, 99}) {
    now += 100;
    meter.Update(p);
  }
  now = 2000;
  meter.End(true);
  meter.Begin("sending");
  meter.Update(47);
  meter.End(false);
  EXPECT_EQ(out.Text(),
            "reading: started\nreading: 10%\nreading: 30%\nreading: 90%\n"
            "reading: 100% done in 2.0 s\n"
            "sending: started\nsending: 40%\nsending: stopped at 47%\n");
}

TEST(ProgressMeter, LineModeRewritesOneLineWithTheTimeLeft) {
  Captured out;
  uint64_t now = 0;
  ProgressMeter meter(out.file, ProgressMeter::Mode::kLine, [&] { return now; });
  meter.Begin("flashing");
  now = 1000;
  meter.Update(25);  // 1 s for 25 %: 3 s left
  now = 1050;
  meter.Update(26);  // within 100 ms of the last drawing: not drawn
  meter.BreakLine();
  now = 4000;
  meter.End(true);
  const std::string text = out.Text();
  EXPECT_EQ(text,
            "\rflashing [....................] 0%"
            "\rflashing [#####...............] 25%, about 3 s left\n"
            "\rflashing [####################] 100%  done in 4.0 s\n");
  Captured quiet;
  ProgressMeter none(quiet.file, ProgressMeter::Mode::kNone, [] { return uint64_t{0}; });
  none.Begin("reading");
  none.Update(50);
  none.End(true);
  EXPECT_EQ(quiet.Text(), "");
}

// Runs the CLI with stderr on a pseudo-terminal and returns what the terminal showed.
std::string StderrOnPty(const std::vector<std::string>& args) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return "no pty";
  const std::string slave = ptsname(master);
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const int tty = open(slave.c_str(), O_RDWR);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(tty, STDERR_FILENO);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  std::string text;
  char buf[1024];
  for (;;) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // EIO once the child has closed the terminal
    text.append(buf, static_cast<size_t>(n));
  }
  waitpid(child, nullptr, 0);
  close(master);
  return text;
}

TEST(CliProgress, TerminalGetsOneLinePipeGetsPlainLines) {
  const std::string tty = StderrOnPty({TESSEL_CLI_BINARY, "--demo", "read"});
  EXPECT_NE(tty.find("\rreading [####################] 100%"), std::string::npos) << tty;
  EXPECT_EQ(tty.find("reading: started"), std::string::npos) << tty;
  // The line is rewritten, not repeated: one line feed for the whole read.
  const auto from = tty.find("\rreading [");
  ASSERT_NE(from, std::string::npos);
  size_t feeds = 0;
  for (size_t i = from; i < tty.size(); ++i) feeds += tty[i] == '\n';
  EXPECT_EQ(feeds, 1u) << tty;

  const auto pipe = test_support::RunCommand({TESSEL_CLI_BINARY, "--demo", "read"});
  ASSERT_EQ(pipe.exit_code, 0);
  EXPECT_EQ(pipe.err.find('\r'), std::string::npos) << pipe.err;
  EXPECT_EQ(pipe.err.rfind("reading: started\nreading: 10%\n", 0), 0u) << pipe.err;
  EXPECT_NE(pipe.err.find("reading: 90%\nreading: 100% done in "), std::string::npos) << pipe.err;

  const auto quiet = test_support::RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read"});
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
}  // namespace tessel
