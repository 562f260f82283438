#include "core/app/tool.h"

#include "core/engine/serial_update.h"
#include "core/engine/settings_file_commands.h"
#include "core/link/serial_link.h"
#include "core/model/setup_compare.h"

namespace tessel {

namespace {

constexpr const char* kCloseDuringSendText =
    "A transfer is running. Closing now leaves the ESC with part of the new settings.";
constexpr const char* kCloseDuringUpdateText =
    "A firmware update is running. Cutting it short can leave the device without working "
    "firmware, so the window stays open until the update has ended.";

}  // namespace

Tool::Tool(ToolHost& host, Clock& clock, TimerHost& timers, SerialPort& port,
           PortEnumerator* ports, HidDevice* hid, const std::string& version)
    : host_(host),
      clock_(clock),
      timers_(timers),
      ports_(ports),
      hid_device_(hid),
      trace_(version),
      session_(std::make_unique<Session>(port, ports, clock, timers, ui())),
      pages_(*session_) {
  if (hid_device_ != nullptr) hid_ = std::make_unique<HidEngine>(*session_, *hid_device_);
  trace_.StartAt(clock_.NowMs());
  session_->link.SetTrace(&trace_);
  session_->link.SetAccessNotice(&notice_);
  if (hid_) {
    hid_->link.SetTrace(&trace_);
    hid_->link.SetAccessNotice(&notice_);
  }
}

Tool::~Tool() {
  if (hid_) hid_->HidClose();
}

void Tool::Start() {
  const EngineCall call(*this);
  pages_.Start();
  // The V1 view as created: the 14-byte block (no BEC) until an ESC says otherwise, and the
  // factory selections.
  session_->status.v1_block_variant = kV1Block14;
  pages_.V1LoadDefaults();
  v1_status_ = "Default Ok";
  session_->status.page_shown = false;
  session_->Start();
  if (hid_) hid_->Start();
}

// ---- events ----

void Tool::OnTimer(int id) {
  const EngineCall call(*this);
  session_->OnTimer(id);
  PumpHidEvents();
}

void Tool::PumpHidEvents() {
  if (hid_device_ == nullptr || !hid_) return;
  for (const HidEvent& e : hid_device_->TakeEvents()) OnHidEvent(e.arrived, e.path);
}

void Tool::OnHidEvent(bool arrived, const std::string& path) {
  const EngineCall call(*this);
  if (!hid_) return;
  if (arrived) {
    hid_->OnDeviceArrived();
  } else {
    hid_->OnDeviceRemoved(path);
  }
}

void Tool::OnSerialPortEvent(bool arrived, const std::string& device) {
  const EngineCall call(*this);
  const SerialLink& link = session_->link;
  // Another device coming or going must not cut a transfer short.
  if (link.is_open && device != link.device_name) return;
  if (arrived) {
    session_->OnSerialPortArrived();
  } else {
    session_->OnSerialPortRemoved();
  }
}

void Tool::SwapDevices(bool to_hid, const std::function<void()>& swap) {
  const EngineCall call(*this);
  if (session_->status.update_running) return;
  // The HID adapter in use goes away with the old device.
  if (hid_ && (session_->status.link_kind == kLinkHid || hid_->link.IsOpen())) hid_->Disconnect();
  swap();
  session_->link.LinkClose();
  // The old device is gone and a new one has arrived.
  session_->OnSerialPortRemoved();
  if (!to_hid) session_->OnSerialPortArrived();
  session_->PrepareRead();
  pages_.ForgetEscHolds();
  if (hid_) {
    if (to_hid) {
      hid_->OnDeviceArrived();
    } else {
      hid_->link.hid_path = hid_->link.HidFindPath();
    }
  }
}

void Tool::RestWhileUnplugged(bool serial_events, bool hid_events) {
  const SessionStatus& s = session_->status;
  if (s.link_kind != kLinkNone || s.update_running) return;
  auto adapter_listed = [this] {
    if (ports_ == nullptr) return false;
    for (const PortInfo& info : ports_->Ports()) {
      if (IsAcceptedAdapter(info)) return true;
    }
    return false;
  };
  if (serial_events && !session_->link.is_open && !adapter_listed()) {
    timers_.Stop(kTimerSession);
  }
  if (hid_events && hid_ && !hid_->link.IsOpen() && hid_->link.hid_path.empty()) {
    timers_.Stop(kTimerHidProbe);
  }
}

// ---- the user's commands ----

void Tool::UserActed() {
  status_.UserActed();
  Refresh();
}

bool Tool::PressButton(ButtonId id) {
  const EngineCall call(*this);
  UserActed();
  SessionStatus& s = session_->status;
  if (id == ButtonId::kApply || id == ButtonId::kDefault) {
    if (session_->IsBusy()) return false;
    s.busy_button = id == ButtonId::kApply ? kBusyApply : kBusyDefault;
    pages_.ClearHelp();
    return id == ButtonId::kApply
               ? StartApply(recorder_ ? recorder_->ApplyCause() : std::string())
               : StartDefaultSend(&Session::Default);
  }
  if (!IsPageButton(id)) return false;
  if (session_->IsBusy() && !(id == ButtonId::kInformation && s.lcd_box_connected)) return false;
  s.requested_page = PageOfButton(id);
  pages_.ClearHelp();
  pages_.CloseLists();
  if (s.link_kind != kLinkHid && !s.SerialConnected() && !s.lcd_box_connected) {
    // Without a connected ESC the page area is empty and the device class unknown.
    s.device_class = kDeviceUnknown;
  }
  host_.OpeningPage(s.requested_page);
  host_.SwitchToPage(s.requested_page);
  s.shown_page = s.requested_page;
  s.page_shown = true;
  host_.Changed();
  return true;
}

bool Tool::StartApply(const std::string& cause) {
  NoteSendCause(cause);
  if (session_->Apply()) return true;
  NoteSendCause({});
  return false;
}

bool Tool::StartDefaultSend(bool (Session::*send)()) {
  default_send_ = true;
  NoteSendCause(kCauseDefault);
  if (!((*session_).*send)()) {
    default_send_ = false;
    NoteSendCause({});
    return false;
  }
  return true;
}

bool Tool::ResetDefault() {
  const EngineCall call(*this);
  UserActed();
  pages_.ClearHelp();
  const bool started = StartDefaultSend(&Session::ResetDefault);
  return started;
}

bool Tool::ReadFromEsc() {
  const EngineCall call(*this);
  UserActed();
  pages_.ClearHelp();
  const bool started = session_->ReadFromEsc();
  return started;
}

bool Tool::ImportFile() {
  const EngineCall call(*this);
  UserActed();
  const bool imported = ImportSettings(*session_);
  if (imported && recorder_) recorder_->NoteImported();
  host_.Changed();
  return imported;
}

bool Tool::ImportLink(const std::string& link) {
  const EngineCall call(*this);
  UserActed();
  const bool imported = ImportSetupLink(*session_, link);
  if (imported && recorder_) recorder_->NoteImported();
  host_.Changed();
  return imported;
}

bool Tool::ExportFile() {
  const EngineCall call(*this);
  UserActed();
  const bool exported = ExportSettings(*session_);
  return exported;
}

void Tool::UpdateFirmware(bool from_v1_view) {
  const EngineCall call(*this);
  UserActed();
  if (from_v1_view) {
    pages_.V1Revert();
    host_.Changed();
  }
  if (session_->status.link_kind == kLinkHid) {
    if (hid_) hid_->StartHidFirmwareUpdate();
  } else {
    RunSerialFirmwareUpdate(*session_, from_v1_view ? SerialUpdateVariant::kV1Dialog
                                                    : SerialUpdateVariant::kInformationPage);
  }
}

bool Tool::EnterLcdMode() {
  const EngineCall call(*this);
  UserActed();
  const bool done = hid_ && hid_->EnterLcdMode();
  return done;
}

bool Tool::EnterEscMode() {
  const EngineCall call(*this);
  UserActed();
  const bool done = hid_ && hid_->EnterEscMode();
  return done;
}

bool Tool::OpenList(int32_t page_id, int index) {
  UserActed();
  const bool opened = pages_.OpenList(page_id, index);
  host_.Changed();
  return opened;
}

void Tool::CloseLists() {
  pages_.CloseLists();
  host_.Changed();
}

bool Tool::Choose(int32_t page_id, int index, int row) {
  UserActed();
  const bool chosen = pages_.Choose(page_id, index, row);
  if (chosen) status_.ChangeMade();
  Refresh();
  host_.Changed();
  return chosen;
}

void Tool::EditorMouse(const ChartGeometry& chart, PageModel::Mouse what, int32_t x, int32_t y) {
  if (what != PageModel::Mouse::kMove) UserActed();  // a drag goes on with what its press began
  pages_.EditorMouse(chart, what, x, y);
  host_.Changed();
}

void Tool::EditorKey(PageModel::Key key) {
  UserActed();
  pages_.EditorKey(key);
  host_.Changed();
}

void Tool::EditorOk() {
  UserActed();
  pages_.EditorOk();
  status_.ChangeMade();
  Refresh();
  host_.Changed();
}

void Tool::EditorCancel() {
  UserActed();
  pages_.EditorCancel();
  status_.ChangeMade();
  Refresh();
  host_.Changed();
}

void Tool::EditorReset() {
  UserActed();
  pages_.EditorReset();
  status_.ChangeMade();
  Refresh();
  host_.Changed();
}

void Tool::TakeBackEditor(CurveKind kind) {
  pages_.TakeBackEditor(kind);
}

bool Tool::V1Choose(int index, int row) {
  UserActed();
  const bool chosen = pages_.V1Choose(index, row);
  if (chosen) status_.ChangeMade();
  Refresh();
  host_.Changed();
  return chosen;
}

void Tool::V1Revert() {
  pages_.V1Revert();
  Refresh();
  host_.Changed();
}

bool Tool::V1Read() {
  const EngineCall call(*this);
  UserActed();
  // The read shows the stored choices again first, whether it starts or not.
  pages_.V1Revert();
  host_.Changed();
  if (session_->IsBusy()) return false;
  const bool started = session_->V1ReadSettings();
  return started;
}

bool Tool::V1Send() {
  const EngineCall call(*this);
  UserActed();
  if (session_->IsBusy()) return false;
  pages_.V1TakeChoices();
  const bool started = session_->V1SendSettings();
  return started;
}

bool Tool::V1Default() {
  return ResetDefault();
}

// ---- the settings history ----

void Tool::KeepHistory(const std::string& folder) {
  history_ = std::make_unique<SettingsHistory>(folder);
  recorder_ = std::make_unique<HistoryRecorder>(*history_, *session_);
  recorder_->on_error = [this](const std::string& error) {
    ReportFailure("Not kept in the settings history: " + error);
  };
}

bool Tool::CanUndo() const {
  const SessionStatus& s = session_->status;
  return history_ && Connected() && !s.lcd_box_connected && !IsBusy() &&
         !HistoryDeviceKind(s).empty();
}

void Tool::UndoLastSend() {
  if (!CanUndo()) return;
  const SessionStatus& s = session_->status;
  const std::string kind = HistoryDeviceKind(s);
  const auto step = history_->BeforeLastSend(kind);
  if (!step) {
    Ask("Nothing to undo: no settings held before a send to a " + HistoryDeviceText(kind) +
            " have been kept.",
        kUndoLastSendText, Buttons::kOk);
    return;
  }
  // What the ESC holds as far as the tool knows (the last send, or a read after it) against
  // what it held before that send.
  EscSettingsImage now = session_->image;
  ApplyHistoryEntry(step->latest, now);
  EscSettingsImage earlier = session_->image;
  ApplyHistoryEntry(step->earlier, earlier);
  const auto differences = SendChanges(now, earlier, s.device_class, kind == "v1-bec");
  if (differences.empty()) {
    Ask("Nothing would change: the ESC already holds the settings kept at " +
            HistoryTimeText(step->earlier.time) + " (" + step->earlier.cause + ").",
        kUndoLastSendText, Buttons::kOk);
    return;
  }
  std::string lines = DifferenceLines(differences);
  lines.pop_back();  // the box ends with the last line
  Question question;
  question.text = "Undo the last send?";
  question.detail =
      "This sends the settings the ESC held before the last send (" + step->sent.cause + ", " +
      HistoryTimeText(step->sent.time) + "). " + std::to_string(differences.size()) +
      (differences.size() == 1 ? " setting changes:\n" : " settings change:\n") + lines;
  question.caption = kUndoLastSendText;
  question.buttons = Buttons::kOkCancel;
  question.default_answer = Answer::kCancel;
  if (AskQuestion(question) != Answer::kOk || !CanUndo()) return;

  const EngineCall call(*this);
  session_->image = earlier;
  if (s.device_class == kDeviceV1) {
    // The view's choices are what its send takes into the image.
    pages_.V1RefreshFromImage();
    host_.Changed();
    NoteSendCause(kCauseUndo);
    if (!V1Send()) NoteSendCause({});
  } else {
    // The kept curves replace any that arrived damaged, as an import does.
    session_->damaged_curves = {};
    pages_.RefreshFromImage();
    host_.Changed();
    StartApply(kCauseUndo);
  }
}

// ---- questions ----

std::optional<Question> Tool::LeaveQuestion(const std::string& leaving) const {
  const size_t n = pages_.UnsentChanges();
  if (n == 0) return std::nullopt;
  Question q;
  q.text = std::to_string(n) + (n == 1 ? " change has" : " changes have") +
           " not been sent to the ESC. " + leaving + " anyway?";
  q.caption = "Unsent changes";
  q.buttons = Buttons::kOkCancel;
  q.detail = "Apply sends them; " + leaving + " drops them.";
  q.default_answer = Answer::kCancel;
  return q;
}

CloseVerdict Tool::MayClose() {
  CloseVerdict v;
  // A firmware update is never cut short, and nothing may pause it either: the notice needs
  // no answer.
  if (UpdateRunning()) {
    v.refused = true;
    v.refusal = kCloseDuringUpdateText;
    ReportFailure("The window stays open until the firmware update has ended");
    return v;
  }
  if (CurrentActivity(session_->status, false) == Activity::kSending) {
    v.question = Question{kCloseDuringSendText, "Close", Buttons::kOkCancel, {}, Answer::kCancel,
                          {"Close anyway", "Keep sending"}};
    v.lapses_with_transfer = true;
    return v;
  }
  v.question = LeaveQuestion("Quit");
  return v;
}

bool Tool::RefuseDuringUpdate(const std::string& what) {
  // The serial update dispatches window messages from its own loop: a modal window opened
  // from there would hold the transfer until it closed.
  if (!session_->status.update_running) return false;
  ReportFailure("Not during a firmware update: " + what + " opens when the update has ended");
  return true;
}

// ---- models ----

bool Tool::UpdateRunning() const {
  return session_->status.update_running || (hid_ && hid_->UpdateRunning());
}

bool Tool::Connected() const {
  const SessionStatus& s = session_->status;
  return s.link_kind == kLinkHid ? s.HidConnected() : s.SerialConnected();
}

std::string Tool::InfoDeviceText() const {
  return session_->status.lcd_box_connected ? "LCD PROGRAM" : "CAR ESC";
}

std::string Tool::Title(bool demo) const {
  std::string title = kToolTitle;
  if (demo) title += " - DEMO";
  if (pages_.UnsentChanges() > 0) title += " ●";
  return title;
}

Tool::Commands Tool::commands() const {
  const SessionStatus& s = session_->status;
  const bool busy = session_->IsBusy();
  const bool full_esc = s.device_class == kDeviceFull && !s.lcd_box_connected;
  Commands c;
  c.import_export = !busy && full_esc;
  c.read = !busy && !s.lcd_box_connected;
  c.reset_default = !busy && (s.device_class == kDeviceV1 || IsEditingPage(s.requested_page));
  c.esc_mode = hid_ && hid_->CanEnterEscMode();
  c.lcd_mode = hid_ && hid_->CanEnterLcdMode();
  c.demo = !s.update_running;
  const bool pages_can_act = Connected() && s.device_class == kDeviceFull &&
                             !s.curve_editor_open && !UpdateRunning();
  c.pages = pages_can_act && !s.lcd_box_connected;
  c.information = pages_can_act || s.lcd_box_connected;
  return c;
}

Tool::EngineCall::EngineCall(Tool& tool) : tool_(tool) {
  ++tool_.engine_depth_;
}

Tool::EngineCall::~EngineCall() {
  if (--tool_.engine_depth_ == 0) tool_.RefreshNow();
}

void Tool::Refresh() {
  // Within an engine's step the status is half-way: a failure the step reports at its end
  // must not find its loss already told in other words.
  if (engine_depth_ == 0) RefreshNow();
}

void Tool::RefreshNow() {
  const std::string before = status_.text();
  const bool failure_before = status_.showing_failure();
  status_.Update(session_->status, hid_ && hid_->UpdateRunning(), pages_.UnsentChanges());
  if (status_.text() != before || status_.showing_failure() != failure_before) {
    host_.StatusChanged();
  }
  if (status_.notice_pending()) host_.NoticePending();
}

void Tool::ReportOutcome(const std::string& text) {
  status_.Report(text, session_->status);
  Refresh();
  host_.Changed();
}

void Tool::ReportFailure(const std::string& text) {
  status_.ReportFailure(text, session_->status);
  Refresh();
  host_.Changed();
}

// ---- the engines' window seam ----

Answer Tool::Ask(const std::string& text, const std::string& caption, Buttons buttons) {
  return AskQuestion(Question{text, caption, buttons, {}, {}, {}});
}

Answer Tool::AskQuestion(const Question& question) {
  status_.NoteAsked();
  host_.Changed();
  return host_.Ask(question);
}

std::optional<std::string> Tool::ChooseOpenFile(const std::string& filter) {
  host_.Changed();
  return host_.ChooseOpenFile(filter);
}

std::optional<std::string> Tool::ChooseSaveFile(const std::string& filter) {
  host_.Changed();
  return host_.ChooseSaveFile(filter);
}

void Tool::SetProgressCaption(const std::string& caption) {
  progress_.caption = caption;
  host_.ProgressChanged();
}

void Tool::SetProgress(uint32_t total, uint32_t done) {
  progress_.total = total;
  progress_.done = done;
  host_.ProgressChanged();
}

void Tool::ShowProgress() {
  progress_.shown = true;
  host_.ProgressChanged();
}

void Tool::CloseProgress() {
  progress_.shown = false;
  host_.ProgressChanged();
}

void Tool::Beep() {
  ++beeps_;
  host_.Beep();
}

void Tool::TransferDone(const TransferEnd& end) {
  // What the ESC holds now: what was read, or what it confirmed of a send.
  if (end.complete()) pages_.NoteEscHolds();
  if (recorder_) recorder_->OnTransferDone(end);
  if (end.direction == kTransferSend && default_send_) {
    default_send_ = false;
    if (end.complete()) {
      ReportOutcome(history_ ? std::string(kDefaultSentText) + ". " + kUndoHintText
                                    : std::string(kDefaultSentText));
    }
  }
  Refresh();
  host_.TransferDone(end);
  host_.Changed();
}

void Tool::ProcessEvents() {
  // A blocking procedure (the serial update) lets the face paint: the line follows it.
  RefreshNow();
  host_.Changed();
  host_.ProcessEvents();
}

void Tool::RefreshMainWindow() {
  Refresh();
  host_.RefreshMainWindow();
}

void Tool::RefreshPagesFromImage() {
  pages_.RefreshFromImage();
  host_.Changed();
}

void Tool::CollectPageSelections() {
  pages_.CollectSelections();
}

void Tool::ResetPagesToDefaults() {
  pages_.ResetToDefaults();
  host_.Changed();
}

void Tool::SetStatusLabels(const std::string& esc, const std::string& usb) {
  info_.esc_label = esc;
  info_.usb_label = usb;
  host_.RedrawIndicators();
  host_.Changed();
}

void Tool::ShowEscControls(bool show) {
  info_.esc_controls = show;
  host_.ShowEscControls(show);
  host_.Changed();
}

void Tool::EnableUpdateButton() {
  info_.software = session_->VersionText();
  info_.version_fields = true;
  host_.ShowSoftwareVersion();
  host_.Changed();
}

bool Tool::ShowsSoftwareField() const {
  return info_.software_field && !session_->status.lcd_box_connected;
}

void Tool::RefreshDeviceView() {
  info_.software_field = true;
  host_.RefreshDeviceView();
  host_.Changed();
}

void Tool::HideVersionFields() {
  info_.version_fields = false;
  info_.software_field = false;
  host_.HideVersionFields();
  host_.Changed();
}

void Tool::SetHardwareText(const std::string& text) {
  info_.hardware = text;
  host_.ShowHardwareText();
  host_.Changed();
}

void Tool::V1RefreshFromImage() {
  pages_.V1RefreshFromImage();
  v1_status_ = "Read Ok";
  host_.Changed();
  Beep();
}

void Tool::V1WriteToImage() {
  pages_.V1WriteToImage();
}

void Tool::V1ShowSendDone() {
  v1_status_ = "Send Ok";
  session_->status.transfer_active = false;
  CloseProgress();
  host_.Changed();
  Beep();
}

void Tool::V1LoadDefaults() {
  pages_.V1LoadDefaults();
  v1_status_ = "Default Ok";
  host_.Changed();
  Beep();
}

void Tool::V1ShowStatus(const std::string& text) {
  v1_status_ = text;
  host_.Changed();
}

}  // namespace tessel
