// set/write --verify against a virtual ESC that keeps one field (serial over a pty and HID over
// the socket), and diff of files and of the ESC against a file, exit codes and JSON included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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

// The sample ESC with a different second throttle point (custom mode is on in the sample).
EscSettingsImage WithOtherThrottleCurve() {
  EscSettingsImage image = SampleFullEscImage();
  image.throttle_curve.y[1] = 50;
  return image;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliVerify, CatchesTheFieldTheSerialEscKeptAndSendsExactlyAsWithout) {
  SimProcess sim({"--answer-at", "19200", "--keep-field", "drag_brake", "--trace"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "set", "--verify",
                  "drag_brake=#3", "run_mode=forward/reverse"});
  sim.Stop();
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out,
            "run_mode: Forward/Brake/Reverse -> Forward/Reverse\n"
            "drag_brake: 8% -> 3%\n"
            "Verify failed:\n"
            "  DRAG BRAKE (drag_brake): sent 3%, read back 8%\n");
  EXPECT_TRUE(Has(r.err, "verify failed: 1 setting read back other than sent")) << r.err;
  // The send went out as a plain send does; the read that verifies came after it.
  EscSettingsImage expected = SampleFullEscImage();
  expected.run_mode = 2;
  expected.drag_brake = 3;
  const std::vector<uint8_t> want = test_support::ExpectedFullSend(expected);
  const std::vector<uint8_t> host = sim.TracedHostBytes();
  const auto at = std::search(host.begin(), host.end(), want.begin(), want.end());
  ASSERT_NE(at, host.end());
  const std::vector<uint8_t> after(at + static_cast<long>(want.size()), host.end());
  EXPECT_NE(std::find(after.begin(), after.end(), VirtualEsc::kReadBlock), after.end());
  EXPECT_EQ(std::count(after.begin(), after.end(), kEndOfSettingsCommand), 0);
}

TEST(CliVerify, WriteCatchesACurveTheEscKept) {
  const ScratchFolder dir;
  const std::string file = dir.Write("curve.DATA", EncodeSettingsFile(WithOtherThrottleCurve()));
  SimProcess kept({"--answer-at", "19200", "--keep-field", "throttle_curve"});
  ASSERT_FALSE(kept.path().empty());
  CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--port", kept.path(), "--quiet", "write", file, "--verify"});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  // The curve by its points, as every other comparison shows one.
  EXPECT_TRUE(Has(r.out, "Verify failed:\n  THROTTLE CURVE (throttle_curve): sent (0,0) "))
      << r.out;
  EXPECT_TRUE(Has(r.out, "(100,100), read back (0,0) (20,35) (45,60) (70,82) (100,100)\n"))
      << r.out;
  EXPECT_FALSE(Has(r.out, "Verified"));

  // At 1200 baud the echoes of the curve's filler bytes are still arriving when the send
  // ends; the read that verifies must not take one for the ESC's identification.
  SimProcess healthy({"--answer-at", "1200"});
  r = RunCommand(
      {TESSEL_CLI_BINARY, "--port", healthy.path(), "--quiet", "write", file, "--verify"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Verified\n");
}

TEST(CliVerify, OverHidPassesOnAHealthyEscAndCatchesAKeptV1Field) {
  SimProcess full({"--hid"});
  ASSERT_FALSE(full.path().empty());
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", full.path(), "--quiet", "set",
                                "drag_brake=#3", "--verify"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "drag_brake: 8% -> 3%\nVerified\n");

  SimProcess v1({"--hid", "--device", "v1-bec", "--keep-field", "v1_bec_voltage"});
  ASSERT_FALSE(v1.path().empty());
  r = RunCommand({TESSEL_CLI_BINARY, "--hid-socket", v1.path(), "--quiet", "set",
                  "v1_bec_voltage=#0", "v1_drag_brake=#5", "--verify"});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "Verify failed:\n  BEC (v1_bec_voltage): sent ")) << r.out;
  EXPECT_FALSE(Has(r.out, "(v1_drag_brake): sent")) << r.out;  // that one was taken
}

TEST(CliVerify, RefusesDryRunWithVerify) {
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--demo", "set", "--dry-run", "--verify", "drag_brake=#3"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(Has(r.err, "--verify checks a send and --dry-run sends nothing")) << r.err;
}

