#include "cli/hid_flash.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/model/firmware_preflight.h"

namespace tessel {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitBadFile = 2;
constexpr int kExitInterrupted = 130;
constexpr uint64_t kBackstopMs = 5000;

int Say(int code, const std::string& text) {
  std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
  return code;
}

int Refuse(const std::string& path, const FirmwarePreflight& p) {
  if (p.cannot_open) return Say(kExitBadFile, p.problem.value_or(path));
  return Say(kExitBadFile, path + ": " + p.problem.value_or("") + "; nothing was sent");
}

}  // namespace

int PrecheckFirmwareFile(const std::string& path, bool lcd) {
  const std::string ext = FirmwareExtension(path);
  if (!lcd && ext == ".xut") {
    return Say(kExitBadFile, path + " is LCD program box firmware: use flash --lcd");
  }
  const FirmwareTarget target = lcd             ? FirmwareTarget::kLcdBox
                                : ext == ".hgm" ? FirmwareTarget::kBlockLoaderEsc
                                                : FirmwareTarget::kSerialLoader;
  const FirmwarePreflight p = PreflightFirmware(path, target);
  return p.ok() ? kExitOk : Refuse(path, p);
}

std::string UpdateRefusal(const StartUpdateFacts& start, const std::string& why) {
  const std::string question = StartUpdateQuestion(start).text;
  const std::string versions = UpdateVersionsText(start);
  const std::string lead = question.back() == '?' ? question + " " : question + ": ";
  return (versions.empty() ? lead : lead + versions + ": ") + why + "; nothing was sent";
}

int RunHidFlash(Session& session, HidEngine& hid, CliUi& ui, TimerLoop& loop,
                const HidFlashRequest& request) {
  if (request.lcd) {
    if (session.status.esc_state != kEscNone) {
      return Say(kExitFailure,
                 "an ESC answers behind the HID adapter; flash --lcd updates the LCD program box "
                 "alone (flash without --lcd updates the ESC)");
    }
    if (!hid.EnterLcdMode()) {
      return Say(kExitFailure, "the HID adapter is not ready for the LCD program box");
    }
  }
  // The engine checks the file for the device it found (the same preflight as every face)
  // and asks "Start update?", which the command line answers OK.
  hid.SetUpdateWaitMs(request.wait_ms);
  ui.SetFile(request.path);
  ui.StartFlashing(false);
  hid.StartHidFirmwareUpdate();

  // The engine bounds every wait by `wait_ms`; this only keeps a fault in it from hanging the
  // command line.
  Clock& clock = session.clock();
  auto mark = std::make_pair(hid.UpdateProgress().step, hid.UpdateProgress().sent);
  uint64_t last_change = clock.NowMs();
  loop.RunUntil(
      [&] {
        if (!hid.UpdateRunning()) return true;
        const auto now_mark = std::make_pair(hid.UpdateProgress().step, hid.UpdateProgress().sent);
        if (now_mark != mark) {
          mark = now_mark;
          last_change = clock.NowMs();
        }
        return clock.NowMs() - last_change > request.wait_ms + kBackstopMs;
      },
      UINT64_MAX / 2);
  const HidUpdateOutcome outcome = hid.UpdateOutcome();
  const std::string& problem = hid.UpdateProblem();
  const HidUpdateProgress progress = hid.UpdateProgress();
  ui.FinishProgress(outcome == HidUpdateOutcome::kUpdated);

  const std::string delivered = " (" + std::to_string(progress.sent) + " of " +
                                std::to_string(progress.size) + " bytes acknowledged)";
  switch (outcome) {
    case HidUpdateOutcome::kUpdated:
      std::fprintf(stderr, "flashed %s (%d bytes)\n", request.path.c_str(), progress.size);
      return kExitOk;
    case HidUpdateOutcome::kFileRefused:
      return Say(kExitBadFile, problem);
    case HidUpdateOutcome::kNoFile:
      return Say(kExitBadFile, problem.empty() ? "cannot open " + request.path : problem);
    case HidUpdateOutcome::kRunning:
      return Say(kExitFailure, "the device stopped answering during the update" + delivered +
                                   "; it may not start until an update completes");
    case HidUpdateOutcome::kNone:
      return Say(kExitFailure, "the update did not start");
    case HidUpdateOutcome::kDeclined:
      return Say(kExitFailure, UpdateRefusal(hid.UpdateStartFacts(), "not confirmed"));
    case HidUpdateOutcome::kInterrupted:
      ui.BreakProgressLine();
      return Say(kExitInterrupted, "interrupted between two pieces of the image" + delivered +
                                       "; the device may not start until an update completes");
    default:
      break;
  }
  return Say(kExitFailure, problem + delivered);
}

}  // namespace tessel
