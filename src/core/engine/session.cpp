#include "core/engine/session.h"

#include <algorithm>
#include <cstdio>

#include "core/engine/status_line.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

bool IsPresenceReply(const std::array<uint8_t, 64>& reply) {
  return (reply[0] == 0xD5 && reply[1] == 0x41) || reply[0] == 0xD6;
}

std::string JoinCurveNames(const std::vector<std::string>& curves) {
  std::string text;
  for (size_t i = 0; i < curves.size(); ++i) {
    if (i > 0) text += i + 1 == curves.size() ? " and " : ", ";
    text += curves[i];
  }
  return text + (curves.size() == 1 ? " curve" : " curves");
}

constexpr const char* kCurveNames[] = {"boost", "brake", "throttle"};  // CurveFields order

}  // namespace

bool V1BlockFitsLists(const int32_t* block, size_t length, int32_t variant) {
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && variant != kV1Block16) continue;
    if (static_cast<size_t>(f.block_byte) >= length) continue;
    const int32_t byte = block[f.block_byte];
    // A cut-off code the tool does not know leaves the setting as it was; it says nothing
    // about what the rest of the block is.
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) {
      if (byte < 0 || byte > 0xFF) return false;
      continue;
    }
    const V1SettingDef* def = FindV1Setting(f.field);
    if (def && (byte < 0 || static_cast<size_t>(byte) >= def->options.size())) return false;
  }
  return true;
}

std::string DamagedCurveWarning(const std::vector<std::string>& curves) {
  return "The " + JoinCurveNames(curves) +
         " arrived damaged (wrong check value); default points are shown in place of the "
         "ESC's. Read again before you send.";
}

std::string DamagedCurveQuestion(const std::vector<std::string>& curves) {
  return "The " + JoinCurveNames(curves) + " arrived damaged and " +
         (curves.size() == 1 ? "shows" : "show") +
         " default points; sending writes them over the ESC's own.";
}

std::string TransferringCaption(int percent) {
  char text[64];
  std::snprintf(text, sizeof text, "Transferring.. %d%% done.", percent);
  return text;
}

Session::Session(SerialPort& port, PortEnumerator* enumerator, Clock& clock, TimerHost& timers,
                 SessionUi& ui)
    : link(port, enumerator, clock),
      throttle_editor(CurveKind::kThrottle, image),
      brake_editor(CurveKind::kBrake, image),
      boost_editor(CurveKind::kBoost, image),
      clock_(clock),
      timers_(timers),
      ui_(ui) {
  // The editors exist before any curve is read, each starting from its default points.
  throttle_editor.Initialise();
  brake_editor.Initialise();
  boost_editor.Initialise();
}

CurveModel& Session::EditorFor(const CurveField& field) {
  if (field.curve == &EscSettingsImage::throttle_curve) return throttle_editor;
  if (field.curve == &EscSettingsImage::brake_curve) return brake_editor;
  return boost_editor;
}

void Session::LoadAllCurves() {
  throttle_editor.LoadCurve();
  brake_editor.LoadCurve();
  boost_editor.LoadCurve();
}

void Session::ResetAndApplyAllCurves() {
  for (CurveModel* e : {&throttle_editor, &brake_editor, &boost_editor}) {
    e->ResetCurve();
    e->ApplyCurve();
  }
  damaged_curves.fill(false);  // defaults are what the user asked for now
}

std::vector<std::string> Session::DamagedCurvesToSend() const {
  std::vector<std::string> names;
  const auto curves = CurveFields();
  for (size_t i = 0; i < curves.size(); ++i) {
    if (damaged_curves[i] && image.*(curves[i].mode) != 0) names.emplace_back(kCurveNames[i]);
  }
  return names;
}

bool Session::ConfirmDamagedCurveSend() {
  const std::vector<std::string> names = DamagedCurvesToSend();
  if (names.empty()) return true;
  const Answer answer =
      ui_.Ask(DamagedCurveQuestion(names), kSendCaption, Buttons::kReadSendCancel);
  if (answer == Answer::kNo) return true;
  status.busy_button = kBusyNone;
  if (answer == Answer::kYes) {
    StartRead();
    timers_.Arm(kTimerSession, 20);
  }
  return false;
}

int Session::SendByteEchoed(uint8_t byte) {
  if (link.LinkSendByte(byte) != 0) return 1;
  if (send_account.running()) send_account.any_byte_left = true;
  return link.echo_missing ? 1 : 0;
}

