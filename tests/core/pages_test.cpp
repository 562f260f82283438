#include "core/settings/pages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tessel {
namespace {

const SettingDef& Setting(std::string_view field_name) {
  const SettingDef* s = FindSettingByName(field_name);
  EXPECT_NE(s, nullptr) << field_name;
  return *s;
}

TEST(Pages, FivePagesInPageIdOrderWithTheirPictures) {
  const auto& pages = EditingPages();
  ASSERT_EQ(pages.size(), 5u);
  const int32_t ids[] = {kPageGeneral, kPageThrottle, kPageBrake, kPageBoost, kPageTurbo};
  const char* pictures[] = {"b61.bmp", "b51.bmp", "b7.bmp", "b52.bmp", "b6.bmp"};
  const size_t counts[] = {6, 5, 7, 5, 6};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(pages[i].page_id, ids[i]);
    EXPECT_EQ(pages[i].background, pictures[i]);
    EXPECT_EQ(pages[i].settings.size(), counts[i]) << pages[i].name;
    EXPECT_EQ(FindPage(ids[i]), &pages[i]);
  }
  EXPECT_EQ(pages[0].title, "GENERAL");
  EXPECT_EQ(FindPage(kPageData), nullptr);
}

// The stored default must be the one option marked "*" (or 0 when none is marked), every field
// must belong to exactly one setting, and the name must match the image member it points at.
TEST(Pages, DefaultsFieldsAndNamesAgree) {
  std::set<std::string_view> names;
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& s : page.settings) {
      int32_t marked = 0;
      int marks = 0;
      for (size_t i = 0; i < s.options.size(); ++i) {
        if (s.options[i].find('*') != std::string::npos) {
          marked = static_cast<int32_t>(i);
          ++marks;
        }
      }
      EXPECT_LE(marks, 1) << s.caption;
      EXPECT_EQ(s.default_index, marked) << s.caption;
      EXPECT_TRUE(names.insert(s.field_name).second) << s.field_name;
      EXPECT_EQ(FindSetting(s.field), &s) << s.field_name;
      const ParamField* wire = FindFullEscField(s.field_name);
      if (wire != nullptr) {
        EXPECT_EQ(wire->field, s.field) << s.field_name;
      }
      EXPECT_FALSE(s.help.empty()) << s.caption;
      EXPECT_EQ(s.max_text, s.field_name == "profile_preset" ? 50 : 30);
    }
  }
  // The 27 sendable parameters plus the profile and ESC OUT.
  EXPECT_EQ(names.size(), 29u);
  EXPECT_EQ(FindSettingByName("log_motor_max_rpm"), nullptr);
}

TEST(Pages, GeneratedListsHaveTheirEndsAndMarks) {
  const SettingDef& cutoff = Setting("voltage_cutoff");
  ASSERT_EQ(cutoff.options.size(), 84u);
  EXPECT_EQ(cutoff.options[1], "Auto(*)");
  EXPECT_EQ(cutoff.options[2], "3.0v");
  EXPECT_EQ(cutoff.options[9], "3.7v");
  EXPECT_EQ(cutoff.options[83], "11.1v");
  EXPECT_EQ(OptionText(cutoff, 84), "11.1v");

  const SettingDef& punch = Setting("punch_rate1");
  EXPECT_EQ(punch.options[0], "1");
  EXPECT_EQ(punch.options[14], "15(*)");
  EXPECT_EQ(punch.options[29], "30");
  EXPECT_EQ(Setting("punch_rate2").options, punch.options);

  const SettingDef& sw = Setting("throttle_switch_point");
  EXPECT_EQ(sw.options[0], "1%");
  EXPECT_EQ(sw.options[49], "50%(*)");
  EXPECT_EQ(sw.options[98], "99%");
  EXPECT_EQ(Setting("brake_switch_point").options, sw.options);
  EXPECT_NE(Setting("brake_switch_point").field, sw.field);

  EXPECT_EQ(Setting("drag_brake").options[100], "100%");
  EXPECT_EQ(Setting("drag_brake").options[10], "10%(*)");
  EXPECT_EQ(Setting("brake_strength").options[5], "62.5%");
  EXPECT_EQ(Setting("brake_rate1").options.back(), "20(*)");

  const SettingDef& timing = Setting("boost_timing");
  EXPECT_EQ(timing.options.front(), "0deg(*)");
  EXPECT_EQ(timing.options.back(), "64deg");
  EXPECT_EQ(Setting("turbo_timing").options[0], "0deg");
  EXPECT_EQ(Setting("turbo_timing").options[10], "10deg(*)");

  const SettingDef& start = Setting("boost_start_rpm");
  EXPECT_EQ(start.options.size(), 69u);
  EXPECT_EQ(start.options[28], "15000rpm(*)");
  EXPECT_EQ(start.options[68], "35000rpm");
  const SettingDef& end = Setting("boost_end_rpm");
  EXPECT_EQ(end.options.size(), 115u);
  EXPECT_EQ(end.options[44], "25000rpm(*)");
  EXPECT_EQ(end.options[114], "60000rpm");
  EXPECT_EQ(Setting("turbo_start_rpm").options[12], "20000rpm(*)");
  EXPECT_EQ(Setting("turbo_start_rpm").options[42], "50000rpm");

  const SettingDef& on = Setting("turbo_slope_on");
  ASSERT_EQ(on.options.size(), 11u);
  EXPECT_EQ(on.options[0], "3deg/0.1S");
  EXPECT_EQ(on.options[4], "15deg/0.1S(*)");
  EXPECT_EQ(on.options[9], "30deg/0.1S");
  EXPECT_EQ(on.options[10], "Instant");
  const SettingDef& off = Setting("turbo_slope_off");
  ASSERT_EQ(off.options.size(), 6u);
  EXPECT_EQ(off.options[3], "24deg/0.1S(*)");
  EXPECT_EQ(off.options[5], "Instant");
  EXPECT_EQ(off.caption, "TURBO SLOPE \"OFF\"");
}

