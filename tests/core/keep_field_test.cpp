// The virtual ESC's keep_field fault: the send is answered exactly as a healthy ESC answers it,
// and only the named field or curve stays as it was.
#include <gtest/gtest.h>

#include "sim/virtual_esc.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes FeedAll(VirtualEsc& esc, const Bytes& bytes) {
  Bytes out;
  for (uint8_t b : bytes) esc.Feed(b, 1200, out);
  return out;
}

TEST(KeepField, FullEscAnswersAsUsualAndKeepsOnlyTheNamedField) {
  VirtualEsc healthy;
  VirtualEsc keeping;
  keeping.faults().keep_field = "drag_brake";
  // drag_brake 0xE4, boost_timing 0xE5, then the end of the settings.
  const Bytes wire{0xE4, 3, 0xE5, 5, 0xAF, 16, 1, 1, 1};
  EXPECT_EQ(FeedAll(keeping, wire), FeedAll(healthy, wire));
  EXPECT_EQ(keeping.pairs(), healthy.pairs());
  EXPECT_EQ(healthy.image().drag_brake, 3);
  EXPECT_EQ(keeping.image().drag_brake, SampleFullEscImage().drag_brake);
  EXPECT_EQ(keeping.image().boost_timing, 5);
}

TEST(KeepField, ACurveWriteIsTakenInButTheCurveStays) {
  VirtualEsc esc;
  esc.faults().keep_field = "throttle_curve";
  const CurveData before = esc.image().throttle_curve;
  CurveData fresh = esc.image().brake_curve;  // other points, a valid curve
  Bytes wire{0xDA};
  for (int pos = 0; pos < kCurveWireBytes; ++pos) wire.push_back(CurveWireByte(fresh, pos));
  const auto check = CurveCheckBytes(fresh);
  wire.insert(wire.end(), check.begin(), check.end());
  FeedAll(esc, wire);
  ASSERT_EQ(esc.received_curves().size(), 1u);
  EXPECT_TRUE(esc.received_curves()[0].check_matched);
  EXPECT_EQ(esc.image().throttle_curve.table, before.table);
  EXPECT_EQ(esc.image().throttle_curve.y, before.y);
}

TEST(KeepField, V1EscStillAnswersReadyAndNamesAreChecked) {
  VirtualEsc esc(EscVariant::kV1);
  esc.faults().keep_field = "v1_motor_timing";
  const int32_t timing = esc.image().v1_motor_timing;
  EXPECT_EQ(FeedAll(esc, {0xE5, static_cast<uint8_t>(timing == 0 ? 1 : 0), 0xE4, 2}),
            (Bytes{0xE5, static_cast<uint8_t>(timing == 0 ? 1 : 0), 0x01, 0xE4, 2, 0x01}));
  EXPECT_EQ(esc.image().v1_motor_timing, timing);
  EXPECT_EQ(esc.image().v1_drag_brake, 2);

  EXPECT_TRUE(IsKeepableField("drag_brake"));
  EXPECT_TRUE(IsKeepableField("v1_bec_voltage"));
  EXPECT_TRUE(IsKeepableField("boost_curve"));
  EXPECT_FALSE(IsKeepableField("drag"));
  EXPECT_FALSE(IsKeepableField(""));
}

}  // namespace
}  // namespace tessel
