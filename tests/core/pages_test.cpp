#include "core/model/pages.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/model/data_page.h"
#include "core/model/page_rules.h"
#include "core/model/v1_settings.h"

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

TEST(Pages, GeneratedListsHaveTheirSizesEndsAndMarks) {
  struct Case {
    const char* field;
    size_t size;
    int32_t index;
    const char* text;
  };
  const Case cases[] = {
      {"voltage_cutoff", 84, 2, "3.0v"},       {"voltage_cutoff", 84, 83, "11.1v"},
      {"punch_rate1", 30, 14, "15(*)"},        {"punch_rate2", 30, 29, "30"},
      {"throttle_switch_point", 99, 0, "1%"},  {"brake_switch_point", 99, 98, "99%"},
      {"drag_brake", 101, 100, "100%"},        {"brake_rate1", 20, 19, "20(*)"},
      {"boost_timing", 65, 0, "0deg(*)"},      {"turbo_timing", 65, 10, "10deg(*)"},
      {"boost_start_rpm", 69, 68, "35000rpm"}, {"boost_end_rpm", 115, 44, "25000rpm(*)"},
      {"turbo_start_rpm", 43, 42, "50000rpm"}, {"turbo_slope_on", 11, 9, "30deg/0.1S"},
      {"turbo_slope_on", 11, 10, "Instant"},   {"turbo_slope_off", 6, 3, "24deg/0.1S(*)"},
  };
  for (const Case& c : cases) {
    const SettingDef& s = Setting(c.field);
    EXPECT_EQ(s.options.size(), c.size) << c.field;
    EXPECT_EQ(OptionText(s, c.index), c.text) << c.field;
  }
  EXPECT_EQ(Setting("turbo_slope_off").caption, "TURBO SLOPE \"OFF\"");
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

TEST(Pages, ControlIdsAreUniqueWithinAPage) {
  // Value box ids are unique within a page (the two "START RPM" boxes share 1036 across pages).
  for (const PageDef& page : EditingPages()) {
    std::set<int> ids{page.help_box_id};
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

TEST(PageRules, RefreshClampsEveryPageField) {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  image.punch_rate1 = 200;
  image.drag_brake = 101;
  image.voltage_cutoff = -1;
  image.esc_out = 2;
  image.turbo_slope_off = 6;
  image.boost_end_rpm = 115;
  image.log_motor_max_rpm = 300;  // not a page field
  image.v1_running_mode = 9;      // nor this
  RefreshAllPagesFromImage(image);
  EXPECT_EQ(image.punch_rate1, 29);
  EXPECT_EQ(image.drag_brake, 100);
  EXPECT_EQ(image.voltage_cutoff, 83);
  EXPECT_EQ(image.esc_out, 1);
  EXPECT_EQ(image.turbo_slope_off, 5);
  EXPECT_EQ(image.boost_end_rpm, 114);
  EXPECT_EQ(image.log_motor_max_rpm, 300);
  EXPECT_EQ(image.v1_running_mode, 9);
  // Values inside their lists stay.
  EXPECT_EQ(image.punch_rate2, 14);
  EXPECT_EQ(image.boost_start_rpm, 28);
}

TEST(PageRules, BoostRefreshClampsAnOutOfRangeSlopeToCustom) {
  EscSettingsImage image;
  image.boost_slope = 1;
  RefreshPageFromImage(kPageBoost, image);
  EXPECT_EQ(image.boost_slope, 1);
  for (int32_t slope : {2, 5, -1}) {
    image.boost_slope = slope;
    RefreshPageFromImage(kPageBoost, image);
    EXPECT_EQ(image.boost_slope, 1) << slope;
  }
  // The other curve modes clamp like any other setting.
  image.throttle_curve_mode = 5;
  RefreshPageFromImage(kPageThrottle, image);
  EXPECT_EQ(image.throttle_curve_mode, 1);
}

TEST(PageRules, FactoryDefaultsAndResets) {
  EscSettingsImage image;
  image.last_profile_preset = 6;
  LoadFactoryDefaults(image);
  EXPECT_EQ(image.last_profile_preset, 0);
  EXPECT_EQ(image.profile_preset, 0);
  EXPECT_EQ(image.voltage_cutoff, 1);
  EXPECT_EQ(image.brake_strength, 6);
  EXPECT_EQ(image.boost_end_rpm, 44);
  EXPECT_EQ(image.turbo_slope_off, 3);

  // A reset brings every page field back, curve modes to 0, and leaves the rest alone.
  image.profile_preset = 8;
  image.last_profile_preset = 8;
  image.throttle_curve_mode = 1;
  image.brake_curve_mode = 1;
  image.boost_slope = 1;
  image.drag_brake = 100;
  image.turbo_activation = 2;
  image.esc_out = 1;
  image.log_esc_max_temp = 65;
  image.boost_curve.x[3] = 40;
  ResetAllPagesToDefaults(image);
  EXPECT_EQ(image.profile_preset, 0);
  EXPECT_EQ(image.last_profile_preset, 8);
  EXPECT_EQ(image.throttle_curve_mode, 0);
  EXPECT_EQ(image.brake_curve_mode, 0);
  EXPECT_EQ(image.boost_slope, 0);
  EXPECT_EQ(image.drag_brake, 10);
  EXPECT_EQ(image.turbo_activation, 0);
  EXPECT_EQ(image.esc_out, 0);
  EXPECT_EQ(image.log_esc_max_temp, 65);
  EXPECT_EQ(image.boost_curve.x[3], 40);
}

std::vector<bool> Enabled(int32_t page_id, const EscSettingsImage& image,
                          const std::vector<bool>& previous = {}) {
  return EnabledSettings(*FindPage(page_id), image, previous);
}

TEST(PageRules, BoostTimingZeroDisablesTheFourDependentBoxes) {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  // Order: BOOST TIMING, START RPM, END RPM, STABLITY ASSSIST, SLOPE.
  EXPECT_EQ(Enabled(kPageBoost, image), (std::vector<bool>{true, false, false, false, false}));
  image.boost_timing = 1;
  EXPECT_EQ(Enabled(kPageBoost, image, {true, false, false, false, false}),
            (std::vector<bool>{true, true, true, true, true}));
  EXPECT_EQ(Enabled(kPageGeneral, image, {false, false}), AllEnabled(*FindPage(kPageGeneral)));
}

TEST(PageRules, AGreyedBoxSaysWhyAndAnEnabledOneSaysNothing) {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  const PageDef& boost = *FindPage(kPageBoost);
  EXPECT_EQ(GreyedReason(boost, image, 1),
            "Greyed while BOOST TIMING is 0deg: choose a boost timing above it to use it");
  EXPECT_EQ(GreyedReason(boost, image, 0), "");
  image.boost_timing = 5;
  EXPECT_EQ(GreyedReason(boost, image, 1), "");

  const PageDef& turbo = *FindPage(kPageTurbo);
  image.turbo_activation = 1;  // RPM: the delay after full throttle plays no part
  EXPECT_EQ(GreyedReason(turbo, image, 2),
            "Greyed while ACTIVATION METHOD is RPM: that method does not use TURBO DELAY");
  image.turbo_timing = 0;
  EXPECT_EQ(GreyedReason(turbo, image, 2),
            "Greyed while TURBO TIMING is 0deg: choose a turbo timing above it to use it");
}

TEST(PageRules, TurboBoxesFollowTimingAndActivation) {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  // Order: TURBO TIMING, ACTIVATION METHOD, TURBO DELAY, START RPM, SLOPE ON, SLOPE OFF.
  const std::vector<bool> full_th{true, true, true, false, true, true};
  const std::vector<bool> rpm{true, true, false, true, true, true};
  EXPECT_EQ(Enabled(kPageTurbo, image, AllEnabled(*FindPage(kPageTurbo))), full_th);
  image.turbo_activation = 1;
  EXPECT_EQ(Enabled(kPageTurbo, image, full_th), rpm);
  image.turbo_activation = 2;
  EXPECT_EQ(Enabled(kPageTurbo, image, rpm), AllEnabled(*FindPage(kPageTurbo)));

  image.turbo_timing = 0;
  const std::vector<bool> off{true, false, false, false, false, false};
  EXPECT_EQ(Enabled(kPageTurbo, image, rpm), off);
  // Timing back on with an unknown method: delay and start rpm keep their state.
  image.turbo_timing = 3;
  image.turbo_activation = 7;
  EXPECT_EQ(Enabled(kPageTurbo, image, off),
            (std::vector<bool>{true, true, false, false, true, true}));
  EXPECT_EQ(Enabled(kPageTurbo, image, rpm), rpm);
}

TEST(PageRules, BoostEndRpmIsKeptAboveTheStart) {
  EscSettingsImage image;
  image.boost_start_rpm = 28;  // 15000
  image.boost_end_rpm = 24;    // 15000
  EXPECT_TRUE(CorrectBoostEndRpm(image));
  EXPECT_EQ(image.boost_end_rpm, 26);  // 16000
  image.boost_start_rpm = 0;           // 1000
  image.boost_end_rpm = 0;             // 3000
  EXPECT_FALSE(CorrectBoostEndRpm(image));
  EXPECT_EQ(image.boost_end_rpm, 0);
  // A start outside its list is judged as the page shows it (35000 rpm).
  image.boost_start_rpm = 250;
  EXPECT_TRUE(CorrectBoostEndRpm(image));
  EXPECT_EQ(image.boost_end_rpm, 66);
}

TEST(V1Settings, ListsDefaultsAndTheImageTable) {
  const auto& settings = V1Settings();
  ASSERT_EQ(settings.size(), kV1SettingCount);
  EXPECT_EQ(V1DefaultSelections(),
            (std::array<int32_t, kV1SettingCount>{1, 2, 2, 0, 4, 0, 2, 4, 0, 2, 0}));
  for (const V1SettingDef& s : settings) {
    int32_t marked = 0;
    for (size_t i = 0; i < s.options.size(); ++i) {
      if (s.options[i].find('*') != std::string::npos) marked = static_cast<int32_t>(i);
    }
    EXPECT_EQ(s.default_index, marked) << s.label;
    // The same field, label and BEC flag as the wire table.
    const V1Field* wire = FindV1Field(s.field_name);
    ASSERT_NE(wire, nullptr) << s.field_name;
    EXPECT_EQ(wire->field, s.field);
    EXPECT_EQ(wire->label, s.label);
    EXPECT_EQ(wire->bec_only, s.bec_only);
    EXPECT_EQ(FindV1Setting(s.field), &s);
  }
  const V1SettingDef& cutoff = *FindV1Setting(&EscSettingsImage::v1_cutoff_voltage);
  EXPECT_EQ(cutoff.options.size(), kV1CutoffCodes.size());
  EXPECT_EQ(cutoff.options.back(), "NOCut-Off");
  EXPECT_EQ(cutoff.label_id, 1072);
  EXPECT_EQ(cutoff.list_id, 1145);

  EscSettingsImage image;
  image.run_mode = 2;
  ApplyV1Defaults(image);
  EXPECT_EQ(image.v1_running_mode, 1);
  EXPECT_EQ(image.v1_throttle_percent_reverse, 4);
  EXPECT_EQ(image.v1_cutoff_voltage, 2);
  EXPECT_EQ(V1CutoffCode(image.v1_cutoff_voltage), 42);
  EXPECT_EQ(image.run_mode, 2);
}

TEST(DataPage, FormatsTheLoggedValues) {
  EXPECT_EQ(FormatBattMinVoltage(74), " 7.40V");
  EXPECT_EQ(FormatBattMinVoltage(126), "12.60V");
  EXPECT_EQ(FormatBattMinVoltage(0), " 0.00V");
  EXPECT_EQ(FormatBattMinVoltage(1000), "100.00V");
  EXPECT_EQ(FormatTemperature(65), "65degree celsius");
  EXPECT_EQ(FormatTemperature(0), "0degree celsius");
  EXPECT_EQ(FormatMotorRpm(45), "45000rpm");
  EXPECT_EQ(FormatMotorRpm(255), "255000rpm");
  EXPECT_EQ(FormatMotorRpm(65535), "65535000rpm");  // 16 bits after a file import

  EscSettingsImage image;
  image.log_batt_min_voltage = 74;
  image.log_esc_max_temp = 65;
  image.log_motor_max_temp = 80;
  image.log_motor_max_rpm = 300;
  EXPECT_EQ(LoggedDataTexts(image), (std::vector<std::string>{" 7.40V", "65degree celsius",
                                                              "80degree celsius", "300000rpm"}));
  ASSERT_EQ(DataFields().size(), 4u);
  EXPECT_EQ(DataFields()[3].value_box_id, 1063);
  EXPECT_EQ(DataFields()[0].help.back(), ' ');
  EXPECT_EQ(DataFields()[0].help.find("\r\n"), std::string::npos);
  EXPECT_NE(DataFields()[1].help.find("then.Connect"), std::string::npos);
  EXPECT_EQ(DataFields()[2].help, DataFields()[3].help);
  EXPECT_EQ(DataFields()[3].help.back(), '.');
}

}  // namespace
}  // namespace tessel
