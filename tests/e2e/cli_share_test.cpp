// share, and diff/write taking a setup link in place of a file: against tesselarc-sim over
// a pty, with the bytes a linked write sends compared with those of the file it came from.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/model/settings_file.h"
#include "sim/virtual_esc.h"
#include "tests/support/expected_wire.h"
#include "tests/support/process.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using test_support::CommandResult;
using test_support::RunCommand;

// The link `share` prints for `file`, without its line end.
std::string Share(const std::string& file) {
  const CommandResult r = RunCommand({TESSEL_CLI_BINARY, "share", file});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  return r.out.substr(0, r.out.find('\n'));
}

TEST(CliShare, ALinkIsComparedAndWrittenAsItsFileIs) {
  const test_support::ScratchFolder dir;
  EscSettingsImage other = SampleFullEscImage();
  other.throttle_curve.y[1] = 50;
  other.drag_brake = 3;
  const std::string link = Share(dir.Write("other.DATA", EncodeSettingsFile(other)));
  ASSERT_EQ(link.rfind("http://127.0.0.1:8018/#setup=full:", 0), 0u) << link;

  test_support::SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", link});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out,
            "DRAG BRAKE (drag_brake): 8% -> 3%\n"
            "THROTTLE CURVE (throttle_curve): (0,0) (20,35) (45,60) (70,82) (100,100) -> "
            "(0,0) (20,50) (45,60) (70,82) (100,100)\n");
  EXPECT_NE(r.err.find("2 differences between the ESC and the setup link"), std::string::npos);
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", "--json",
                  link.substr(link.find('#') + 1)});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.out.find("\"second\": \"the setup link\""), std::string::npos) << r.out;

  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "sent the setup link\n");
  sim.Stop();
  // What the import makes of the file: the changed point resampled into the curve's table.
  RebuildCurveTables(other);
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(other);
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  EXPECT_NE(std::search(host.begin(), host.end(), want.begin(), want.end()), host.end());

  // Refused before the adapter is looked for: a link cut short, and one with a changed byte.
  std::string changed = link;
  changed[link.size() - 300] = changed[link.size() - 300] == 'Q' ? 'R' : 'Q';
  const std::string cut = link.substr(0, link.size() - 5);
  for (const auto& [verb, given, reason] :
       {std::tuple("write", cut,
                   "the setup link is cut short; copy the whole link, up to its last character"),
        std::tuple("diff", changed,
                   "the setup link is damaged: the check value does not match the contents")}) {
    r = RunCommand({TESSEL_CLI_BINARY, "--port", dir / "no-such-port", verb, given});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, std::string("tesselarc-cli: ") + reason + "\n");
  }
}

TEST(CliShare, AV1SetupsLinkGoesToAV1EscOnly) {
  const test_support::ScratchFolder dir;
  const std::string link =
      Share(dir.Write("v1.json", std::string(R"({"settings": {"v1_motor_timing": 4}})")));
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "tesselarc-cli: the setup link is a setup for a V1-series ESC; this is a full "
            "ESC; nothing was sent\n");
}

}  // namespace
}  // namespace tessel
