#include "core/engine/serial_engine.h"

#include <algorithm>

#include "core/engine/session.h"
#include "core/engine/status_line.h"
#include "core/link/esc_replies.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

bool IsPresenceReply(const std::array<uint8_t, 64>& reply) {
  return (reply[0] == 0xD5 && reply[1] == 0x41) || reply[0] == 0xD6;
}

// The curve of a curve step of a read: boost, brake, throttle, as CurveFields lists them.
const CurveField& CurveOfReadStep(ReadStepId step) {
  const auto first = static_cast<int32_t>(ReadStepId::kBoostCommand);
  return CurveFields()[static_cast<size_t>(static_cast<int32_t>(step) - first) / 2];
}

}  // namespace

const std::vector<FullSendStep>& FullSendPlan() {
  static const std::vector<FullSendStep> plan = [] {
    std::vector<FullSendStep> steps;
    for (const ParamField& f : FullEscFields().first(kFullEscSendableCount)) {
      steps.push_back({FullSendStep::Kind::kPair, &f});
    }
    steps.push_back({FullSendStep::Kind::kEndOfSettings});
    for (int i = 0; i < 3; ++i) steps.push_back({FullSendStep::Kind::kOne});
    for (const CurveField& c : CurveFields()) {
      steps.push_back({FullSendStep::Kind::kCurveCommand, nullptr, &c});
      steps.push_back({FullSendStep::Kind::kCurveData, nullptr, &c});
    }
    return steps;
  }();
  return plan;
}

std::array<WirePair, kV1SendPairs> V1SendPlan(const EscSettingsImage& image, bool bec) {
  std::array<WirePair, kV1SendPairs> plan{};
  size_t n = 0;
  for (const WirePair& pair : V1SettingPairs(image)) plan[n++] = pair;
  plan[n++] = {0xEC, V1CutoffCode(image.v1_cutoff_voltage)};
  plan[n++] = bec ? WirePair{0xA1, static_cast<uint8_t>(image.v1_bec_voltage)} : WirePair{0xE9, 1};
  for (const WirePair& fixed : {WirePair{0xA2, 1}, WirePair{0xED, 0}, WirePair{0xA3, 1},
                                WirePair{0xA4, 1}, WirePair{0xE9, 1}}) {
    plan[n++] = fixed;
  }
  return plan;
}

SerialEngine::SerialEngine(Session& session, SerialPort& port, PortEnumerator* enumerator)
    : link(port, enumerator, session.clock()),
      session_(session),
      status_(session.status),
      ui_(session.ui()),
      timers_(session.timers()) {}

void SerialEngine::OnTimer(int id) {
  if (id == kTimerSession) Tick();
}

std::string SerialEngine::VersionText() const {
  return version_valid_ ? version_text_ : std::string();
}

void SerialEngine::StartRead(ReadStart how) {
  if (how == ReadStart::kReadAgain) {
    timers_.Arm(kTimerSession, 50);
    return;
  }
  SessionStatus& s = status_;
  s.progress_total = kSerialProgressTotal;
  s.transfer_active = true;
  ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
  ui_.ShowProgress();
  link.ClearReply();
  link.LinkPurgeAll();
}

void SerialEngine::StartSend(SendStart how) {
  SessionStatus& s = status_;
  switch (how) {
    case SendStart::kApply:
    case SendStart::kPresetPacket:
      // Timer 102 is running; its next tick takes the first step.
      break;
    case SendStart::kDefault:
      link.ClearReply();
      link.LinkPurgeAll();
      break;
    case SendStart::kResetDefault:
      s.transfer_active = true;
      s.transfer_direction = kTransferSend;
      OpenV1Send();
      break;
    case SendStart::kV1Dialog:
      s.transfer_active = true;
      ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
      ui_.ShowProgress();
      s.transfer_direction = kTransferSend;
      OpenV1Send();
      break;
  }
}

void SerialEngine::OpenV1Send() {
  ui_.V1WriteToImage();
  link.ClearReply();
  link.LinkPurgeAll();
  session_.send_account.Begin(kV1SendPairs, 0);
  SendParameter(0xE2, static_cast<uint8_t>(session_.image.v1_running_mode));
}

int SerialEngine::SendByteEchoed(uint8_t byte) {
  if (link.LinkSendByte(byte) != 0) return 1;
  if (session_.send_account.running()) session_.send_account.any_byte_left = true;
  return link.echo_missing ? 1 : 0;
}

