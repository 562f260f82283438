// tesselarc-cli history and restore over the virtual ESC on a pty: entries kept by read and
// set, the listing, a restore that prints its changes and puts the kept image on the wire,
// and the refusals. XDG_DATA_HOME points at a folder of the test's own, so no test (in this
// file or any other of this binary) writes to the user's history.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "sim/virtual_esc.h"
#include "tests/support/expected_wire.h"
#include "tests/support/process.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using test_support::CommandResult;
using test_support::RunCommand;
using test_support::SimProcess;
using test_support::TempPath;

// Every CLI run of this test binary keeps its history in a temporary folder.
class TemporaryDataHome : public ::testing::Environment {
 public:
  void SetUp() override {
    fs::create_directories(folder_);
    setenv("XDG_DATA_HOME", folder_.c_str(), 1);
  }
  void TearDown() override { fs::remove_all(folder_); }

 private:
  std::string folder_ = TempPath("data-home");
};
[[maybe_unused]] ::testing::Environment* const kDataHome =
    ::testing::AddGlobalTestEnvironment(new TemporaryDataHome);

// Each test starts with no history.
class CliHistory : public ::testing::Test {
 protected:
  void SetUp() override { fs::remove_all(home_ + "/tesselarc"); }
  // The ids `history --json` lists, newest first, with the cause of each.
  std::vector<std::pair<std::string, std::string>> Entries() {
    const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "history", "--json"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t at = r.out.find("{\"id\": \""); at != std::string::npos;
         at = r.out.find("{\"id\": \"", at + 1)) {
      const std::string id = r.out.substr(at + 8, 23);
      const size_t cause = r.out.find("\"cause\": \"", at) + 10;
      out.emplace_back(id, r.out.substr(cause, r.out.find('"', cause) - cause));
    }
    return out;
  }
  const std::string home_ = std::getenv("XDG_DATA_HOME");
};

TEST_F(CliHistory, ReadAndSetAreKeptAndRestorePutsTheReadImageBack) {
  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult empty = RunCommand({TESSEL_CLI_BINARY, "history", "--json"});
  EXPECT_EQ(empty.out, "[]\n");
  const CommandResult read = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "read"});
  ASSERT_EQ(read.exit_code, 0) << read.err;
  const std::string read_id = Entries().at(0).first;
  EXPECT_TRUE(fs::exists(home_ + "/tesselarc/history/" + read_id + ".DATA"));

  const CommandResult set =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "set", "run_mode=forward/reverse"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  auto entries = Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].second, "set");
  EXPECT_EQ(entries[1].second, "read");
  const CommandResult list = RunCommand({TESSEL_CLI_BINARY, "history"});
  EXPECT_EQ(list.out.substr(list.out.find('\n') + 1, 23), entries[0].first);
  EXPECT_NE(list.out.find("  set    full ESC (serial)  "), std::string::npos) << list.out;

  const std::string change = "RUN MODE (run_mode): Forward/Reverse -> Forward/Brake/Reverse\n";
  const CommandResult dry =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "restore", "--dry-run", read_id});
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out, change);
  EXPECT_NE(dry.err.find("dry run: nothing was sent"), std::string::npos) << dry.err;
  const CommandResult restore =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "restore", read_id});
  ASSERT_EQ(restore.exit_code, 0) << restore.err;
  EXPECT_EQ(restore.out, change);
  EXPECT_NE(restore.err.find("restored " + read_id), std::string::npos) << restore.err;
  // The send on the wire is the image that was read, byte for byte.
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(SampleFullEscImage());
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  ASSERT_GE(host.size(), want.size());
  EXPECT_EQ(std::vector<uint8_t>(host.end() - static_cast<long>(want.size()), host.end()), want);
  sim.Stop();
  EXPECT_EQ(Entries().at(0).second, "restore");
}

TEST_F(CliHistory, UnknownEntriesAndEntriesOfAnotherKindAreRefused) {
  const CommandResult unknown =
      RunCommand({TESSEL_CLI_BINARY, "--demo", "restore", "20200101-000000-000-000"});
  EXPECT_EQ(unknown.exit_code, 2);
  EXPECT_NE(unknown.err.find("no settings history entry '20200101-000000-000-000'"),
            std::string::npos)
      << unknown.err;
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "--demo", "restore", "../../etc/x"}).exit_code, 2);

  const CommandResult v1 = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "read"});
  ASSERT_EQ(v1.exit_code, 0) << v1.err;
  const auto entries = Entries();
  ASSERT_EQ(entries.size(), 1u);
  const CommandResult other =
      RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "restore", entries[0].first});
  EXPECT_EQ(other.exit_code, 2);
  EXPECT_NE(other.err.find("holds the settings of a V1-series ESC, but this is a full ESC; "
                           "nothing was sent"),
            std::string::npos)
      << other.err;
  EXPECT_EQ(other.out, "");
  // The V1-series ESC takes its own entry back (a fresh virtual one holds it already).
  const CommandResult same =
      RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "restore", entries[0].first});
  EXPECT_EQ(same.exit_code, 0) << same.err;
  EXPECT_NE(same.err.find("already holds"), std::string::npos) << same.err;
}

}  // namespace
}  // namespace tessel
