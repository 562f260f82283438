#include "core/model/setup_load.h"

#include "core/model/curve_model.h"
#include "core/model/page_rules.h"
#include "core/model/v1_settings.h"

namespace tessel {

EscSettingsImage DefaultSetupBase() {
  EscSettingsImage image;
  LoadFactoryDefaults(image);
  const auto v1_defaults = V1DefaultSelections();
  for (size_t i = 0; i < V1Settings().size(); ++i) {
    image.*(V1Settings()[i].field) = v1_defaults[i];
  }
  for (CurveKind kind : {CurveKind::kThrottle, CurveKind::kBrake, CurveKind::kBoost}) {
    CurveModel(kind, image).Initialise();
  }
  return image;
}

bool LoadSetupForDiff(const std::string& path, EscSettingsImage& image, std::string& error,
                      SetupInfo* info, const EscSettingsImage* base) {
  EscSettingsImage loaded = base != nullptr ? *base : DefaultSetupBase();
  if (!LoadSetupFile(path, loaded, error, info)) return false;
  image = loaded;
  return true;
}

}  // namespace tessel