void SerialEngine::LoseAdapter() {
  SessionStatus& s = status_;
  const bool sending = s.transfer_direction == kTransferSend;
  link.LinkClose();
  s.read_in_progress = false;
  s.send_in_progress = false;
  s.transfer_active = false;
  s.progress = 0;
  s.read_step = 0;
  s.busy_button = kBusyNone;
  s.esc_state = kEscNone;
  s.adapter_state = kAdapterLost;
  s.link_kind = kLinkNone;
  status_changed_ = true;
  if (sending) {
    session_.BreakOffSend(SendBreak::kAdapterLost);
  } else {
    session_.FinishTransfer(kTransferRead, TransferOutcome::kAdapterLost);
  }
  ui_.CloseProgress();
  ui_.RedrawIndicators();
  ui_.RefreshMainWindow();
  timers_.Arm(kTimerSession, 50);
  if (sending) ui_.Ask(kAdapterLostText, kSendCaption, Buttons::kOk);
}

void SerialEngine::Tick() {
  SessionStatus& s = status_;
  if (s.link_kind == kLinkHid) return;

  if (s.SerialConnected() && s.transfer_active) {
    // An I/O error closed the port (the adapter was pulled): nothing more can move.
    if (PortLost()) {
      LoseAdapter();
      return;
    }
    if (s.progress == 0) {
      if (s.read_in_progress) ui_.SetProgressCaption(kCaptionRead);
      if (s.send_in_progress) ui_.SetProgressCaption(kCaptionSend);
      ui_.ShowProgress();
      ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
      timers_.Arm(kTimerSession, 20);
      ui_.RefreshMainWindow();
    }
    ui_.SetProgressCaption(TransferringCaption(s.progress * 100 / s.progress_total));
    if (s.progress >= s.progress_total) {
      if (s.busy_button == kBusyApply || s.busy_button == kBusyDefault) ui_.RedrawButtons();
      const bool sent = s.transfer_direction == kTransferSend && s.device_class == kDeviceFull;
      s.transfer_active = false;
      s.progress = 0;
      s.busy_button = kBusyNone;
      ui_.CloseProgress();
      if (sent) ReportSendDone();
      ui_.RefreshMainWindow();
      timers_.Arm(kTimerSession, 100);
      if (s.device_class != kDeviceFull) {
        ui_.ShowIndicators(false);
        s.curve_editor_open = false;
        s.shown_page = 0;
        s.requested_page = kPageV1Done;
        ui_.SwitchToPage(kPageV1Done);
        ui_.UpdateMenuBitmaps();
      }
      return;
    }
    ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
    if (s.transfer_direction == kTransferRead) {
      WireTrace::Step(link.trace(), "read", s.read_step);
      ReadStep();
    } else if (s.transfer_direction == kTransferSend) {
      WireTrace::Step(link.trace(), "send", s.send_step);
      SendStep();
    }
    if (s.transfer_active) {
      const bool sending = s.transfer_direction == kTransferSend;
      const uint32_t period =
          s.device_class == kDeviceFull ? (sending ? 5 : 3) : (sending ? 10 : 5);
      timers_.Arm(kTimerSession, period);
    }
    return;
  }

  link.LinkOpen();

  if (status_changed_) {
    status_changed_ = false;
    s.adapter_state = kAdapterOpen;
    s.link_kind = kLinkSerial;
    ui_.RedrawButtons();
    if (!s.SerialConnected()) {
      s.requested_page = kPageNone;
      ui_.RedrawButtons();
      ui_.SwitchToPage(kPageNone);
      s.shown_page = kPageLost;
    }
  }

  if (link.is_open) {
    if (s.adapter_state != kAdapterOpen) {
      status_changed_ = true;
      timers_.Stop(kTimerHidSession);
      timers_.Stop(kTimerHidProbe);
    }
    timers_.Arm(kTimerSession, 200);

    // Presence probe.
    WireTrace::Step(link.trace(), "probe");
    if (link.LinkSendByte(kCmdProbe) != 0) {
      link.LinkClose();
      if (s.esc_state != kEscNone && s.adapter_state != kAdapterLost) status_changed_ = true;
      s.esc_state = kEscNone;
      s.adapter_state = kAdapterLost;
      s.link_kind = kLinkNone;
      timers_.Arm(kTimerSession, 50);
      return;
    }
    if (link.LinkReceive(2, 150) != 0) {
      if (s.esc_state != kEscSilent) {
        status_changed_ = true;
        s.esc_state = kEscSilent;
        s.requested_page = kPageNone;
        s.shown_page = kPageLost;
        timers_.Arm(kTimerSession, 10);
      }
    } else if (IsPresenceReply(link.reply_buffer)) {
      if (s.esc_state != kEscDetected) {
        s.esc_state = kEscDetected;
        status_changed_ = true;
        // A read always starts from its beginning, even when an earlier transfer was cut
        // off by the loss of the ESC or the adapter.
        session_.PrepareRead();
        ui_.RedrawIndicators();
        timers_.Arm(kTimerSession, 50);
        return;
      }
    } else if (s.esc_state != kEscSilent) {
      s.requested_page = kPageNone;
      s.shown_page = kPageLost;
      status_changed_ = true;
      s.esc_state = kEscSilent;
      timers_.Arm(kTimerSession, 10);
    }
  } else if (link.LinkOpen() != 0) {
    if (s.esc_state != kEscNone && s.adapter_state != kAdapterNone) status_changed_ = true;
    s.esc_state = kEscNone;
    s.adapter_state = kAdapterNone;
    s.link_kind = kLinkNone;
    timers_.Arm(kTimerSession, 10);
    return;
  }

  if (s.esc_state == kEscDetected) {
    probe_failures_ = 0;
    timers_.Arm(kTimerSession, 200);
    return;
  }
  if (++probe_failures_ > 1) {
    probe_failures_ = 0;
    if (link.is_open) link.LinkClose();
    link.baud_rate = link.baud_rate == kBaudFast ? kBaudSlow : kBaudFast;
  }
  timers_.Arm(kTimerSession, 10);
}