void Session::BreakOffSend(SendBreak why) {
  if (!send_account.BreakOff(why)) return;
  ui_.ReportFailure(SendBrokeOffText(send_account));
}

void Session::LoseAdapter() {
  SessionStatus& s = status;
  const bool sending = s.transfer_direction == kTransferSend;
  link.LinkClose();
  adapter_lost_in_transfer = true;
  s.read_in_progress = false;
  s.send_in_progress = false;
  s.transfer_active = false;
  s.progress = 0;
  s.read_step = 0;
  s.busy_button = kBusyNone;
  s.esc_state = kEscNone;
  s.adapter_state = kAdapterLost;
  s.link_kind = kLinkNone;
  status_changed = true;
  if (sending) BreakOffSend(SendBreak::kAdapterLost);
  ui_.CloseProgress();
  ui_.RedrawIndicators();
  ui_.RefreshMainWindow();
  timers_.Arm(kTimerSession, 50);
  if (sending) ui_.Ask(kAdapterLostText, kSendCaption, Buttons::kOk);
}

void Session::RefuseUnrecognisedReply() {
  SessionStatus& s = status;
  unrecognised_reply = true;
  s.read_in_progress = false;
  s.read_step = 0;
  s.transfer_active = false;
  s.progress = 0;
  ui_.CloseProgress();
  ui_.RefreshMainWindow();
  ui_.Ask(kUnrecognisedReplyText, kReadCaption, Buttons::kOk);
}

std::string Session::VersionText() const {
  if (status.link_kind == kLinkHid) return hid_version_text;
  std::string text;
  if (!version_valid) return text;
  for (uint8_t b : esc_version_text) {
    if (b == 0) break;
    text.push_back(b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '?');
  }
  return text;
}

void Session::Start() {
  status.requested_page = kPageNone;
  status.shown_page = kPageV1Done;
  status.adapter_state = kAdapterNone;
  status.esc_state = kEscNone;
  status.link_kind = kLinkNone;
  status.device_class = kDeviceUnknown;
  status.page_shown = false;
  ui_.SwitchToPage(kPageNone);
  status.curve_editor_open = false;
  status.update_running = false;
  // The first ESC detected is read at once.
  StartRead();
  status.send_step = 0;
  ui_.RefreshMainWindow();
  ui_.ShowIndicators(false);
  ui_.RedrawIndicators();
  ui_.SetProgressCaption(kCaptionRead);
  timers_.Arm(kTimerSession, 500);
  timers_.Arm(kTimerHidProbe, 500);
}

void Session::OnTimer(int id) {
  if (status.update_running) return;
  if (image.profile_preset != image.last_profile_preset) {
    image.last_profile_preset = image.profile_preset;
    ui_.RefreshPagesFromImage();
    LoadAllCurves();
    if (!ConfirmDamagedCurveSend()) return;
    StartSend();
    if (status.link_kind == kLinkHid && hid_start_send) hid_start_send(true);
    return;
  }
  if (id == kTimerSession) {
    OnSessionTimer();
  } else if (hid_timer) {
    hid_timer(id);
  }
}

