#include "web/app/web_tool.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "core/engine/serial_update.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"
#include "core/model/data_page.h"
#include "core/model/page_rules.h"
#include "core/model/presets.h"
#include "web/app/json.h"

namespace tessel {

// ---- timers ----

void WebTimers::Arm(int id, uint32_t period_ms) {
  const uint64_t from = id == dispatching_id_ ? dispatching_due_ms_ : clock_.NowMs();
  for (auto& [tid, t] : timers_) {
    if (tid == id) {
      t = Timer{period_ms, from + period_ms};
      return;
    }
  }
  timers_.emplace_back(id, Timer{period_ms, from + period_ms});
}

void WebTimers::Stop(int id) {
  std::erase_if(timers_, [id](const auto& t) { return t.first == id; });
}

bool WebTimers::IsArmed(int id) const {
  return std::any_of(timers_.begin(), timers_.end(), [id](const auto& t) { return t.first == id; });
}

uint32_t WebTimers::Period(int id) const {
  for (const auto& [tid, t] : timers_) {
    if (tid == id) return t.period_ms;
  }
  return 0;
}

std::optional<uint64_t> WebTimers::NextDue() const {
  std::optional<uint64_t> due;
  for (const auto& [id, t] : timers_) {
    if (!due || t.due_ms < *due) due = t.due_ms;
  }
  return due;
}

std::optional<int> WebTimers::TakeDue() {
  const uint64_t now = clock_.NowMs();
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (next == timers_.end() || it->second.due_ms < next->second.due_ms) next = it;
  }
  if (next == timers_.end() || next->second.due_ms > now) return std::nullopt;
  Timer& t = next->second;
  const uint64_t due = t.due_ms;
  // A repeating timer: the next period counts from this dispatch unless the handler re-arms.
  t.due_ms = std::max(due + t.period_ms, now);
  dispatching_id_ = next->first;
  dispatching_due_ms_ = PlannedTime(due, now, t.period_ms);
  return next->first;
}

// ---- the tool ----

WebTool::WebTool(WebHost& host, Clock& clock, SerialPort& port, PortEnumerator* ports,
                 HidDevice* hid, std::string files)
    : host_(host), clock_(clock), timers_(clock), files_(std::move(files)) {
  session_ = std::make_unique<Session>(port, ports, clock_, timers_, *this);
  if (hid) hid_ = std::make_unique<HidEngine>(*session_, *hid);
  editors_[0] = WebEditor{CurveKind::kThrottle, kPageThrottle,
                          &EscSettingsImage::throttle_curve_mode,
                          &SessionStatus::throttle_editor_state};
  editors_[1] = WebEditor{CurveKind::kBrake, kPageBrake, &EscSettingsImage::brake_curve_mode,
                          &SessionStatus::brake_editor_state};
  editors_[2] = WebEditor{CurveKind::kBoost, kPageBoost, &EscSettingsImage::boost_slope,
                          &SessionStatus::boost_editor_state};
  v1_stored_ = V1DefaultSelections();
}

WebTool::~WebTool() {
  timers_.StopAll();
  if (hid_) hid_->HidClose();
}

void WebTool::Start() {
  for (const PageDef& def : EditingPages()) {
    WebPage p;
    p.def = &def;
    for (const SettingDef& s : def.settings) {
      p.selected.push_back(s.default_index);
      p.default_index.push_back(s.default_index);
    }
    p.enabled = AllEnabled(def);
    pages_.push_back(std::move(p));
  }
  // The Boost page collects at once, which applies its rule to the factory timing of 0.
  PageCollect(*MutablePage(kPageBoost));
  session_->status.page_shown = false;
  session_->Start();
  if (hid_) hid_->Start();
}

void WebTool::UseSerialDevice(const std::string& device) {
  session_->link.SetExplicitDevice(device);
}

