// The ten factory profiles of the General page's "PROMODE" list.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "core/model/settings_image.h"

namespace tessel {

constexpr int32_t kProfilePresetCount = 10;

// One field a preset writes: the index stored by each of the ten profiles.
struct PresetRow {
  ImageField field;
  std::array<int32_t, kProfilePresetCount> values;
};

// The 28 fields every profile writes, in the order they are written.
std::span<const PresetRow> ProfilePresetTable();

// Writes the profile named by image.profile_preset into the image. A profile outside 0..9
// writes nothing. Never touches profile_preset, last_profile_preset, the curves or anything
// else outside the table. Returns false when nothing was written.
bool ApplyProfilePreset(EscSettingsImage& image);

}  // namespace tessel
