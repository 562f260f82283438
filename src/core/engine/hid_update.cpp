// The firmware steps of the HID adapter. The conversations are drawn at the top of
// hid_update.h; the steps below follow them one tick at a time.
#include "core/engine/hid_update.h"

#include <algorithm>
#include <cstdio>

#include "core/model/firmware_file.h"
#include "core/engine/serial_update.h"
#include "core/engine/update_report.h"
#include "core/engine/hid_engine.h"

namespace tessel {

std::string DataTransferringCaption(int percent) {
  char text[64];
  std::snprintf(text, sizeof text, "Data Transferring.. %d%% done.", percent);
  return text;
}

HidUpdateTarget HidUpdateTargetFor(bool lcd_box_connected, int32_t esc_type) {
  if (lcd_box_connected) return HidUpdateTarget::kLcdBox;
  if (esc_type == 12 || esc_type == 15) return HidUpdateTarget::kMaskedEsc;
  return HidUpdateTarget::kRecordEsc;
}

const char* HidUpdateFilter(HidUpdateTarget target) {
  switch (target) {
    case HidUpdateTarget::kLcdBox:
      return kLcdFirmwareFilter;
    case HidUpdateTarget::kMaskedEsc:
      return kHgmFirmwareFilter;
    case HidUpdateTarget::kRecordEsc:
      break;
  }
  return kXupFirmwareFilter;
}

FirmwareTarget PreflightTarget(HidUpdateTarget target) {
  switch (target) {
    case HidUpdateTarget::kLcdBox:
      return FirmwareTarget::kLcdBox;
    case HidUpdateTarget::kMaskedEsc:
      return FirmwareTarget::kBlockLoaderEsc;
    case HidUpdateTarget::kRecordEsc:
      break;
  }
  return FirmwareTarget::kHidRecordLoader;
}

const char* HidUpdateExtension(HidUpdateTarget target) {
  switch (target) {
    case HidUpdateTarget::kLcdBox:
      return ".xut";
    case HidUpdateTarget::kMaskedEsc:
      return ".hgm";
    case HidUpdateTarget::kRecordEsc:
      break;
  }
  return ".xup";
}

namespace {

uint32_t Total(int32_t total) {
  return static_cast<uint32_t>(std::max(total, 1));
}

int32_t Percent(int32_t done, int32_t total) {
  if (total <= 0) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(done) * 100 / total);
}

}  // namespace

HidUpdater::HidUpdater(HidEngine& engine, Session& session)
    : engine_(engine),
      session_(session),
      status_(session.status),
      ui_(session.ui()),
      timers_(session.timers()) {}

