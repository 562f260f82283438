// The firmware update of an ESC over the serial adapter: asks for a hex-text firmware file,
// confirms with the user, switches the ESC into its loader and sends the file record by
// record, each answered by a one-byte verdict. It is the one blocking procedure of the tool:
// it runs to its end inside the button handler that starts it, and the session engine's
// ticks return at once while it transfers (`update_running`).
//
//   host                                     ESC (every byte the host sends comes back first)
//   0xD7 version                             ->
//                                            <-   7 bytes within 100 ms (not while a settings
//                                                 transfer runs)
//   0xD6 enter the loader, four times        ->
//                                            <-   1 byte each within 1000 ms, any value
//   one record: length (2 bytes) and body    ->
//                                            <-   the record's echo, then within 2000 ms
//                                                 0x11 accepted, 0x12 refused, other: again
//   ... every record; the fourth bad verdict for one record ends the update
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/session.h"
#include "core/engine/update_question.h"

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
  std::string esc_version_text;          // that reply as text ("ESC0120")
  bool asked_version_old = false;        // the question was "version old"
  StartUpdateFacts start;                // what the question was built from
  std::string problem;                   // why the file was not sent
  size_t image_size = 0;
  size_t accepted = 0;      // bytes of records the ESC accepted
  int record_attempts = 0;  // records put on the line, repeats included
};

// One update, from the version query to the last verdict. Its steps run in the order the
// conversation above shows; each step that ends the update re-arms timer 102 at 100 ms, clears
// `update_running` and leaves the outcome in `outcome()`.
class SerialUpdater {
 public:
  SerialUpdater(Session& session, SerialUpdateVariant variant);
  SerialUpdater(const SerialUpdater&) = delete;
  SerialUpdater& operator=(const SerialUpdater&) = delete;

  // Runs the whole update on the session's link and windows and puts its end on the status
  // line. A second start while an update runs (a nested message loop) does nothing at all.
  SerialUpdateOutcome Run();
  SerialUpdateOutcome outcome() const { return outcome_; }
  const SerialUpdateDetails& details() const { return details_; }

 private:
  // Each step returns false when the update ended in it.
  bool AskVersion();          // 0xD7 and its 7-byte answer; skipped during a settings transfer
  bool CheckConnected();      // adapter and ESC detected
  bool ChooseAndCheckFile();  // the file dialog and the firmware preflight
  bool Confirm();             // "version old" or "Start update?"
  bool EnterLoader();         // 0xD6 four times
  bool SendRecords();         // every record, each until its verdict accepts it
  bool SendRecord(size_t record_len);
  bool JudgeVerdict(uint8_t verdict, size_t record_len);
  void Finish();  // every record accepted

  bool OnInformationPage() const { return variant_ == SerialUpdateVariant::kInformationPage; }
  void Refresh();
  void ShowPercent(int percent);
  bool End(SerialUpdateOutcome outcome);
  bool Fail(const char* caption, SerialUpdateOutcome outcome);
  bool RefuseFile(const std::string& text, SerialUpdateOutcome outcome);

  Session& session_;
  SessionStatus& status_;
  SerialLink& link_;
  SessionUi& ui_;
  SerialUpdateVariant variant_;
  SerialUpdateOutcome outcome_ = SerialUpdateOutcome::kAlreadyRunning;
  SerialUpdateDetails details_;
  bool settings_transfer_ = false;  // a settings read or send ran when the update started
  std::vector<uint8_t> image_;
  size_t pos_ = 0;   // offset of the record on the line
  int retries_ = 0;  // bad verdicts for that record
  int record_number_ = 1;
  std::vector<uint8_t> echo_;
};

// The information page's, the V1 dialog's and the command line's way in: one SerialUpdater run;
// `details`, when given, receives its details (untouched when a second start did nothing).
SerialUpdateOutcome RunSerialFirmwareUpdate(Session& session, SerialUpdateVariant variant,
                                            SerialUpdateDetails* details = nullptr);

}  // namespace tessel
