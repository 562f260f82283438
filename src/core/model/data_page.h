// The Data page: four values the ESC logs during a run, shown as text and never edited.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/pages.h"

namespace tessel {

struct DataFieldDef {
  std::string_view caption;  // hidden caption, e.g. "BATT MIN VOLTAGE"
  int caption_id;
  std::string_view field_name;
  ImageField field;
  int value_box_id;
  DluRect value_box;
  std::string help;  // with "\r\n" line breaks
  std::string (*format)(int32_t value);
};

constexpr std::string_view kDataPageBackground = "b4.bmp";
constexpr int kDataHelpBoxId = 1194;
constexpr DluRect kDataIndicatorRect{7, 170, 15, 15};  // both 1104 and 1105

// Top to bottom: battery voltage, ESC temperature, motor temperature, motor rpm.
const std::vector<DataFieldDef>& DataFields();

// Tenths of a volt (read as unsigned) / 10 as "%5.2f" followed by "V": 74 -> " 7.40V".
std::string FormatBattMinVoltage(int32_t tenths);
// Degrees Celsius as "%01d" followed by "degree celsius": 65 -> "65degree celsius".
std::string FormatTemperature(int32_t celsius);
// Thousands of rpm times 1000 as "%01d" followed by "rpm": 45 -> "45000rpm". The field is 16
// bits wide after a file import, so values above 255 occur.
std::string FormatMotorRpm(int32_t thousands);

// ShowLoggedData: the four value texts, in DataFields() order.
std::vector<std::string> LoggedDataTexts(const EscSettingsImage& image);

}  // namespace tessel