void HidUpdater::Start() {
  // The file dialog and the message boxes run their own loops: a second press may come in.
  if (Running()) return;
  SessionStatus& s = status_;
  const bool ready =
      s.lcd_box_connected || (s.adapter_state != kAdapterNone && s.esc_state != kEscNone);
  if (!ready || s.link_kind != kLinkHid || !engine_.link.IsOpen()) {
    outcome_ = HidUpdateOutcome::kNotReady;
    problem_ = kHidUpdateNotReadyText;
    ui_.Ask(kHidUpdateNotReadyText, kHidUpdateCaption, Buttons::kOk);
    ReportHidUpdate(ui_, outcome_, problem_);
    return;
  }
  timers_.Stop(kTimerHidSession);
  WireTrace::Step(engine_.link.trace(), "flash start");
  engine_.link.HidFlush();

  target_ = HidUpdateTargetFor(s.lcd_box_connected, engine_.esc_type);
  start_ = StartUpdateFacts{};
  const bool records = target_ == HidUpdateTarget::kRecordEsc;
  auto resume_polling = [&] {
    timers_.Arm(kTimerHidSession, kHidTickMs);
    SendByte(records ? kHidCmdPresence : kHidCmdIdle);
    ReturnToPolling();
    outcome_ = HidUpdateOutcome::kNoFile;
  };
  const std::optional<std::string> chosen = ui_.ChooseOpenFile(HidUpdateFilter(target_));
  if (!chosen || chosen->empty()) {
    problem_.clear();
    resume_polling();
    return;
  }
  // The one check every face runs: kind by extension and content, size, damage. Nothing the
  // tool can tell is wrong goes out: a device whose update broke off part way may not start
  // again.
  FirmwarePreflight preflight = PreflightFirmware(*chosen, PreflightTarget(target_));
  if (preflight.cannot_open) {
    problem_ = *preflight.problem;
    resume_polling();
    ReportHidUpdate(ui_, outcome_, problem_);
    return;
  }
  if (preflight.problem) {
    problem_ = "\"" + *chosen + "\" was not sent: " + *preflight.problem + ".";
    outcome_ = HidUpdateOutcome::kFileRefused;
    ui_.Ask(problem_, kFirmwareFileCaption, Buttons::kOk);
    ReportHidUpdate(ui_, outcome_, problem_);
    timers_.Arm(kTimerHidSession, kHidTickMs);
    ReturnToPolling();
    return;
  }
  // Confirmed like the serial update, naming the file and the versions, before the device
  // hears of it. The device's version text ("V1.20_231201") is not read like a file name, so
  // the two are shown side by side and never compared.
  start_ = StartUpdateFacts{*chosen, PreflightTarget(target_), {}};
  start_.versions.file = FileVersionText(*chosen);
  start_.versions.device =
      target_ == HidUpdateTarget::kLcdBox ? engine_.AdapterVersion() : engine_.VersionText();
  if (ui_.AskQuestion(StartUpdateQuestion(start_)) != Answer::kOk) {
    problem_.clear();
    resume_polling();
    outcome_ = HidUpdateOutcome::kDeclined;
    ReportHidUpdate(ui_, outcome_, problem_);
    return;
  }

  fw_image_ = std::move(preflight.image);
  fw_size_ = static_cast<int32_t>(fw_image_.size());
  fw_sent_ = 0;
  fw_record_len_ = 0;
  poll_count_ = 0;
  ClearOk();
  ready_seen_ = false;
  confirm_pending_ = false;
  outcome_ = HidUpdateOutcome::kRunning;
  problem_.clear();
  StartWait();
  // Keeps every other transfer (Apply, Read Settings, a preset change) off the line.
  s.transfer_active = true;

  if (target_ == HidUpdateTarget::kLcdBox) {
    timers_.Arm(kTimerHidSession, kHidLcdStartMs);
    SendByte(kHidCmdLcdUpdate);
    step_ = HidUpdateStep::kWaitReady;
    engine_.LendTicks();
    lcd_update_active_ = true;
    s.progress = 0;
    ui_.SetProgressCaption(kCaptionSend);
    ui_.SetProgress(Total(s.progress_total), 0);
    ui_.SetProgressCaption(DataTransferringCaption(0));
    ui_.ShowProgress();
    return;
  }
  if (s.device_class == kDeviceFull) {
    s.progress_total = fw_size_;
    s.progress = 1;
    ui_.SetProgressCaption(kCaptionSend);
    ui_.ShowProgress();
    ui_.SetProgress(Total(s.progress_total), static_cast<uint32_t>(s.progress));
    ui_.SetProgressCaption(TransferringCaption(Percent(s.progress, s.progress_total)));
  }
  SendByte(kHidCmdEscUpdate);
  step_ = records ? HidUpdateStep::kWaitLoader : HidUpdateStep::kWaitReady;
  engine_.LendTicks();
  timers_.Arm(kTimerHidSession, kHidWaitReadyMs);
}

void HidUpdater::Tick(std::span<const uint8_t> rx) {
  rx_ = rx;
  switch (step_) {
    case HidUpdateStep::kWaitReady:
      StepWaitReady();
      break;
    case HidUpdateStep::kBlockHeader:
      StepBlockHeader();
      break;
    case HidUpdateStep::kBlock:
      StepBlock();
      break;
    case HidUpdateStep::kBlockAck:
      StepBlockAck();
      break;
    case HidUpdateStep::kLastBlock:
      StepLastBlock();
      break;
    case HidUpdateStep::kComplete:
      StepComplete();
      break;
    case HidUpdateStep::kRestart:
      StepRestart();
      break;
    case HidUpdateStep::kWaitLoader:
      StepWaitLoader();
      break;
    case HidUpdateStep::kNextRecord:
      StepNextRecord();
      break;
    case HidUpdateStep::kVerdict:
      StepVerdict();
      break;
    default:
      break;
  }
}

void HidUpdater::StartWait() {
  wait_since_ms_ = session_.clock().NowMs();
}

// Every wait of the update is bounded: a device that stops answering ends it with a message
// and a time-out line in the trace, never a wait without end.
bool HidUpdater::WaitOverdue(const std::string& awaited) {
  const uint64_t now = session_.clock().NowMs();
  if (now - wait_since_ms_ <= wait_ms_) return false;
  if (engine_.link.trace()) {
    engine_.link.trace()->NoAnswer(now, awaited + " in " + std::to_string(wait_ms_) + " ms");
  }
  return true;
}