bool WebTool::RunDueTimer() {
  const std::optional<int> id = timers_.TakeDue();
  if (!id) return false;
  session_->OnTimer(*id);
  timers_.EndDispatch();
  UpdateStatus();
  return true;
}

void WebTool::UpdateStatus() {
  line_.Update(session_->status, hid_ && hid_->UpdateRunning());
  if (line_.notice_pending()) Notice(line_.TakeNotice());
}

void WebTool::UserActed() {
  line_.UserActed();
  UpdateStatus();
}

void WebTool::Notice(const std::string& text) {
  notice_text_ = text;
  ++notice_serial_;
}

void WebTool::OnHidEvent(bool arrived, const std::string& path) {
  if (!hid_) return;
  if (arrived) {
    hid_->OnDeviceArrived();
  } else {
    hid_->OnDeviceRemoved(path);
  }
}

// ---- main window ----

void WebTool::PressButton(int id) {
  UserActed();
  SessionStatus& s = session_->status;
  if (id == 1007 || id == 1008) {
    if (session_->IsBusy()) return;
    s.busy_button = id == 1007 ? kBusyApply : kBusyDefault;
    for (WebPage& p : pages_) p.help = -1;
    if (id == 1007) {
      session_->Apply();
    } else {
      session_->Default();
    }
    return;
  }
  if (id < 1000 || id > 1006) return;
  if (session_->IsBusy() && !(id == 1000 && s.lcd_box_connected)) return;
  s.requested_page = id - 999;
  for (WebPage& p : pages_) {
    p.help = -1;
    p.open_list = -1;
  }
  ShowPage(s.requested_page);
  s.shown_page = s.requested_page;
  s.page_shown = true;
}

void WebTool::ShowPage(int32_t page) {
  SessionStatus& s = session_->status;
  if (s.curve_editor_open) return;
  if (s.link_kind != kLinkHid && !s.SerialConnected()) {
    // Without a connected ESC the page area is empty and the device class unknown.
    if (!s.lcd_box_connected) s.device_class = kDeviceUnknown;
  }
  (void)page;
}

void WebTool::ResetDefault() {
  UserActed();
  for (WebPage& p : pages_) p.help = -1;
  session_->ResetDefault();
}

std::string WebTool::NewFileFolder() {
  // A fresh folder per file, made the current one: a download never overwrites anything, the
  // name the user chose stays the file's name, and messages quote that name alone.
  const std::string folder = files_ + "/" + std::to_string(++file_serial_);
  ::mkdir(files_.c_str(), 0700);
  ::mkdir(folder.c_str(), 0700);
  if (::chdir(folder.c_str()) != 0) return folder + "/";
  return std::string();
}

bool WebTool::ImportFile() {
  UserActed();
  return ImportSettings(*session_);
}

bool WebTool::ExportFile() {
  UserActed();
  last_save_.reset();
  if (!ExportSettings(*session_) || !last_save_) return false;
  const std::string path = SettingsExportPath(*last_save_);
  std::vector<uint8_t> bytes;
  std::string error;
  // The written file is read back whole; a settings file is exactly one record long.
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bytes.resize(kSettingsRecordLength + 1);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::fclose(f);
  std::remove(path.c_str());
  const size_t slash = path.find_last_of('/');
  host_.Deliver(slash == std::string::npos ? path : path.substr(slash + 1), bytes);
  return true;
}

void WebTool::UpData() {
  UserActed();
  if (session_->status.link_kind == kLinkHid) {
    if (hid_) hid_->StartHidFirmwareUpdate();
    return;
  }
  RunSerialFirmwareUpdate(*session_, SerialUpdateVariant::kInformationPage);
}

bool WebTool::EnterLcdMode() {
  UserActed();
  return hid_ && hid_->EnterLcdMode();
}

bool WebTool::EnterEscMode() {
  UserActed();
  return hid_ && hid_->EnterEscMode();
}

// ---- settings pages ----

