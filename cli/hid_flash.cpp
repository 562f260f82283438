#include "cli/hid_flash.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/firmware/firmware_file.h"

namespace tessel {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitBadFile = 2;

int Say(int code, const std::string& text) {
  std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
  return code;
}

int CheckContent(const std::string& path, const FirmwareLoadResult& load) {
  const std::optional<std::string> problem = CheckFirmwareImage(load);
  if (!problem) return kExitOk;
  if (!load.opened || !load.error.empty()) return Say(kExitBadFile, *problem);
  return Say(kExitBadFile, path + ": " + *problem + "; nothing was sent");
}

const char* TargetName(HidUpdateTarget target, int32_t esc_type) {
  switch (target) {
    case HidUpdateTarget::kLcdBox:
      return "the LCD program box";
    case HidUpdateTarget::kMaskedEsc:
      return esc_type == 12 ? "this ESC (type 12)" : "this ESC (type 15)";
    case HidUpdateTarget::kRecordEsc:
      break;
  }
  return "this ESC";
}

}  // namespace

std::string FirmwareExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

int PrecheckFirmwareFile(const std::string& path, bool lcd) {
  const std::string ext = FirmwareExtension(path);
  if (lcd) {
    if (ext != ".xut") {
      return Say(kExitBadFile,
                 path + ": the LCD program box takes .xut firmware; nothing was sent");
    }
    return CheckContent(path, LoadMaskedImage(path));
  }
  if (ext == ".xut") {
    return Say(kExitBadFile, path + " is LCD program box firmware: use flash --lcd");
  }
  if (ext == ".hgm") return CheckContent(path, LoadMaskedImage(path));
  return CheckContent(path, LoadHexRecordsLenient(path));
}

int RunHidFlash(Session& session, HidSession& hid, CliUi& ui, TimerLoop& loop,
                const HidFlashRequest& request) {
  HidUpdateTarget target = HidUpdateTarget::kLcdBox;
  if (request.lcd) {
    if (session.status.esc_state != kEscNone) {
      return Say(kExitFailure,
                 "an ESC answers behind the HID adapter; flash --lcd updates the LCD program box "
                 "alone (flash without --lcd updates the ESC)");
    }
    if (!hid.EnterLcdMode()) {
      return Say(kExitFailure, "the HID adapter is not ready for the LCD program box");
    }
  } else {
    target = HidUpdateTargetFor(false, hid.esc_type);
  }
  const std::string want = HidUpdateExtension(target);
  if (FirmwareExtension(request.path) != want) {
    return Say(kExitBadFile, request.path + ": " + TargetName(target, hid.esc_type) + " takes " +
                                 want + " firmware; nothing was sent");
  }
  const FirmwareLoadResult load = target == HidUpdateTarget::kRecordEsc
                                      ? LoadHexRecordsStrict(request.path)
                                      : LoadMaskedImage(request.path);
  if (int rc = CheckContent(request.path, load)) return rc;

  ui.SetFile(request.path);
  ui.StartFlashing(false);
  hid.StartHidFirmwareUpdate();

  // The engine bounds its own waits but for the start and the record verdicts: a device
  // that stops answering there is given up on here.
  Clock& clock = session.clock();
  auto mark = std::make_pair(hid.hid_step, hid.fw_sent);
  uint64_t last_change = clock.NowMs();
  bool stalled = false;
  loop.RunUntil(
      [&] {
        if (!hid.UpdateRunning()) return true;
        const auto now_mark = std::make_pair(hid.hid_step, hid.fw_sent);
        if (now_mark != mark) {
          mark = now_mark;
          last_change = clock.NowMs();
        }
        stalled = clock.NowMs() - last_change > request.stall_ms;
        return stalled;
      },
      UINT64_MAX / 2);
  ui.FinishProgress(hid.update_outcome == HidUpdateOutcome::kUpdated);

  const std::string delivered = " (" + std::to_string(hid.fw_sent) + " of " +
                                std::to_string(hid.fw_size) + " bytes acknowledged)";
  switch (hid.update_outcome) {
    case HidUpdateOutcome::kUpdated:
      std::fprintf(stderr, "flashed %s (%d bytes)\n", request.path.c_str(), hid.fw_size);
      return kExitOk;
    case HidUpdateOutcome::kFileRefused:
      return Say(kExitBadFile, hid.update_problem);
    case HidUpdateOutcome::kNoFile:
      return Say(kExitBadFile,
                 hid.update_problem.empty() ? "cannot open " + request.path : hid.update_problem);
    case HidUpdateOutcome::kRunning:
      return Say(kExitFailure, "the device stopped answering during the update" + delivered +
                                   "; it may not start until an update completes");
    case HidUpdateOutcome::kNone:
      return Say(kExitFailure, "the update did not start");
    default:
      break;
  }
  return Say(kExitFailure, hid.update_problem + delivered);
}

}  // namespace tessel