void Session::OnSessionTimer() {
  SessionStatus& s = status;
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

  if (status_changed) {
    status_changed = false;
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
      status_changed = true;
      timers_.Stop(kTimerHidSession);
      timers_.Stop(kTimerHidProbe);
    }
    timers_.Arm(kTimerSession, 200);

    // Presence probe.
    WireTrace::Step(link.trace(), "probe");
    if (link.LinkSendByte(kCmdProbe) != 0) {
      link.LinkClose();
      if (s.esc_state != kEscNone && s.adapter_state != kAdapterLost) status_changed = true;
      s.esc_state = kEscNone;
      s.adapter_state = kAdapterLost;
      s.link_kind = kLinkNone;
      timers_.Arm(kTimerSession, 50);
      return;
    }
    if (link.LinkReceive(2, 150) != 0) {
      if (s.esc_state != kEscSilent) {
        status_changed = true;
        s.esc_state = kEscSilent;
        s.requested_page = kPageNone;
        s.shown_page = kPageLost;
        timers_.Arm(kTimerSession, 10);
      }
    } else if (IsPresenceReply(link.reply_buffer)) {
      if (s.esc_state != kEscDetected) {
        s.esc_state = kEscDetected;
        status_changed = true;
        // A read always starts from its beginning, even when an earlier transfer was cut
        // off by the loss of the ESC or the adapter.
        StartRead();
        ui_.RedrawIndicators();
        timers_.Arm(kTimerSession, 50);
        return;
      }
    } else if (s.esc_state != kEscSilent) {
      s.requested_page = kPageNone;
      s.shown_page = kPageLost;
      status_changed = true;
      s.esc_state = kEscSilent;
      timers_.Arm(kTimerSession, 10);
    }
  } else if (link.LinkOpen() != 0) {
    if (s.esc_state != kEscNone && s.adapter_state != kAdapterNone) status_changed = true;
    s.esc_state = kEscNone;
    s.adapter_state = kAdapterNone;
    s.link_kind = kLinkNone;
    timers_.Arm(kTimerSession, 10);
    return;
  }

  if (s.esc_state == kEscDetected) {
    probe_failures = 0;
    timers_.Arm(kTimerSession, 200);
    return;
  }
  if (++probe_failures > 1) {
    probe_failures = 0;
    if (link.is_open) link.LinkClose();
    link.baud_rate = link.baud_rate == kBaudFast ? kBaudSlow : kBaudFast;
  }
  timers_.Arm(kTimerSession, 10);
}

int Session::ConfirmTransferError() {
  SessionStatus& s = status;
  if (PortLost()) {
    // No answer to the question could bring the device back.
    LoseAdapter();
    return 2;
  }
  const bool reading = s.read_in_progress;
  const bool sending = s.send_in_progress;
  s.read_in_progress = false;
  s.send_in_progress = false;
  const Answer answer = ui_.Ask(kTransferErrorText, kTransferErrorCaption, Buttons::kYesNoCancel);
  if (answer == Answer::kYes) {
    s.read_in_progress = reading;
    s.send_in_progress = sending;
    return 0;
  }
  if (answer == Answer::kNo) {
    s.read_in_progress = reading;
    s.send_in_progress = sending;
    ++skipped_steps;
    if (s.transfer_direction == kTransferRead) {
      ++s.read_step;
    } else {
      ++s.send_step;
    }
    return 1;
  }
  s.progress = 0;
  s.read_step = 0;
  s.transfer_active = false;
  if (s.transfer_direction == kTransferSend) {
    BreakOffSend(SendBreak::kStopped);
  } else {
    ui_.ReportFailure("Read stopped: the ESC did not answer as expected");
  }
  ui_.CloseProgress();
  ui_.RefreshMainWindow();
  return 2;
}

bool Session::ReadCurveCommand(uint8_t command) {
  if (SendByteEchoed(command) != 0) {
    ConfirmTransferError();
    return false;
  }
  status.chunk_pos = 0;
  if (link.LinkReceive(1, 200) != 0 || link.reply_buffer[0] != kCurveHandshake) {
    ConfirmTransferError();
    return false;
  }
  return true;
}

void Session::ReadCurveData(const CurveField& field) {
  SessionStatus& s = status;
  if (link.LinkReceive(4, 200) != 0) {
    // Yes goes on with the reply as it stands; No and Cancel leave the step.
    if (ConfirmTransferError() != 0) return;
  }
  CurveData& curve = image.*(field.curve);
  for (int i = 0; i < 4; ++i) SetCurveWireByte(curve, s.chunk_pos + i, link.reply_buffer[i]);
  s.progress += 3;
  s.chunk_pos += 4;
  if (s.chunk_pos < kCurveWireBytes) return;
  ++s.read_step;
  s.chunk_pos = 0;
  const auto expected = CurveCheckBytes(curve);
  link.LinkReceive(static_cast<size_t>(field.check_reply_length), 200);
  CurveModel& editor = EditorFor(field);
  const bool damaged = link.reply_buffer[0] != expected[0] || link.reply_buffer[1] != expected[1];
  damaged_curves[static_cast<size_t>(&field - CurveFields().data())] = damaged;
  if (damaged) {
    editor.ResetCurve();
  } else if (image.*(field.mode) != 0) {
    image.*(field.mode) = 1;
    editor.LoadCurve();
  }
}