WebPage* WebTool::MutablePage(int32_t page_id) {
  for (WebPage& p : pages_) {
    if (p.def->page_id == page_id) return &p;
  }
  return nullptr;
}

const WebPage* WebTool::page(int32_t page_id) const {
  for (const WebPage& p : pages_) {
    if (p.def->page_id == page_id) return &p;
  }
  return nullptr;
}

void WebTool::PageEnabling(WebPage& p) {
  p.enabled = EnabledSettings(*p.def, session_->image, p.enabled);
}

void WebTool::PageCollect(WebPage& p) {
  for (size_t i = 0; i < p.selected.size(); ++i) {
    session_->image.*(p.def->settings[i].field) = p.selected[i];
  }
  PageEnabling(p);
}

void WebTool::PageRefresh(WebPage& p) {
  RefreshPageFromImage(p.def->page_id, session_->image);
  for (size_t i = 0; i < p.selected.size(); ++i) {
    const SettingDef& s = p.def->settings[i];
    p.selected[i] = ClampToOptions(session_->image.*(s.field), s.options.size());
  }
  PageCollect(p);
}

void WebTool::PageReset(WebPage& p) {
  for (size_t i = 0; i < p.selected.size(); ++i) {
    const SettingDef& s = p.def->settings[i];
    if (IsCurveModeField(s.field)) p.default_index[i] = 0;
    session_->image.*(s.field) = p.default_index[i];
  }
  PageRefresh(p);
}

void WebTool::OpenList(int32_t page_id, int index) {
  UserActed();
  WebPage* p = MutablePage(page_id);
  if (p == nullptr || index < 0 || static_cast<size_t>(index) >= p->selected.size()) return;
  if (!p->enabled[static_cast<size_t>(index)] || OpenEditor()) return;
  p->open_list = index;
  p->help = index;
}

void WebTool::CloseList(int32_t page_id) {
  if (WebPage* p = MutablePage(page_id)) p->open_list = -1;
}

void WebTool::Choose(int32_t page_id, int index, int row) {
  UserActed();
  WebPage* p = MutablePage(page_id);
  if (p == nullptr || index < 0 || static_cast<size_t>(index) >= p->selected.size()) return;
  const SettingDef& s = p->def->settings[static_cast<size_t>(index)];
  if (row < 0 || static_cast<size_t>(row) >= s.options.size()) return;
  if (!p->enabled[static_cast<size_t>(index)] || OpenEditor()) return;
  p->selected[static_cast<size_t>(index)] = row;
  p->open_list = -1;
  OnChosen(*p, index);
}

static int IndexOf(const WebPage& p, ImageField field) {
  for (size_t i = 0; i < p.def->settings.size(); ++i) {
    if (p.def->settings[i].field == field) return static_cast<int>(i);
  }
  return -1;
}

