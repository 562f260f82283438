// The web edition's face on the tool (core/app): it draws the tool's models as a JSON snapshot
// that the page renders, passes the page's input in, and carries files and questions between
// the tool and the browser. The browser reaches it through a small binding (web/bind); tests
// drive it natively with a scripted WebHost.
//
//   page (JS)                      WebTool                         Tool
//   click, choice, drag      ->    PressButton, Choose, Editor*  -> the same commands
//                            <-    WebHost::Publish(state JSON)  <- its models
//   question, file, name     <-    WebHost::Ask, PickFile, ...   <- ToolHost calls
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app/setup_link_view.h"
#include "core/app/tool.h"

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

class WebTool : public ToolHost {
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
  void Start() { tool_.Start(); }
  // With an explicit device the serial adapter search is skipped (a port the user picked).
  void UseSerialDevice(const std::string& device);
  // Runs the due timer, if any. Returns false when none was due.
  bool RunDueTimer();
  std::optional<uint64_t> NextDue() const { return timers_.NextDue(); }
  // The virtual and socket HID adapters report their plugging and pulling.
  void OnHidEvent(bool arrived, const std::string& path) { tool_.OnHidEvent(arrived, path); }

  // The main window's buttons: 1000..1006 page buttons, 1007 Apply, 1008 Default.
  void PressButton(int id) { tool_.PressButton(static_cast<ButtonId>(id)); }
  void ResetDefault() { tool_.ResetDefault(); }  // menu "Reset Default"
  bool ImportFile() { return tool_.ImportFile(); }  // menu "Inport ESC Data"
  bool ExportFile();                                // menu "Export Esc Data"
  // File › Share Setup: the link at `base` to the setup the pages hold; empty without an ESC.
  std::string ShareLink(const std::string& base) { return ShareSetupLink(tool_, base); }
  // A setup link the page was opened with, compared with the ESC (the snapshot's "setupLink");
  // Apply sends it the tool's usual way, Close drops it.
  void OpenLink(const std::string& link);
  bool ApplyLink();
  void CloseLink();
  void UpData() { tool_.UpdateFirmware(false); }    // information page's "UpData"
  bool EnterLcdMode() { return tool_.EnterLcdMode(); }
  bool EnterEscMode() { return tool_.EnterEscMode(); }

  // Settings pages: a click on a value box opens its list; a choice takes a row.
  void OpenList(int32_t page_id, int index) { tool_.OpenList(page_id, index); }
  void CloseList(int32_t) { tool_.CloseLists(); }
  void Choose(int32_t page_id, int index, int row) { tool_.Choose(page_id, index, row); }

  // The open curve editor: mouse in chart pixels, and its three buttons.
  void EditorMouse(int kind, int32_t x, int32_t y);  // 0 left down, 1 move, 2 left up, 3 right
  void EditorOk();
  void EditorCancel();
  void EditorReset() { tool_.EditorReset(); }
  // A key on the chart: 0 previous point, 1 next, 2..5 move left, right, up, down, 6 add,
  // 7 delete.
  void EditorKey(int key);
  // The curve page whose editor is open, 0 when none.
  int32_t OpenEditorPage() const;

  // The V1 dialog.
  void V1Choose(int index, int row) { tool_.V1Choose(index, row); }
  void V1Read() { tool_.V1Read(); }
  void V1Send() { tool_.V1Send(); }
  void V1Default() { tool_.V1Default(); }
  void V1UpdateFirmware() { tool_.UpdateFirmware(true); }

  // Help › Save Wire Trace: the trace's text as a download, or a notice that there is none.
  void SaveWireTrace();

  // The tool's snapshot and its fixed definitions (pages, options, help texts, V1 lists).
  std::string StateJson() const;
  static std::string DefinitionsJson();
  void Publish() {
    tool_.Refresh();
    host_.Publish(StateJson());
  }
  void UpdateStatus() { tool_.Refresh(); }

  Tool& tool() { return tool_; }
  Session& session() { return tool_.session(); }
  HidEngine* hid() { return tool_.hid(); }
  WebTimers& timers() { return timers_; }
  const PageState* page(int32_t page_id) const { return tool_.pages().page(page_id); }
  const std::array<int32_t, kV1SettingCount>& v1_selected() const {
    return tool_.pages().v1_selected();
  }
  const std::string& status_text() const { return tool_.status_line().text(); }
  int beeps() const { return tool_.beeps(); }

  // ToolHost
  Answer Ask(const Question& q) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void Beep() override { host_.Beep(); }
  void ProcessEvents() override;
  void ShowNotice(const std::string& text) override;
  void NoticePending() override { ShowNotice(tool_.TakeNotice()); }

 private:
  std::string NewFileFolder();

  WebHost& host_;
  WebTimers timers_;
  std::string files_;
  int file_serial_ = 0;
  std::optional<std::string> last_save_;  // what the last save dialog chose
  std::optional<std::string> open_link_;  // the setup link shown beside the ESC
  LinkComparison link_view_;
  // The last box that needs no answer (a failed transfer, an adapter the user may not open),
  // numbered so that the page shows each once.
  std::string notice_text_;
  int notice_serial_ = 0;
  // Declared last: its engines call back into the members above until they go.
  Tool tool_;
};

}  // namespace tessel