ErrorChoice SerialEngine::ConfirmTransferError() {
  SessionStatus& s = status_;
  if (PortLost()) {
    // No answer to the question could bring the device back.
    LoseAdapter();
    return ErrorChoice::kStop;
  }
  const bool reading = s.read_in_progress;
  const bool sending = s.send_in_progress;
  s.read_in_progress = false;
  s.send_in_progress = false;
  const Answer answer = ui_.Ask(kTransferErrorText, kTransferErrorCaption, Buttons::kYesNoCancel);
  if (answer == Answer::kYes) {
    s.read_in_progress = reading;
    s.send_in_progress = sending;
    return ErrorChoice::kRetry;
  }
  if (answer == Answer::kNo) {
    s.read_in_progress = reading;
    s.send_in_progress = sending;
    ++session_.skipped_steps;
    if (s.transfer_direction == kTransferRead) {
      ++s.read_step;
    } else {
      ++s.send_step;
    }
    return ErrorChoice::kSkip;
  }
  s.progress = 0;
  s.read_step = 0;
  s.transfer_active = false;
  if (s.transfer_direction == kTransferSend) {
    session_.BreakOffSend(SendBreak::kStopped);
  } else {
    ui_.ReportFailure("Read stopped: the ESC did not answer as expected");
    session_.FinishTransfer(kTransferRead, TransferOutcome::kCancelled);
  }
  ui_.CloseProgress();
  ui_.RefreshMainWindow();
  return ErrorChoice::kStop;
}

bool SerialEngine::ReadCurveCommand(uint8_t command) {
  if (SendByteEchoed(command) != 0) {
    ConfirmTransferError();
    return false;
  }
  status_.chunk_pos = 0;
  if (link.LinkReceive(1, 200) != 0 || link.reply_buffer[0] != kCurveHandshake) {
    ConfirmTransferError();
    return false;
  }
  return true;
}

void SerialEngine::ReadCurveData(const CurveField& field) {
  SessionStatus& s = status_;
  if (link.LinkReceive(4, 200) != 0) {
    // Yes goes on with the reply as it stands; No and Cancel leave the step.
    if (ConfirmTransferError() != ErrorChoice::kRetry) return;
  }
  std::copy_n(link.reply_buffer.begin(), 4, curve_reply_.begin() + s.chunk_pos);
  s.progress += 3;
  s.chunk_pos += 4;
  if (s.chunk_pos < kCurveWireBytes) return;
  ++s.read_step;
  s.chunk_pos = 0;
  link.LinkReceive(static_cast<size_t>(field.check_reply_length), 200);
  session_.TakeCurveReply(field, DecodeCurveReply(curve_reply_, std::span(link.reply_buffer).first(2),
                                                  session_.image.*(field.curve)));
}

