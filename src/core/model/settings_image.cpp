#include "core/model/settings_image.h"

#include <cmath>

namespace tessel {

namespace {

using I = EscSettingsImage;

constexpr std::array<ParamField, kFullEscParamCount> kFullEscFields{{
    {0, "run_mode", &I::run_mode, 0xA4, "General", "RUN MODE"},
    {1, "reverse_speed", &I::reverse_speed, 0xE8, "Throttle", "Reverse Speed"},
    {2, "voltage_cutoff", &I::voltage_cutoff, 0xEC, "General", "VOLTAGE CUTOFF"},
    {3, "esc_heat_protect", &I::esc_heat_protect, 0xEF, "General", "ESC HEAT PROTECT"},
    {4, "motor_rotation", &I::motor_rotation, 0xE7, "General", "MOTTER ROTATION"},
    {5, "throttle_switch_point", &I::throttle_switch_point, 0xEA, "Throttle", "SWITCHPOINT"},
    {6, "punch_rate1", &I::punch_rate1, 0xE6, "Throttle", "PUNCH RATE1"},
    {7, "punch_rate2", &I::punch_rate2, 0xEB, "Throttle", "PUNCH RATE2"},
    {8, "throttle_curve_mode", &I::throttle_curve_mode, 0xE9, "Throttle", "THCURVE"},
    {9, "drag_brake", &I::drag_brake, 0xE4, "Brake", "DRAG BRAKE"},
    {10, "brake_strength", &I::brake_strength, 0xE3, "Brake", "BRAKE STRENGTH"},
    {11, "initial_brake", &I::initial_brake, 0xED, "Brake", "INITIAL BRAKE"},
    {12, "brake_switch_point", &I::brake_switch_point, 0xEE, "Brake", "SWITCH POINT"},
    {13, "brake_rate1", &I::brake_rate1, 0xA6, "Brake", "BRAKE RATE1"},
    {14, "brake_rate2", &I::brake_rate2, 0xA7, "Brake", "BRAKE RATE2"},
    {15, "brake_curve_mode", &I::brake_curve_mode, 0xE1, "Brake", "BRAKE CURVE"},
    {16, "boost_timing", &I::boost_timing, 0xE5, "Boost", "BOOST TIMING"},
    {17, "boost_start_rpm", &I::boost_start_rpm, 0xA3, "Boost", "START RPM"},
    {18, "boost_end_rpm", &I::boost_end_rpm, 0xA8, "Boost", "END RPM"},
    {19, "boost_slope", &I::boost_slope, 0xA9, "Boost", "SLOPE"},
    {20, "stability_assist", &I::stability_assist, 0xAA, "Boost", "STABLITY ASSSIST"},
    {21, "turbo_timing", &I::turbo_timing, 0xA1, "Turbo", "TURBO TIMING"},
    {22, "turbo_activation", &I::turbo_activation, 0xAB, "Turbo", "ACTIVATION METHOD"},
    {23, "turbo_delay", &I::turbo_delay, 0xA2, "Turbo", "TURBO DELAY"},
    {24, "turbo_start_rpm", &I::turbo_start_rpm, 0xAC, "Turbo", "START RPM"},
    {25, "turbo_slope_on", &I::turbo_slope_on, 0xAD, "Turbo", "TURBO SLOPE \"ON\""},
    {26, "turbo_slope_off", &I::turbo_slope_off, 0xA5, "Turbo", "TURBO SLOPE \"OFF\""},
    {27, "log_batt_min_voltage", &I::log_batt_min_voltage, std::nullopt, "Data",
     "BATT MIN VOLTAGE"},
    {28, "log_esc_max_temp", &I::log_esc_max_temp, std::nullopt, "Data", "ESC MAX TEMP"},
    {29, "log_motor_max_temp", &I::log_motor_max_temp, std::nullopt, "Data", "MOT MAX TEMP"},
    {30, "log_motor_max_rpm", &I::log_motor_max_rpm, std::nullopt, "Data", "MOT MAX RPM"},
}};

constexpr std::array<V1Field, 11> kV1Fields{{
    {0, "v1_cutoff_voltage", &I::v1_cutoff_voltage, 0xEC, "Cut-off Voltage", false},
    {2, "v1_running_mode", &I::v1_running_mode, 0xE2, "Running Mode", false},
    {3, "v1_percentage_braking", &I::v1_percentage_braking, 0xE3, "Percentage Braking", false},
    {4, "v1_drag_brake", &I::v1_drag_brake, 0xE4, "Percentage Drag Brake", false},
    {5, "v1_motor_timing", &I::v1_motor_timing, 0xE5, "Motor Timing", false},
    {6, "v1_initial_acceleration", &I::v1_initial_acceleration, 0xE6, "Initial Acceleration",
     false},
    {7, "v1_throttle_limit", &I::v1_throttle_limit, 0xE7, "Throttle Limit", false},
    {8, "v1_throttle_percent_reverse", &I::v1_throttle_percent_reverse, 0xE8,
     "Throttle Percent Reverse", false},
    {10, "v1_neutral_range", &I::v1_neutral_range, 0xEA, "Neutral range", false},
    {11, "v1_motor_rotation", &I::v1_motor_rotation, 0xEB, "Motor Rotation", false},
    {14, "v1_bec_voltage", &I::v1_bec_voltage, 0xA1, "BEC", true},
}};

const std::array<CurveField, 3> kCurveFields{{
    {"boost_curve", &I::boost_curve, &I::boost_slope, 0xDE, 0xDF, 5, 2},
    {"brake_curve", &I::brake_curve, &I::brake_curve_mode, 0xDB, 0xDC, 5, 2},
    {"throttle_curve", &I::throttle_curve, &I::throttle_curve_mode, 0xD9, 0xDA, 10, 4},
}};

}  // namespace

std::span<const ParamField> FullEscFields() { return kFullEscFields; }
std::span<const V1Field> V1Fields() { return kV1Fields; }
std::span<const CurveField> CurveFields() { return kCurveFields; }

const CurveField& CurveFieldFor(CurveData EscSettingsImage::*curve) {
  for (const auto& c : kCurveFields) {
    if (c.curve == curve) return c;
  }
  return kCurveFields[0];
}

const ParamField* FindFullEscField(std::string_view name) {
  for (const auto& f : kFullEscFields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

const V1Field* FindV1Field(std::string_view name) {
  for (const auto& f : kV1Fields) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

uint8_t V1CutoffCode(int32_t index) {
  if (index >= 0 && index < static_cast<int32_t>(kV1CutoffCodes.size())) {
    return kV1CutoffCodes[static_cast<size_t>(index)];
  }
  return static_cast<uint8_t>(index);
}

std::optional<int32_t> V1CutoffIndexFromCode(uint8_t code) {
  for (size_t i = 0; i < kV1CutoffCodes.size(); ++i) {
    if (kV1CutoffCodes[i] == code) return static_cast<int32_t>(i);
  }
  return std::nullopt;
}

uint8_t CurveWireByte(const CurveData& curve, int pos) {
  if (pos < 40) return curve.table[static_cast<size_t>(pos)];
  if (pos < 80) return curve.x[static_cast<size_t>(pos - 40)];
  return curve.y[static_cast<size_t>(pos - 80)];
}

void SetCurveWireByte(CurveData& curve, int pos, uint8_t value) {
  if (pos < 0 || pos >= kCurveWireBytes) return;
  if (pos < 40) {
    curve.table[static_cast<size_t>(pos)] = value;
  } else if (pos < 80) {
    curve.x[static_cast<size_t>(pos - 40)] = value;
  } else {
    curve.y[static_cast<size_t>(pos - 80)] = value;
  }
}

uint32_t CurveCheckSum(const CurveData& curve) {
  uint32_t sum = 0;
  for (int pos = 0; pos < kCurveWireBytes; ++pos) sum += CurveWireByte(curve, pos);
  return sum;
}

std::array<uint8_t, 2> CurveCheckBytes(const CurveData& curve) {
  const uint32_t s = CurveCheckSum(curve);
  return {static_cast<uint8_t>(s / 100), static_cast<uint8_t>(s % 100)};
}

void SampleCurve(const uint8_t* x, const uint8_t* y, uint32_t point_count, uint8_t* table) {
  // The walk looks one point ahead, so keep it inside the 100-entry arrays.
  const uint32_t n = point_count > 99 ? 99 : point_count;
  uint32_t k = 0;
  int X = 2;
  uint32_t i = 0;
  auto output = [&](int v) {
    if (k < 50) table[k] = static_cast<uint8_t>(v);
    ++k;
    X = X + 2 + static_cast<int>(k % 2);
  };
  while (i < n) {
    while (X <= 100) {
      if (x[i] > X) {
        ++i;
      } else if (x[i] == X) {
        output(y[i]);
      } else if (x[i + 1] < X) {
        ++i;
      } else if (x[i + 1] == X) {
        output(y[i + 1]);
      } else {
        const float y0 = static_cast<float>(y[i]);
        const float y1 = static_cast<float>(y[i + 1]);
        const float x0 = static_cast<float>(x[i]);
        const float x1 = static_cast<float>(x[i + 1]);
        const float t = (y1 - y0) / (x1 - x0) * (static_cast<float>(X) - x0);
        const long r = std::lround(t);  // half away from zero
        output(static_cast<int>(y[i]) + static_cast<int>(r));
      }
      if (i >= n) return;  // segments used up mid-walk: the end samples stay as they are
    }
    ++i;
  }
  table[39] = 100;
  table[0] = 0;
}

}  // namespace tessel
