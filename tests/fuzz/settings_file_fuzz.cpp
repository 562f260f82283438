// libFuzzer target for the settings file import: any input either leaves the image exactly as
// it was or decodes to an image that encodes and decodes to itself, with every curve within
// the range an ESC can take; the import's curve rebuild then keeps every sample in range.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "core/model/settings_file.h"

namespace {

bool SameFileFields(const tessel::EscSettingsImage& a, const tessel::EscSettingsImage& b) {
  return tessel::EncodeSettingsFile(a) == tessel::EncodeSettingsFile(b) &&
         a.log_motor_max_rpm == b.log_motor_max_rpm && a.esc_out == b.esc_out &&
         a.profile_preset == b.profile_preset && a.v1_running_mode == b.v1_running_mode;
}

void CheckCurvesInRange(const tessel::EscSettingsImage& image) {
  for (const tessel::CurveField& c : tessel::CurveFields()) {
    const tessel::CurveData& d = image.*(c.curve);
    // The samples the ESC takes; table[40..49] is kept as the file holds it.
    for (size_t i = 0; i < 40; ++i) {
      if (d.table[i] > 100) std::abort();
    }
  }
}

// True when the file was accepted.
bool CheckOne(std::span<const uint8_t> file, const tessel::EscSettingsImage& before) {
  tessel::EscSettingsImage image = before;
  if (tessel::DecodeSettingsFile(file, image) != tessel::SettingsFileError::kNone) {
    if (!SameFileFields(image, before)) std::abort();  // a rejection changed the image
    std::string error;
    tessel::EscSettingsImage imported = before;
    if (tessel::ImportSettingsFromBytes(file, imported, error) || error.empty()) std::abort();
    if (!SameFileFields(imported, before)) std::abort();
    return false;
  }
  tessel::EscSettingsImage again = before;
  if (tessel::DecodeSettingsFile(tessel::EncodeSettingsFile(image), again) !=
          tessel::SettingsFileError::kNone ||
      !SameFileFields(again, image)) {
    std::abort();
  }
  // The import rebuilds table[0..39] from the points, as the curve editors load them.
  tessel::EscSettingsImage imported = before;
  std::string error;
  if (!tessel::ImportSettingsFromBytes(file, imported, error)) std::abort();
  CheckCurvesInRange(imported);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  tessel::EscSettingsImage before;
  before.run_mode = 3;
  before.profile_preset = 4;
  before.v1_running_mode = 2;
  before.log_motor_max_rpm = 700;
  before.throttle_curve.x[3] = 50;

  CheckOne(file, before);

  // Random bytes almost never carry a matching check value, so the same input also goes in
  // as record contents with a valid header, length and check value; it must be accepted
  // exactly when its curves are within range.
  tessel::SettingsRecord record{};
  std::copy_n(data, std::min(size, record.size()), record.begin());
  record[0] = tessel::kSettingsHeader0;
  record[1] = tessel::kSettingsHeader1;
  record[2] = 0x20;
  record[3] = 0x03;
  record[4] = record[5] = 0;
  const uint16_t check = tessel::SettingsCheckValue(record);
  record[6] = static_cast<uint8_t>(check & 0xFF);
  record[7] = static_cast<uint8_t>(check >> 8);
  const std::vector<uint8_t> valid(record.rbegin(), record.rend());
  const bool curves_ok = !tessel::CheckRecordCurves(record).has_value();
  if (CheckOne(valid, before) != curves_ok) std::abort();
  return 0;
}