bool Session::CopyParamBlockToImage() {
  if (status.device_class == kDeviceFull) {
    for (const ParamField& f : FullEscFields()) {
      image.*(f.field) = param_bytes[static_cast<size_t>(f.read_index)];
    }
    image.esc_out = param_bytes[31];
    return true;
  }
  // An ESC that did not answer the identification is taken for a V1-series one; if its block
  // does not fit the V1 lists, it is something else, and its bytes must not become settings.
  if (!V1BlockFitsLists(param_bytes.data(), static_cast<size_t>(param_count),
                        status.v1_block_variant)) {
    return false;
  }
  unrecognised_reply = false;
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && status.v1_block_variant != kV1Block16) continue;
    const int32_t byte = param_bytes[static_cast<size_t>(f.block_byte)];
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) {
      if (auto index = V1CutoffIndexFromCode(static_cast<uint8_t>(byte))) image.*(f.field) = *index;
    } else {
      image.*(f.field) = byte;
    }
  }
  return true;
}

void Session::ReadStep() {
  SessionStatus& s = status;
  if (!s.read_in_progress || s.esc_state != kEscDetected) return;
  const auto curves = CurveFields();  // boost, brake, throttle
  switch (s.read_step) {
    case 0:
    case 1:
    case 2:
      if (SendByteEchoed(kCmdIdentify) != 0) {
        ConfirmTransferError();
        return;
      }
      if (s.read_step == 0) read_failures = 0;
      // No reply leaves the buffer empty, which counts as a V1-series ESC.
      link.LinkReceive(1, 200);
      s.device_class = link.reply_buffer[0] == kReplyFullEsc ? kDeviceFull : kDeviceV1;
      if (s.device_class == kDeviceFull) ui_.ShowIndicators(true);
      if (s.read_step > 0) {
        s.v1_block_variant = link.reply_buffer[0] == kReplyV1Block16 ? kV1Block16 : kV1Block14;
      }
      ++s.read_step;
      break;
    case 3:
      if (SendByteEchoed(kCmdReadParams) != 0) {
        ConfirmTransferError();
        return;
      }
      param_count = s.device_class == kDeviceFull ? kFullEscParamCount
                                                  : (s.v1_block_variant == kV1Block16 ? 16 : 14);
      std::fill(param_bytes.begin(), param_bytes.end(), 0);
      s.chunk_pos = 0;
      ++s.read_step;
      break;
    case 4:
      if (link.LinkReceive(1, 200) != 0) {
        if (++read_failures > 5) {
          // The read starts over, so its progress does too; left standing, it would reach
          // its end before the curves were read and close the transfer half done.
          s.read_step = 0;
          s.progress = 0;
        }
        return;
      }
      param_bytes[static_cast<size_t>(s.chunk_pos)] = link.reply_buffer[0];
      if (++s.chunk_pos >= param_count) {
        ++s.read_step;
        return;
      }
      break;
    case 5:
      if (!CopyParamBlockToImage()) {
        RefuseUnrecognisedReply();
        return;
      }
      ui_.RefreshMainWindow();
      ++s.read_step;
      break;
    case 6:
      if (SendByteEchoed(kCmdReadVersion) != 0) {
        link.ClearReply();
        ConfirmTransferError();
        return;
      }
      ++s.read_step;
      break;
    case 7:
      if (link.LinkReceive(7, 100) != 0) {
        ConfirmTransferError();
        return;
      }
      std::copy_n(link.reply_buffer.begin(), 7, esc_version_text.begin());
      version_valid = true;
      ui_.EnableUpdateButton();
      s.progress += 7;
      ++s.read_step;
      break;
    case 8:
      if (s.device_class != kDeviceFull) {
        s.progress = std::min(s.progress + 50, 408);
        if (s.progress == 408) {
          s.read_in_progress = false;
          s.read_step = 0;
          ui_.V1RefreshFromImage();
          ReportReadDone();
        }
        break;
      }
      [[fallthrough]];
    case 10:
    case 12:
      // The curves come in the table's order: boost, brake, throttle; each is asked for,
      // then read 4 bytes a tick.
      if (!ReadCurveCommand(curves[static_cast<size_t>(s.read_step - 8) / 2].read_command)) {
        return;
      }
      ++s.read_step;
      break;
    case 9:
    case 11:
    case 13: {
      const bool throttle = s.read_step == 13;
      ReadCurveData(curves[static_cast<size_t>(s.read_step - 9) / 2]);
      if (throttle) ui_.RefreshMainWindow();
      break;
    }
    case 14:
      s.read_in_progress = false;
      s.read_step = 0;
      s.progress = kSerialProgressTotal;
      break;
    default:
      // A step counter pushed past the end by a skipped step finishes the read.
      s.read_in_progress = false;
      s.read_step = 0;
      s.progress = kSerialProgressTotal;
      break;
  }
  ++s.progress;
  if (!s.read_in_progress && s.transfer_active) FinishRead();
}

