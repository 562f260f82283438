#include "core/engine/serial_update.h"

#include <algorithm>
#include <span>
#include <vector>

#include "core/model/firmware_file.h"
#include "core/model/firmware_preflight.h"
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

class UpdateRun {
 public:
  UpdateRun(Session& session, SerialUpdateVariant variant, SerialUpdateDetails& details)
      : session_(session),
        status_(session.status),
        link_(session.link),
        ui_(session.ui()),
        variant_(variant),
        d_(details) {}

  SerialUpdateOutcome Run();

 private:
  bool OnInformationPage() const { return variant_ == SerialUpdateVariant::kInformationPage; }

  // The V1 dialog refreshes its controls whenever its status line changes, which is the
  // only seam it has for that; the information page re-reads its texts.
  void Refresh() {
    if (OnInformationPage()) ui_.RefreshDeviceView();
  }

  SerialUpdateOutcome End(SerialUpdateOutcome outcome) {
    session_.timers().Arm(kTimerSession, kResumeSessionMs);
    status_.update_running = false;
    return outcome;
  }

  SerialUpdateOutcome Fail(const char* caption, SerialUpdateOutcome outcome) {
    ui_.Ask(kUpdateErrorText, caption, Buttons::kOk);
    return End(outcome);
  }

  SerialUpdateOutcome RefuseFile(const std::string& text, SerialUpdateOutcome outcome) {
    d_.problem = text;
    ui_.Ask(text, kFirmwareFileCaption, Buttons::kOk);
    return End(outcome);
  }

