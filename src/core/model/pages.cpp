#include "core/model/pages.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace tessel {
namespace {

using Options = std::vector<std::string>;

Options List(std::initializer_list<const char*> texts) {
  return Options(texts.begin(), texts.end());
}

// count entries, entry i showing first + step * i followed by suffix; the default entry carries
// the "(*)" mark (pass -1 for none).
Options Numbered(int first, int step, int count, std::string_view suffix, int marked) {
  Options out;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::string text = std::to_string(first + step * i);
    text += suffix;
    if (i == marked) text += "(*)";
    out.push_back(std::move(text));
  }
  return out;
}

Options VoltageCutoffOptions() {
  Options out = List({"Disable", "Auto(*)"});
  // Index i from 2 to 83 is (28 + i) / 10 volts, one decimal, lower-case "v".
  for (int i = 2; i <= 83; ++i) {
    const int tenths = 28 + i;
    out.push_back(std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "v");
  }
  return out;
}

Options TurboSlopeOptions(int step, int rates, int marked) {
  Options out = Numbered(step, step, rates, "deg/0.1S", marked);
  out.push_back("Instant");
  return out;
}

#define FIELD(name) std::string_view(#name), &EscSettingsImage::name

std::vector<PageDef> BuildPages() {
  std::vector<PageDef> pages;

  pages.push_back(PageDef{
      kPageGeneral,
      "General",
      "GENERAL",
      "b61.bmp",
      {
          {"PROMODE",
           FIELD(profile_preset),
           List({"Modify", "Zero Timing", "Practice", "Sport", "Stock 10.5T", "Stock 13.5T",
                 "Stock17.5T", "Buggy&SCT", "Crawler", "Drift"}),
           0,
           "All in One. Up to ten profiles can be stored in the memory and imported or exported "
           "easily. Factory pre-set profiles include Blinky mode, Modified Mode, Stock mode, "
           "Practice mode, Offroad mode, Drift mode, Crawler mode.",
           1076,
           {129, 21, 86, 12},
           1023,
           {131, 33, 80, 79},
           kProfileTextLimit},
          {"RUN MODE",
           FIELD(run_mode),
           List({"Forward/Brake(*)", "Forward/Brake/Reverse", "Forward/Reverse"}),
           0,
           "There are three options available for setting of the running mode;\r\nOption 1: "
           "Forward Only with Brake The car will only go forward and have brakes, but reverse is "
           "disabled. This mode is suitable for competition purposes.\r\n \r\nOption 2: "
           "Forward/Reverse with Brake This mode provides a reverse function, which is suitable "
           "for practice.\r\n \r\nOption 3: Forward / Reverse When moving from forward to "
           "reverse, the ESC will engage reverse immediately. This mode is intended for rock "
           "crawling applications, where instant control is requirement.",
           1077,
           {135, 51, 82, 12},
           1082,
           {131, 61, 80, 31}},
          {"VOLTAGE CUTOFF",
           FIELD(voltage_cutoff),
           VoltageCutoffOptions(),
           1,
           "This setting defines the low voltage cutoff for use with LiPo batteries,preventing "
           "over discharging.The ESC detects the batterys voltage at any time, if the voltage is "
           "lower than the threshold,the output powerwill be reduced  80% and the red LED flashes "
           ".\r\nOption 1: None – No voltage cutoff is used. Select for use with NiCD or NiMH "
           "battery types.",
           1078,
           {129, 81, 87, 12},
           1024,
           {131, 93, 80, 49}},
          {"ESC HEAT PROTECT",
           FIELD(esc_heat_protect),
           List({"85 degree Celsius", "105 degree Celsius(*)", "125 degree Celsius", "Disable"}),
           1,
           "If this function is selected, the output power will be cut-off if the internal "
           "temperature of the ESC hits the set level for 5 seconds. When the protection "
           "activates, the yellow LED will flash \r\n \r\n Options: 85°C, 105°C, 125°C, Disabled",
           1079,
           {136, 110, 80, 12},
           1083,
           {131, 120, 80, 51}},
          {"MOTTER ROTATION",
           FIELD(motor_rotation),
           List({"Normal(*)", "Reverse"}),
           0,
           "CONTROL THE RUNNING DIRECTION OF THE CAR.\r\nTHE PARAMETERS CAN BE SET ACCORDING TO "
           "YOUR REQUIREMENT TO CHANGE THE MOTOR ROTATION.",
           1080,
           {139, 139, 71, 12},
           1025,
           {131, 149, 80, 21}},
          {"ESC OUT",
           FIELD(esc_out),
           List({"6.0v(*)", "7.4v"}),
           0,
           "There are two bec outputs,one is 6.0v,the other is 7.4v",
           1081,
           {138, 168, 71, 12},
           1026,
           {131, 178, 80, 21}},
      },
      1195,
      {12, 195, 15, 15},
      {12, 195, 15, 15},
  });

  pages.push_back(PageDef{
      kPageThrottle,
      "Throttle",
      "THROTTLE",
      "b51.bmp",
      {
          {"PUNCH RATE1",
           FIELD(punch_rate1),
           Numbered(1, 1, 30, "", 14),
           14,
           "This is the level of punch used in the first stage of the punch range, before the "
           "switch point. Setting 1 is least punch, with 30 being the most.\r\n Options: 1 – 30, "
           "with steps of 1.",
           1087,
           {132, 24, 80, 12},
           1120,
           {131, 35, 80, 91}},
          {"PUNCH RATE2",
           FIELD(punch_rate2),
           Numbered(1, 1, 30, "", 14),
           14,
           "This is the level of punch used in the second stage of the punch range, after the "
           "switch point. Setting 1 is least punch, with 30 being the most.\r\n Options: 1 – 30, "
           "with steps of 1.",
           1088,
           {132, 54, 80, 12},
           1121,
           {131, 65, 80, 78}},
          {"Reverse Speed",
           FIELD(reverse_speed),
           List({"25%(*)", "50%", "75%", "100%"}),
           0,
           "TO CONTROL THE REVERSE POWER OUTPUT TO THE MOTOR, HIGHER VALUE WILL PROVIDE MORE "
           "REVERSE POWER DELIVERY TO THE MOTOR",
           1090,
           {132, 83, 80, 12},
           1091,
           {131, 93, 80, 42}},
          {"SWITCHPOINT",
           FIELD(throttle_switch_point),
           Numbered(1, 1, 99, "%", 49),
           49,
           "This setting defines the point in the forward throttle position at which the punch "
           "rate changes. \r\n Options: 1-99%, in steps of 1%.",
           1054,
           {132, 112, 80, 12},
           1055,
           {131, 122, 80, 63}},
          {"THCURVE",
           FIELD(throttle_curve_mode),
           List({"Linear(*)", "Custom"}),
           0,
           "This setting is used to define the input throttle curve into the ESC. \r\n \r\n "
           "Option 1: Linear – This is where the forward throttle position of the transmitter "
           "directly relates to the forward throttle position into the ESC.\r\n \r\n Option 2: "
           "Custom – This allows for a multi-step setting to the forward throttle. This differs "
           "from exponential on the transmitter, in that the forward throttle input into the ESC "
           "can be defined in multiple increasing steps.",
           1089,
           {132, 140, 80, 12},
           1122,
           {131, 154, 80, 24}},
      },
      1196,
      {7, 172, 15, 15},
      {7, 172, 15, 15},
  });

  pages.push_back(PageDef{
      kPageBrake,
      "Brake",
      "BRAKE",
      "b7.bmp",
      {
          {"INITIAL BRAKE",
           FIELD(initial_brake),
           List({"=Drag Brake(*)", "0%", "20%", "30%", "40%"}),
           0,
           "This setting refers to the level of braking applied in the initial portion of the "
           "backward throttle. The default value is equal to the drag brake force, so the brake "
           "effect can be very smoothly.\r\n \r\n Options: =Drag Brake, 0%, 20%, 30%, 40%",
           1049,
           {137, 22, 80, 12},
           1061,
           {134, 31, 80, 44}},
          {"DRAG BRAKE",
           FIELD(drag_brake),
           Numbered(0, 1, 101, "%", 10),
           10,
           "This setting sets the amount of drag brake applied at neutral throttle to simulate a "
           "slight braking effect. The level can be set as a percentage of the overall backward "
           "throttle.\r\n \r\n Options: 0-100%, with steps of 1%",
           1050,
           {137, 52, 80, 12},
           1060,
           {134, 59, 80, 68}},
          {"BRAKE STRENGTH",
           FIELD(brake_strength),
           List({"0%", "12.5%", "25%", "37.5%", "50%", "62.5%", "75%(*)", "87.5%", "100%"}),
           6,
           "This settings defines the overall brake level as a percentage of the backward "
           "throttle. A higher value will result in stronger brakes.\r\n \r\n Options: 0%, 12.5%, "
           "25%, 37.5%, 50%, 62.5%, 75%, 87.5%, 100%",
           1051,
           {137, 80, 80, 12},
           1059,
           {134, 87, 80, 67}},
          {"BRAKE RATE1",
           FIELD(brake_rate1),
           Numbered(1, 1, 20, "", 19),
           19,
           "This is the level of brake rate used in the first stage of the range, before the "
           "switch point. Setting 1 is least braking rate, with 30 being the most.\r\n \r\n "
           "Options: 1 – 20, with steps of 1.",
           1052,
           {137, 109, 80, 12},
           1058,
           {134, 116, 80, 63}},
          {"SWITCH POINT",
           FIELD(brake_switch_point),
           Numbered(1, 1, 99, "%", 49),
           49,
           "This setting defines the point in the backward throttle position at which the brake "
           "rate changes. \r\n \r\n Options: 1-99%, in steps of 1%.",
           1054,
           {137, 138, 82, 12},
           1118,
           {134, 144, 80, 55}},
          {"BRAKE RATE2",
           FIELD(brake_rate2),
           Numbered(1, 1, 20, "", 19),
           19,
           "This is the level of brake rate used in the second stage of the range, after the "
           "switch point. Setting 1 is least braking rate, with 30 being the most.\r\n \r\n "
           "Options: 1 – 20, with steps of 1.",
           1053,
           {137, 166, 80, 12},
           1057,
           {134, 173, 80, 46}},
          {"BRAKE CURVE",
           FIELD(brake_curve_mode),
           List({"Liner(*)", "Custom"}),
           0,
           "This setting is used to define the input brake curve into the ESC. \r\n \r\n Option "
           "1: Linear – This is where the backward position of the transmitter directly relates "
           "to the backward throttle position into the ESC.\r\n \r\n Option 2: Custom – This "
           "allows for a multi-step setting to the throttle. This differs from exponential on "
           "the transmitter, in that the backward throttle input into the ESC can be defined in "
           "multiple increasing steps. ",
           1023,
           {137, 191, 80, 12},
           1056,
           {133, 198, 80, 22}},
      },
      1192,
      {6, 167, 15, 15},
      {8, 167, 15, 15},
  });

  pages.push_back(PageDef{
      kPageBoost,
      "Boost",
      "BOOST",
      "b52.bmp",
      {
          {"BOOST TIMING",
           FIELD(boost_timing),
           Numbered(0, 1, 65, "deg", 0),
           0,
           "This setting sets the total amount of boost timing added across the boost RPM range. "
           "\r\n Options: 0-64 points, with steps of 1",
           1035,
           {134, 25, 80, 12},
           1031,
           {132, 34, 80, 71}},
          {"START RPM",
           FIELD(boost_start_rpm),
           Numbered(1000, 500, 69, "rpm", 28),
           28,
           "This setting defines the RPM at which the boost timing is started to be added.\r\n "
           "Options: 1,000rpm – 35,000rpm, with steps of 500rpm.",
           1036,
           {134, 54, 80, 12},
           1030,
           {131, 66, 80, 67}},
          {"END RPM",
           FIELD(boost_end_rpm),
           Numbered(3000, 500, 115, "rpm", 44),
           44,
           "This setting defines the RPM at which the full level of boost timing is applied.\r\n "
           "Options: 3,000rpm – 60,000rpm, with steps of 500rpm.",
           1028,
           {134, 83, 80, 12},
           1027,
           {131, 94, 80, 57}},
          {"STABLITY ASSSIST",
           FIELD(stability_assist),
           List({"Yes(*)", "No"}),
           0,
           "This setting is a limit for the boost timing addition, in relation to the throttle "
           "position, which can aid car stability while on throttle. If enabled, the ESC will "
           "monitor the throttle position and Motor RPM, and limit the maximum amount of "
           "available boost timing.\r\n E.g. If the boost timing is set to 36 points and the "
           "boost end RPM setting has been achieved, but the throttle position is only 50%, then "
           "only 32 points (50% of 64 points) of boost will be applied.",
           1038,
           {134, 111, 80, 12},
           1032,
           {134, 123, 80, 23}},
          {"SLOPE",
           FIELD(boost_slope),
           List({"Liner(*)", "Custom"}),
           0,
           "This setting controls how the boost timing is applied within the RPM range. There "
           "are two options for this setting.\r\n \r\n Option 1: Linear – This applies the boost "
           "in a linear manner within the RPM Range. The ESC calculates the rate of addition of "
           "boost, based off of Setting 21, 22 & 23.\r\n \r\n Option 2: Custom – This allows for "
           "a non-linear addition of Boost timing within the RPM range. The boost can be applied "
           "in multiple increasing steps throughout the range.",
           1037,
           {134, 140, 80, 12},
           1029,
           {131, 150, 80, 25}},
      },
      1193,
      {5, 167, 15, 15},
      {4, 171, 15, 15},
  });

  pages.push_back(PageDef{
      kPageTurbo,
      "Turbo",
      "TURBO",
      "b6.bmp",
      {
          {"TURBO TIMING",
           FIELD(turbo_timing),
           Numbered(0, 1, 65, "deg", 10),
           10,
           "This setting sets the total amount of turbo timing that can be applied. \r\n "
           "Options: 0-64 points, with steps of 1",
           1015,
           {129, 21, 88, 12},
           1123,
           {130, 30, 80, 77}},
          {"ACTIVATION METHOD",
           FIELD(turbo_activation),
           List({"Full TH(*)", "RPM", "Full TH+RPM"}),
           0,
           "This defines the activation method for the addition of the turbo timing.\r\n \r\n "
           "Option 1: Full Throttle – Turbo timing is activated only after 100% throttle has "
           "been applied, and the full throttle delay (setting 28) is elapsed.\r\n \r\n Option 2: "
           "RPM – Turbo timing is activated only after the Turbo Start RPM (setting 29) is "
           "achieved.\r\n \r\n Option 3: Full Throttle and RPM – This is a combination of option "
           "1 and option 2, where the turbo timing will only active if both the full throttle "
           "and RPM conditions are met.",
           1016,
           {129, 51, 88, 12},
           1124,
           {133, 56, 80, 32}},
          {"TURBO DELAY",
           FIELD(turbo_delay),
           List({"Instant", "0.05S", "0.1S", "0.15S", "0.2S", "0.25S", "0.3S(*)", "0.35S", "0.4S",
                 "0.45S", "0.5S", "0.6S", "0.7S", "0.8S", "0.9S", "1.0S"}),
           6,
           "This setting is used to set the delay after achieving full throttle that the Turbo "
           "timing is applied.\r\n \r\n Options: Instant, 0.05s, 0.1s, 0.15s, 0.2s, 0.25s, 0.3s, "
           "0.35s, 0.4s, 0.45s, 0.5s, 0.6s, 0.7s, 0.8s, 0.9s,1.0s\r\n \r\n Note: If setting 27 is "
           "set to Option 2, this setting will have no effect on the turbo activation.",
           1017,
           {129, 80, 87, 12},
           1125,
           {130, 87, 80, 68}},
          {"START RPM",
           FIELD(turbo_start_rpm),
           Numbered(8000, 1000, 43, "rpm", 12),
           12,
           "This setting is used to define the \r\n RPM value at which turbo is activated.\r\n "
           "\r\n Options: 8,000rpm – 50,000rpm, \r\n with steps of 1,000rpm.\r\n \r\n Note: If "
           "item 5B is set to Option 1, this setting will have no effect on the turbo "
           "activation.",
           1036,
           {129, 107, 86, 12},
           1022,
           {130, 118, 80, 60}},
          {"TURBO SLOPE \"ON\"",
           FIELD(turbo_slope_on),
           TurboSlopeOptions(3, 10, 4),
           4,
           "This setting relates to the rate of engagement when the activation conditions are "
           "met. The rate is defined in points added per 0.1s. A higher value means faster "
           "addition of Turbo timing.\r\n \r\n Options: 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, "
           "Instant",
           1019,
           {129, 137, 86, 12},
           1126,
           {130, 147, 80, 49}},
          {"TURBO SLOPE \"OFF\"",
           FIELD(turbo_slope_off),
           TurboSlopeOptions(6, 5, 3),
           3,
           "This setting relates to the disengagement of the turbo timing, which can help to "
           "avoid a large breaking effect when coming off the throttle with high turbo levels. "
           "The rate of disengagement is defined as points per 0.1s, with a higher value meaning "
           "a faster disengagement.\r\n \r\n Options: 6, 12, 18, 24, 30, Instant",
           1020,
           {129, 166, 87, 12},
           1096,
           {130, 177, 80, 41}},
      },
      1033,
      {7, 176, 15, 15},
      {8, 182, 15, 15},
  });

  return pages;
}

#undef FIELD

}  // namespace

int32_t ClampToOptions(int32_t value, size_t option_count) {
  if (option_count == 0) return 0;
  if (static_cast<uint32_t>(value) >= option_count) return static_cast<int32_t>(option_count - 1);
  return value;
}

const std::string& OptionText(const SettingDef& setting, int32_t value) {
  static const std::string kNone;
  if (setting.options.empty()) return kNone;
  return setting.options[static_cast<size_t>(ClampToOptions(value, setting.options.size()))];
}

const std::vector<PageDef>& EditingPages() {
  static const std::vector<PageDef> pages = BuildPages();
  return pages;
}

const PageDef* FindPage(int32_t page_id) {
  for (const PageDef& page : EditingPages()) {
    if (page.page_id == page_id) return &page;
  }
  return nullptr;
}

const SettingDef* FindSetting(ImageField field) {
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& setting : page.settings) {
      if (setting.field == field) return &setting;
    }
  }
  return nullptr;
}

const SettingDef* FindSettingByName(std::string_view field_name) {
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& setting : page.settings) {
      if (setting.field_name == field_name) return &setting;
    }
  }
  return nullptr;
}

}  // namespace tessel