void Session::FinishRead() {
  ui_.RefreshPagesFromImage();
  ui_.ShowLoggedData();
  ui_.Beep();
  ReportReadDone();
  ui_.RefreshMainWindow();
  WarnOfDamagedCurves();
  ui_.TransferDone(kTransferRead, skipped_steps == 0);
}

void Session::WarnOfDamagedCurves() {
  std::vector<std::string> damaged;
  for (size_t i = 0; i < damaged_curves.size(); ++i) {
    if (damaged_curves[i]) damaged.emplace_back(kCurveNames[i]);
  }
  if (!damaged.empty()) ui_.Ask(DamagedCurveWarning(damaged), kReadCaption, Buttons::kOk);
}

void Session::ReportReadDone() {
  if (skipped_steps > 0) {
    ui_.ReportFailure("Read with skipped steps: some values shown may not be the ESC's");
  } else {
    ui_.ReportOutcome(ReadOkText(status, VersionText()));
  }
}

void Session::ReportSendDone() {
  if (skipped_steps > 0) {
    BreakOffSend(SendBreak::kSkipped);
  } else {
    send_account.Complete();
    ui_.ReportOutcome(kSentOkText);
  }
  ui_.TransferDone(kTransferSend, skipped_steps == 0);
}

void Session::CountEchoedPairs() {
  const uint64_t echoed = (link.purged_rx_bytes - echo_base_) / 2;
  send_account.settings_taken = static_cast<int>(std::min<uint64_t>(echoed, kFullEscSendableCount));
}

int Session::SendParameter(uint8_t command, uint8_t value) {
  const int failed = link.LinkSendRaw(&command, 1);
  if (failed == 0 && send_account.running()) send_account.any_byte_left = true;
  if (failed != 0 || link.LinkSendRaw(&value, 1) != 0) {
    ConfirmTransferError();
    return 1;
  }
  return 0;
}