TEST(CliDiff, FilesEqualDifferentDamagedAndMissing) {
  const ScratchFolder dir;
  EscSettingsImage other = WithOtherThrottleCurve();
  other.run_mode = 2;
  const std::string a = dir.Write("a.DATA", EncodeSettingsFile(SampleFullEscImage()));
  const std::string a2 = dir.Write("a2.DATA", EncodeSettingsFile(SampleFullEscImage()));
  const std::string b = dir.Write("b.DATA", EncodeSettingsFile(other));
  std::vector<uint8_t> damaged = EncodeSettingsFile(other);
  damaged[400] ^= 0x01;  // the check value no longer matches
  const std::string bad = dir.Write("bad.DATA", damaged);

  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "diff", a, a2});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Has(r.err, "no differences between")) << r.err;

  r = RunCommand({TESSEL_CLI_BINARY, "diff", a, b});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out,
            "RUN MODE (run_mode): Forward/Brake/Reverse -> Forward/Reverse\n"
            "THROTTLE CURVE (throttle_curve): (0,0) (20,35) (45,60) (70,82) (100,100) -> "
            "(0,0) (20,50) (45,60) (70,82) (100,100)\n");

  r = RunCommand({TESSEL_CLI_BINARY, "diff", "--json", a, b});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out, "{\"equal\": false, \"first\": \"" + a + "\", \"second\": \"" + b +
                       "\", \"differences\": [{\"name\": \"run_mode\", \"label\": \"RUN MODE\", "
                       "\"kind\": \"field\", \"first\": \"Forward/Brake/Reverse\", \"second\": "
                       "\"Forward/Reverse\"}, {\"name\": \"throttle_curve\", \"label\": "
                       "\"THROTTLE CURVE\", \"kind\": \"curve\", \"first\": \"(0,0) (20,35) (45,60) "
                       "(70,82) (100,100)\", \"second\": \"(0,0) (20,50) (45,60) (70,82) "
                       "(100,100)\"}]}\n");

  r = RunCommand({TESSEL_CLI_BINARY, "diff", a, bad});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(Has(r.err, "Import file error!")) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "diff", a, dir / "none.DATA"}).exit_code, 2);
  EXPECT_EQ(RunCommand({TESSEL_CLI_BINARY, "diff", a, b, a2}).exit_code, 2);
}

TEST(CliDiff, TheEscAgainstAFile) {
  const ScratchFolder dir;
  const std::string same = dir.Write("same.DATA", EncodeSettingsFile(SampleFullEscImage()));
  const std::string other = dir.Write("other.DATA", EncodeSettingsFile(WithOtherThrottleCurve()));

  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "diff", same});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "diff", "--json", other});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_TRUE(Has(r.out, "\"first\": \"esc\"")) << r.out;
  EXPECT_TRUE(Has(r.out, "\"name\": \"throttle_curve\"")) << r.out;

  // Over the real serial code path too.
  SimProcess sim({"--answer-at", "19200"});
  r = RunCommand({TESSEL_CLI_BINARY, "--port", sim.path(), "--quiet", "diff", other});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out,
            "THROTTLE CURVE (throttle_curve): (0,0) (20,35) (45,60) (70,82) (100,100) -> "
            "(0,0) (20,50) (45,60) (70,82) (100,100)\n");

  // A V1-series ESC holds nothing a settings file holds; trouble reaching an ESC is 2, never
  // the 1 of "different".
  r = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "diff", same});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(Has(r.err, "holds full-ESC settings; this is a V1-series ESC")) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--port", dir / "no-such-port", "diff", same});
  EXPECT_EQ(r.exit_code, 2) << r.err;
}

TEST(CliDiff, AnEscWhoseCurveArrivesDamagedIsAFailedReadNotADifference) {
  const ScratchFolder dir;
  const std::string file = dir.Write("esc.DATA", EncodeSettingsFile(SampleFullEscImage()));
  SimProcess sim({"--hid", "--bad-curve", "boost"});
  ASSERT_FALSE(sim.path().empty());
  const CommandResult r =
      RunCommand({TESSEL_CLI_BINARY, "--hid-socket", sim.path(), "--quiet", "diff", file});
  EXPECT_EQ(r.exit_code, 2) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Has(r.err, "damaged curve (wrong check value): boost_curve")) << r.err;
}

TEST(CliDiff, JsonSetupsCompareByTheirKindAndCountOnlyWhatTheyName) {
  const ScratchFolder dir;
  const std::string data = dir.Write("a.DATA", EncodeSettingsFile(SampleFullEscImage()));
  CommandResult r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string full = dir.Write("full.json", r.out);
  r = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "read", "--json"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string v1 = dir.Write("v1.json", r.out);
  const std::string part = dir.Write("part.json", "{\"settings\": {\"drag_brake\": 3}}\n");

  // What `read --json` printed is the same setup as the exported file.
  r = RunCommand({TESSEL_CLI_BINARY, "diff", full, data});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  // A V1-series setup against a full-ESC one, or against a full ESC: no ESC takes both.
  r = RunCommand({TESSEL_CLI_BINARY, "diff", v1, data});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_TRUE(Has(r.err, "holds V1-series settings and")) << r.err;
  r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "diff", v1});
  EXPECT_EQ(r.exit_code, 2);
  r = RunCommand({TESSEL_CLI_BINARY, "--demo=v1", "--quiet", "diff", v1});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  // Against the ESC a setup that names one field differs in that field alone.
  r = RunCommand({TESSEL_CLI_BINARY, "--demo", "--quiet", "diff", part});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out, "DRAG BRAKE (drag_brake): 8% -> 3%\n");
}

}  // namespace
}  // namespace tessel