// A stop asked for (the command line's signals) ends the update only where the loader expects
// the next block or record, never in the middle of one.
bool HidUpdater::StopAtBoundary() {
  if (!ui_.StopRequested()) return false;
  Abandon(HidUpdateOutcome::kInterrupted, kHidUpdateInterruptedText);
  return true;
}

void HidUpdater::ClearOk() {
  ok_buf_ = {0, 0};
  ok_count_ = 0;
}

// "o" and "k" may come in different ticks; the last two bytes received decide.
bool HidUpdater::CollectOk(size_t count) {
  for (size_t i = 0; i < std::min(count, rx_.size()); ++i) {
    ok_buf_[0] = ok_buf_[1];
    ok_buf_[1] = rx_[i];
    ok_count_ = std::min(ok_count_ + 1, 2);
  }
  return ok_count_ == 2 && ok_buf_[0] == 'o' && ok_buf_[1] == 'k';
}

void HidUpdater::StepWaitReady() {
  timers_.Arm(kTimerHidSession, kHidWaitReadyMs);
  if (StopAtBoundary()) return;
  if (rx_.size() > 0 && rx_[0] == kHidLoaderReady) {
    ClearOk();
    fw_sent_ = 0;
    ready_seen_ = true;
    Send(kHidBlockStart, 2);
    StartWait();
  } else if (CollectOk(2) && ready_seen_) {
    // Only the answer to 0x13 0x7E may start the blocks: the length and the first block go
    // out from the start of the image.
    const auto size = static_cast<uint32_t>(fw_size_) % 65536;
    const uint8_t length[2] = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    Send(length, 2);
    ClearOk();
    step_ = HidUpdateStep::kBlockHeader;
  } else if (WaitOverdue(ready_seen_ ? "no \"ok\" to the block start"
                                     : "no ready answer to the update start")) {
    Abandon(HidUpdateOutcome::kNoStart, kHidUpdateNoStartText);
    return;
  }
  if (++poll_count_ >= kHidStartRepeatTicks) {
    poll_count_ = 0;
    if (step_ == HidUpdateStep::kWaitReady) SendByte(kHidCmdLcdUpdate);
  }
}

void HidUpdater::StepBlockHeader() {
  if (fw_sent_ >= fw_size_) return;
  if (StopAtBoundary()) return;
  SessionStatus& s = status_;
  poll_count_ = 0;
  s.progress_total = fw_size_;
  s.progress = fw_sent_;
  Send(kHidBlockHeader, 2);
  ui_.SetProgressCaption(TransferringCaption(Percent(fw_sent_, fw_size_)));
  ui_.SetProgress(Total(fw_size_), static_cast<uint32_t>(fw_sent_));
  step_ = HidUpdateStep::kBlock;
}

// Images are longer than one block (CheckFirmwareImage), and a full block is only sent while
// at least one more byte follows it, so the 512 bytes always lie inside the image.
void HidUpdater::StepBlock() {
  ClearOk();
  WireTrace::Step(engine_.link.trace(), "flash block at", fw_sent_);
  Send(fw_image_.data() + fw_sent_, kHidBlockBytes);
  StartWait();
  step_ = HidUpdateStep::kBlockAck;
  timers_.Arm(kTimerHidSession, kHidBlockTickMs);
}

void HidUpdater::StepBlockAck() {
  if (!CollectOk(rx_.size())) {
    ++poll_count_;
    if (WaitOverdue("no \"ok\" for the block at " + std::to_string(fw_sent_))) {
      Abandon(HidUpdateOutcome::kNoBlockAck, kHidUpdateNoBlockAckText);
    }
    return;
  }
  poll_count_ = 0;
  const bool full_block_follows = fw_sent_ + 2 * static_cast<int32_t>(kHidBlockBytes) < fw_size_;
  fw_sent_ += static_cast<int32_t>(kHidBlockBytes);
  if (full_block_follows) {
    step_ = HidUpdateStep::kBlockHeader;
    return;
  }
  step_ = HidUpdateStep::kLastBlock;
  timers_.Arm(kTimerHidSession, kHidLastBlockTickMs);
}

void HidUpdater::StepLastBlock() {
  if (fw_sent_ == fw_size_) return;
  if (StopAtBoundary()) return;
  ClearOk();
  const auto n = static_cast<uint32_t>(fw_size_ - fw_sent_);
  const uint8_t header[2] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  Send(header, 2);
  engine_.link.DelayMs(kHidLastBlockGapMs);
  Send(fw_image_.data() + fw_sent_, n);
  step_ = HidUpdateStep::kComplete;
  ui_.SetProgressCaption(TransferringCaption(100));
  ui_.SetProgress(100, 100);
  confirm_pending_ = true;
  StartWait();
}