bool Session::SendCurveStep(const CurveField& field, int data_step, int next_step) {
  SessionStatus& s = status;
  CurveData& curve = image.*(field.curve);
  if (s.send_step == data_step - 1) {
    if (image.*(field.mode) == 0) {
      // A linear curve is not written, but its byte positions still take a tick each.
      if (++s.chunk_pos >= kCurveWireBytes) {
        s.chunk_pos = 0;
        s.send_step = next_step;
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
  ++send_account.curves_taken;  // every byte of it came back
  return true;
}

void Session::SendStep() {
  SessionStatus& s = status;
  if (!s.send_in_progress) return;
  if (s.esc_state != kEscDetected) {
    ConfirmTransferError();
    return;
  }
  if (s.device_class != kDeviceFull) {
    SendStepV1();
    return;
  }
  const auto fields = FullEscFields();
  const auto curves = CurveFields();  // boost, brake, throttle
  const int step = s.send_step;
  if (step == 0) {
    // Nothing acknowledges a pair but its echo: count the echoes from here on.
    link.LinkPurgeRx();
    echo_base_ = link.purged_rx_bytes;
  }
  if (step >= 0 && step < kFullEscSendableCount) {
    const ParamField& f = fields[static_cast<size_t>(step)];
    SendParameter(*f.set_command, static_cast<uint8_t>(image.*(f.field)));
    CountEchoedPairs();
    ++s.send_step;
  } else if (step == 27) {
    SendParameter(kEndOfSettingsCommand, kEndOfSettingsValue);
    CountEchoedPairs();
    ++s.send_step;
  } else if (step >= 28 && step <= 30) {
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
  } else if (step == 31 || step == 32) {
    if (!SendCurveStep(curves[0], 32, 33)) return;
  } else if (step == 33 || step == 34) {
    if (!SendCurveStep(curves[1], 34, 35)) return;
  } else if (step == 35 || step == 36) {
    if (!SendCurveStep(curves[2], 36, 37)) return;
  } else {
    s.send_in_progress = false;
    s.send_step = 0;
    s.progress = kSerialProgressTotal;
    ui_.RefreshMainWindow();
  }
  ++s.progress;
}

void Session::SendStepV1() {
  SessionStatus& s = status;
  // The ESC says it is ready for the next pair with a byte of 1, which also tells that it
  // took the one before.
  if (link.LinkReceive(1, 200) != 0 || link.reply_buffer[0] != 1) return;
  if (s.send_step > 0) send_account.settings_taken = std::min(s.send_step, kV1SendPairs);
  s.progress += 10;
  const EscSettingsImage& im = image;
  const bool bec = s.v1_block_variant == kV1Block16;
  // The pairs of a V1 send, one a tick; the last six carry fixed values.
  const std::array<std::pair<uint8_t, int32_t>, 16> pairs{{
      {0xE2, im.v1_running_mode},
      {0xE3, im.v1_percentage_braking},
      {0xE4, im.v1_drag_brake},
      {0xE5, im.v1_motor_timing},
      {0xE6, im.v1_initial_acceleration},
      {0xE7, im.v1_throttle_limit},
      {0xE8, im.v1_throttle_percent_reverse},
      {0xEA, im.v1_neutral_range},
      {0xEB, im.v1_motor_rotation},
      {0xEC, V1CutoffCode(im.v1_cutoff_voltage)},
      bec ? std::pair<uint8_t, int32_t>{0xA1, im.v1_bec_voltage}
          : std::pair<uint8_t, int32_t>{0xE9, 1},
      {0xA2, 1},
      {0xED, 0},
      {0xA3, 1},
      {0xA4, 1},
      {0xE9, 1},
  }};
  if (s.send_step >= 0 && s.send_step < static_cast<int>(pairs.size())) {
    // The first step takes the dialog's choices into the image before it sends.
    if (s.send_step == 0) ui_.V1WriteToImage();
    const auto [command, value] = s.send_step == 0
                                      ? std::pair<uint8_t, int32_t>{0xE2, image.v1_running_mode}
                                      : pairs[static_cast<size_t>(s.send_step)];
    SendParameter(command, static_cast<uint8_t>(value));
    ++s.send_step;
    ++s.progress;
    return;
  }
  s.progress = 408;
  s.send_step = 0;
  s.send_in_progress = false;
  s.transfer_active = false;
  ui_.CloseProgress();
  ui_.V1ShowSendDone();
  ReportSendDone();
  ++s.progress;
}

void Session::StartRead() {
  adapter_lost_in_transfer = false;
  skipped_steps = 0;
  status.transfer_active = true;
  status.transfer_direction = kTransferRead;
  status.read_in_progress = true;
  status.send_in_progress = false;
  status.read_step = 0;
  status.chunk_pos = 0;
  status.progress = 0;
  status.progress_total = kSerialProgressTotal;
}

void Session::StartSend() {
  adapter_lost_in_transfer = false;
  skipped_steps = 0;
  int curves = 0;
  for (const CurveField& f : CurveFields()) curves += image.*(f.mode) != 0 ? 1 : 0;
  if (status.device_class == kDeviceFull) {
    send_account.Begin(kFullEscSendableCount, curves);
  } else {
    send_account.Begin(kV1SendPairs, 0);
  }
  status.progress = 0;
  status.transfer_active = true;
  status.transfer_direction = kTransferSend;
  status.send_in_progress = true;
  status.send_step = 0;
  status.progress_total = kSerialProgressTotal;
}

bool Session::IsBusy() const {
  const SessionStatus& s = status;
  if (s.transfer_active || s.update_running || s.curve_editor_open) return true;
  if (s.link_kind == kLinkSerial) return !s.SerialConnected();
  if (s.link_kind == kLinkHid) return !(s.adapter_state != kAdapterNone && s.esc_state != kEscNone);
  return true;
}

bool Session::ReadFromEsc() {
  // The LCD program box alone has no settings to read.
  if (IsBusy() || status.lcd_box_connected) return false;
  // The read the engine starts when it finds an ESC, from its first step.
  StartRead();
  ui_.SetProgressCaption(kCaptionRead);
  if (status.link_kind == kLinkHid) {
    status.progress_total = kHidProgressTotal;
    if (hid_read_again) hid_read_again();
  } else {
    timers_.Arm(kTimerSession, 50);
  }
  ui_.RefreshMainWindow();
  return true;
}

bool Session::Apply() {
  if (IsBusy()) return false;
  status.busy_button = kBusyApply;
  ui_.CollectPageSelections();
  LoadAllCurves();
  if (!ConfirmDamagedCurveSend()) return false;
  StartSend();
  if (hid_start_send) hid_start_send(false);
  return true;
}

bool Session::Default() {
  if (IsBusy()) return false;
  status.busy_button = kBusyDefault;
  ui_.ResetPagesToDefaults();
  ResetAndApplyAllCurves();
  StartSend();
  if (status.link_kind == kLinkHid) {
    if (hid_start_send) hid_start_send(false);
  } else {
    link.ClearReply();
    link.LinkPurgeAll();
  }
  return true;
}

bool Session::ResetDefault() {
  if (IsBusy()) return false;
  SessionStatus& s = status;
  if (s.device_class == kDeviceV1) {
    ui_.V1LoadDefaults();
  } else {
    if (s.requested_page < 1 || s.requested_page > 9) return false;
    ui_.ResetPagesToDefaults();
    ResetAndApplyAllCurves();
  }
  if (s.link_kind == kLinkHid) {
    ui_.V1WriteToImage();
    if (hid_start_send) hid_start_send(false);
  } else {
    s.transfer_active = true;
    s.transfer_direction = kTransferSend;
    ui_.V1WriteToImage();
    link.ClearReply();
    link.LinkPurgeAll();
    send_account.Begin(kV1SendPairs, 0);
    SendParameter(0xE2, static_cast<uint8_t>(image.v1_running_mode));
  }
  const bool pair_left = send_account.any_byte_left;
  ui_.V1ShowStatus("Esc Sending......");
  if (s.device_class != kDeviceV1) {
    ui_.CollectPageSelections();
    LoadAllCurves();
  }
  StartSend();
  send_account.any_byte_left = pair_left;
  if (s.link_kind == kLinkHid) {
    if (hid_start_send) hid_start_send(false);
  } else if (s.device_class != kDeviceV1) {
    // A V1-series ESC may already have answered the pair above with its ready byte; purging
    // that away would leave the send waiting for it for good.
    link.ClearReply();
    link.LinkPurgeAll();
  }
  return true;
}

bool Session::V1ReadSettings() {
  if (IsBusy()) return false;
  SessionStatus& s = status;
  ui_.RefreshMainWindow();
  s.transfer_direction = kTransferRead;
  s.read_in_progress = true;
  s.update_running = false;
  s.progress = 0;
  s.read_step = 0;
  s.send_step = 0;
  s.chunk_pos = 0;
  if (s.link_kind == kLinkHid) {
    if (hid_start_read) hid_start_read();
  } else {
    s.progress_total = kSerialProgressTotal;
    s.transfer_active = true;
    ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
    ui_.ShowProgress();
    link.ClearReply();
    link.LinkPurgeAll();
  }
  ui_.V1ShowStatus("Esc Reading......");
  return true;
}

bool Session::V1SendSettings() {
  if (IsBusy() || unrecognised_reply) return false;
  SessionStatus& s = status;
  s.progress = 0;
  s.send_step = 0;
  s.send_in_progress = true;
  s.progress_total = kSerialProgressTotal;
  if (s.link_kind == kLinkHid) {
    ui_.V1WriteToImage();
    ui_.V1ShowStatus("Esc Sending......");
    if (hid_start_send) hid_start_send(false);
  } else {
    s.transfer_active = true;
    ui_.SetProgress(static_cast<uint32_t>(s.progress_total), static_cast<uint32_t>(s.progress));
    ui_.ShowProgress();
    s.transfer_direction = kTransferSend;
    ui_.V1WriteToImage();
    link.ClearReply();
    link.LinkPurgeAll();
    send_account.Begin(kV1SendPairs, 0);
    SendParameter(0xE2, static_cast<uint8_t>(image.v1_running_mode));
  }
  ui_.V1ShowStatus("Esc Sending......");
  return true;
}

void Session::OnSerialPortRemoved() {
  SessionStatus& s = status;
  const bool serial = s.link_kind == kLinkSerial;
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
  if (serial) BreakOffSend(SendBreak::kAdapterLost);
}

void Session::OnSerialPortArrived() {
  status.progress_total = kSerialProgressTotal;
  status.link_kind = kLinkSerial;
  status.transfer_active = true;
  timers_.Arm(kTimerSession, 50);
}

}  // namespace tessel
