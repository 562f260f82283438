// The firmware steps of the HID session engine. The conversations are drawn at the top of
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

void HidEngine::StartHidFirmwareUpdate() {
  // The file dialog and the message boxes run their own loops: a second press may come in.
  if (UpdateRunning()) return;
  SessionStatus& s = status_;
  const bool ready =
      s.lcd_box_connected || (s.adapter_state != kAdapterNone && s.esc_state != kEscNone);
  if (!ready || s.link_kind != kLinkHid || !link.IsOpen()) {
    update_outcome = HidUpdateOutcome::kNotReady;
    update_problem = kHidUpdateNotReadyText;
    ui_.Ask(kHidUpdateNotReadyText, kHidUpdateCaption, Buttons::kOk);
    ReportHidUpdate(ui_, update_outcome, update_problem);
    return;
  }
  timers_.Stop(kTimerHidSession);
  WireTrace::Step(link.trace(), "flash start");
  link.HidFlush();

  update_target = HidUpdateTargetFor(s.lcd_box_connected, esc_type);
  const bool records = update_target == HidUpdateTarget::kRecordEsc;
  auto resume_polling = [&] {
    timers_.Arm(kTimerHidSession, kHidTickMs);
    SendByte(records ? kHidCmdPresence : kHidCmdIdle);
    hid_step = kHidStepPresence;
    update_outcome = HidUpdateOutcome::kNoFile;
  };
  const std::optional<std::string> chosen = ui_.ChooseOpenFile(HidUpdateFilter(update_target));
  if (!chosen || chosen->empty()) {
    update_problem.clear();
    resume_polling();
    return;
  }
  // The one check every face runs: kind by extension and content, size, damage. Nothing the
  // tool can tell is wrong goes out: a device whose update broke off part way may not start
  // again.
  FirmwarePreflight preflight = PreflightFirmware(*chosen, PreflightTarget(update_target));
  if (preflight.cannot_open) {
    update_problem = *preflight.problem;
    resume_polling();
    ReportHidUpdate(ui_, update_outcome, update_problem);
    return;
  }
  if (preflight.problem) {
    update_problem = "\"" + *chosen + "\" was not sent: " + *preflight.problem + ".";
    update_outcome = HidUpdateOutcome::kFileRefused;
    ui_.Ask(update_problem, kFirmwareFileCaption, Buttons::kOk);
    ReportHidUpdate(ui_, update_outcome, update_problem);
    timers_.Arm(kTimerHidSession, kHidTickMs);
    hid_step = kHidStepPresence;
    return;
  }
  // Confirmed like the serial update, naming the file, before the device hears of it.
  if (ui_.AskQuestion(Question{kUpdateStartQuestion, kUpdateWarningCaption, Buttons::kOkCancel,
                               *chosen, {}}) != Answer::kOk) {
    update_problem.clear();
    resume_polling();
    update_outcome = HidUpdateOutcome::kDeclined;
    ReportHidUpdate(ui_, update_outcome, update_problem);
    return;
  }

  fw_image = std::move(preflight.image);
  fw_size = static_cast<int32_t>(fw_image.size());
  fw_sent = 0;
  fw_record_len = 0;
  poll_count = 0;
  ClearOk();
  ready_seen_ = false;
  confirm_pending_ = false;
  update_outcome = HidUpdateOutcome::kRunning;
  update_problem.clear();
  StartWait();
  // Keeps every other transfer (Apply, Read Settings, a preset change) off the line.
  s.transfer_active = true;

  if (update_target == HidUpdateTarget::kLcdBox) {
    timers_.Arm(kTimerHidSession, kHidLcdStartMs);
    SendByte(kHidCmdLcdUpdate);
    hid_step = kHidStepWaitReady;
    lcd_update_active = true;
    s.progress = 0;
    ui_.SetProgressCaption(kCaptionSend);
    ui_.SetProgress(Total(s.progress_total), 0);
    ui_.SetProgressCaption(DataTransferringCaption(0));
    ui_.ShowProgress();
    return;
  }
  if (s.device_class == kDeviceFull) {
    s.progress_total = fw_size;
    s.progress = 1;
    ui_.SetProgressCaption(kCaptionSend);
    ui_.ShowProgress();
    ui_.SetProgress(Total(s.progress_total), static_cast<uint32_t>(s.progress));
    ui_.SetProgressCaption(TransferringCaption(Percent(s.progress, s.progress_total)));
  }
  SendByte(kHidCmdEscUpdate);
  hid_step = records ? kHidStepWaitLoader : kHidStepWaitReady;
  timers_.Arm(kTimerHidSession, kHidWaitReadyMs);
}

