#include "core/engine/session.h"

#include <algorithm>
#include <cstdio>

#include "core/engine/status_line.h"
#include "core/model/page_rules.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

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
    : clock_(clock),
      timers_(timers),
      ui_(ui),
      throttle_editor(CurveKind::kThrottle, image),
      brake_editor(CurveKind::kBrake, image),
      boost_editor(CurveKind::kBoost, image),
      serial_(*this, port, enumerator),
      link(serial_.link) {
  // The tool starts from the factory settings until a read or a file says otherwise.
  LoadFactoryDefaults(image);
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
    PrepareRead();
    timers_.Arm(kTimerSession, 20);
  }
  return false;
}

void Session::BreakOffSend(SendBreak why) {
  if (!send_account.BreakOff(why)) return;
  ui_.ReportFailure(SendBrokeOffText(send_account));
  TransferOutcome outcome = TransferOutcome::kCancelled;
  switch (why) {
    case SendBreak::kNone:
    case SendBreak::kStopped:
      break;
    case SendBreak::kSkipped:
      outcome = TransferOutcome::kSkippedSteps;
      break;
    case SendBreak::kAdapterLost:
      outcome = TransferOutcome::kAdapterLost;
      break;
    case SendBreak::kEscSilent:
      outcome = TransferOutcome::kEscLost;
      break;
  }
  FinishTransfer(kTransferSend, outcome);
}

void Session::FinishTransfer(int32_t direction, TransferOutcome outcome) {
  last_transfer_ = TransferEnd{direction, outcome, send_account};
  ++transfer_ends_;
  if (last_transfer_.reached_end()) ui_.TransferDone(last_transfer_);
}

TransferOutcome Session::ReadOutcome() const {
  if (skipped_steps > 0) return TransferOutcome::kSkippedSteps;
  if (status.device_class == kDeviceFull) {
    for (bool damaged : damaged_curves) {
      if (damaged) return TransferOutcome::kDamagedCurves;
    }
  }
  return TransferOutcome::kComplete;
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
  FinishTransfer(kTransferRead, TransferOutcome::kUnrecognisedReply);
  ui_.Ask(kUnrecognisedReplyText, kReadCaption, Buttons::kOk);
}

Engine* Session::OpenEngine() {
  if (status.link_kind == kLinkSerial) return &serial_;
  if (status.link_kind == kLinkHid) return hid_;
  return nullptr;
}

std::string Session::VersionText() const {
  if (status.link_kind == kLinkHid) return hid_ ? hid_->VersionText() : std::string();
  return serial_.VersionText();
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
  PrepareRead();
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
    PrepareSend();
    if (Engine* engine = OpenEngine()) engine->StartSend(SendStart::kPresetPacket);
    return;
  }
  serial_.OnTimer(id);
  if (hid_) hid_->OnTimer(id);
}

void Session::TakeCurveReply(const CurveField& field, const std::optional<CurveData>& received) {
  CurveModel& editor = EditorFor(field);
  damaged_curves[static_cast<size_t>(&field - CurveFields().data())] = !received;
  if (!received) {
    editor.ResetCurve();
    return;
  }
  image.*(field.curve) = *received;
  if (image.*(field.mode) != 0) {
    image.*(field.mode) = 1;
    editor.LoadCurve();
  }
}

void Session::WarnOfDamagedCurves() {
  std::vector<std::string> damaged;
  for (size_t i = 0; i < damaged_curves.size(); ++i) {
    if (damaged_curves[i]) damaged.emplace_back(kCurveNames[i]);
  }
  if (!damaged.empty()) ui_.Ask(DamagedCurveWarning(damaged), kReadCaption, Buttons::kOk);
}

void Session::PrepareRead() {
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

void Session::PrepareSend() {
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
  PrepareRead();
  ui_.SetProgressCaption(kCaptionRead);
  OpenEngine()->StartRead(ReadStart::kReadAgain);
  ui_.RefreshMainWindow();
  return true;
}

bool Session::Apply() {
  if (IsBusy()) return false;
  status.busy_button = kBusyApply;
  ui_.CollectPageSelections();
  LoadAllCurves();
  if (!ConfirmDamagedCurveSend()) return false;
  PrepareSend();
  OpenEngine()->StartSend(SendStart::kApply);
  return true;
}

bool Session::Default() {
  if (IsBusy()) return false;
  status.busy_button = kBusyDefault;
  ui_.ResetPagesToDefaults();
  ResetAndApplyAllCurves();
  PrepareSend();
  OpenEngine()->StartSend(SendStart::kDefault);
  return true;
}

bool Session::ResetDefault() {
  if (IsBusy()) return false;
  SessionStatus& s = status;
  const bool v1 = s.device_class == kDeviceV1;
  if (v1) {
    ui_.V1LoadDefaults();
  } else {
    if (!IsEditingPage(s.requested_page)) return false;
    ui_.ResetPagesToDefaults();
    ResetAndApplyAllCurves();
  }
  Engine& engine = *OpenEngine();
  engine.StartSend(SendStart::kResetDefault);
  const bool pair_left = send_account.any_byte_left;
  ui_.V1ShowStatus("Esc Sending......");
  if (!v1) {
    ui_.CollectPageSelections();
    LoadAllCurves();
  }
  PrepareSend();
  send_account.any_byte_left = pair_left;
  // The send proper opens as Apply's does for a V1-series ESC, which may already have
  // answered the pair above with its ready byte (purging that away would leave the send
  // waiting for it for good), and as DEFAULT's for a full ESC.
  engine.StartSend(v1 ? SendStart::kApply : SendStart::kDefault);
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
  OpenEngine()->StartRead(ReadStart::kV1Dialog);
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
  OpenEngine()->StartSend(SendStart::kV1Dialog);
  ui_.V1ShowStatus("Esc Sending......");
  return true;
}

}  // namespace tessel
