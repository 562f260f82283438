// The firmware update of an ESC over the serial adapter: asks for a hex-text firmware file,
// confirms with the user, switches the ESC into its loader and sends the file record by
// record, each answered by a one-byte verdict. It is the one blocking procedure of the tool:
// it runs to its end inside the button handler that starts it, and the session engine's
// ticks return at once while it transfers (`update_running`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/engine/session.h"

namespace tessel {

// Who started the update, which decides how it shows its progress and its end.
enum class SerialUpdateVariant {
  // The information page's "UpData": the progress window shows the percentages; the
  // end closes it and beeps.
  kInformationPage,
  // The V1 dialog's "Update Firmware": no progress window; the status line shows the
  // percentages and "Esc Software Update OK!", and a complete update makes the session
  // detect the ESC afresh.
  kV1Dialog,
};

enum class SerialUpdateOutcome {
  kAlreadyRunning,     // an update runs already: nothing was done at all
  kNoVersionReply,     // 0xD7 could not be written or got no 7-byte reply
  kNoEsc,              // adapter or ESC not detected
  kNoFileChosen,       // the file dialog was cancelled
  kDeclined,           // Cancel on "version old" or "Start update?"
  kFileNotOpened,      // the chosen file could not be opened or read
  kDamagedFile,        // the file is damaged; nothing went to the loader
  kLoaderEntryFailed,  // 0xD6 could not be written
  kWriteFailed,        // "Esc Process Error!" / " Write read "
  kNoVerdict,          // "Esc Process Error!" / " receive 2000 "
  kRefused,            // "Esc Process Error!" / " receivedByte 0x12 "
  kTooManyRetries,     // "Esc Process Error!" / " ++retries > 4 "
  kInterrupted,        // stopped between two records at the user's request
  kUpdated,            // every record accepted
};

constexpr const char* kUpdateProcessCaption = "Esc Programme Processing......Don't drag plug ";
constexpr const char* kUpdateWarningCaption = "Warning!";
constexpr const char* kUpdateVersionOld = "version old";
constexpr const char* kUpdateStartQuestion = "Start update?";
constexpr const char* kUpdateErrorText = "Esc Process Error!";
constexpr const char* kUpdateWriteCaption = " Write read ";
constexpr const char* kUpdateNoVerdictCaption = " receive 2000 ";
constexpr const char* kUpdateRefusedCaption = " receivedByte 0x12 ";
constexpr const char* kUpdateRetriesCaption = " ++retries > 4 ";
constexpr const char* kUpdateV1Done = "Esc Software Update OK!";
constexpr const char* kFirmwareFileCaption = "Firmware file";

constexpr uint8_t kVerdictAccepted = 0x11;
constexpr uint8_t kVerdictRefused = 0x12;
constexpr int kRecordAttempts = 4;  // a record goes out at most this many times

// What a caller may want to tell its user beyond the message boxes.
struct SerialUpdateDetails {
  std::string file_path;                 // as chosen
  std::optional<uint32_t> file_version;  // from the file name
  std::optional<uint32_t> esc_version;   // from the ESC's reply to 0xD7
  bool asked_version_old = false;        // the question was "version old"
  std::string problem;                   // why the file was not sent
  size_t image_size = 0;
  size_t accepted = 0;      // bytes of records the ESC accepted
  int record_attempts = 0;  // records put on the line, repeats included
};

// Runs the whole update on the session's link and windows. Every way out (but a refused
// second start) re-arms timer 102 at 100 ms and clears `update_running`.
SerialUpdateOutcome RunSerialFirmwareUpdate(Session& session, SerialUpdateVariant variant,
                                            SerialUpdateDetails* details = nullptr);

}  // namespace tessel