void HidEngine::UpdateTick() {
  switch (hid_step) {
    case kHidStepWaitReady:
      StepWaitReady();
      break;
    case kHidStepBlockHeader:
      StepBlockHeader();
      break;
    case kHidStepBlock:
      StepBlock();
      break;
    case kHidStepBlockAck:
      StepBlockAck();
      break;
    case kHidStepLastBlock:
      StepLastBlock();
      break;
    case kHidStepComplete:
      StepComplete();
      break;
    case kHidStepRestart:
      StepRestart();
      break;
    case kHidStepWaitLoader:
      StepWaitLoader();
      break;
    case kHidStepNextRecord:
      StepNextRecord();
      break;
    case kHidStepVerdict:
      StepVerdict();
      break;
    default:
      break;
  }
}

void HidEngine::StartWait() {
  wait_since_ms_ = session_.clock().NowMs();
}

// Every wait of the update is bounded: a device that stops answering ends it with a message
// and a time-out line in the trace, never a wait without end.
bool HidEngine::WaitOverdue(const std::string& awaited) {
  const uint64_t now = session_.clock().NowMs();
  if (now - wait_since_ms_ <= update_wait_ms) return false;
  if (link.trace()) {
    link.trace()->NoAnswer(now, awaited + " in " + std::to_string(update_wait_ms) + " ms");
  }
  return true;
}

// A stop asked for (the command line's signals) ends the update only where the loader expects
// the next block or record, never in the middle of one.
bool HidEngine::StopAtBoundary() {
  if (!ui_.StopRequested()) return false;
  Abandon(HidUpdateOutcome::kInterrupted, kHidUpdateInterruptedText);
  return true;
}

void HidEngine::ClearOk() {
  ok_buf = {0, 0};
  ok_count = 0;
}

// "o" and "k" may come in different ticks; the last two bytes received decide.
bool HidEngine::CollectOk(size_t count) {
  for (size_t i = 0; i < std::min(count, rx_count); ++i) {
    ok_buf[0] = ok_buf[1];
    ok_buf[1] = rx[i];
    ok_count = std::min(ok_count + 1, 2);
  }
  return ok_count == 2 && ok_buf[0] == 'o' && ok_buf[1] == 'k';
}

void HidEngine::StepWaitReady() {
  timers_.Arm(kTimerHidSession, kHidWaitReadyMs);
  if (StopAtBoundary()) return;
  if (rx_count > 0 && rx[0] == kHidLoaderReady) {
    ClearOk();
    fw_sent = 0;
    ready_seen_ = true;
    Send(kHidBlockStart, 2);
    StartWait();
  } else if (CollectOk(2) && ready_seen_) {
    // Only the answer to 0x13 0x7E may start the blocks: the length and the first block go
    // out from the start of the image.
    const auto size = static_cast<uint32_t>(fw_size) % 65536;
    const uint8_t length[2] = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    Send(length, 2);
    ClearOk();
    hid_step = kHidStepBlockHeader;
  } else if (WaitOverdue(ready_seen_ ? "no \"ok\" to the block start"
                                     : "no ready answer to the update start")) {
    Abandon(HidUpdateOutcome::kNoStart, kHidUpdateNoStartText);
    return;
  }
  if (++poll_count >= kHidStartRepeatTicks) {
    poll_count = 0;
    if (hid_step == kHidStepWaitReady) SendByte(kHidCmdLcdUpdate);
  }
}

void HidEngine::StepBlockHeader() {
  if (fw_sent >= fw_size) return;
  if (StopAtBoundary()) return;
  SessionStatus& s = status_;
  poll_count = 0;
  s.progress_total = fw_size;
  s.progress = fw_sent;
  Send(kHidBlockHeader, 2);
  ui_.SetProgressCaption(TransferringCaption(Percent(fw_sent, fw_size)));
  ui_.SetProgress(Total(fw_size), static_cast<uint32_t>(fw_sent));
  hid_step = kHidStepBlock;
}

// Images are longer than one block (CheckFirmwareImage), and a full block is only sent while
// at least one more byte follows it, so the 512 bytes always lie inside the image.
void HidEngine::StepBlock() {
  ClearOk();
  WireTrace::Step(link.trace(), "flash block at", fw_sent);
  Send(fw_image.data() + fw_sent, kHidBlockBytes);
  StartWait();
  hid_step = kHidStepBlockAck;
  timers_.Arm(kTimerHidSession, kHidBlockTickMs);
}

