// Setups as text: the JSON that `read --json` prints, taken back as a setup for an ESC, and
// the one loader that takes either such a text or a .DATA settings file.
//
// What a JSON setup holds (every key optional):
//   "device_class"   3 full ESC, 1 V1-series ESC (else told by the fields it names)
//   "settings"       field name -> option index (a number) or option text (a string)
//   "settings_text"  field name -> option text; a field named in both must agree
//   "curves"         "boost_curve" | "brake_curve" | "throttle_curve" -> {"points": [[x, y], ...]}
// and, accepted but not used, the keys `read --json` prints beside them: "version", "log",
// "log_units", each curve's "table" (rebuilt from the points) and "damaged" (which must be
// empty: a damaged curve holds default points, not the ESC's).
// Fields and curves the setup does not name keep what the image holds; for `write` that is
// what the ESC itself holds, as for the fields a .DATA file lacks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/page_rules.h"

namespace tessel {

// What a setup is for, beside its values.
struct SetupInfo {
  int32_t device_class = kDeviceFull;  // kDeviceFull or kDeviceV1
  bool bec_only_fields = false;        // a V1 setup naming a field of the 16-byte block
  bool json = false;                   // the setup was a JSON text, not a .DATA file
  std::vector<ClampedField> clamped;   // .DATA fields beyond their lists (ClampImportedFields)
};

// Takes a JSON setup into `image`. `name` starts every message ("a.json line 12:
// settings.drag_brake: 40 is out of range (0..30)"). On any refusal the image is untouched.
// Curve tables are rebuilt from the points the way the .DATA import rebuilds them.
bool ParseSetupJson(std::string_view text, const std::string& name, EscSettingsImage& image,
                    std::string& error, SetupInfo* info = nullptr);

// Setups larger than this are refused before they are read: `read --json` prints about 3 kB.
constexpr uint64_t kMaxSetupFileBytes = 1024 * 1024;

// True for a name ending in ".json" (any case) or contents whose first non-blank byte is '{'.
// A .DATA file never starts so: its first byte is a curve value of at most 100.
bool IsJsonSetup(const std::string& path, std::string_view contents);

// Reads a setup file of either kind into `image`: a JSON setup through ParseSetupJson, any
// other file through the .DATA import (ImportSettingsFromPath); a setup link given in place
// of a path through DecodeSetupLink. A path that is no regular
// file or is larger than kMaxSetupFileBytes is refused before reading. The image is untouched
// on any failure.
bool LoadSetupFile(const std::string& path, EscSettingsImage& image, std::string& error,
                   SetupInfo* info = nullptr);

// The whole file as text, with the same checks. For callers that must tell the kind first.
bool ReadSetupText(const std::string& path, std::string& text, std::string& error);

}  // namespace tessel
