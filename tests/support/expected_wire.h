// The bytes a full-ESC settings send puts on the wire, built from the field tables, for tests
// that compare what the ESC received.
#pragma once

#include <cstdint>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel::test_support {

inline std::vector<uint8_t> ExpectedFullSend(const EscSettingsImage& im) {
  std::vector<uint8_t> out;
  for (const ParamField& f : FullEscFields()) {
    if (!f.set_command) continue;
    out.push_back(*f.set_command);
    out.push_back(static_cast<uint8_t>(im.*(f.field)));
  }
  out.insert(out.end(), {kEndOfSettingsCommand, kEndOfSettingsValue, 1, 1, 1});
  for (const CurveField& c : CurveFields()) {
    if (im.*(c.mode) == 0) continue;  // a linear curve is not written
    const CurveData& data = im.*(c.curve);
    out.push_back(c.write_command);
    for (int pos = 0; pos < kCurveWireBytes; ++pos) out.push_back(CurveWireByte(data, pos));
    const auto check = CurveCheckBytes(data);
    out.insert(out.end(), check.begin(), check.end());
    out.insert(out.end(), static_cast<size_t>(c.filler_count), 1);
  }
  return out;
}

}  // namespace tessel::test_support
