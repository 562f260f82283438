#include "core/model/presets.h"

namespace tessel {
namespace {

using I = EscSettingsImage;

// Same value for every profile.
constexpr std::array<int32_t, kProfilePresetCount> All(int32_t v) {
  return {v, v, v, v, v, v, v, v, v, v};
}

// Profiles: 0 Modify, 1 Zero Timing, 2 Practice, 3 Sport, 4 Stock 10.5T, 5 Stock 13.5T,
// 6 Stock17.5T, 7 Buggy&SCT, 8 Crawler, 9 Drift.
constexpr PresetRow kPresetTable[] = {
    {&I::voltage_cutoff, All(1)},       // Auto
    {&I::esc_heat_protect, All(1)},     // 105 degree Celsius
    {&I::motor_rotation, All(0)},       // Normal
    {&I::esc_out, All(0)},              // 6.0v
    {&I::throttle_curve_mode, All(0)},  // Linear
    {&I::initial_brake, All(0)},        // =Drag Brake
    {&I::brake_switch_point, All(49)},  // 50%
    {&I::brake_curve_mode, All(0)},     // Linear
    {&I::boost_slope, All(0)},          // Linear
    {&I::turbo_activation, All(0)},     // Full TH
    {&I::turbo_start_rpm, All(12)},     // 20000rpm
    {&I::run_mode, {0, 0, 1, 0, 0, 0, 0, 0, 2, 0}},
    {&I::punch_rate1, {14, 29, 19, 19, 29, 29, 29, 9, 19, 19}},
    {&I::punch_rate2, {14, 29, 19, 19, 29, 29, 29, 19, 19, 19}},
    {&I::reverse_speed, {0, 0, 0, 0, 0, 0, 0, 0, 3, 0}},
    {&I::throttle_switch_point, {49, 49, 49, 49, 49, 49, 49, 39, 49, 49}},
    {&I::drag_brake, {10, 5, 5, 5, 5, 5, 0, 0, 100, 0}},
    {&I::brake_strength, {6, 8, 8, 8, 6, 5, 5, 6, 8, 4}},
    {&I::brake_rate1, {19, 9, 19, 19, 19, 19, 19, 9, 19, 9}},
    {&I::brake_rate2, {19, 9, 9, 9, 9, 9, 9, 9, 19, 9}},
    {&I::boost_timing, {0, 0, 0, 0, 20, 30, 36, 0, 0, 0}},
    {&I::boost_start_rpm, {28, 10, 10, 10, 10, 6, 2, 10, 10, 10}},
    {&I::boost_end_rpm, {48, 39, 39, 39, 30, 24, 18, 39, 39, 39}},
    {&I::stability_assist, {0, 0, 0, 0, 0, 1, 1, 0, 0, 0}},
    {&I::turbo_timing, {10, 0, 10, 10, 25, 25, 28, 10, 0, 0}},
    {&I::turbo_delay, {6, 6, 6, 6, 6, 4, 4, 0, 6, 6}},
    {&I::turbo_slope_on, {4, 3, 3, 3, 5, 7, 7, 2, 3, 3}},
    {&I::turbo_slope_off, {3, 3, 3, 3, 2, 2, 2, 3, 3, 3}},
};

}  // namespace

std::span<const PresetRow> ProfilePresetTable() {
  return kPresetTable;
}

bool ApplyProfilePreset(EscSettingsImage& image) {
  const int32_t profile = image.profile_preset;
  if (profile < 0 || profile >= kProfilePresetCount) return false;
  for (const PresetRow& row : kPresetTable) {
    image.*row.field = row.values[static_cast<size_t>(profile)];
  }
  return true;
}

}  // namespace tessel
