#include "core/model/settings_image.h"

#include <gtest/gtest.h>

#include <tuple>
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

// The command bytes as the ESC knows them, each written out once (tests/support/expected_wire.h
// holds the full-ESC ones, which every sending test also uses).
TEST(FieldTables, CommandBytesAsTheEscKnowsThem) {
  const auto fields = FullEscFields();
  ASSERT_EQ(fields.size(), 31u);
  for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(fields[i].read_index, int(i));
  for (size_t i = 0; i < test_support::kSetCommands.size(); ++i) {
    const test_support::SetCommand& want = test_support::kSetCommands[i];
    EXPECT_EQ(fields[i].name, want.name);
    EXPECT_TRUE(fields[i].field == want.field) << want.name;
    EXPECT_EQ(fields[i].set_command, want.command) << want.name;
  }
  for (size_t i = 27; i < fields.size(); ++i) EXPECT_FALSE(fields[i].set_command) << i;

  const auto curves = CurveFields();
  ASSERT_EQ(curves.size(), 3u);
  for (size_t i = 0; i < curves.size(); ++i) {
    const test_support::CurveCommands& want = test_support::kCurveCommands[i];
    EXPECT_EQ(curves[i].name, want.name);
    EXPECT_TRUE(curves[i].curve == want.curve && curves[i].mode == want.mode) << want.name;
    EXPECT_EQ(curves[i].read_command, want.read_command) << want.name;
    EXPECT_EQ(curves[i].write_command, want.write_command) << want.name;
    EXPECT_EQ(curves[i].filler_count, want.fillers) << want.name;
  }

  // V1 block byte and set command.
  const std::vector<std::tuple<std::string_view, int, uint8_t>> v1 = {
      {"v1_cutoff_voltage", 0, 0xEC},     {"v1_running_mode", 2, 0xE2},
      {"v1_percentage_braking", 3, 0xE3}, {"v1_drag_brake", 4, 0xE4},
      {"v1_motor_timing", 5, 0xE5},       {"v1_initial_acceleration", 6, 0xE6},
      {"v1_throttle_limit", 7, 0xE7},     {"v1_throttle_percent_reverse", 8, 0xE8},
      {"v1_neutral_range", 10, 0xEA},     {"v1_motor_rotation", 11, 0xEB},
      {"v1_bec_voltage", 14, 0xA1}};
  const auto v1_fields = V1Fields();
  ASSERT_EQ(v1_fields.size(), v1.size());
  for (size_t i = 0; i < v1.size(); ++i) {
    EXPECT_EQ(v1_fields[i].name, std::get<0>(v1[i]));
    EXPECT_EQ(v1_fields[i].block_byte, std::get<1>(v1[i])) << std::get<0>(v1[i]);
    EXPECT_EQ(v1_fields[i].set_command, std::get<2>(v1[i])) << std::get<0>(v1[i]);
  }
  EXPECT_EQ(V1CutoffCode(5), 47);
  EXPECT_EQ(V1CutoffIndexFromCode(42), 2);
  EXPECT_FALSE(V1CutoffIndexFromCode(45).has_value());
}

}  // namespace
}  // namespace tessel
