// libFuzzer target for setup links, which arrive from anyone's clipboard or address bar: any
// input either is refused with a reason, leaving the image exactly as it was, or gives a setup
// whose own link reads back to the same setup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/model/settings_file.h"
#include "core/model/setup_link.h"

namespace {

using tessel::EscSettingsImage;

bool SameSetup(const EscSettingsImage& a, const EscSettingsImage& b) {
  if (tessel::EncodeSettingsFile(a) != tessel::EncodeSettingsFile(b)) return false;
  for (const tessel::V1Field& f : tessel::V1Fields()) {
    if (a.*(f.field) != b.*(f.field)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const EscSettingsImage start{};
  const std::string link(reinterpret_cast<const char*>(data), size);
  EscSettingsImage image = start;
  std::string error;
  tessel::SetupInfo info;
  if (!tessel::DecodeSetupLink(link, image, error, &info)) {
    if (error.empty()) std::abort();
    if (!SameSetup(image, start)) std::abort();  // a refusal changed the image
    return 0;
  }
  const std::string again =
      tessel::SetupLink("http://x/", image, info.device_class, info.bec_only_fields);
  EscSettingsImage back = start;
  if (!tessel::DecodeSetupLink(again, back, error) || !SameSetup(back, image)) std::abort();
  return 0;
}
