#include "core/model/setup_compare.h"

#include <gtest/gtest.h>

#include "core/model/presets.h"

namespace tessel {
namespace {

EscSettingsImage Custom() {
  EscSettingsImage image;
  image.throttle_curve_mode = 1;
  image.brake_curve_mode = 0;
  for (CurveData* c : {&image.throttle_curve, &image.brake_curve, &image.boost_curve}) {
    c->x[0] = 0;
    c->y[0] = 0;
    c->x[1] = 100;
    c->y[1] = 100;
    SampleCurve(*c, 2);
  }
  return image;
}

TEST(SetupCompare, NamesFieldsByLabelAndOptionText) {
  EscSettingsImage a = Custom();
  EscSettingsImage b = a;
  EXPECT_TRUE(CompareSetups(a, b, CompareScope::kFile).empty());
  b.run_mode = 1;
  b.profile_preset = 3;   // a file does not hold it
  b.log_esc_max_temp = 9;  // logged data is not a setting
  const auto d = CompareSetups(a, b, CompareScope::kFile);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(DifferenceLine(d[0]), "RUN MODE (run_mode): Forward/Brake(*) -> Forward/Brake/Reverse");
  EXPECT_EQ(DifferenceLine(d[0], "sent", "read back"),
            "RUN MODE (run_mode): sent Forward/Brake(*), read back Forward/Brake/Reverse");
  b.run_mode = 77;
  EXPECT_EQ(CompareSetups(a, b, CompareScope::kFile)[0].second, "(index 77)");
}

TEST(SetupCompare, CurvesByPointsThenTable) {
  EscSettingsImage a = Custom();
  EscSettingsImage b = a;
  b.brake_curve.x[1] = 50;
  b.brake_curve.y[1] = 70;
  b.brake_curve.x[2] = 100;
  b.brake_curve.y[2] = 100;
  SampleCurve(b.brake_curve, 3);
  auto d = CompareSetups(a, b, CompareScope::kFile);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_TRUE(d[0].curve);
  EXPECT_EQ(DifferenceLine(d[0]), "BRAKE CURVE (brake_curve): (0,0) (100,100) -> (0,0) (50,70) (100,100)");
  // The brake curve is linear in `a`, so a send never wrote it: nothing to verify.
  EXPECT_TRUE(CompareSetups(a, b, CompareScope::kSentFull).empty());
  b = a;
  b.throttle_curve.table[7] ^= 1;
  d = CompareSetups(a, b, CompareScope::kSentFull);
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].name, "throttle_curve");
  EXPECT_NE(d[0].first.find("table "), std::string::npos);
  // Samples past 39 never travel.
  b = a;
  b.throttle_curve.table[45] = 9;
  EXPECT_TRUE(CompareSetups(a, b, CompareScope::kSentFull).empty());
}

TEST(SetupCompare, ScopesKeepToWhatTravels) {
  EscSettingsImage a = Custom();
  EscSettingsImage b = a;
  b.esc_out = 1;         // in a file, never sent
  b.v1_drag_brake = 2;   // V1 only
  b.v1_bec_voltage = 1;  // V1 with BEC only
  EXPECT_EQ(CompareSetups(a, b, CompareScope::kFile).size(), 1u);
  EXPECT_TRUE(CompareSetups(a, b, CompareScope::kSentFull).empty());
  EXPECT_EQ(CompareSetups(a, b, CompareScope::kV1).size(), 1u);
  EXPECT_EQ(CompareSetups(a, b, CompareScope::kV1, true).size(), 2u);
  EXPECT_EQ(SentScope(kDeviceV1), CompareScope::kV1);
}

// What an undo or a restore asks about: from what the ESC holds to what goes out, a curve by
// its points as a file's comparison shows it, and the target deciding which curves count.
TEST(SetupCompare, SendChangesRunFromNowToTargetWithCurvesAsPoints) {
  EscSettingsImage now = Custom();
  now.run_mode = 1;
  now.throttle_curve.x[1] = 25;
  now.throttle_curve.y[1] = 31;
  now.throttle_curve.x[2] = 100;
  now.throttle_curve.y[2] = 100;
  SampleCurve(now.throttle_curve, 3);
  const EscSettingsImage target = Custom();
  const auto changes = SendChanges(now, target, kDeviceFull, false);
  EXPECT_EQ(DifferenceLines(changes),
            "RUN MODE (run_mode): Forward/Brake/Reverse -> Forward/Brake(*)\n"
            "THROTTLE CURVE (throttle_curve): (0,0) (25,31) (100,100) -> (0,0) (100,100)\n");
  // The curve goes out when the target has it custom, whatever the ESC holds now.
  EscSettingsImage linear = target;
  linear.throttle_curve_mode = 0;
  EXPECT_EQ(SendChanges(linear, now, kDeviceFull, false).size(), 3u);
}

}  // namespace
}  // namespace tessel