void HidEngine::StepBlockAck() {
  if (!CollectOk(rx_count)) {
    ++poll_count;
    if (WaitOverdue("no \"ok\" for the block at " + std::to_string(fw_sent))) {
      Abandon(HidUpdateOutcome::kNoBlockAck, kHidUpdateNoBlockAckText);
    }
    return;
  }
  poll_count = 0;
  const bool full_block_follows = fw_sent + 2 * static_cast<int32_t>(kHidBlockBytes) < fw_size;
  fw_sent += static_cast<int32_t>(kHidBlockBytes);
  if (full_block_follows) {
    hid_step = kHidStepBlockHeader;
    return;
  }
  hid_step = kHidStepLastBlock;
  timers_.Arm(kTimerHidSession, kHidLastBlockTickMs);
}

void HidEngine::StepLastBlock() {
  if (fw_sent == fw_size) return;
  if (StopAtBoundary()) return;
  ClearOk();
  const auto n = static_cast<uint32_t>(fw_size - fw_sent);
  const uint8_t header[2] = {static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
  Send(header, 2);
  link.DelayMs(kHidLastBlockGapMs);
  Send(fw_image.data() + fw_sent, n);
  hid_step = kHidStepComplete;
  ui_.SetProgressCaption(TransferringCaption(100));
  ui_.SetProgress(100, 100);
  confirm_pending_ = true;
  confirm_since_ms_ = session_.clock().NowMs();
  StartWait();
}

bool HidEngine::ConfirmOverdue() {
  return confirm_pending_ && WaitOverdue("no \"ok\" to the end of the transfer");
}

void HidEngine::StepComplete() {
  if (CollectOk(rx_count)) {
    fw_sent = fw_size;
    ClearOk();
    Send(kHidBlockDone, 2);
    hid_step = kHidStepRestart;
    ui_.SetProgressCaption(DataTransferringCaption(100));
    ui_.SetProgress(100, 0);
    ui_.CloseProgress();
    confirm_since_ms_ = session_.clock().NowMs();
    StartWait();
    return;
  }
  if (ConfirmOverdue()) Abandon(HidUpdateOutcome::kNoBlockAck, kHidUpdateNoBlockAckText);
}

// A quiet tick goes back to polling, where a box that restarted answers 0x27 and the block
// transfer starts over (OnPresenceAnswer); the final "ok" is still awaited there.
void HidEngine::StepRestart() {
  if (rx_count == 0) {
    hid_step = kHidStepPresence;
    return;
  }
  if (CollectOk(rx_count)) {
    FinishBlockUpdate();
    return;
  }
  if (ConfirmOverdue()) Abandon(HidUpdateOutcome::kNotConfirmed, kHidUpdateNotConfirmedText);
}

// Step 2 while the end of a block transfer is unconfirmed: a late "ok" still ends it, and
// it is not waited for without bound.
bool HidEngine::AwaitConfirmWhilePolling() {
  if (!confirm_pending_ || !UpdateRunning()) return false;
  if (CollectOk(rx_count)) {
    FinishBlockUpdate();
    return true;
  }
  if (ConfirmOverdue()) {
    Abandon(HidUpdateOutcome::kNotConfirmed, kHidUpdateNotConfirmedText);
    return true;
  }
  return false;
}

void HidEngine::FinishBlockUpdate() {
  SessionStatus& s = status_;
  confirm_pending_ = false;
  Send(kHidBlockRestart, 2);
  esc_identified = false;
  link.DelayMs(kHidRestartWaitMs);
  SendByte(kHidCmdIdle);
  hid_step = kHidStepPresence;
  timers_.Arm(kTimerHidSession, kHidTickMs);
  s.transfer_active = false;
  s.progress = 0;
  ui_.RefreshPagesFromImage();
  link.DelayMs(kHidRestartWaitMs);
  // The restarted box answers presence with 0x27 from now on; that is its new firmware, not
  // a transfer to resume.
  lcd_update_active = false;
  update_outcome = HidUpdateOutcome::kUpdated;
  ReportHidUpdate(ui_, update_outcome, update_problem);
  ui_.Ask(kLcdUpdateText, kLcdUpdateCaption, Buttons::kOk);
}

// A box that restarted during its update answers 0x27: the block transfer starts over from
// waiting for its ready answer.
void HidEngine::ResumeLcdUpdate() {
  hid_step = kHidStepWaitReady;
  StartWait();
  ready_seen_ = false;
  confirm_pending_ = false;
  ClearOk();
  if (!UpdateRunning()) {
    update_outcome = HidUpdateOutcome::kRunning;
    update_problem.clear();
  }
  status_.transfer_active = true;
  ui_.SetProgressCaption(kCaptionSend);
  ui_.SetProgressCaption(DataTransferringCaption(0));
  ui_.SetProgress(100, 0);
  ui_.ShowProgress();
}

void HidEngine::StepWaitLoader() {
  if (StopAtBoundary()) return;
  if (rx_count == 0) {
    if (WaitOverdue("no ready answer to the update start")) {
      Abandon(HidUpdateOutcome::kNoStart, kHidUpdateNoStartText);
    }
    return;
  }
  if (rx[0] == kHidCmdEscUpdate) {
    SendByte(kHidCmdEscUpdate);
  } else if (rx[0] == kHidLoaderReady) {
    poll_count = 0;
    fw_sent = 0;
    hid_step = kHidStepNextRecord;
    timers_.Arm(kTimerHidSession, kHidRecordTickMs);
  }
}

void HidEngine::ShowUpdatePercent(int32_t percent) {
  if (status_.device_class == kDeviceV1) {
    ui_.V1ShowStatus(TransferringCaption(percent));
  } else if (status_.device_class == kDeviceFull) {
    ui_.SetProgressCaption(TransferringCaption(percent));
    ui_.SetProgress(100, static_cast<uint32_t>(percent));
  }
}

// The records chain exactly to the last byte (CheckFirmwareImage), so every record lies
// inside the image.
void HidEngine::StepNextRecord() {
  if (fw_sent < fw_size) {
    if (StopAtBoundary()) return;
    fw_record_len = fw_image[static_cast<size_t>(fw_sent)] * 256 +
                    fw_image[static_cast<size_t>(fw_sent) + 1] + 2;
    WireTrace::Step(link.trace(), "flash record at", fw_sent);
    Send(fw_image.data() + fw_sent, static_cast<size_t>(fw_record_len));
    StartWait();
    hid_step = kHidStepVerdict;
    ShowUpdatePercent(Percent(fw_sent, fw_size));
    return;
  }
  FinishRecordUpdate();
}

void HidEngine::StepVerdict() {
  if (rx_count == 0) {
    // The ESC may take its time to flash a record, but not for ever.
    if (WaitOverdue("no verdict for the record at " + std::to_string(fw_sent))) {
      Abandon(HidUpdateOutcome::kNoVerdict, kHidUpdateNoVerdictText);
    }
    return;
  }
  const uint8_t verdict = rx[0];
  if (verdict == kHidRecordAccepted) {
    fw_sent += fw_record_len;
    poll_count = 0;
    hid_step = kHidStepNextRecord;
    return;
  }
  if (verdict == kHidRecordRefused) {
    Abandon(HidUpdateOutcome::kRecordRefused, kHidUpdateRefusedText);
    return;
  }
  if (++poll_count < kHidVerdictTries) {
    hid_step = kHidStepNextRecord;  // the same record goes out again
    return;
  }
  Abandon(HidUpdateOutcome::kTooManyVerdicts, kHidUpdateRetriesText);
}

// Every record was accepted: the ESC runs its new firmware. The adapter is closed so that the
// probe opens it afresh and the ESC is identified from the start.
void HidEngine::FinishRecordUpdate() {
  SessionStatus& s = status_;
  const int32_t device_class = s.device_class;
  if (device_class == kDeviceV1) ui_.V1ShowStatus(TransferringCaption(Percent(fw_sent, fw_size)));
  ResetToReadMode();
  s.transfer_active = false;
  s.progress = 0;
  if (device_class == kDeviceFull) ui_.CloseProgress();
  s.device_class = kDeviceUnknown;
  s.shown_page = 0;
  s.requested_page = kPageV1Done;
  ui_.RefreshMainWindow();
  timers_.Arm(kTimerHidSession, kHidTickMs);
  link.HidClose();
  link.DelayMs(kHidReopenWaitMs);
  esc_identified = false;
  SendByte(kHidCmdPresence);  // the adapter is closed: this one goes nowhere
  hid_step = kHidStepPresence;
  update_outcome = HidUpdateOutcome::kUpdated;
  ReportHidUpdate(ui_, update_outcome, update_problem);
}

void HidEngine::Abandon(HidUpdateOutcome outcome, const char* text) {
  timers_.Stop(kTimerHidSession);
  confirm_pending_ = false;
  status_.transfer_active = false;
  ui_.CloseProgress();
  update_outcome = outcome;
  update_problem = text;
  ReportHidUpdate(ui_, update_outcome, update_problem);
  // The session stays stopped until the adapter is plugged in again.
  ui_.Ask(text, kHidUpdateCaption, Buttons::kOk);
}

void HidEngine::OnUpdateAdapterLost() {
  update_outcome = HidUpdateOutcome::kAdapterLost;
  update_problem = kHidUpdateAdapterLostText;
  ReportHidUpdate(ui_, update_outcome, update_problem);
  ui_.Ask(kHidUpdateAdapterLostText, kHidUpdateCaption, Buttons::kOk);
}

}  // namespace tessel
