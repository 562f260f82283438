// The eleven settings of the V1 simple dialog: label and list ids, option texts and defaults.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

// The V1 view's three buttons.
inline constexpr const char* kV1ReadText = "Read Settings";
inline constexpr const char* kV1SendText = "Send Settings";
inline constexpr const char* kV1UpdateText = "Update Firmware";

struct V1SettingDef {
  int label_id;
  std::string_view label;
  int list_id;
  std::string_view field_name;
  ImageField field;
  std::vector<std::string> options;  // texts exactly as shown, "(*)" marks included
  int32_t default_index;
  bool bec_only;  // shown only for the 16-byte V1 block
};

constexpr size_t kV1SettingCount = 11;

// In the dialog's table order: Running Mode first, BEC last.
const std::vector<V1SettingDef>& V1Settings();
const V1SettingDef* FindV1Setting(ImageField field);

// The dialog's LoadDefaults selections, in V1Settings() order.
std::array<int32_t, kV1SettingCount> V1DefaultSelections();

// One [command, value] pair of a send.
struct WirePair {
  uint8_t command;
  uint8_t value;
};
// What both adapters send a V1-series ESC first: every setting of its block but the cut-off
// and the BEC, in block order, each with its set command.
std::vector<WirePair> V1SettingPairs(const EscSettingsImage& image);

// LoadDefaults followed by WriteToImage (the Reset Default command for a V1-series ESC):
// the eleven V1 fields take their default indices. Nothing else changes.
void ApplyV1Defaults(EscSettingsImage& image);

}  // namespace tessel
