#include "core/engine/update_report.h"

namespace tessel {

std::optional<UpdateReport> SerialUpdateReport(SerialUpdateOutcome outcome) {
  constexpr const char* kRetry = "; run the update again before using the ESC";
  switch (outcome) {
    case SerialUpdateOutcome::kAlreadyRunning:
    case SerialUpdateOutcome::kNoFileChosen:
      return std::nullopt;
    case SerialUpdateOutcome::kNoVersionReply:
      return UpdateReport{"Firmware update not started: the ESC did not tell its version", true};
    case SerialUpdateOutcome::kNoEsc:
      return UpdateReport{"Firmware update not started: no ESC connected", true};
    case SerialUpdateOutcome::kDeclined:
      return UpdateReport{"Firmware update cancelled; nothing was sent", false};
    case SerialUpdateOutcome::kFileNotOpened:
    case SerialUpdateOutcome::kDamagedFile:
      return UpdateReport{"Firmware file refused; nothing was sent to the ESC", true};
    case SerialUpdateOutcome::kLoaderEntryFailed:
      return UpdateReport{"Firmware update failed: the ESC's loader could not be reached", true};
    case SerialUpdateOutcome::kWriteFailed:
      return UpdateReport{std::string("Firmware update failed: a record could not be written") +
                              kRetry,
                          true};
    case SerialUpdateOutcome::kNoVerdict:
      return UpdateReport{std::string("Firmware update failed: no answer to a record") + kRetry,
                          true};
    case SerialUpdateOutcome::kRefused:
      return UpdateReport{std::string("Firmware update failed: the ESC refused a record") + kRetry,
                          true};
    case SerialUpdateOutcome::kTooManyRetries:
      return UpdateReport{
          std::string("Firmware update failed: a record was not taken in 4 tries") + kRetry, true};
    case SerialUpdateOutcome::kInterrupted:
      return UpdateReport{std::string("Firmware update stopped between two records") + kRetry,
                          true};
    case SerialUpdateOutcome::kUpdated:
      return UpdateReport{"Firmware updated", false};
  }
  return std::nullopt;
}

std::optional<UpdateReport> HidUpdateReport(HidUpdateOutcome outcome, const std::string& problem) {
  constexpr const char* kReplug = "; unplug the adapter and plug it in again";
  switch (outcome) {
    case HidUpdateOutcome::kNone:
    case HidUpdateOutcome::kRunning:
      return std::nullopt;
    case HidUpdateOutcome::kNoFile:
      // A cancelled dialog says nothing; a file that could not be opened says so.
      if (problem.empty()) return std::nullopt;
      return UpdateReport{"Firmware file not opened: " + problem, true};
    case HidUpdateOutcome::kNotReady:
      return UpdateReport{"Firmware update not started: no ESC or LCD program box ready", true};
    case HidUpdateOutcome::kFileRefused:
      return UpdateReport{"Firmware file refused; nothing was sent", true};
    case HidUpdateOutcome::kUpdated:
      return UpdateReport{"Firmware updated", false};
    case HidUpdateOutcome::kNoBlockAck:
      return UpdateReport{std::string("Firmware update failed: a block was not acknowledged") +
                              kReplug,
                          true};
    case HidUpdateOutcome::kNotConfirmed:
      return UpdateReport{std::string("Firmware update failed: the end was not confirmed") +
                              kReplug,
                          true};
    case HidUpdateOutcome::kRecordRefused:
      return UpdateReport{std::string("Firmware update failed: the ESC refused a record") +
                              kReplug,
                          true};
    case HidUpdateOutcome::kTooManyVerdicts:
      return UpdateReport{
          std::string("Firmware update failed: a record was not taken in 4 tries") + kReplug,
          true};
    case HidUpdateOutcome::kAdapterLost:
      return UpdateReport{"Firmware update failed: the adapter was pulled out", true};
    case HidUpdateOutcome::kDeclined:
      return UpdateReport{"Firmware update cancelled; nothing was sent", false};
    case HidUpdateOutcome::kNoStart:
      return UpdateReport{std::string("Firmware update not started: the device did not answer") +
                              kReplug,
                          true};
    case HidUpdateOutcome::kNoVerdict:
      return UpdateReport{std::string("Firmware update failed: no answer to a record") + kReplug,
                          true};
    case HidUpdateOutcome::kInterrupted:
      return UpdateReport{
          "Firmware update stopped between two pieces; run the update again before using the "
          "device",
          true};
  }
  return std::nullopt;
}

void ReportHidUpdate(SessionUi& ui, HidUpdateOutcome outcome, const std::string& problem) {
  const std::optional<UpdateReport> report = HidUpdateReport(outcome, problem);
  if (!report) return;
  if (report->failed) {
    ui.ReportFailure(report->text);
  } else {
    ui.ReportOutcome(report->text);
  }
}

}  // namespace tessel
