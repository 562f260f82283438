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
using test_support::ScratchFolder;
using test_support::SimProcess;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliShare, ALinkIsComparedAndWrittenAsItsFileIs) {
  const ScratchFolder dir;
  EscSettingsImage other = SampleFullEscImage();
  other.throttle_curve.y[1] = 50;
  other.drag_brake = 3;
  const std::string file = dir.Write("other.DATA", EncodeSettingsFile(other));

  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "share", file});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string prefix = "http://127.0.0.1:8018/#setup=full:";
  ASSERT_EQ(r.out.rfind(prefix, 0), 0u) << r.out;
  ASSERT_EQ(r.out.back(), '\n');
  const std::string link = r.out.substr(0, r.out.size() - 1);
  EXPECT_EQ(link.size(), prefix.size() + 1067);

  // diff: the ESC against the link, or against just its fragment, as against the file.
  SimProcess sim({"--answer-at", "19200", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const std::string differences =
      "DRAG BRAKE (drag_brake): 8% -> 3%\n"
      "THROTTLE CURVE (throttle_curve): (0,0) (20,35) (45,60) (70,82) (100,100) -> "
      "(0,0) (20,50) (45,60) (70,82) (100,100)\n";
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", link});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out, differences);
  EXPECT_TRUE(Has(r.err, "2 differences between the ESC and the setup link")) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", "--json",
                  link.substr(link.find('#') + 1)});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "\"second\": \"the setup link\"")) << r.out;

  // write: the send of the file itself; the ESC then holds it.
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "sent the setup link\n");
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", link});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  sim.Stop();
  // What the import makes of the file: the changed point resampled into the curve's table.
  RebuildCurveTables(other);
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(other);
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  EXPECT_NE(std::search(host.begin(), host.end(), want.begin(), want.end()), host.end());

  // Refused before the adapter is looked for: a link cut short, and one with a changed byte.
  r = RunCommand({TESSEL_CLI_BINARY, "--port", dir / "no-such-port", "write",
                  link.substr(0, link.size() - 5)});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "tesselarc-cli: the setup link is cut short; copy the whole link, up to its "
            "last character\n");
  std::string changed = link;
  changed[prefix.size() + 300] = changed[prefix.size() + 300] == 'Q' ? 'R' : 'Q';
  r = RunCommand({TESSEL_CLI_BINARY, "--port", dir / "no-such-port", "diff", changed});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(Has(r.err, "the setup link is damaged: the check value does not match")) << r.err;
}

TEST(CliShare, AV1SetupsLinkGoesToAV1EscOnly) {
  const ScratchFolder dir;
  const std::string json =
      dir.Write("v1.json", std::string(R"({"settings": {"v1_motor_timing": 4}})"));
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "share", json});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string link = r.out.substr(0, r.out.size() - 1);
  r = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "write", link});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.err,
            "tesselarc-cli: the setup link is a setup for a V1-series ESC; this is a full "
            "ESC; nothing was sent\n");
}

}  // namespace
}  // namespace tessel
