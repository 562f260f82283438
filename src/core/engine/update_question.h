// The question every firmware update asks before the device hears of it: "Start update?", or
// "version old" when the file's version is older than the device's. Both updaters (the
// information page, the V1 dialog, the HID record and block loaders, the LCD program box) ask
// it from here, and the command line words its refusal with the same versions text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/model/firmware_preflight.h"
#include "core/engine/session_ui.h"

namespace tessel {

// What is known of the two versions when an update is about to start.
struct UpdateVersions {
  std::string file;    // as the file's name shows it ("ESC0110"); empty when it shows none
  std::string device;  // as the device reports it ("ESC0120"); empty when unknown
  // The same versions as numbers, where both are read alike; compared only when both are here.
  std::optional<uint32_t> file_number;
  std::optional<uint32_t> device_number;
};

struct StartUpdateFacts {
  std::string file_path;
  FirmwareTarget target = FirmwareTarget::kSerialLoader;  // names the device in the detail
  UpdateVersions versions;
};

// The version the file's name carries, read "%6x"-style from its fourth character on, shown
// as the name before its extension ("ESC0110.xup.new" gives "ESC0110"); empty without one.
std::string FileVersionText(const std::string& path);

// The versions in words: "ESC0110 is older than ESC0120" (also "is the same as", "is newer
// than"), "The ESC runs ESC0120" or "The file holds ESC0110" where only one is known, both
// side by side where they cannot be compared, and empty where neither is known.
std::string UpdateVersionsText(const StartUpdateFacts& facts);

// The confirmation with OK and Cancel, caption "Warning!": "version old" when both numbers are
// known and the file's is lower, else "Start update?". Its detail is the file's path,
// then the versions text on a line of its own. Enter never downgrades: Cancel is the default
// of "version old".
Question StartUpdateQuestion(const StartUpdateFacts& facts);

}  // namespace tessel
