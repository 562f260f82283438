// The one way a setup is read from a file for comparing it (`diff`, File › "Compare with
// File…"): whatever kinds of setup file the tool reads, read here.
#pragma once

#include <string>

#include "core/session/settings_image.h"

namespace tessel {

// A settings file imported over the factory defaults (curve tables rebuilt from the points,
// as an import does). False with a message naming the file and the reason; `image` is then
// untouched.
bool LoadSetupForDiff(const std::string& path, EscSettingsImage& image, std::string& error);

}  // namespace tessel
