#include "core/link/esc_replies.h"

#include <algorithm>
#include <cstdio>

#include "core/model/v1_settings.h"

namespace tessel {

void DecodeFullBlock(std::span<const uint8_t> block, EscSettingsImage& image) {
  for (const ParamField& f : FullEscFields()) {
    const auto at = static_cast<size_t>(f.read_index);
    if (at < block.size()) image.*(f.field) = block[at];
  }
}

bool V1BlockFitsLists(std::span<const uint8_t> block, int32_t variant) {
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && variant != kV1Block16) continue;
    if (static_cast<size_t>(f.block_byte) >= block.size()) continue;
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) continue;
    const V1SettingDef* def = FindV1Setting(f.field);
    if (def && block[static_cast<size_t>(f.block_byte)] >= def->options.size()) return false;
  }
  return true;
}

bool DecodeV1Block(std::span<const uint8_t> block, int32_t variant, EscSettingsImage& image) {
  if (!V1BlockFitsLists(block, variant)) return false;
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && variant != kV1Block16) continue;
    // A short block leaves the fields it does not carry as they were.
    if (static_cast<size_t>(f.block_byte) >= block.size()) continue;
    const uint8_t byte = block[static_cast<size_t>(f.block_byte)];
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) {
      if (auto index = V1CutoffIndexFromCode(byte)) image.*(f.field) = *index;
    } else {
      image.*(f.field) = byte;
    }
  }
  return true;
}

std::optional<CurveData> DecodeCurveReply(std::span<const uint8_t> wire,
                                          std::span<const uint8_t> check, const CurveData& base) {
  if (wire.size() < static_cast<size_t>(kCurveWireBytes) || check.size() < 2) return std::nullopt;
  CurveData received = base;
  for (int i = 0; i < kCurveWireBytes; ++i) {
    SetCurveWireByte(received, i, wire[static_cast<size_t>(i)]);
  }
  const auto expected = CurveCheckBytes(received);
  if (check[0] != expected[0] || check[1] != expected[1]) return std::nullopt;
  return received;
}

std::string SerialVersionText(std::span<const uint8_t> answer) {
  std::string text;
  for (uint8_t b : answer.first(std::min<size_t>(answer.size(), 7))) {
    if (b == 0) break;
    text.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?');
  }
  return text;
}

std::string AdapterVersionText(const uint8_t* g) {
  char text[48];
  std::snprintf(text, sizeof text, "V%d.%02d_%2d%02d%d", g[1], g[3], g[5], g[6], g[7]);
  return text;
}

std::string EscVersionText(const uint8_t* a) {
  char text[48];
  const int major = a[2] == 0xDD ? 1 : a[2];
  std::snprintf(text, sizeof text, "V%d.%02d_%02d%02d%02d", major, a[3], a[4], a[5], a[6]);
  return text;
}

}  // namespace tessel