void WebTool::OnChosen(WebPage& p, int index) {
  EscSettingsImage& image = session_->image;
  const int32_t id = p.def->page_id;
  if (id == kPageGeneral) {
    // Only a profile takes effect at once; the engine's next tick sends it.
    if (index != IndexOf(p, &EscSettingsImage::profile_preset)) return;
    PageCollect(p);
    ApplyProfilePreset(image);
    return;
  }
  if (id == kPageTurbo) {
    // The timing and the activation method decide what else can be edited.
    if (index == IndexOf(p, &EscSettingsImage::turbo_timing) ||
        index == IndexOf(p, &EscSettingsImage::turbo_activation)) {
      PageCollect(p);
    }
    return;
  }
  const WebEditor* e = EditorForPage(id);
  if (e == nullptr) return;
  CurveModel& model = EditorModel(*e);
  const int mode = IndexOf(p, e->mode_field);
  const bool custom = index == mode &&
                      p.def->settings[static_cast<size_t>(index)]
                              .options[static_cast<size_t>(p.selected[static_cast<size_t>(index)])] ==
                          "Custom";
  if (id == kPageBoost) {
    const int timing = IndexOf(p, &EscSettingsImage::boost_timing);
    const int start = IndexOf(p, &EscSettingsImage::boost_start_rpm);
    const int end = IndexOf(p, &EscSettingsImage::boost_end_rpm);
    PageCollect(p);
    if (index == timing) {
      // The drawn curve belongs to the old timing.
      model.ResetCurve();
      PageRefresh(p);
    } else if (index == start || index == end) {
      // The start rpm wins: a corrected end rpm shows at once.
      model.UpdateBoostRpmRange();
      PageRefresh(p);
    } else if (index == mode) {
      if (custom) {
        model.UpdateBoostRpmRange();
        PageRefresh(p);
        OpenEditorOf(*e);
      } else {
        DropCustomCurve(p, *e);
      }
    } else {
      PageRefresh(p);
    }
    return;
  }
  // Throttle and brake: only the curve mode acts at once.
  if (index != mode) return;
  if (custom) {
    image.*(e->mode_field) = p.selected[static_cast<size_t>(mode)];
    OpenEditorOf(*e);
  } else {
    DropCustomCurve(p, *e);
  }
}

void WebTool::DropCustomCurve(WebPage& p, const WebEditor& e) {
  const int mode = IndexOf(p, e.mode_field);
  session_->image.*(e.mode_field) = 0;
  p.default_index[static_cast<size_t>(mode)] = 0;
  EditorModel(e).ResetCurve();
  PageRefresh(p);
}

CurveModel& WebTool::EditorModel(const WebEditor& e) {
  switch (e.kind) {
    case CurveKind::kThrottle:
      return session_->throttle_editor;
    case CurveKind::kBrake:
      return session_->brake_editor;
    case CurveKind::kBoost:
    default:
      return session_->boost_editor;
  }
}

void WebTool::RefreshPagesFromImage() {
  for (WebPage& p : pages_) PageRefresh(p);
}

void WebTool::CollectPageSelections() {
  for (WebPage& p : pages_) PageCollect(p);
}

void WebTool::ResetPagesToDefaults() {
  for (WebPage& p : pages_) PageReset(p);
}

// ---- curve editors ----

const WebEditor* WebTool::EditorForPage(int32_t page_id) const {
  for (const WebEditor& e : editors_) {
    if (e.page_id == page_id) return &e;
  }
  return nullptr;
}

const WebEditor* WebTool::OpenEditor() const {
  for (const WebEditor& e : editors_) {
    if (session_->status.*(e.state) == 2) return &e;
  }
  return nullptr;
}

int32_t WebTool::OpenEditorPage() const {
  const WebEditor* e = OpenEditor();
  return e ? e->page_id : 0;
}

void WebTool::OpenEditorOf(const WebEditor& e) {
  // CANCEL comes back to the curve as it is now, even after RESET.
  EditorModel(e).BeginEdit();
  session_->status.*(e.state) = 2;
  session_->status.curve_editor_open = true;
}

void WebTool::CloseEditor(const WebEditor& e) {
  // The desktop takes the editor back on the page's next paint (state 1, then 0).
  session_->status.*(e.state) = 0;
  session_->status.curve_editor_open = false;
}

static ChartGeometry WebChart() {
  ChartGeometry g;
  g.left = 0;
  g.bottom = WebTool::kChartHeight - 1;
  g.width = WebTool::kChartWidth - 1;
  g.height = WebTool::kChartHeight - 1;
  return g;
}

void WebTool::EditorMouse(int kind, int32_t x, int32_t y) {
  if (kind != 1) UserActed();  // a drag goes on with what its press began
  const WebEditor* e = OpenEditor();
  if (e == nullptr) return;
  CurveModel& m = EditorModel(*e);
  const std::optional<CurvePoint> p = MouseToCurve(e->kind, WebChart(), x, y);
  if (kind == 2) {
    m.LeftUp();
    return;
  }
  if (!p) return;
  if (kind == 0) m.LeftDown(p->x, p->y);
  if (kind == 1) m.MouseMove(p->x, p->y);
  if (kind == 3) m.RightDown(p->x, p->y);
}