bool SerialEngine::CopyParamBlockToImage() {
  const auto block = std::span(param_bytes_).first(static_cast<size_t>(param_count_));
  if (status_.device_class == kDeviceFull) {
    DecodeFullBlock(block, session_.image);
    // The serial block has no 32nd byte, so the ESC's output setting reads as 0 here.
    session_.image.esc_out = param_bytes_[31];
    return true;
  }
  // An ESC that did not answer the identification is taken for a V1-series one; if its block
  // does not fit the V1 lists, it is something else, and its bytes must not become settings.
  if (!DecodeV1Block(block, status_.v1_block_variant, session_.image)) return false;
  session_.unrecognised_reply = false;
  return true;
}

void SerialEngine::ReadStep() {
  SessionStatus& s = status_;
  if (!s.read_in_progress || s.esc_state != kEscDetected) return;
  const auto step = static_cast<ReadStepId>(s.read_step);
  switch (step) {
    case ReadStepId::kIdentify:
    case ReadStepId::kIdentifyVariant:
    case ReadStepId::kIdentifyVariantAgain:
      if (SendByteEchoed(kCmdIdentify) != 0) {
        ConfirmTransferError();
        return;
      }
      if (step == ReadStepId::kIdentify) read_failures_ = 0;
      // No reply leaves the buffer empty, which counts as a V1-series ESC.
      link.LinkReceive(1, 200);
      s.device_class = link.reply_buffer[0] == kReplyFullEsc ? kDeviceFull : kDeviceV1;
      if (s.device_class == kDeviceFull) ui_.ShowIndicators(true);
      if (step != ReadStepId::kIdentify) {
        s.v1_block_variant = link.reply_buffer[0] == kReplyV1Block16 ? kV1Block16 : kV1Block14;
      }
      ++s.read_step;
      break;
    case ReadStepId::kAskSettings:
      if (SendByteEchoed(kCmdReadParams) != 0) {
        ConfirmTransferError();
        return;
      }
      param_count_ = s.device_class == kDeviceFull ? kFullEscParamCount
                                                  : (s.v1_block_variant == kV1Block16 ? 16 : 14);
      std::fill(param_bytes_.begin(), param_bytes_.end(), 0);
      s.chunk_pos = 0;
      ++s.read_step;
      break;
    case ReadStepId::kSettingsByte:
      if (link.LinkReceive(1, 200) != 0) {
        if (++read_failures_ > 5) {
          // The read starts over, so its progress does too; left standing, it would reach
          // its end before the curves were read and close the transfer half done.
          s.read_step = static_cast<int32_t>(ReadStepId::kIdentify);
          s.progress = 0;
        }
        return;
      }
      param_bytes_[static_cast<size_t>(s.chunk_pos)] = link.reply_buffer[0];
      if (++s.chunk_pos >= param_count_) {
        ++s.read_step;
        return;
      }
      break;
    case ReadStepId::kTakeSettings:
      if (!CopyParamBlockToImage()) {
        session_.RefuseUnrecognisedReply();
        return;
      }
      ui_.RefreshMainWindow();
      ++s.read_step;
      break;
    case ReadStepId::kAskVersion:
      if (SendByteEchoed(kCmdReadVersion) != 0) {
        link.ClearReply();
        ConfirmTransferError();
        return;
      }
      ++s.read_step;
      break;
    case ReadStepId::kVersion:
      if (link.LinkReceive(7, 100) != 0) {
        ConfirmTransferError();
        return;
      }
      version_text_ = SerialVersionText(std::span(link.reply_buffer).first(7));
      version_valid_ = true;
      ui_.EnableUpdateButton();
      s.progress += 7;
      ++s.read_step;
      break;
    case ReadStepId::kBoostCommand:
      if (s.device_class != kDeviceFull) {
        // A V1-series ESC has no curves: its read fills the bar in a few ticks.
        s.progress = std::min(s.progress + kV1ReadProgressStep, kV1ProgressEnd);
        if (s.progress == kV1ProgressEnd) {
          s.read_in_progress = false;
          s.read_step = 0;
          ui_.V1RefreshFromImage();
          ReportReadDone();
        }
        break;
      }
      [[fallthrough]];
    case ReadStepId::kBrakeCommand:
    case ReadStepId::kThrottleCommand:
      // The curves come in the table's order: boost, brake, throttle; each is asked for,
      // then read 4 bytes a tick.
      if (!ReadCurveCommand(CurveOfReadStep(step).read_command)) return;
      ++s.read_step;
      break;
    case ReadStepId::kBoostData:
    case ReadStepId::kBrakeData:
    case ReadStepId::kThrottleData:
      ReadCurveData(CurveOfReadStep(step));
      if (step == ReadStepId::kThrottleData) ui_.RefreshMainWindow();
      break;
    case ReadStepId::kEnd:
    default:
      // Also a step counter pushed past the end by a skipped step finishes the read.
      s.read_in_progress = false;
      s.read_step = 0;
      s.progress = kSerialProgressTotal;
      break;
  }
  ++s.progress;
  if (!s.read_in_progress && s.transfer_active) FinishRead();
}

