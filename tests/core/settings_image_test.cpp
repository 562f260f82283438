#include "core/model/settings_image.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "tests/support/expected_wire.h"

namespace tessel {
namespace {

CurveData Line(std::initializer_list<std::pair<int, int>> pts) {
  CurveData c;
  size_t i = 0;
  for (auto [x, y] : pts) {
    c.x[i] = static_cast<uint8_t>(x);
    c.y[i] = static_cast<uint8_t>(y);
    ++i;
  }
  return c;
}

TEST(SampleCurve, StraightLineRisesFromZeroToHundred) {
  CurveData c = Line({{0, 0}, {100, 100}});
  SampleCurve(c, 2);
  EXPECT_EQ(c.table[0], 0);
  EXPECT_EQ(c.table[39], 100);
  // Sample positions alternate steps of 3 and 2: 2, 5, 7, 10, ... 97, 100.
  EXPECT_EQ(c.table[1], 5);
  EXPECT_EQ(c.table[2], 7);
  EXPECT_EQ(c.table[38], 97);
  for (int k = 1; k < 40; ++k) EXPECT_GT(c.table[k], c.table[k - 1]) << k;
}

TEST(SampleCurve, InterpolatesInSinglePrecisionRoundingHalfAwayFromZero) {
  // From (0,0) to (40,100): slope 2.5, so X=5 gives 12.5 -> 13 and X=7 gives 17.5 -> 18.
  CurveData c = Line({{0, 0}, {40, 100}, {100, 100}});
  SampleCurve(c, 3);
  EXPECT_EQ(c.table[1], 13);
  EXPECT_EQ(c.table[2], 18);
  // Falling segment: (0,100) to (40,0) gives t = -12.5 at X=5 -> -13, so 87.
  CurveData d = Line({{0, 100}, {40, 0}, {100, 100}});
  SampleCurve(d, 3);
  EXPECT_EQ(d.table[1], 87);
}

TEST(SampleCurve, RepeatedXMakesAStepWithoutDividingByZero) {
  CurveData c = Line({{0, 0}, {50, 0}, {50, 100}, {100, 100}});
  SampleCurve(c, 4);
  // X = 50 is sample 20 (2, 5, 7, ..., 47, 50): takes the first point at x 50.
  EXPECT_EQ(c.table[19], 0);
  EXPECT_EQ(c.table[20], 100);
  EXPECT_EQ(c.table[39], 100);
}

TEST(SampleCurve, KeepsEntriesAfterTheFortiethSample) {
  CurveData c = Line({{0, 0}, {100, 100}});
  c.table[40] = 7;
  c.table[49] = 9;
  SampleCurve(c, 2);
  EXPECT_EQ(c.table[40], 7);
  EXPECT_EQ(c.table[49], 9);
}

TEST(CurveWire, OrderAndCheckValue) {
  CurveData c;
  for (int i = 0; i < 40; ++i) {
    c.table[i] = static_cast<uint8_t>(i);
    c.x[i] = static_cast<uint8_t>(100 + i);
    c.y[i] = static_cast<uint8_t>(200 + i);
  }
  EXPECT_EQ(CurveWireByte(c, 0), 0);
  EXPECT_EQ(CurveWireByte(c, 40), 100);
  EXPECT_EQ(CurveWireByte(c, 119), 239);
  // Sum = (0..39) + (100..139) + (200..239) = 780 + 4780 + 8780 = 14340.
  EXPECT_EQ(CurveCheckSum(c), 14340u);
  auto check = CurveCheckBytes(c);
  EXPECT_EQ(check[0], 143);
  EXPECT_EQ(check[1], 40);
}

// The command bytes as the ESC knows them, each written out once (the full-ESC ones in
// tests/support/expected_wire.h, which the sending tests use too).
TEST(FieldTables, CommandBytesAsTheEscKnowsThem) {
  const auto fields = FullEscFields();
  ASSERT_EQ(fields.size(), 31u);
  EXPECT_EQ(fields[0].name, "run_mode");
  EXPECT_EQ(fields[26].name, "turbo_slope_off");
  for (size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i].read_index, int(i));
    EXPECT_EQ(fields[i].set_command,
              i < 27 ? std::optional<uint8_t>(test_support::kSetCommands[i]) : std::nullopt)
        << fields[i].name;
  }
  for (size_t i = 0; i < 3; ++i) {
    const CurveField& c = CurveFields()[i];
    EXPECT_EQ(c.read_command, test_support::kCurveReadCommands[i]) << c.name;
    EXPECT_EQ(c.write_command, test_support::kCurveWriteCommands[i]) << c.name;
    EXPECT_EQ(c.filler_count, test_support::kCurveFillers[i]) << c.name;
  }
  EXPECT_TRUE(CurveFields()[0].mode == &EscSettingsImage::boost_slope);
  EXPECT_TRUE(CurveFields()[2].curve == &EscSettingsImage::throttle_curve);

  // V1 block byte and set command, in block order: cut-off, running mode, braking, drag brake,
  // timing, acceleration, throttle limit, reverse, neutral range, rotation, BEC.
  const std::vector<std::pair<int, uint8_t>> v1 = {{0, 0xEC},  {2, 0xE2},  {3, 0xE3}, {4, 0xE4},
                                                   {5, 0xE5},  {6, 0xE6},  {7, 0xE7}, {8, 0xE8},
                                                   {10, 0xEA}, {11, 0xEB}, {14, 0xA1}};
  ASSERT_EQ(V1Fields().size(), v1.size());
  for (size_t i = 0; i < v1.size(); ++i) {
    EXPECT_EQ(V1Fields()[i].block_byte, v1[i].first) << V1Fields()[i].name;
    EXPECT_EQ(V1Fields()[i].set_command, v1[i].second) << V1Fields()[i].name;
  }
  EXPECT_EQ(V1CutoffCode(5), 47);
  EXPECT_EQ(V1CutoffIndexFromCode(42), 2);
  EXPECT_FALSE(V1CutoffIndexFromCode(45).has_value());
}

}  // namespace
}  // namespace tessel