  void ShowPercent(int percent) {
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

  SerialUpdateOutcome Transfer(const std::vector<uint8_t>& image);
  SerialUpdateOutcome Finish();

  Session& session_;
  SessionStatus& status_;
  SerialLink& link_;
  SessionUi& ui_;
  SerialUpdateVariant variant_;
  SerialUpdateDetails& d_;
};

SerialUpdateOutcome UpdateRun::Run() {
  // While the engine reads or sends settings, the ESC is not asked for its version and the
  // user is not asked to confirm.
  const bool settings_transfer = status_.read_in_progress || status_.send_in_progress;

  if (!settings_transfer) {
    WireTrace::Step(link_.trace(), "flash version");
    if (link_.LinkSendByte(kCmdReadVersion) != 0) return End(SerialUpdateOutcome::kNoVersionReply);
    if (link_.LinkReceive(kVersionReplyLength, kVersionReplyMs) != 0) {
      return End(SerialUpdateOutcome::kNoVersionReply);
    }
    const std::string reply(reinterpret_cast<const char*>(link_.reply_buffer.data()),
                            kVersionReplyLength);
    d_.esc_version = HexNumberFromFourthCharacter(reply);
  }
  Refresh();
  if (!status_.SerialConnected()) {
    return End(SerialUpdateOutcome::kNoEsc);
  }

  Refresh();
  const std::optional<std::string> chosen = ui_.ChooseOpenFile(kSerialFirmwareFilter);
  if (!chosen || chosen->empty()) return End(SerialUpdateOutcome::kNoFileChosen);
  // The version comes from the name cut after ".xup", but the file read is the one the
  // user chose: "ESC0130.xup.old" must not flash a neighbouring "ESC0130.xup".
  d_.file_path = *chosen;
  d_.file_version = FileVersionFromName(*chosen).number;

  // The file is read and checked before the user is asked to start: a damaged file, or one
  // that is not this loader's kind, is refused before any question that would suggest it
  // could be sent. An ESC whose update broke off part way may not start again.
  FirmwarePreflight preflight = PreflightFirmware(d_.file_path, FirmwareTarget::kSerialLoader);
  if (preflight.cannot_open) {
    return RefuseFile(*preflight.problem + ". Nothing was sent to the ESC.",
                      SerialUpdateOutcome::kFileNotOpened);
  }
  if (preflight.problem) {
    return RefuseFile("\"" + d_.file_path + "\" was not sent to the ESC: " + *preflight.problem +
                          ".",
                      SerialUpdateOutcome::kDamagedFile);
  }
  const std::vector<uint8_t> image = std::move(preflight.image);
  d_.image_size = image.size();

  // Every start is confirmed, also while a settings transfer runs (the ESC's version is then
  // unknown and only the plain question is asked). Without digits on either side there is
  // nothing to compare. Enter never downgrades: "version old" has Cancel as its default.
  d_.asked_version_old = !settings_transfer && d_.file_version && d_.esc_version &&
                         *d_.file_version < *d_.esc_version;
  Question question{d_.asked_version_old ? kUpdateVersionOld : kUpdateStartQuestion,
                    kUpdateWarningCaption, Buttons::kOkCancel, d_.file_path, {}};
  if (d_.asked_version_old) question.default_answer = Answer::kCancel;
  if (ui_.AskQuestion(question) != Answer::kOk) {
    Refresh();
    return End(SerialUpdateOutcome::kDeclined);
  }

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
  return Transfer(image);
}

SerialUpdateOutcome UpdateRun::Transfer(const std::vector<uint8_t>& image) {
  const size_t size = image.size();
  size_t pos = 0;
  size_t accepted = 0;
  int retries = 0;
  int record_number = 1;
  std::vector<uint8_t> echo;
  while (pos < size) {
    const std::optional<size_t> record_len = RecordLengthAt(image, pos);
    // The damage check has walked the records already; this only keeps every slice inside
    // the image.
    if (!record_len || *record_len > size - pos) {
      return RefuseFile("\"" + d_.file_path + "\": the firmware record at offset " +
                            std::to_string(pos) + " runs past the end of the data.",
                        SerialUpdateOutcome::kDamagedFile);
    }
    const size_t n = *record_len;
    link_.LinkPurgeAll();
    ShowPercent(static_cast<int>(static_cast<uint64_t>(accepted) * 100 / size));
    Refresh();
    ui_.ProcessEvents();
    if (ui_.StopRequested()) {
      ui_.CloseProgress();
      return End(SerialUpdateOutcome::kInterrupted);
    }

    ++d_.record_attempts;
    WireTrace::Step(link_.trace(), "flash record", record_number);
    if (!link_.LinkWrite(image.data() + pos, n, nullptr)) {
      return Fail(kUpdateWriteCaption, SerialUpdateOutcome::kWriteFailed);
    }
    echo.resize(n);
    // every byte returns
    link_.LinkRead(echo.data(), n, nullptr, EchoWaitMs(n, link_.baud_rate), /*echo=*/true);
    if (link_.LinkReceive(1, kVerdictMs) != 0) {
      return Fail(kUpdateNoVerdictCaption, SerialUpdateOutcome::kNoVerdict);
    }
    const uint8_t verdict = link_.reply_buffer[0];
    if (verdict == kVerdictAccepted) {
      accepted += n;
      d_.accepted = accepted;
      pos += n;
      ++record_number;
      retries = 0;
    } else if (verdict == kVerdictRefused) {
      return Fail(kUpdateRefusedCaption, SerialUpdateOutcome::kRefused);
    } else if (++retries >= kRecordAttempts) {
      return Fail(kUpdateRetriesCaption, SerialUpdateOutcome::kTooManyRetries);
    }
  }
  return Finish();
}

// The loop ends only when the ESC has accepted every record, so every byte of the image
// was delivered.
SerialUpdateOutcome UpdateRun::Finish() {
  status_.update_running = false;
  if (OnInformationPage()) {
    ui_.CloseProgress();
    ui_.Beep();
    return End(SerialUpdateOutcome::kUpdated);
  }
  ui_.V1ShowStatus(kUpdateV1Done);
  session_.timers().Arm(kTimerSession, kResumeSessionMs);
  ui_.Beep();
  // The ESC runs its new firmware: the session engine detects it afresh on its next tick.
  status_.adapter_state = kAdapterNone;
  status_.esc_state = kEscNone;
  status_.transfer_active = false;
  status_.progress = 0;
  return SerialUpdateOutcome::kUpdated;
}

}  // namespace

SerialUpdateOutcome RunSerialFirmwareUpdate(Session& session, SerialUpdateVariant variant,
                                            SerialUpdateDetails* details) {
  // The file dialog and the message boxes run their own message loops and the transfer
  // dispatches messages between records, so a second press of an update button can arrive
  // while the first update is still asking or sending.
  if (session.status.update_running || session.firmware_update_active) {
    return SerialUpdateOutcome::kAlreadyRunning;
  }
  session.firmware_update_active = true;
  struct Leave {
    Session& session;
    ~Leave() { session.firmware_update_active = false; }
  } leave{session};
  SerialUpdateDetails local;
  SerialUpdateDetails& d = details != nullptr ? *details : local;
  d = SerialUpdateDetails{};
  const SerialUpdateOutcome outcome = UpdateRun(session, variant, d).Run();
  if (const std::optional<UpdateReport> report = SerialUpdateReport(outcome)) {
    if (report->failed) {
      session.ui().ReportFailure(report->text);
    } else {
      session.ui().ReportOutcome(report->text);
    }
  }
  return outcome;
}

}  // namespace tessel
