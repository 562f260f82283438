#include "core/model/v1_settings.h"

namespace tessel {
namespace {

#define FIELD(name) std::string_view(#name), &EscSettingsImage::name

std::vector<V1SettingDef> BuildV1Settings() {
  return {
      {1199,
       "Running Mode",
       1158,
       FIELD(v1_running_mode),
       {"Forward w/o Reverse", "Forward with pause then Reverse(*)", "Forward/Reverse"},
       1,
       false},
      {1200,
       "Motor Timing",
       1201,
       FIELD(v1_motor_timing),
       {"Very Low", "Low", "Normal(*)", "High", "Very High"},
       2,
       false},
      {1202,
       "Initial Acceleration",
       1138,
       FIELD(v1_initial_acceleration),
       {"Very Soft", "Soft", "High(*)", "Very High"},
       2,
       false},
      {1203, "Motor Rotation", 1140, FIELD(v1_motor_rotation), {"Normal(*)", "Reverse"}, 0, false},
      {1205,
       "Throttle Percent Reverse",
       1159,
       FIELD(v1_throttle_percent_reverse),
       {"20%", "30%", "40%", "50%", "60%(*)", "70%", "80%", "90%", "100%"},
       4,
       false},
      {1206,
       "Throttle Limit",
       1210,
       FIELD(v1_throttle_limit),
       {"0%(*)", "20%", "30%", "40%", "50%", "60%", "70%", "80%", "90%"},
       0,
       false},
      {1207,
       "Neutral range",
       1141,
       FIELD(v1_neutral_range),
       {"2%", "3%", "4%(*)", "5%", "6%", "10%"},
       2,
       false},
      {1208,
       "Percentage Braking",
       1143,
       FIELD(v1_percentage_braking),
       {"10%", "20%", "30%", "40%", "50%(*)", "60%", "70%", "80%", "100%"},
       4,
       false},
      {1211,
       "Percentage Drag Brake",
       1144,
       FIELD(v1_drag_brake),
       {"0%(*)", "4%", "8%", "12%", "15%", "20%", "25%", "30%"},
       0,
       false},
      {1072,
       "Cut-off Voltage",
       1145,
       FIELD(v1_cutoff_voltage),
       {"2.6V/Cell", "2.8V/Cell", "3.0V/Cell(*)", "3.2V/Cell", "3.4V/Cell", "NOCut-Off"},
       2,
       false},
      {1218, "BEC", 1147, FIELD(v1_bec_voltage), {"6.0V(*)", "8.4V"}, 0, true},
  };
}

#undef FIELD

}  // namespace

const std::vector<V1SettingDef>& V1Settings() {
  static const std::vector<V1SettingDef> settings = BuildV1Settings();
  return settings;
}

const V1SettingDef* FindV1Setting(ImageField field) {
  for (const V1SettingDef& s : V1Settings()) {
    if (s.field == field) return &s;
  }
  return nullptr;
}

std::array<int32_t, kV1SettingCount> V1DefaultSelections() {
  std::array<int32_t, kV1SettingCount> out{};
  const auto& settings = V1Settings();
  for (size_t i = 0; i < out.size() && i < settings.size(); ++i) {
    out[i] = settings[i].default_index;
  }
  return out;
}

void ApplyV1Defaults(EscSettingsImage& image) {
  for (const V1SettingDef& s : V1Settings()) image.*s.field = s.default_index;
}

std::vector<WirePair> V1SettingPairs(const EscSettingsImage& image) {
  std::vector<WirePair> pairs;
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only || f.field == &EscSettingsImage::v1_cutoff_voltage) continue;
    pairs.push_back({f.set_command, static_cast<uint8_t>(image.*(f.field))});
  }
  return pairs;
}

}  // namespace tessel
