// The one check every face runs before a firmware update asks its question: is this file the
// kind the target takes (by its extension and by its content), within the target's size
// limits, and undamaged? It returns the image that would be sent, or why nothing may be sent.
// The desktop, the V1 dialog, the web page and the command line all get their answer here,
// through the two updaters, so that a file refused on one face is refused on every face.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

enum class FirmwareTarget {
  kSerialLoader,     // the ESC's loader over the serial adapter: hex-text records, read leniently
  kHidRecordLoader,  // an ESC's record loader behind the HID adapter: hex text, read strictly
  kBlockLoaderEsc,   // ESC types 12 and 15 behind the HID adapter: the masked ".hgm" image
  kLcdBox,           // the LCD program box: the masked ".xut" image
};

struct FirmwarePreflight {
  FirmwareTarget target = FirmwareTarget::kSerialLoader;
  bool cannot_open = false;            // the file could not be opened or read
  std::vector<uint8_t> image;          // what would be sent, when `problem` is empty
  std::optional<std::string> problem;  // why nothing may be sent, naming the file
  bool ok() const { return !problem.has_value(); }
};

// "the LCD program box", "this ESC"...
const char* FirmwareTargetName(FirmwareTarget target);
// The file's extension in lower case (".xut"), empty when its name has none.
std::string FirmwareExtension(std::string_view path);

// Reads the whole file the way the target's loader reads it and checks it.
FirmwarePreflight PreflightFirmware(const std::string& path, FirmwareTarget target);

}  // namespace tessel
