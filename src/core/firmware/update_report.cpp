#include "core/firmware/update_report.h"

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
    case SerialUpdateOutcome::kUpdated:
      return UpdateReport{"Firmware updated", false};
  }
  return std::nullopt;
}

}  // namespace tessel