void SerialEngine::FinishRead() {
  ui_.RefreshPagesFromImage();
  ui_.ShowLoggedData();
  ui_.Beep();
  ReportReadDone();
  ui_.RefreshMainWindow();
  session_.WarnOfDamagedCurves();
  session_.FinishTransfer(kTransferRead, session_.ReadOutcome());
}

void SerialEngine::ReportReadDone() {
  if (session_.skipped_steps > 0) {
    ui_.ReportFailure("Read with skipped steps: some values shown may not be the ESC's");
  } else {
    ui_.ReportOutcome(ReadOkText(status_, VersionText()));
  }
}

void SerialEngine::ReportSendDone() {
  if (session_.skipped_steps > 0) {
    session_.BreakOffSend(SendBreak::kSkipped);
    return;
  }
  session_.send_account.Complete();
  ui_.ReportOutcome(kSentOkText);
  session_.FinishTransfer(kTransferSend, TransferOutcome::kComplete);
}

void SerialEngine::CountEchoedPairs() {
  const uint64_t echoed = (link.purged_rx_bytes - echo_base_) / 2;
  session_.send_account.settings_taken = static_cast<int>(std::min<uint64_t>(echoed, kFullEscSendableCount));
}

bool SerialEngine::SendParameter(uint8_t command, uint8_t value) {
  const int failed = link.LinkSendRaw(&command, 1);
  if (failed == 0 && session_.send_account.running()) session_.send_account.any_byte_left = true;
  if (failed != 0 || link.LinkSendRaw(&value, 1) != 0) {
    ConfirmTransferError();
    return false;
  }
  return true;
}

bool SerialEngine::SendCurveCommand(const CurveField& field) {
  SessionStatus& s = status_;
  if (session_.image.*(field.mode) == 0) {
    // A linear curve is not written, but its byte positions still take a tick each; then
    // its data step is passed over.
    if (++s.chunk_pos >= kCurveWireBytes) {
      s.chunk_pos = 0;
      s.send_step += 2;
    }
    return true;
  }
  if (SendByteEchoed(field.write_command) != 0) {
    ConfirmTransferError();
    return false;
  }
  s.chunk_pos = 0;
  ++s.send_step;
  return true;
}

bool SerialEngine::SendCurveData(const CurveField& field) {
  SessionStatus& s = status_;
  const CurveData& curve = session_.image.*(field.curve);
  if (SendByteEchoed(CurveWireByte(curve, s.chunk_pos)) != 0) {
    ConfirmTransferError();
    return false;
  }
  if (++s.chunk_pos < kCurveWireBytes) return true;
  ++s.send_step;
  const auto check = CurveCheckBytes(curve);
  for (uint8_t b : check) {
    if (SendByteEchoed(b) != 0) {
      ConfirmTransferError();
      return false;
    }
  }
  for (int i = 0; i < field.filler_count; ++i) {
    if (SendByteEchoed(1) != 0) {
      ConfirmTransferError();
      return false;
    }
  }
  ++session_.send_account.curves_taken;  // every byte of it came back
  return true;
}