void WebTool::EditorOk() {
  UserActed();
  if (const WebEditor* e = OpenEditor()) {
    EditorModel(*e).ApplyCurve();
    EditorModel(*e).EndEdit();
    CloseEditor(*e);
  }
}

void WebTool::EditorCancel() {
  UserActed();
  if (const WebEditor* e = OpenEditor()) {
    EditorModel(*e).CancelEdit();
    CloseEditor(*e);
  }
}

void WebTool::EditorReset() {
  UserActed();
  if (const WebEditor* e = OpenEditor()) EditorModel(*e).ResetCurve();
}

// ---- V1 dialog ----

void WebTool::V1Choose(int index, int row) {
  UserActed();
  if (index < 0 || static_cast<size_t>(index) >= kV1SettingCount) return;
  const V1SettingDef& def = V1Settings()[static_cast<size_t>(index)];
  if (row < 0 || static_cast<size_t>(row) >= def.options.size()) return;
  v1_stored_[static_cast<size_t>(index)] = row;
}

void WebTool::V1Read() {
  UserActed();
  if (session_->IsBusy()) return;
  session_->V1ReadSettings();
}

void WebTool::V1Send() {
  UserActed();
  if (session_->IsBusy()) return;
  session_->V1SendSettings();
}

void WebTool::V1Default() {
  UserActed();
  session_->ResetDefault();
}

void WebTool::V1UpdateFirmware() {
  UserActed();
  if (session_->status.link_kind == kLinkHid) {
    if (hid_) hid_->StartHidFirmwareUpdate();
    return;
  }
  RunSerialFirmwareUpdate(*session_, SerialUpdateVariant::kV1Dialog);
}

void WebTool::V1RefreshFromImage() {
  const auto& defs = V1Settings();
  for (size_t i = 0; i < kV1SettingCount; ++i) v1_stored_[i] = session_->image.*(defs[i].field);
  v1_status_ = "Read Ok";
  Beep();
}

void WebTool::V1WriteToImage() {
  const auto& defs = V1Settings();
  for (size_t i = 0; i < kV1SettingCount; ++i) session_->image.*(defs[i].field) = v1_stored_[i];
}

void WebTool::V1ShowSendDone() {
  v1_status_ = "Send Ok";
  session_->status.transfer_active = false;
  CloseProgress();
  Beep();
}

void WebTool::V1LoadDefaults() {
  v1_stored_ = V1DefaultSelections();
  v1_status_ = "Default Ok";
  Beep();
}

// ---- SessionUi ----

Answer WebTool::Ask(const std::string& text, const std::string& caption, Buttons buttons) {
  line_.NoteAsked();
  Publish();
  return host_.Ask(text, caption, buttons);
}

Answer WebTool::AskQuestion(const Question& q) {
  line_.NoteAsked();
  Publish();
  const bool firmware = q.text == kUpdateStartQuestion || q.text == kUpdateVersionOld;
  if (!firmware || q.detail.empty()) return host_.AskQuestion(q);
  // The picked file sits in a scratch folder; its name is what the user knows.
  Question named = q;
  named.detail = q.detail.substr(q.detail.find_last_of("/\\") + 1);
  return host_.AskQuestion(named);
}

void WebTool::ReportOutcome(const std::string& text) {
  line_.Report(text, session_->status);
  UpdateStatus();
}

void WebTool::ReportFailure(const std::string& text) {
  line_.ReportFailure(text, session_->status);
  UpdateStatus();
}