bool HidUpdater::ConfirmOverdue() {
  return confirm_pending_ && WaitOverdue("no \"ok\" to the end of the transfer");
}

void HidUpdater::StepComplete() {
  if (CollectOk(rx_.size())) {
    fw_sent_ = fw_size_;
    ClearOk();
    Send(kHidBlockDone, 2);
    step_ = HidUpdateStep::kRestart;
    ui_.SetProgressCaption(DataTransferringCaption(100));
    ui_.SetProgress(100, 0);
    ui_.CloseProgress();
    StartWait();
    return;
  }
  if (ConfirmOverdue()) Abandon(HidUpdateOutcome::kNoBlockAck, kHidUpdateNoBlockAckText);
}

// A quiet tick goes back to polling, where a box that restarted answers 0x27 and the block
// transfer starts over (OnPresenceAnswer); the final "ok" is still awaited there.
void HidUpdater::StepRestart() {
  if (rx_.size() == 0) {
    ReturnToPolling();
    return;
  }
  if (CollectOk(rx_.size())) {
    FinishBlockUpdate();
    return;
  }
  if (ConfirmOverdue()) Abandon(HidUpdateOutcome::kNotConfirmed, kHidUpdateNotConfirmedText);
}

// Step 2 while the end of a block transfer is unconfirmed: a late "ok" still ends it, and
// it is not waited for without bound.
bool HidUpdater::AwaitConfirmWhilePolling(std::span<const uint8_t> rx) {
  if (!confirm_pending_ || !Running()) return false;
  rx_ = rx;
  if (CollectOk(rx_.size())) {
    FinishBlockUpdate();
    return true;
  }
  if (ConfirmOverdue()) {
    Abandon(HidUpdateOutcome::kNotConfirmed, kHidUpdateNotConfirmedText);
    return true;
  }
  return false;
}

void HidUpdater::FinishBlockUpdate() {
  SessionStatus& s = status_;
  confirm_pending_ = false;
  Send(kHidBlockRestart, 2);
  engine_.esc_identified = false;
  engine_.link.DelayMs(kHidRestartWaitMs);
  SendByte(kHidCmdIdle);
  ReturnToPolling();
  timers_.Arm(kTimerHidSession, kHidTickMs);
  s.transfer_active = false;
  s.progress = 0;
  ui_.RefreshPagesFromImage();
  engine_.link.DelayMs(kHidRestartWaitMs);
  // The restarted box answers presence with 0x27 from now on; that is its new firmware, not
  // a transfer to resume.
  lcd_update_active_ = false;
  outcome_ = HidUpdateOutcome::kUpdated;
  ReportHidUpdate(ui_, outcome_, problem_);
  ui_.Ask(kLcdUpdateText, kLcdUpdateCaption, Buttons::kOk);
}

// A box that restarted during its update answers 0x27: the block transfer starts over from
// waiting for its ready answer.
void HidUpdater::ResumeLcdUpdate() {
  step_ = HidUpdateStep::kWaitReady;
  engine_.LendTicks();
  poll_count_ = 0;
  StartWait();
  ready_seen_ = false;
  confirm_pending_ = false;
  ClearOk();
  if (!Running()) {
    outcome_ = HidUpdateOutcome::kRunning;
    problem_.clear();
  }
  status_.transfer_active = true;
  ui_.SetProgressCaption(kCaptionSend);
  ui_.SetProgressCaption(DataTransferringCaption(0));
  ui_.SetProgress(100, 0);
  ui_.ShowProgress();
}

void HidUpdater::StepWaitLoader() {
  if (StopAtBoundary()) return;
  if (rx_.size() == 0) {
    if (WaitOverdue("no ready answer to the update start")) {
      Abandon(HidUpdateOutcome::kNoStart, kHidUpdateNoStartText);
    }
    return;
  }
  if (rx_[0] == kHidCmdEscUpdate) {
    SendByte(kHidCmdEscUpdate);
  } else if (rx_[0] == kHidLoaderReady) {
    poll_count_ = 0;
    fw_sent_ = 0;
    step_ = HidUpdateStep::kNextRecord;
    timers_.Arm(kTimerHidSession, kHidRecordTickMs);
  }
}

void HidUpdater::ShowPercent(int32_t percent) {
  if (status_.device_class == kDeviceV1) {
    ui_.V1ShowStatus(TransferringCaption(percent));
  } else if (status_.device_class == kDeviceFull) {
    ui_.SetProgressCaption(TransferringCaption(percent));
    ui_.SetProgress(100, static_cast<uint32_t>(percent));
  }
}

