#include "core/model/data_page.h"

#include <cstdio>

namespace tessel {
namespace {

// The three instructions differ only in small details of spacing.
constexpr const char* kHelpVoltage =
    "After you run a pack, turn off the ESC , the data will be saved to the memory then. Connect "
    "the LCD box to the speedo and turn it on, wait for the normal procedure of connecting "
    "completed and the Item 1A showed, press the 3rd button from the left, it will show the "
    "mode, press it again to show the 1st data recorded and so on. Max. ESC temp, Max Motor "
    "temp., Min. battery voltage and Max. RPM can be read out.The data in the memory will be "
    "updated(or cleared) when you turn the speedo on and off next time. ";
constexpr const char* kHelpEscTemp =
    "After you run a pack, turn off the ESC , the data will be saved to the memory then.Connect "
    "the LCD box to the speedo and turn it on, wait for the normal procedure of connecting "
    "completed and the Item 1A showed, press the 3rd button from the left, it will show the "
    "mode, press it again to show the 1st data recorded and so on. Max. ESC temp, Max Motor "
    "temp., Min. battery voltage and Max. RPM can be read out.\r\n The data in the memory will "
    "be updated(or cleared) when you turn the speedo on and off next time. ";
constexpr const char* kHelpMotor =
    "After you run a pack, turn off the ESC , the data will be saved to the memory then. Connect "
    "the LCD box to the speedo and turn it on, wait for the normal procedure of connecting "
    "completed and the Item 1A showed, press the 3rd button from the left, it will show the "
    "mode, press it again to show the 1st data recorded and so on. Max. ESC temp, Max Motor "
    "temp., Min. battery voltage and Max. RPM can be read out.\r\n The data in the memory will "
    "be updated(or cleared) when you turn the speedo on and off next time.";

#define FIELD(name) std::string_view(#name), &EscSettingsImage::name

std::vector<DataFieldDef> BuildDataFields() {
  return {
      {"BATT MIN VOLTAGE",
       1056,
       FIELD(log_batt_min_voltage),
       1060,
       {133, 26, 80, 12},
       kHelpVoltage,
       &FormatBattMinVoltage},
      {"ESC MAX TEMP",
       1057,
       FIELD(log_esc_max_temp),
       1061,
       {133, 54, 80, 12},
       kHelpEscTemp,
       &FormatTemperature},
      {"MOT MAX TEMP",
       1058,
       FIELD(log_motor_max_temp),
       1062,
       {133, 82, 80, 12},
       kHelpMotor,
       &FormatTemperature},
      {"MOT MAX RPM",
       1059,
       FIELD(log_motor_max_rpm),
       1063,
       {133, 110, 80, 12},
       kHelpMotor,
       &FormatMotorRpm},
  };
}

#undef FIELD

}  // namespace

const std::vector<DataFieldDef>& DataFields() {
  static const std::vector<DataFieldDef> fields = BuildDataFields();
  return fields;
}

std::string FormatBattMinVoltage(int32_t tenths) {
  const float volts = static_cast<float>(static_cast<uint32_t>(tenths)) / 10.0f;
  char text[64];
  std::snprintf(text, sizeof text, "%5.2fV", static_cast<double>(volts));
  return text;
}

std::string FormatTemperature(int32_t celsius) {
  char text[32];
  std::snprintf(text, sizeof text, "%01ddegree celsius", celsius);
  return text;
}

std::string FormatMotorRpm(int32_t thousands) {
  // Widened so that no stored value can overflow the multiplication.
  char text[32];
  std::snprintf(text, sizeof text, "%01lldrpm", static_cast<long long>(thousands) * 1000);
  return text;
}

std::vector<std::string> LoggedDataTexts(const EscSettingsImage& image) {
  std::vector<std::string> texts;
  for (const DataFieldDef& f : DataFields()) texts.push_back(f.format(image.*f.field));
  return texts;
}

}  // namespace tessel
