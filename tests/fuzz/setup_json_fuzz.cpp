// libFuzzer target for JSON setups: any input either is refused with a message naming the line,
// leaving the image exactly as it was, or gives an image whose fields are all options of their
// lists and whose curves the ESC can take; printed again as `read --json` prints it, such an
// image reads back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/model/curve_model.h"
#include "core/model/settings_file.h"
#include "core/model/field_values.h"
#include "core/model/page_rules.h"
#include "core/model/setup_json.h"
#include "core/model/sheet.h"
#include "core/model/v1_settings.h"

namespace {

using tessel::EscSettingsImage;

bool SameImage(const EscSettingsImage& a, const EscSettingsImage& b) {
  if (tessel::EncodeSettingsFile(a) != tessel::EncodeSettingsFile(b)) return false;
  for (const tessel::SettableField& f : tessel::SettableFields()) {
    if (a.*(f.field) != b.*(f.field)) return false;
  }
  return true;
}

EscSettingsImage StartImage() {
  EscSettingsImage im;
  tessel::LoadFactoryDefaults(im);
  const auto v1 = tessel::V1DefaultSelections();
  for (size_t i = 0; i < tessel::V1Settings().size(); ++i)
    im.*(tessel::V1Settings()[i].field) = v1[i];
  for (auto kind :
       {tessel::CurveKind::kThrottle, tessel::CurveKind::kBrake, tessel::CurveKind::kBoost}) {
    tessel::CurveModel(kind, im).Initialise();
  }
  im.throttle_curve.x[7] = 33;  // a byte past the end point, which a setup must keep
  return im;
}

void CheckAccepted(const EscSettingsImage& image) {
  for (const tessel::SettableField& f : tessel::SettableFields()) {
    const int32_t v = image.*(f.field);
    if (v < 0 || v >= static_cast<int32_t>(f.options->size())) std::abort();
  }
  for (const tessel::CurveField& c : tessel::CurveFields()) {
    const tessel::CurveData& d = image.*(c.curve);
    for (uint8_t v : d.table) {
      if (v > 100) std::abort();
    }
    const auto points = tessel::StoredCurvePoints(d);
    if (points.size() > 40 || points.back() != std::pair<int, int>{100, 100}) std::abort();
    for (size_t i = 1; i < points.size(); ++i) {
      if (points[i].first < points[i - 1].first) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const EscSettingsImage start = StartImage();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  EscSettingsImage image = start;
  std::string error;
  tessel::SetupInfo info;
  if (!tessel::ParseSetupJson(text, "f.json", image, error, &info)) {
    if (error.rfind("f.json line ", 0) != 0) std::abort();
    if (!SameImage(image, start)) std::abort();  // a refusal changed the image
    return 0;
  }
  CheckAccepted(image);
  const bool bec = info.bec_only_fields;
  const std::string again = tessel::SettingsJson(
      {image, info.device_class, bec ? tessel::kV1Block16 : tessel::kV1Block14, ""});
  EscSettingsImage back = image;
  if (!tessel::ParseSetupJson(again, "again", back, error) || !SameImage(back, image)) {
    std::abort();
  }
  return 0;
}