std::optional<std::string> WebTool::ChooseOpenFile(const std::string& filter) {
  Publish();
  std::optional<WebHost::PickedFile> picked = host_.PickFile(filter);
  if (!picked) return std::nullopt;
  std::string name = picked->name.substr(picked->name.find_last_of("/\\") + 1);
  if (name.empty() || name == "." || name == "..") name = "file";
  const std::string path = NewFileFolder() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return std::nullopt;
  const size_t n = std::fwrite(picked->bytes.data(), 1, picked->bytes.size(), f);
  std::fclose(f);
  if (n != picked->bytes.size()) return std::nullopt;
  return path;
}

std::optional<std::string> WebTool::ChooseSaveFile(const std::string&) {
  Publish();
  std::optional<std::string> name = host_.PickSaveName("Tessel.DATA");
  if (!name) return std::nullopt;
  std::string base = name->substr(name->find_last_of("/\\") + 1);
  if (base.empty() || base[0] == '.') base = "Tessel" + base;
  last_save_ = NewFileFolder() + base;
  return last_save_;
}

void WebTool::SetProgressCaption(const std::string& caption) {
  progress_caption_ = caption;
}

void WebTool::SetProgress(uint32_t total, uint32_t done) {
  progress_total_ = total;
  progress_done_ = done;
}

void WebTool::ShowProgress() {
  progress_shown_ = true;
}

void WebTool::CloseProgress() {
  progress_shown_ = false;
}

void WebTool::Beep() {
  ++beeps_;
  host_.Beep();
}

void WebTool::ProcessEvents() {
  Publish();
  host_.Yield();
}

void WebTool::SetStatusLabels(const std::string& esc, const std::string& usb) {
  esc_label_ = esc;
  usb_label_ = usb;
}

void WebTool::EnableUpdateButton() {
  software_text_ = session_->VersionText();
}

// ---- snapshot ----