void SerialEngine::SendStep() {
  SessionStatus& s = status_;
  if (!s.send_in_progress) return;
  if (s.esc_state != kEscDetected) {
    ConfirmTransferError();
    return;
  }
  if (s.device_class != kDeviceFull) {
    SendStepV1();
    return;
  }
  const std::vector<FullSendStep>& plan = FullSendPlan();
  if (s.send_step == 0) {
    // Nothing acknowledges a pair but its echo: count the echoes from here on.
    link.LinkPurgeRx();
    echo_base_ = link.purged_rx_bytes;
  }
  const FullSendStep end{FullSendStep::Kind::kEnd};
  const FullSendStep& step =
      s.send_step >= 0 && static_cast<size_t>(s.send_step) < plan.size()
          ? plan[static_cast<size_t>(s.send_step)]
          : end;
  switch (step.kind) {
    case FullSendStep::Kind::kPair:
      SendParameter(*step.field->set_command,
                    static_cast<uint8_t>(session_.image.*(step.field->field)));
      CountEchoedPairs();
      ++s.send_step;
      break;
    case FullSendStep::Kind::kEndOfSettings:
      SendParameter(kEndOfSettingsCommand, kEndOfSettingsValue);
      CountEchoedPairs();
      ++s.send_step;
      break;
    case FullSendStep::Kind::kOne: {
      // The first echoed bytes after the settings pairs: a missing echo means the pairs went
      // nowhere, which must not end as a successful send.
      const int failed = SendByteEchoed(1);
      CountEchoedPairs();
      if (failed != 0) {
        ConfirmTransferError();
        return;
      }
      ++s.send_step;
      s.chunk_pos = 0;
      break;
    }
    case FullSendStep::Kind::kCurveCommand:
      if (!SendCurveCommand(*step.curve)) return;
      break;
    case FullSendStep::Kind::kCurveData:
      if (!SendCurveData(*step.curve)) return;
      break;
    case FullSendStep::Kind::kEnd:
      s.send_in_progress = false;
      s.send_step = 0;
      s.progress = kSerialProgressTotal;
      ui_.RefreshMainWindow();
      break;
  }
  ++s.progress;
}

void SerialEngine::SendStepV1() {
  SessionStatus& s = status_;
  // The ESC says it is ready for the next pair with a byte of 1, which also tells that it
  // took the one before.
  if (link.LinkReceive(1, 200) != 0 || link.reply_buffer[0] != 1) return;
  if (s.send_step > 0) session_.send_account.settings_taken = std::min(s.send_step, kV1SendPairs);
  s.progress += 10;
  if (s.send_step >= 0 && s.send_step < kV1SendPairs) {
    // The first step takes the dialog's choices into the image before it sends.
    if (s.send_step == 0) ui_.V1WriteToImage();
    const WirePair pair = V1SendPlan(session_.image, s.v1_block_variant == kV1Block16)
        [static_cast<size_t>(s.send_step)];
    SendParameter(pair.command, pair.value);
    ++s.send_step;
    ++s.progress;
    return;
  }
  s.progress = kV1ProgressEnd;
  s.send_step = 0;
  s.send_in_progress = false;
  s.transfer_active = false;
  ui_.CloseProgress();
  ui_.V1ShowSendDone();
  ReportSendDone();
  ++s.progress;
}

void SerialEngine::OnPortRemoved() {
  SessionStatus& s = status_;
  const bool serial = s.link_kind == kLinkSerial;
  const bool reading = serial && s.transfer_active && s.read_in_progress &&
                       s.transfer_direction == kTransferRead;
  s.link_kind = kLinkNone;
  timers_.Arm(kTimerHidProbe, 200);
  s.progress_total = kHidProgressTotal;
  s.device_class = kDeviceUnknown;
  s.transfer_active = false;
  s.esc_state = kEscNone;
  s.adapter_state = kAdapterNone;
  ui_.HideSimpleDialog();
  s.requested_page = kPageNone;
  s.shown_page = kPageV1Done;
  ui_.ShowIndicators(true);
  ui_.MarkSkinsForRenewal();
  ui_.SwitchToPage(kPageNone);
  // Said once the status tells that the adapter is gone.
  if (serial) session_.BreakOffSend(SendBreak::kAdapterLost);
  if (reading) session_.FinishTransfer(kTransferRead, TransferOutcome::kAdapterLost);
}

void SerialEngine::OnPortArrived() {
  status_.progress_total = kSerialProgressTotal;
  status_.link_kind = kLinkSerial;
  status_.transfer_active = true;
  timers_.Arm(kTimerSession, 50);
}

}  // namespace tessel
