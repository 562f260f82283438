// The web edition's main window: the same Session and HID engine as the desktop tool, with the
// window side kept as plain state (page selections, open list, curve editor, progress, V1
// dialog, information page) that the page draws from a JSON snapshot. The browser reaches it
// through a small binding (web/bind); tests drive it natively with a scripted WebHost.
//
//   page (JS)                      WebTool                         engines
//   click, choice, drag      ->    PageButton, Choose, Editor*  -> Session, HidEngine
//                            <-    WebHost::Publish(state JSON)
//   question, file, name     <-    WebHost::Ask, PickFile, ...  <- SessionUi calls
//
// Everything here is window behaviour ported from src/gui; every rule stays in src/core.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/model/curve_chart.h"
#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/engine/status_line.h"
#include "core/model/pages.h"
#include "core/model/v1_settings.h"

namespace tessel {

// What the page around the tool does for it. Ask, PickFile and PickSaveName wait for the user
// (in the browser the engine's call is suspended until the answer comes).
class WebHost {
 public:
  virtual ~WebHost() = default;
  virtual Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) = 0;
  // A question with a detail (the reason under "Import file error!") and a default answer.
  virtual Answer AskQuestion(const Question& q) { return Ask(q.text, q.caption, q.buttons); }
  // A file the user chose, as its name and bytes; nothing when cancelled. `kind` is
  // "settings" or "firmware".
  struct PickedFile {
    std::string name;
    std::vector<uint8_t> bytes;
  };
  virtual std::optional<PickedFile> PickFile(const std::string& kind) = 0;
  // The name to save a settings file under; nothing when cancelled.
  virtual std::optional<std::string> PickSaveName(const std::string& suggested) = 0;
  // Hands a written file to the user (a download in the browser).
  virtual void Deliver(const std::string& name, const std::vector<uint8_t>& bytes) = 0;
  virtual void Beep() {}
  // The state changed; `json` is the whole snapshot.
  virtual void Publish(const std::string& json) = 0;
  // Lets the page paint while a blocking procedure runs (the serial firmware update).
  virtual void Yield() {}
};

// Timers 102, 106 and 107 for a host that calls in when the earliest is due (a browser's
// setTimeout). Same planning rules as TimerLoop: a timer that re-arms from its own tick counts
// from when that tick was planned.
class WebTimers : public TimerHost {
 public:
  explicit WebTimers(Clock& clock) : clock_(clock) {}
  void Arm(int id, uint32_t period_ms) override;
  void Stop(int id) override;
  void StopAll() { timers_.clear(); }
  bool IsArmed(int id) const;
  uint32_t Period(int id) const;
  // Clock time of the earliest due timer; nothing when none is armed.
  std::optional<uint64_t> NextDue() const;
  // The id of the due timer taken off for dispatch (its next period planned), or nothing when
  // none is due yet. The caller runs the tick and then calls EndDispatch.
  std::optional<int> TakeDue();
  void EndDispatch() { dispatching_id_ = -1; }

 private:
  struct Timer {
    uint32_t period_ms;
    uint64_t due_ms;
  };
  Clock& clock_;
  std::vector<std::pair<int, Timer>> timers_;
  int dispatching_id_ = -1;
  uint64_t dispatching_due_ms_ = 0;
};

// One editing page as its window holds it: the selected row of every list (the page's own
// copy until a collect), which value boxes are enabled and which list is open.
struct WebPage {
  const PageDef* def = nullptr;
  std::vector<int32_t> selected;
  std::vector<int32_t> default_index;
  std::vector<bool> enabled;
  int open_list = -1;
  int help = -1;  // the setting whose help text shows
};

struct WebEditor {
  CurveKind kind = CurveKind::kThrottle;
  int32_t page_id = kPageThrottle;
  ImageField mode_field = nullptr;
  int32_t SessionStatus::*state = nullptr;
};

class WebTool : public SessionUi {
 public:
  // The chart of the curve editors, in canvas pixels (the grid picture's size).
  static constexpr int32_t kChartWidth = 453;
  static constexpr int32_t kChartHeight = 242;

  // `files` is a writable folder for the files the user picks and saves (MEMFS in the
  // browser); each file gets a folder of its own there, which becomes the current folder.
  // The tool does not own the devices.
  WebTool(WebHost& host, Clock& clock, SerialPort& port, PortEnumerator* ports, HidDevice* hid,
          std::string files);
  ~WebTool() override;

  // Start-up of the main window: pages with their factory defaults, timers 102 and 107.
  void Start();
  // With an explicit device the serial adapter search is skipped (a port the user picked).
  void UseSerialDevice(const std::string& device);
  // Runs the due timer, if any. Returns false when none was due.
  bool RunDueTimer();
  std::optional<uint64_t> NextDue() const { return timers_.NextDue(); }
  // The virtual and socket HID adapters report their plugging and pulling.
  void OnHidEvent(bool arrived, const std::string& path);