std::string WebTool::StateJson() const {
  const SessionStatus& s = session_->status;
  const EscSettingsImage& image = session_->image;
  JsonWriter j;
  j.BeginObject();
  j.Key("link").Int(s.link_kind);
  j.Key("deviceClass").Int(s.device_class);
  j.Key("v1Variant").Int(s.v1_block_variant);
  j.Key("adapterState").Int(s.adapter_state);
  j.Key("escState").Int(s.esc_state);
  const bool connected = s.link_kind == kLinkHid ? s.HidConnected() : s.SerialConnected();
  j.Key("connected").Bool(connected);
  j.Key("lcdBox").Bool(s.lcd_box_connected);
  j.Key("requestedPage").Int(s.requested_page);
  j.Key("shownPage").Int(s.shown_page);
  j.Key("pageShown").Bool(s.page_shown);
  j.Key("busy").Bool(session_->IsBusy());
  j.Key("busyButton").Int(s.busy_button);
  j.Key("transfer").Bool(s.transfer_active);
  j.Key("updateRunning").Bool(s.update_running || (hid_ && hid_->UpdateRunning()));
  j.Key("escControls").Bool(esc_controls_);
  j.Key("escLabel").String(esc_label_);
  j.Key("usbLabel").String(usb_label_);
  j.Key("status").String(line_.text());
  j.Key("failure").Bool(line_.showing_failure());
  j.Key("v1Status").String(v1_status_);
  j.Key("notice");
  if (notice_serial_ > 0) {
    j.BeginObject();
    j.Key("id").Int(notice_serial_);
    j.Key("text").String(notice_text_);
    j.EndObject();
  } else {
    j.Null();
  }
  j.Key("beeps").Int(beeps_);
  j.Key("canLcd").Bool(hid_ && hid_->CanEnterLcdMode());
  j.Key("canEsc").Bool(hid_ && hid_->CanEnterEscMode());
  j.Key("adapterVersion").String(hid_ ? hid_->AdapterVersion() : std::string());
  j.Key("profile").Int(image.profile_preset);

  j.Key("pages").BeginArray();
  for (const WebPage& p : pages_) {
    j.BeginObject();
    j.Key("id").Int(p.def->page_id);
    j.Key("sel").BeginArray();
    for (int32_t v : p.selected) j.Int(v);
    j.EndArray();
    j.Key("en").BeginArray();
    for (bool v : p.enabled) j.Bool(v);
    j.EndArray();
    j.Key("open").Int(p.open_list);
    j.Key("help").Int(p.help);
    j.EndObject();
  }
  j.EndArray();

  j.Key("data").BeginArray();
  for (const std::string& t : LoggedDataTexts(image)) j.String(t);
  j.EndArray();

  j.Key("editor");
  if (const WebEditor* e = OpenEditor()) {
    const CurveModel& m = const_cast<WebTool*>(this)->EditorModel(*e);
    std::array<CurvePoint, 100> chart{};
    RefreshChartPoints(m, WebChart(), chart);
    j.BeginObject();
    j.Key("page").Int(e->page_id);
    j.Key("kind").Int(static_cast<int>(e->kind));
    j.Key("points").BeginArray();
    for (uint32_t i = 0; i < m.point_count && i < chart.size(); ++i) {
      j.BeginArray().Int(chart[i].x).Int(chart[i].y).EndArray();
    }
    j.EndArray();
    j.Key("count").String(m.CountReadout());
    j.Key("position").String(m.PositionReadout());
    j.Key("limit").Int(m.HorizontalLimit());
    j.Key("rpm").BeginArray();
    for (const std::string& t : BoostRpmLabelTexts(m.boost_rpm_range)) j.String(t);
    j.EndArray();
    j.EndObject();
  } else {
    j.Null();
  }

  j.Key("progress");
  if (progress_shown_) {
    j.BeginObject();
    j.Key("caption").String(progress_caption_);
    j.Key("total").Int(static_cast<int64_t>(progress_total_));
    j.Key("done").Int(static_cast<int64_t>(progress_done_));
    j.EndObject();
  } else {
    j.Null();
  }

  j.Key("info").BeginObject();
  j.Key("device").String(s.lcd_box_connected ? "LCD PROGRAM" : "CAR ESC");
  j.Key("hardware").String(hardware_text_);
  j.Key("software").String(software_text_);
  j.Key("versions").Bool(version_fields_);
  j.EndObject();

  j.Key("v1").BeginArray();
  for (int32_t v : v1_stored_) j.Int(v);
  j.EndArray();
  j.EndObject();
  return j.Take();
}

std::string WebTool::DefinitionsJson() {
  JsonWriter j;
  j.BeginObject();
  j.Key("pages").BeginArray();
  for (const PageDef& p : EditingPages()) {
    j.BeginObject();
    j.Key("id").Int(p.page_id);
    j.Key("name").String(std::string(p.name));
    j.Key("title").String(std::string(p.title));
    j.Key("settings").BeginArray();
    for (const SettingDef& s : p.settings) {
      j.BeginObject();
      j.Key("caption").String(std::string(s.caption));
      j.Key("field").String(std::string(s.field_name));
      j.Key("options").BeginArray();
      for (const std::string& o : s.options) j.String(o);
      j.EndArray();
      j.Key("help").String(s.help);
      j.EndObject();
    }
    j.EndArray();
    j.EndObject();
  }
  j.EndArray();
  j.Key("data").BeginArray();
  for (const DataFieldDef& d : DataFields()) {
    j.BeginObject();
    j.Key("caption").String(std::string(d.caption));
    j.Key("help").String(d.help);
    j.EndObject();
  }
  j.EndArray();
  j.Key("v1").BeginArray();
  for (const V1SettingDef& d : V1Settings()) {
    j.BeginObject();
    j.Key("label").String(std::string(d.label));
    j.Key("field").String(std::string(d.field_name));
    j.Key("options").BeginArray();
    for (const std::string& o : d.options) j.String(o);
    j.EndArray();
    j.Key("becOnly").Bool(d.bec_only);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

}  // namespace tessel