// The records chain exactly to the last byte (CheckFirmwareImage), so every record lies
// inside the image.
void HidUpdater::StepNextRecord() {
  if (fw_sent_ < fw_size_) {
    if (StopAtBoundary()) return;
    fw_record_len_ = fw_image_[static_cast<size_t>(fw_sent_)] * 256 +
                     fw_image_[static_cast<size_t>(fw_sent_) + 1] + 2;
    WireTrace::Step(engine_.link.trace(), "flash record at", fw_sent_);
    Send(fw_image_.data() + fw_sent_, static_cast<size_t>(fw_record_len_));
    StartWait();
    step_ = HidUpdateStep::kVerdict;
    ShowPercent(Percent(fw_sent_, fw_size_));
    return;
  }
  FinishRecordUpdate();
}

void HidUpdater::StepVerdict() {
  if (rx_.size() == 0) {
    // The ESC may take its time to flash a record, but not for ever.
    if (WaitOverdue("no verdict for the record at " + std::to_string(fw_sent_))) {
      Abandon(HidUpdateOutcome::kNoVerdict, kHidUpdateNoVerdictText);
    }
    return;
  }
  const uint8_t verdict = rx_[0];
  if (verdict == kHidRecordAccepted) {
    fw_sent_ += fw_record_len_;
    poll_count_ = 0;
    step_ = HidUpdateStep::kNextRecord;
    return;
  }
  if (verdict == kHidRecordRefused) {
    Abandon(HidUpdateOutcome::kRecordRefused, kHidUpdateRefusedText);
    return;
  }
  if (++poll_count_ < kHidVerdictTries) {
    step_ = HidUpdateStep::kNextRecord;  // the same record goes out again
    return;
  }
  Abandon(HidUpdateOutcome::kTooManyVerdicts, kHidUpdateRetriesText);
}

// Every record was accepted: the ESC runs its new firmware. The adapter is closed so that the
// probe opens it afresh and the ESC is identified from the start.
void HidUpdater::FinishRecordUpdate() {
  SessionStatus& s = status_;
  const int32_t device_class = s.device_class;
  if (device_class == kDeviceV1) ui_.V1ShowStatus(TransferringCaption(Percent(fw_sent_, fw_size_)));
  engine_.ResetToReadMode();
  s.transfer_active = false;
  s.progress = 0;
  if (device_class == kDeviceFull) ui_.CloseProgress();
  s.device_class = kDeviceUnknown;
  s.shown_page = 0;
  s.requested_page = kPageV1Done;
  ui_.RefreshMainWindow();
  timers_.Arm(kTimerHidSession, kHidTickMs);
  engine_.link.HidClose();
  engine_.link.DelayMs(kHidReopenWaitMs);
  engine_.esc_identified = false;
  SendByte(kHidCmdPresence);  // the adapter is closed: this one goes nowhere
  ReturnToPolling();
  outcome_ = HidUpdateOutcome::kUpdated;
  ReportHidUpdate(ui_, outcome_, problem_);
}

void HidUpdater::Abandon(HidUpdateOutcome outcome, const char* text) {
  timers_.Stop(kTimerHidSession);
  confirm_pending_ = false;
  status_.transfer_active = false;
  ui_.CloseProgress();
  outcome_ = outcome;
  problem_ = text;
  ReportHidUpdate(ui_, outcome_, problem_);
  // The session stays stopped until the adapter is plugged in again.
  ui_.Ask(text, kHidUpdateCaption, Buttons::kOk);
}

void HidUpdater::OnAdapterLost(bool tell_user) {
  step_ = HidUpdateStep::kNone;  // the engine starts again from the adapter's greeting
  if (!Running() && !tell_user) return;
  outcome_ = HidUpdateOutcome::kAdapterLost;
  if (!tell_user) return;
  problem_ = kHidUpdateAdapterLostText;
  ReportHidUpdate(ui_, outcome_, problem_);
  ui_.Ask(kHidUpdateAdapterLostText, kHidUpdateCaption, Buttons::kOk);
}

// The device polls again: the engine has the ticks back.
void HidUpdater::ReturnToPolling() {
  step_ = HidUpdateStep::kNone;
  engine_.PollAgain();
}

bool HidUpdater::Send(const uint8_t* bytes, size_t count) {
  return engine_.link.HidSend(bytes, count);
}

void HidUpdater::SendByte(uint8_t byte) {
  engine_.link.HidSend(&byte, 1);
}

}  // namespace tessel