TEST(Pages, HelpTextsKeepTheirOddSpacingAndCharacters) {
  EXPECT_NE(Setting("voltage_cutoff")
                .help.find("reduced  80% and the red LED flashes .\r\nOption 1: "
                           "None \xE2\x80\x93 No"),
            std::string::npos);
  EXPECT_NE(Setting("esc_heat_protect")
                .help.find("Options: 85\xC2\xB0"
                           "C, 105"),
            std::string::npos);
  EXPECT_EQ(Setting("brake_curve_mode").help.back(), ' ');
  EXPECT_EQ(Setting("turbo_start_rpm").help.substr(0, 41),
            "This setting is used to define the \r\n RPM");
}

TEST(Pages, ControlIdsAndRectsFromTheLayout) {
  const SettingDef& profile = Setting("profile_preset");
  EXPECT_EQ(profile.value_box_id, 1076);
  EXPECT_EQ(profile.drop_list_id, 1023);
  EXPECT_EQ(profile.drop_list.h, 79);
  const SettingDef& slope_off = Setting("turbo_slope_off");
  EXPECT_EQ(slope_off.value_box_id, 1020);
  EXPECT_EQ(slope_off.value_box.x, 129);
  EXPECT_EQ(slope_off.value_box.y, 166);
  EXPECT_EQ(slope_off.value_box.w, 87);
  EXPECT_EQ(slope_off.drop_list_id, 1096);
  EXPECT_EQ(Setting("brake_curve_mode").drop_list.y, 198);
  EXPECT_EQ(FindPage(kPageTurbo)->help_box_id, 1033);
  EXPECT_EQ(FindPage(kPageBoost)->adapter_indicator.y, 171);
  // Value box ids are unique within a page (the two "START RPM" boxes share 1036 across pages).
  for (const PageDef& page : EditingPages()) {
    std::set<int> ids;
    for (const SettingDef& s : page.settings) {
      EXPECT_TRUE(ids.insert(s.value_box_id).second) << page.name << " " << s.value_box_id;
      EXPECT_TRUE(ids.insert(s.drop_list_id).second) << page.name << " " << s.drop_list_id;
    }
  }
}

TEST(Pages, ClampToOptionsTakesTheLastIndexForAnythingOutOfRange) {
  EXPECT_EQ(ClampToOptions(200, 30), 29);
  EXPECT_EQ(ClampToOptions(30, 30), 29);
  EXPECT_EQ(ClampToOptions(29, 30), 29);
  EXPECT_EQ(ClampToOptions(0, 30), 0);
  EXPECT_EQ(ClampToOptions(-1, 30), 29);
  EXPECT_EQ(ClampToOptions(INT32_MIN, 2), 1);
  EXPECT_EQ(OptionText(Setting("punch_rate1"), 200), "30");
  EXPECT_EQ(OptionText(Setting("drag_brake"), -5), "100%");
}

}  // namespace
}  // namespace tessel
