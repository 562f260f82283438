// tesselarc-cli --trace against tesselarc-sim: what the trace file holds over the real serial
// back-end and the HID socket, what it must never hold, and a trace file that cannot be kept.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/link/wire_trace.h"
#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::ReadAll;
using test_support::RunCommand;
using test_support::ScratchFolder;
using test_support::SimProcess;

// The folder's name (pid and test name) is one no trace line could contain by chance.
std::string FolderName(const ScratchFolder& dir) {
  return std::filesystem::path(dir.path()).filename().string();
}

std::vector<std::string> TraceLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void ExpectNoPathOrUser(const std::string& text, const std::vector<std::string>& paths) {
  for (const std::string& p : paths) {
    EXPECT_EQ(text.find(p), std::string::npos) << "trace holds " << p;
  }
  EXPECT_EQ(text.find('/'), std::string::npos) << "trace holds a path";
  if (const passwd* pw = getpwuid(getuid())) {
    EXPECT_EQ(text.find(pw->pw_name), std::string::npos) << "trace holds the user name";
  }
  if (const char* user = std::getenv("USER"); user && *user) {
    EXPECT_EQ(text.find(user), std::string::npos);
  }
}

TEST(CliTrace, AReadOverThePtyIsTracedByteForByteWithoutPathsOrNames) {
  const ScratchFolder dir;
  const std::string trace_path = dir / "trace.txt";
  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--trace", trace_path, "read"});
  sim.Stop();
  ASSERT_EQ(r.exit_code, 0) << r.err;

  struct stat st {};
  ASSERT_EQ(stat(trace_path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string text = ReadAll(trace_path);
  const std::vector<std::string> lines = TraceLines(text);
  ASSERT_GT(lines.size(), 100u);
  EXPECT_EQ(lines[0], std::string("# tesselarc wire trace 1 (tesselarc ") + TESSEL_VERSION + ")");

  // Every byte the virtual ESC took from the line, in order, and nothing else.
  std::vector<uint8_t> written;
  for (size_t i = 1; i < lines.size(); ++i) {
    TraceLine t;
    ASSERT_TRUE(ParseTraceLine(lines[i], t)) << lines[i];
    if (t.kind == "tx") written.insert(written.end(), t.bytes.begin(), t.bytes.end());
  }
  EXPECT_EQ(written, sim.TracedHostBytes());
  EXPECT_NE(text.find(" tx [read 3] D8\n"), std::string::npos);

  ExpectNoPathOrUser(text, {sim.path(), trace_path, FolderName(dir), "pts", "tty"});
}

TEST(CliTrace, AReadThroughTheHidSocketShowsReportsButNotTheSocket) {
  const ScratchFolder dir;
  const std::string trace_path = dir / "hid.trace";
  SimProcess sim({"--hid"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "read", "--trace", trace_path});
  sim.Stop();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string text = ReadAll(trace_path);
  EXPECT_NE(text.find(" control [hid open] id=FD n=4 43 4F 4E 4E\n"), std::string::npos) << text;
  // The settings request, then the 31-byte block that answers it.
  EXPECT_NE(text.find(" output [hid 3] id=02 n=1 D8\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" input [hid 4] id=02 n=31 "), std::string::npos) << text;
  ExpectNoPathOrUser(text, {sim.path(), trace_path, FolderName(dir)});
}

TEST(CliTrace, ATraceThatCannotBeWrittenStopsTheRunBeforeAnythingIsSent) {
  const ScratchFolder dir;
  SimProcess sim({"--trace"});
  ASSERT_FALSE(sim.path().empty());
  // /dev/full opens, and fails the first write: the header.
  for (const std::string& bad : {dir / "missing/t.txt", dir.path(), std::string("/dev/full")}) {
    const CommandResult r =
        RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--trace", bad, "set", "run_mode=0"});
    EXPECT_EQ(r.exit_code, 2) << bad;
    EXPECT_NE(r.err.find("--trace: cannot write " + bad), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was sent"), std::string::npos) << r.err;
  }
  sim.Stop();
  EXPECT_TRUE(sim.TracedHostBytes().empty());
}

TEST(CliTrace, ATraceThatStopsFittingIsSaidAtOnceAndTheRunGoesOn) {
  const ScratchFolder dir;
  SimProcess sim;
  ASSERT_FALSE(sim.path().empty());
  const std::string trace_path = dir / "t.txt";
  // A file size limit of one 512-byte block: the header fits, the probe's lines soon do not.
  const CommandResult r = RunCommand(
      {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", TESSEL_CLI_BINARY,
       "--port", sim.path(), "--quiet", "--trace", trace_path, "info"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find(trace_path + ": file too large; the trace stops here\n"), std::string::npos)
      << r.err;
}

}  // namespace
}  // namespace tessel
