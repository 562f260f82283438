#include "core/settings/setup_load.h"

#include "core/session/settings_file.h"
#include "core/settings/page_rules.h"

namespace tessel {

bool LoadSetupForDiff(const std::string& path, EscSettingsImage& image, std::string& error) {
  EscSettingsImage loaded;
  LoadFactoryDefaults(loaded);
  if (!ImportSettingsFromPath(path, loaded, error)) return false;
  image = loaded;
  return true;
}

}  // namespace tessel