  // The main window's buttons: 1000..1006 page buttons, 1007 Apply, 1008 Default.
  void PressButton(int id);
  void ResetDefault();  // menu "Reset Default"
  bool ImportFile();    // menu "Inport ESC Data"
  bool ExportFile();    // menu "Export Esc Data"
  void UpData();        // information page's "UpData"
  bool EnterLcdMode();
  bool EnterEscMode();

  // Settings pages: a click on a value box opens its list; a choice takes a row.
  void OpenList(int32_t page_id, int index);
  void CloseList(int32_t page_id);
  void Choose(int32_t page_id, int index, int row);

  // The open curve editor: mouse in chart pixels, and its three buttons.
  void EditorMouse(int kind, int32_t x, int32_t y);  // 0 left down, 1 move, 2 left up, 3 right
  void EditorOk();
  void EditorCancel();
  void EditorReset();
  // The curve page whose editor is open, 0 when none.
  int32_t OpenEditorPage() const;

  // The V1 dialog.
  void V1Choose(int index, int row);
  void V1Read();
  void V1Send();
  void V1Default();
  void V1UpdateFirmware();

  // The tool's snapshot and its fixed definitions (pages, options, help texts, V1 lists).
  std::string StateJson() const;
  static std::string DefinitionsJson();
  void Publish() {
    UpdateStatus();
    host_.Publish(StateJson());
  }
  // The status line from the session status, as the desktop's timer ticks do it.
  void UpdateStatus();

  Session& session() { return *session_; }
  HidEngine* hid() { return hid_.get(); }
  WebTimers& timers() { return timers_; }
  const WebPage* page(int32_t page_id) const;
  const std::array<int32_t, kV1SettingCount>& v1_selected() const { return v1_stored_; }
  const std::string& status_text() const { return line_.text(); }
  int beeps() const { return beeps_; }

  // SessionUi
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override;
  // The firmware question names the file the user picked beneath it.
  Answer AskQuestion(const Question& q) override;
  void ReportOutcome(const std::string& text) override;
  void ReportFailure(const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void SetProgressCaption(const std::string& caption) override;
  void SetProgress(uint32_t total, uint32_t done) override;
  void ShowProgress() override;
  void CloseProgress() override;
  void Beep() override;
  void ProcessEvents() override;
  void SwitchToPage(int32_t page) override { ShowPage(page); }
  void HideSimpleDialog() override {}
  void RefreshPagesFromImage() override;
  void CollectPageSelections() override;
  void ResetPagesToDefaults() override;
  void ShowLoggedData() override {}
  void SetStatusLabels(const std::string& esc, const std::string& usb) override;
  void ShowEscControls(bool show) override { esc_controls_ = show; }
  void ShowAdapterNotice(const std::string& text) override { Notice(text); }
  void EnableUpdateButton() override;
  void RefreshDeviceView() override {}
  void HideVersionFields() override { version_fields_ = false; }
  void SetHardwareText(const std::string& text) override { hardware_text_ = text; }
  void V1RefreshFromImage() override;
  void V1WriteToImage() override;
  void V1ShowSendDone() override;
  void V1LoadDefaults() override;
  void V1ShowStatus(const std::string& text) override { v1_status_ = text; }

 private:
  // Every entry point the page calls for the user, first: a failure on the line has been seen.
  void UserActed();
  void Notice(const std::string& text);
  WebPage* MutablePage(int32_t page_id);
  void ShowPage(int32_t page);
  void PageRefresh(WebPage& p);
  void PageCollect(WebPage& p);
  void PageReset(WebPage& p);
  void PageEnabling(WebPage& p);
  void OnChosen(WebPage& p, int index);
  const WebEditor* EditorForPage(int32_t page_id) const;
  const WebEditor* OpenEditor() const;
  void OpenEditorOf(const WebEditor& e);
  void CloseEditor(const WebEditor& e);
  void DropCustomCurve(WebPage& p, const WebEditor& e);
  CurveModel& EditorModel(const WebEditor& e);
  std::string NewFileFolder();

  WebHost& host_;
  Clock& clock_;
  WebTimers timers_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<HidEngine> hid_;
  std::string files_;
  int file_serial_ = 0;
  std::optional<std::string> last_save_;  // what the last save dialog chose
  std::vector<WebPage> pages_;
  std::array<WebEditor, 3> editors_;
  std::array<int32_t, kV1SettingCount> v1_stored_{};
  bool progress_shown_ = false;
  std::string progress_caption_;
  uint32_t progress_total_ = 0;
  uint32_t progress_done_ = 0;
  std::string esc_label_ = "ESC";
  std::string usb_label_ = "USB";
  bool esc_controls_ = true;
  bool version_fields_ = true;
  std::string hardware_text_;
  std::string software_text_;
  StatusLine line_;
  std::string v1_status_;  // the V1 dialog's own line
  // The last box that needs no answer (a failed transfer, an adapter the user may not open),
  // numbered so that the page shows each once.
  std::string notice_text_;
  int notice_serial_ = 0;
  int beeps_ = 0;
};

}  // namespace tessel
