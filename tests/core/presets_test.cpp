#include "core/model/presets.h"

#include <gtest/gtest.h>

#include "core/model/page_rules.h"
#include "core/model/pages.h"

namespace tessel {
namespace {

constexpr int32_t kSentinel = -7;

enum Profile {
  kModify,
  kZeroTiming,
  kPractice,
  kSport,
  kStock105,
  kStock135,
  kStock175,
  kBuggy,
  kCrawler,
  kDrift
};

EscSettingsImage WithProfile(int32_t profile) {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  image.profile_preset = profile;
  return image;
}

TEST(ProfilePresets, CrawlerIsShownOnTheOtherPagesAfterARefresh) {
  EscSettingsImage image = WithProfile(kCrawler);
  image.run_mode = 1;  // chosen on the page just before the profile
  ASSERT_TRUE(ApplyProfilePreset(image));
  EXPECT_EQ(image.run_mode, 2);
  EXPECT_EQ(image.reverse_speed, 3);
  EXPECT_EQ(image.drag_brake, 100);
  RefreshAllPagesFromImage(image);
  EXPECT_EQ(OptionText(*FindSetting(&EscSettingsImage::reverse_speed), image.reverse_speed),
            "100%");
  EXPECT_EQ(OptionText(*FindSetting(&EscSettingsImage::drag_brake), image.drag_brake), "100%");
}

TEST(ProfilePresets, ProfilesDifferWhereTheTableSaysSo) {
  EscSettingsImage stock = WithProfile(kStock135);
  ApplyProfilePreset(stock);
  EXPECT_EQ(stock.boost_timing, 30);
  EXPECT_EQ(stock.boost_end_rpm, 24);
  EXPECT_EQ(stock.stability_assist, 1);
  EXPECT_EQ(stock.turbo_slope_on, 7);

  EscSettingsImage buggy = WithProfile(kBuggy);
  ApplyProfilePreset(buggy);
  EXPECT_EQ(buggy.punch_rate1, 9);
  EXPECT_EQ(buggy.punch_rate2, 19);
  EXPECT_EQ(buggy.throttle_switch_point, 39);
  EXPECT_EQ(buggy.turbo_delay, 0);
}

// Every profile writes the same 28 fields, each within its option list, with the common
// eleven at their fixed values and the boost start below the end.
TEST(ProfilePresets, EveryProfileWritesTheSame28FieldsWithinTheirLists) {
  const auto table = ProfilePresetTable();
  ASSERT_EQ(table.size(), 28u);
  auto in_table = [&](ImageField f) {
    int n = 0;
    for (const PresetRow& row : table) n += row.field == f ? 1 : 0;
    return n;
  };
  for (const PresetRow& row : table) EXPECT_EQ(in_table(row.field), 1);

  for (int32_t profile = 0; profile < kProfilePresetCount; ++profile) {
    EscSettingsImage image;
    for (const PageDef& page : EditingPages()) {
      for (const SettingDef& s : page.settings) image.*s.field = kSentinel;
    }
    image.profile_preset = profile;
    image.last_profile_preset = 4;
    image.throttle_curve.x[5] = 33;
    ASSERT_TRUE(ApplyProfilePreset(image));

    for (const PageDef& page : EditingPages()) {
      for (const SettingDef& s : page.settings) {
        const int32_t v = image.*s.field;
        if (in_table(s.field) != 0) {
          EXPECT_GE(v, 0) << profile << " " << s.field_name;
          EXPECT_LT(v, static_cast<int32_t>(s.options.size())) << profile << " " << s.field_name;
        } else if (s.field != &EscSettingsImage::profile_preset) {
          EXPECT_EQ(v, kSentinel) << profile << " " << s.field_name;
        }
      }
    }
    EXPECT_EQ(image.profile_preset, profile);
    EXPECT_EQ(image.last_profile_preset, 4);
    EXPECT_EQ(image.throttle_curve.x[5], 33);

    EXPECT_EQ(image.voltage_cutoff, 1);
    EXPECT_EQ(image.esc_heat_protect, 1);
    EXPECT_EQ(image.motor_rotation, 0);
    EXPECT_EQ(image.esc_out, 0);
    EXPECT_EQ(image.throttle_curve_mode, 0);
    EXPECT_EQ(image.initial_brake, 0);
    EXPECT_EQ(image.brake_switch_point, 49);
    EXPECT_EQ(image.brake_curve_mode, 0);
    EXPECT_EQ(image.boost_slope, 0);
    EXPECT_EQ(image.turbo_activation, 0);
    EXPECT_EQ(image.turbo_start_rpm, 12);
    EXPECT_FALSE(CorrectBoostEndRpm(image)) << profile;
  }
}

TEST(ProfilePresets, ProfileOutsideTheListWritesNothing) {
  for (int32_t profile : {-1, 10, 255}) {
    EscSettingsImage image = WithProfile(profile);
    image.boost_slope = 1;
    image.drag_brake = 77;
    EXPECT_FALSE(ApplyProfilePreset(image));
    EXPECT_EQ(image.boost_slope, 1);
    EXPECT_EQ(image.drag_brake, 77);
    EXPECT_EQ(image.punch_rate1, 14);
    EXPECT_EQ(image.profile_preset, profile);
  }
}

}  // namespace
}  // namespace tessel
