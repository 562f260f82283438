#include "core/engine/update_question.h"

#include <cstdio>

#include "core/engine/serial_update.h"
#include "core/model/firmware_file.h"

namespace tessel {

namespace {

// A version known only as a number (a reply whose text starts with a NUL) is shown in hex.
std::string Shown(const std::string& text, std::optional<uint32_t> number) {
  if (!text.empty() || !number) return text;
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", *number);
  return hex;
}

const char* DeviceNoun(FirmwareTarget target) {
  return target == FirmwareTarget::kLcdBox ? "LCD program box" : "ESC";
}

bool FileVersionIsOlder(const UpdateVersions& v) {
  return v.file_number && v.device_number && *v.file_number < *v.device_number;
}

}  // namespace

std::string FileVersionText(const std::string& path) {
  const FileVersion v = FileVersionFromName(path);
  if (!v.number) return {};
  const size_t dot = v.name.rfind('.');
  return dot == std::string::npos || dot == 0 ? v.name : v.name.substr(0, dot);
}

std::string UpdateVersionsText(const StartUpdateFacts& facts) {
  const UpdateVersions& v = facts.versions;
  const std::string file = Shown(v.file, v.file_number);
  const std::string device = Shown(v.device, v.device_number);
  const std::string noun = DeviceNoun(facts.target);
  if (v.file_number && v.device_number) {
    const char* order = *v.file_number < *v.device_number    ? " is older than "
                        : *v.file_number == *v.device_number ? " is the same as "
                                                             : " is newer than ";
    return file + order + device;
  }
  if (!file.empty() && !device.empty()) {
    return "The file holds " + file + "; the " + noun + " runs " + device;
  }
  if (!device.empty()) return "The " + noun + " runs " + device;
  if (!file.empty()) return "The file holds " + file;
  return {};
}

Question StartUpdateQuestion(const StartUpdateFacts& facts) {
  const bool older = FileVersionIsOlder(facts.versions);
  Question q{older ? kUpdateVersionOld : kUpdateStartQuestion,
             kUpdateWarningCaption,
             Buttons::kOkCancel,
             facts.file_path,
             {},
             {}};
  const std::string versions = UpdateVersionsText(facts);
  if (!versions.empty()) q.detail += "\n" + versions;
  if (older) q.default_answer = Answer::kCancel;
  return q;
}

}  // namespace tessel
