#include "web/app/web_tool.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "core/app/demo_kinds.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/data_page.h"
#include "core/model/settings_file.h"
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

// ---- the face ----

WebTool::WebTool(WebHost& host, Clock& clock, SerialPort& port, PortEnumerator* ports,
                 HidDevice* hid, std::string files)
    : host_(host),
      timers_(clock),
      files_(std::move(files)),
      tool_(*this, clock, timers_, port, ports, hid, TESSEL_VERSION) {}

WebTool::~WebTool() {
  timers_.StopAll();
}

void WebTool::UseSerialDevice(const std::string& device) {
  tool_.session().link.SetExplicitDevice(device);
}

bool WebTool::RunDueTimer() {
  const std::optional<int> id = timers_.TakeDue();
  if (!id) return false;
  tool_.OnTimer(*id);
  timers_.EndDispatch();
  return true;
}

void WebTool::ShowNotice(const std::string& text) {
  if (text.empty()) return;
  notice_text_ = text;
  ++notice_serial_;
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

bool WebTool::ExportFile() {
  last_save_.reset();
  if (!tool_.ExportFile() || !last_save_) return false;
  const std::string path = SettingsExportPath(*last_save_);
  std::vector<uint8_t> bytes;
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

static ChartGeometry WebChart() {
  ChartGeometry g;
  g.left = 0;
  g.bottom = WebTool::kChartHeight - 1;
  g.width = WebTool::kChartWidth - 1;
  g.height = WebTool::kChartHeight - 1;
  return g;
}

void WebTool::EditorMouse(int kind, int32_t x, int32_t y) {
  static constexpr PageModel::Mouse kinds[] = {PageModel::Mouse::kLeftDown,
                                               PageModel::Mouse::kMove, PageModel::Mouse::kLeftUp,
                                               PageModel::Mouse::kRightDown};
  if (kind < 0 || kind > 3) return;
  tool_.EditorMouse(WebChart(), kinds[kind], x, y);
}

void WebTool::EditorKey(int key) {
  static constexpr PageModel::Key keys[] = {
      PageModel::Key::kPrevious, PageModel::Key::kNext, PageModel::Key::kLeft,
      PageModel::Key::kRight,    PageModel::Key::kUp,   PageModel::Key::kDown,
      PageModel::Key::kAdd,      PageModel::Key::kDelete};
  if (key < 0 || key >= static_cast<int>(std::size(keys))) return;
  tool_.EditorKey(keys[key]);
}

void WebTool::SaveWireTrace() {
  const WireTrace& trace = tool_.trace();
  if (trace.empty()) {
    ShowNotice(kNoTraceYetText);
    return;
  }
  // The lines as they stand now; the engines go on after the download.
  const std::string text = trace.Text();
  host_.Deliver(kWireTraceFileName, std::vector<uint8_t>(text.begin(), text.end()));
}

// The page takes the editor back at once: nothing of it waits for a repaint.
void WebTool::EditorOk() {
  const EditorDef* e = tool_.pages().OpenEditor();
  tool_.EditorOk();
  if (e != nullptr) tool_.TakeBackEditor(e->kind);
}

void WebTool::EditorCancel() {
  const EditorDef* e = tool_.pages().OpenEditor();
  tool_.EditorCancel();
  if (e != nullptr) tool_.TakeBackEditor(e->kind);
}

int32_t WebTool::OpenEditorPage() const {
  const EditorDef* e = tool_.pages().OpenEditor();
  return e ? e->page_id : 0;
}

Answer WebTool::Ask(const Question& q) {
  Publish();
  if (q.detail.empty()) return host_.AskQuestion(q);
  // A picked file sits in a scratch folder; its name is what the user knows.
  Question named = q;
  const std::string scratch = files_ + "/";
  for (size_t at = named.detail.find(scratch); at != std::string::npos;
       at = named.detail.find(scratch)) {
    const size_t slash = named.detail.find('/', at + scratch.size());
    if (slash == std::string::npos) break;
    named.detail.erase(at, slash + 1 - at);
  }
  return host_.AskQuestion(named);
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

void WebTool::OpenLink(const std::string& link) {
  open_link_ = link;
  link_view_ = CompareSetupLink(tool_, link);
}

bool WebTool::ApplyLink() {
  if (!open_link_ || !link_view_.refusal.empty()) return false;
  const std::string link = *open_link_;
  if (!ApplySetupLink(tool_, link)) return false;
  CloseLink();
  return true;
}

void WebTool::CloseLink() {
  open_link_.reset();
  link_view_ = {};
}

void WebTool::ProcessEvents() {
  Publish();
  host_.Yield();
}

// ---- snapshot ----

std::string WebTool::StateJson() const {
  const Session& session = tool_.session();
  const SessionStatus& s = session.status;
  const EscSettingsImage& image = session.image;
  const HidEngine* hid = const_cast<Tool&>(tool_).hid();
  const InfoModel& info = tool_.info();
  const ProgressModel& progress = tool_.progress();
  JsonWriter j;
  j.BeginObject();
  j.Key("link").Int(s.link_kind);
  j.Key("deviceClass").Int(s.device_class);
  j.Key("v1Variant").Int(s.v1_block_variant);
  j.Key("adapterState").Int(s.adapter_state);
  j.Key("escState").Int(s.esc_state);
  j.Key("connected").Bool(tool_.Connected());
  j.Key("lcdBox").Bool(s.lcd_box_connected);
  j.Key("requestedPage").Int(s.requested_page);
  j.Key("shownPage").Int(s.shown_page);
  j.Key("pageShown").Bool(s.page_shown);
  j.Key("busy").Bool(tool_.IsBusy());
  j.Key("busyButton").Int(s.busy_button);
  j.Key("transfer").Bool(s.transfer_active);
  j.Key("updateRunning").Bool(tool_.UpdateRunning());
  j.Key("escControls").Bool(info.esc_controls);
  j.Key("escLabel").String(info.esc_label);
  j.Key("usbLabel").String(info.usb_label);
  j.Key("status").String(tool_.status_line().text());
  j.Key("failure").Bool(tool_.status_line().showing_failure());
  j.Key("hint").String(tool_.page_hint());
  j.Key("title").String(tool_.Title(false));
  j.Key("unsent").Int(static_cast<int64_t>(tool_.unsent_changes()));
  // What the page asks before a DemoMode link leaves the device with changes unsent.
  j.Key("leave");
  if (const std::optional<Question> q = tool_.LeaveQuestion("Switching the device")) {
    j.BeginObject();
    j.Key("text").String(q->text);
    j.Key("caption").String(q->caption);
    j.Key("detail").String(q->detail);
    j.EndObject();
  } else {
    j.Null();
  }
  // The setup link's compare view: what the link changes, from the ESC's value to the link's.
  j.Key("setupLink");
  if (open_link_) {
    j.BeginObject();
    j.Key("refusal").String(link_view_.refusal);
    j.Key("summary").String(link_view_.summary);
    j.Key("rows").BeginArray();
    for (const SetupDifference& d : link_view_.differences) {
      j.BeginObject();
      j.Key("label").String(d.label);
      j.Key("name").String(d.name);
      j.Key("esc").String(d.first);
      j.Key("link").String(d.second);
      j.EndObject();
    }
    j.EndArray();
    j.EndObject();
  } else {
    j.Null();
  }
  j.Key("v1Status").String(tool_.v1_status());
  j.Key("notice");
  if (notice_serial_ > 0) {
    j.BeginObject();
    j.Key("id").Int(notice_serial_);
    j.Key("text").String(notice_text_);
    j.EndObject();
  } else {
    j.Null();
  }
  j.Key("beeps").Int(tool_.beeps());
  const Tool::Commands commands = tool_.commands();
  j.Key("canLcd").Bool(commands.lcd_mode);
  j.Key("canImportExport").Bool(commands.import_export);
  j.Key("canEsc").Bool(commands.esc_mode);
  j.Key("adapterVersion").String(hid ? hid->AdapterVersion() : std::string());
  j.Key("profile").Int(image.profile_preset);

  j.Key("pages").BeginArray();
  for (const PageState& p : tool_.pages().pages()) {
    j.BeginObject();
    j.Key("id").Int(p.def->page_id);
    j.Key("sel").BeginArray();
    for (int32_t v : p.selected) j.Int(v);
    j.EndArray();
    j.Key("en").BeginArray();
    for (bool v : p.enabled) j.Bool(v);
    j.EndArray();
    j.Key("why").BeginArray();
    for (const std::string& t : p.greyed_why) j.String(t);
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
  if (const EditorDef* e = tool_.pages().OpenEditor()) {
    const CurveModel& m = tool_.pages().Curve(e->kind);
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
    const CurveAxisTexts axes = AxisTextsFor(m);
    j.Key("up").BeginArray();
    for (const std::string& t : axes.up) j.String(t);
    j.EndArray();
    j.Key("upUnit").String(axes.up_unit);
    j.Key("across").BeginArray();
    for (const std::string& t : axes.across) j.String(t);
    j.EndArray();
    j.Key("acrossUnit").String(axes.across_unit);
    j.EndObject();
  } else {
    j.Null();
  }

  j.Key("progress");
  if (progress.shown) {
    j.BeginObject();
    j.Key("caption").String(progress.caption);
    j.Key("total").Int(static_cast<int64_t>(progress.total));
    j.Key("done").Int(static_cast<int64_t>(progress.done));
    j.EndObject();
  } else {
    j.Null();
  }

  j.Key("info").BeginObject();
  j.Key("device").String(tool_.InfoDeviceText());
  j.Key("hardware").String(info.hardware);
  j.Key("software").String(info.software);
  j.Key("versions").Bool(info.version_fields);
  j.Key("softwareField").Bool(tool_.ShowsSoftwareField());
  j.EndObject();

  j.Key("v1").BeginArray();
  for (int32_t v : tool_.pages().v1_selected()) j.Int(v);
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
  j.Key("v1Buttons").BeginArray();
  for (const char* t : {kV1ReadText, kV1SendText, kV1UpdateText}) j.String(t);
  j.EndArray();
  j.Key("editorHint").String(CurveEditHint(true));
  j.Key("editorKeysHint").String(kCurveKeysHint);
  j.Key("saveWireTrace").String(kSaveWireTraceText);
  j.Key("demoKinds").BeginArray();
  for (const DemoKind& k : DemoKinds()) {
    j.BeginObject();
    j.Key("name").String(k.name);
    j.Key("title").String(k.title);
    j.Key("hid").Bool(k.hid);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return j.Take();
}

}  // namespace tessel
