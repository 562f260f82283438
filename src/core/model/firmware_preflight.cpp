#include "core/model/firmware_preflight.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "core/model/firmware_file.h"
#include "core/model/settings_file.h"

namespace tessel {

namespace {

// The extensions a target takes; the first names its kind. The HID dialogs offer "*.bin"
// beside the masked kinds, so a masked image may come under that name too.
std::vector<std::string_view> Extensions(FirmwareTarget target) {
  switch (target) {
    case FirmwareTarget::kSerialLoader:
    case FirmwareTarget::kHidRecordLoader:
      return {".xup", ".lcv"};
    case FirmwareTarget::kBlockLoaderEsc:
      return {".hgm", ".bin"};
    case FirmwareTarget::kLcdBox:
      return {".xut", ".bin"};
  }
  return {};
}

bool IsHexTextByte(uint8_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f') || c == ' ' ||
         c == '\t' || c == '\r' || c == '\n';
}

// A settings file is an 800-byte record stored byte-reversed: its header ends the file.
bool LooksLikeSettingsFile(std::span<const uint8_t> raw) {
  return raw.size() == kSettingsRecordLength && raw[raw.size() - 1] == kSettingsHeader0 &&
         raw[raw.size() - 2] == kSettingsHeader1;
}

// What a masked image must not be: one of the tool's other files under a masked name.
std::optional<std::string> CheckMaskedContent(const std::vector<uint8_t>& image) {
  std::vector<uint8_t> raw(image);
  for (uint8_t& b : raw) b ^= kFirmwareMask;
  if (LooksLikeSettingsFile(raw)) return std::string("it holds ESC settings, not firmware");
  if (!raw.empty() && std::all_of(raw.begin(), raw.end(), IsHexTextByte)) {
    return std::string("it holds hex-text records (.xup firmware), not a masked image");
  }
  return std::nullopt;
}

}  // namespace

const char* FirmwareTargetName(FirmwareTarget target) {
  switch (target) {
    case FirmwareTarget::kLcdBox:
      return "the LCD program box";
    case FirmwareTarget::kBlockLoaderEsc:
      return "this ESC (type 12 or 15)";
    case FirmwareTarget::kSerialLoader:
    case FirmwareTarget::kHidRecordLoader:
      break;
  }
  return "this ESC";
}

std::string FirmwareExtension(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  std::string ext(path.substr(dot));
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

FirmwarePreflight PreflightFirmware(const std::string& path, FirmwareTarget target) {
  FirmwarePreflight p;
  p.target = target;

  FirmwareLoadResult load;
  switch (target) {
    case FirmwareTarget::kSerialLoader:
      load = LoadHexRecordsLenient(path);
      break;
    case FirmwareTarget::kHidRecordLoader:
      load = LoadHexRecordsStrict(path);
      break;
    case FirmwareTarget::kBlockLoaderEsc:
    case FirmwareTarget::kLcdBox:
      load = LoadMaskedImage(path);
      break;
  }
  // The whole file is read first, as the loader reads it (a fifo or a folder is refused here).
  p.cannot_open = !load.opened || !load.error.empty();
  if (p.cannot_open) {
    p.problem = load.error.empty() ? "cannot open \"" + path + "\"" : load.error;
    return p;
  }
  // Kind by extension, once the file is known to be readable: a settings file or another
  // device's firmware never reaches a loader.
  const std::string ext = FirmwareExtension(path);
  const std::vector<std::string_view> takes = Extensions(target);
  // A hex-text name that runs on past ".xup" ("ESC0130.xup.new") is still hex-text firmware.
  const bool hex = target == FirmwareTarget::kSerialLoader ||
                   target == FirmwareTarget::kHidRecordLoader;
  const bool xup_name = hex && FileVersionFromName(path).xup_found;
  if (!xup_name && std::find(takes.begin(), takes.end(), ext) == takes.end()) {
    std::string why = std::string(FirmwareTargetName(target)) + " takes " +
                      std::string(takes.front()) + " firmware; ";
    if (ext == ".data") {
      why += "this is a settings file";
    } else if (ext.empty()) {
      why += "this file has no extension";
    } else {
      why += "this is a " + ext + " file";
    }
    p.problem = why;
    return p;
  }

  // Kind by content, then size and damage.
  if (load.format == FirmwareFormat::kMasked && !load.data_beyond_limit) {
    p.problem = CheckMaskedContent(load.image);
    if (p.problem) return p;
  }
  p.problem = CheckFirmwareImage(load);
  if (p.problem) return p;
  p.image = std::move(load.image);
  return p;
}

}  // namespace tessel
