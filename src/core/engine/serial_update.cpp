#include "core/engine/serial_update.h"

#include <algorithm>
#include <span>
#include <vector>

#include "core/model/firmware_file.h"
#include "core/model/firmware_preflight.h"
#include "core/link/esc_replies.h"
#include "core/engine/update_report.h"

namespace tessel {

namespace {

constexpr uint32_t kVersionReplyMs = 100;
constexpr size_t kVersionReplyLength = 7;
constexpr int kLoaderEntryCount = 4;
constexpr uint32_t kLoaderReplyMs = 1000;
constexpr uint32_t kEchoMarginMs = 1000;
constexpr uint32_t kVerdictMs = 2000;
constexpr uint32_t kResumeSessionMs = 100;

// The echo of a record takes its line time (ten bits a byte) before the margin starts: at
// 1200 baud a record of more than about 118 bytes outlasts a fixed second, and an echo byte
// taken for the verdict would send the record again.
uint32_t EchoWaitMs(size_t record_len, uint32_t baud) {
  const uint64_t b = baud == 0 ? kBaudSlow : baud;
  const uint64_t line_ms = (static_cast<uint64_t>(record_len) * 10 * 1000 + b - 1) / b;
  return static_cast<uint32_t>(std::min<uint64_t>(line_ms + kEchoMarginMs, 600'000));
}

}  // namespace

SerialUpdater::SerialUpdater(Session& session, SerialUpdateVariant variant)
    : session_(session),
      status_(session.status),
      link_(session.link),
      ui_(session.ui()),
      variant_(variant) {}

SerialUpdateOutcome SerialUpdater::Run() {
  // The file dialog and the message boxes run their own message loops and the transfer
  // dispatches messages between records, so a second press of an update button can arrive
  // while the first update is still asking or sending.
  if (status_.update_running || session_.firmware_update_active) {
    outcome_ = SerialUpdateOutcome::kAlreadyRunning;
    return outcome_;
  }
  session_.firmware_update_active = true;
  struct Leave {
    Session& session;
    ~Leave() { session.firmware_update_active = false; }
  } leave{session_};
  details_ = SerialUpdateDetails{};
  if (AskVersion() && CheckConnected() && ChooseAndCheckFile() && Confirm() && EnterLoader() &&
      SendRecords()) {
    Finish();
  }
  if (const std::optional<UpdateReport> report = SerialUpdateReport(outcome_)) {
    if (report->failed) {
      ui_.ReportFailure(report->text);
    } else {
      ui_.ReportOutcome(report->text);
    }
  }
  return outcome_;
}

// The V1 dialog refreshes its controls whenever its status line changes, which is the only
// seam it has for that; the information page re-reads its texts.
void SerialUpdater::Refresh() {
  if (OnInformationPage()) ui_.RefreshDeviceView();
}

bool SerialUpdater::End(SerialUpdateOutcome outcome) {
  session_.timers().Arm(kTimerSession, kResumeSessionMs);
  status_.update_running = false;
  outcome_ = outcome;
  return false;
}

bool SerialUpdater::Fail(const char* caption, SerialUpdateOutcome outcome) {
  ui_.Ask(kUpdateErrorText, caption, Buttons::kOk);
  return End(outcome);
}

bool SerialUpdater::RefuseFile(const std::string& text, SerialUpdateOutcome outcome) {
  details_.problem = text;
  ui_.Ask(text, kFirmwareFileCaption, Buttons::kOk);
  return End(outcome);
}

void SerialUpdater::ShowPercent(int percent) {
  const std::string text = TransferringCaption(percent);
  if (!OnInformationPage()) {
    ui_.V1ShowStatus(text);
    return;
  }
  ui_.SetProgress(100, static_cast<uint32_t>(percent));
  ui_.SetProgressCaption(text);
  ui_.ShowProgress();
  ui_.SetProgress(100, static_cast<uint32_t>(percent));
}

bool SerialUpdater::AskVersion() {
  // While the engine reads or sends settings, the ESC is not asked for its version and the
  // user is not asked to confirm.
  settings_transfer_ = status_.read_in_progress || status_.send_in_progress;
  if (settings_transfer_) return true;
  WireTrace::Step(link_.trace(), "flash version");
  if (link_.LinkSendByte(kCmdReadVersion) != 0) return End(SerialUpdateOutcome::kNoVersionReply);
  if (link_.LinkReceive(kVersionReplyLength, kVersionReplyMs) != 0) {
    return End(SerialUpdateOutcome::kNoVersionReply);
  }
  const std::string reply(reinterpret_cast<const char*>(link_.reply_buffer.data()),
                          kVersionReplyLength);
  details_.esc_version = HexNumberFromFourthCharacter(reply);
  details_.esc_version_text = SerialVersionText(link_.reply_buffer);
  return true;
}

bool SerialUpdater::CheckConnected() {
  Refresh();
  if (!status_.SerialConnected()) return End(SerialUpdateOutcome::kNoEsc);
  return true;
}

bool SerialUpdater::ChooseAndCheckFile() {
  Refresh();
  const std::optional<std::string> chosen = ui_.ChooseOpenFile(kSerialFirmwareFilter);
  if (!chosen || chosen->empty()) return End(SerialUpdateOutcome::kNoFileChosen);
  // The version comes from the name cut after ".xup", but the file read is the one the
  // user chose: "ESC0130.xup.old" must not flash a neighbouring "ESC0130.xup".
  details_.file_path = *chosen;
  details_.file_version = FileVersionFromName(*chosen).number;

  // The file is read and checked before the user is asked to start: a damaged file, or one
  // that is not this loader's kind, is refused before any question that would suggest it
  // could be sent. An ESC whose update broke off part way may not start again.
  FirmwarePreflight preflight =
      PreflightFirmware(details_.file_path, FirmwareTarget::kSerialLoader);
  if (preflight.cannot_open) {
    return RefuseFile(*preflight.problem + ". Nothing was sent to the ESC.",
                      SerialUpdateOutcome::kFileNotOpened);
  }
  if (preflight.problem) {
    return RefuseFile(
        "\"" + details_.file_path + "\" was not sent to the ESC: " + *preflight.problem + ".",
        SerialUpdateOutcome::kDamagedFile);
  }
  image_ = std::move(preflight.image);
  details_.image_size = image_.size();
  return true;
}

bool SerialUpdater::Confirm() {
  // Every start is confirmed, also while a settings transfer runs (the ESC's version is then
  // unknown and only the plain question is asked).
  SerialUpdateDetails& d = details_;
  d.start = StartUpdateFacts{
      d.file_path,
      FirmwareTarget::kSerialLoader,
      {FileVersionText(d.file_path), d.esc_version_text, d.file_version, d.esc_version}};
  const Question question = StartUpdateQuestion(d.start);
  d.asked_version_old = question.text == kUpdateVersionOld;
  if (ui_.AskQuestion(question) != Answer::kOk) {
    Refresh();
    return End(SerialUpdateOutcome::kDeclined);
  }
  return true;
}

bool SerialUpdater::EnterLoader() {
  Refresh();
  status_.update_running = true;
  if (OnInformationPage()) {
    ui_.CloseProgress();
    ui_.SetProgressCaption(kUpdateProcessCaption);
  }
  Refresh();

  link_.ClearReply();
  WireTrace::Step(link_.trace(), "flash loader");
  for (int i = 0; i < kLoaderEntryCount; ++i) {
    if (link_.LinkSendByte(kCmdEnterLoader) != 0) {
      return End(SerialUpdateOutcome::kLoaderEntryFailed);
    }
    link_.LinkReceive(1, kLoaderReplyMs);  // any answer will do
  }
  return true;
}

bool SerialUpdater::SendRecords() {
  const size_t size = image_.size();
  pos_ = 0;
  retries_ = 0;
  record_number_ = 1;
  while (pos_ < size) {
    const std::optional<size_t> record_len = RecordLengthAt(image_, pos_);
    // The damage check has walked the records already; this only keeps every slice inside
    // the image.
    if (!record_len || *record_len > size - pos_) {
      return RefuseFile("\"" + details_.file_path + "\": the firmware record at offset " +
                            std::to_string(pos_) + " runs past the end of the data.",
                        SerialUpdateOutcome::kDamagedFile);
    }
    if (!SendRecord(*record_len)) return false;
  }
  return true;
}

// One record on the line, after the percentage of what was accepted so far; a stop asked for
// ends the update here, between two records.
bool SerialUpdater::SendRecord(size_t record_len) {
  link_.LinkPurgeAll();
  ShowPercent(static_cast<int>(static_cast<uint64_t>(details_.accepted) * 100 / image_.size()));
  Refresh();
  ui_.ProcessEvents();
  if (ui_.StopRequested()) {
    ui_.CloseProgress();
    return End(SerialUpdateOutcome::kInterrupted);
  }

  ++details_.record_attempts;
  WireTrace::Step(link_.trace(), "flash record", record_number_);
  if (!link_.LinkWrite(image_.data() + pos_, record_len, nullptr)) {
    return Fail(kUpdateWriteCaption, SerialUpdateOutcome::kWriteFailed);
  }
  echo_.resize(record_len);
  // every byte returns
  link_.LinkRead(echo_.data(), record_len, nullptr, EchoWaitMs(record_len, link_.baud_rate),
                 /*echo=*/true);
  if (link_.LinkReceive(1, kVerdictMs) != 0) {
    return Fail(kUpdateNoVerdictCaption, SerialUpdateOutcome::kNoVerdict);
  }
  return JudgeVerdict(link_.reply_buffer[0], record_len);
}

// Accepted moves on to the next record; refused ends the update; anything else sends the same
// record again, at most kRecordAttempts times in all.
bool SerialUpdater::JudgeVerdict(uint8_t verdict, size_t record_len) {
  if (verdict == kVerdictAccepted) {
    details_.accepted += record_len;
    pos_ += record_len;
    ++record_number_;
    retries_ = 0;
    return true;
  }
  if (verdict == kVerdictRefused) return Fail(kUpdateRefusedCaption, SerialUpdateOutcome::kRefused);
  if (++retries_ >= kRecordAttempts) {
    return Fail(kUpdateRetriesCaption, SerialUpdateOutcome::kTooManyRetries);
  }
  return true;
}

// The records ran out only because the ESC accepted every one of them, so every byte of the
// image was delivered.
void SerialUpdater::Finish() {
  outcome_ = SerialUpdateOutcome::kUpdated;
  status_.update_running = false;
  if (OnInformationPage()) {
    ui_.CloseProgress();
    ui_.Beep();
    End(SerialUpdateOutcome::kUpdated);
    return;
  }
  ui_.V1ShowStatus(kUpdateV1Done);
  session_.timers().Arm(kTimerSession, kResumeSessionMs);
  ui_.Beep();
  // The ESC runs its new firmware: the session engine detects it afresh on its next tick.
  status_.adapter_state = kAdapterNone;
  status_.esc_state = kEscNone;
  status_.transfer_active = false;
  status_.progress = 0;
}

SerialUpdateOutcome RunSerialFirmwareUpdate(Session& session, SerialUpdateVariant variant,
                                            SerialUpdateDetails* details) {
  SerialUpdater updater(session, variant);
  const SerialUpdateOutcome outcome = updater.Run();
  if (details != nullptr && outcome != SerialUpdateOutcome::kAlreadyRunning) {
    *details = updater.details();
  }
  return outcome;
}

}  // namespace tessel
