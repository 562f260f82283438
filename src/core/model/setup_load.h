// The one way a setup is read from a file for comparing it (`diff`, File › "Compare with
// File…"): whatever kinds of setup file the tool reads (a .DATA settings file, a JSON setup),
// read here.
#pragma once

#include <string>

#include "core/model/settings_image.h"
#include "core/model/setup_json.h"

namespace tessel {

// What a setup file is read over when no ESC is in the comparison: the factory defaults of
// both kinds of ESC and the default curves, as `show` shows a setup.
EscSettingsImage DefaultSetupBase();

// Reads the setup at `path` over `base` (DefaultSetupBase() when none): a .DATA file replaces
// every full-ESC field and curve, a JSON setup the fields and curves it names. `info` tells
// which kind of ESC it is for. False with a message naming the file and the reason; `image`
// is then untouched.
bool LoadSetupForDiff(const std::string& path, EscSettingsImage& image, std::string& error,
                      SetupInfo* info = nullptr, const EscSettingsImage* base = nullptr);

}  // namespace tessel
