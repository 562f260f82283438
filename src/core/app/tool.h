// The tool without a face: the session with both engines, the wire trace and the access
// notice, wired once; the one event pump; the pages, the status line, the progress window, the
// information page and the V1 view as models; every user command; and every question as data.
// The desktop, the web page and the command line construct it, draw its models and pass the
// user's input in; none of them touches an engine.
//
//   face                          Tool                             engines
//   click, choice, drag     ->    PressButton, Choose, Editor*  -> Session, HidEngine
//   timer tick, hot-plug    ->    OnTimer, On*Event             -> OnTimer, OnDevice*
//                           <-    ToolHost::Changed, Ask(Question), ChooseOpenFile, ...
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/app/page_model.h"
#include "core/app/settings_history.h"
#include "core/app/status_model.h"
#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/link/access_notice.h"
#include "core/link/wire_trace.h"

namespace tessel {

// What a face does for the tool.
class ToolHost : public AdapterNoticeSink {
 public:
  ~ToolHost() override = default;
  // A question, shown the face's way (a message box, a web dialog, a refusal on stderr).
  // Closing it counts as Cancel (or No where there is no Cancel).
  virtual Answer Ask(const Question& question) = 0;
  virtual std::optional<std::string> ChooseOpenFile(const std::string& filter) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filter) = 0;
  // A model changed (pages, status, V1 view, information page): draw it again.
  virtual void Changed() {}
  // The status line's text changed (Tool::status_line()).
  virtual void StatusChanged() {}
  // Tool::progress() changed.
  virtual void ProgressChanged() {}
  virtual void Beep() {}
  // Lets the face paint while a blocking procedure (the serial firmware update) runs.
  virtual void ProcessEvents() {}
  // The user asked a blocking procedure to stop at its next record.
  virtual bool StopRequested() { return false; }
  virtual void TransferDone(const TransferEnd& /*end*/) {}
  // A notice that needs no answer and must not stop the engines (a transfer that failed with
  // no question asked, an adapter this user may not open).
  virtual void ShowNotice(const std::string& /*text*/) {}
  // A failure notice waits (Tool::TakeNotice); faces that show it later may let a question
  // asked meanwhile speak for it.
  virtual void NoticePending() {}
  void ShowAdapterNotice(const std::string& text) override { ShowNotice(text); }

  // Window-only hooks: skins, indicators and which page widget shows.
  virtual void RefreshMainWindow() {}
  virtual void RedrawButtons() {}
  virtual void RedrawIndicators() {}
  virtual void ShowIndicators(bool /*show*/) {}
  virtual void SwitchToPage(int32_t /*page*/) {}
  virtual void MarkSkinsForRenewal() {}
  virtual void UpdateMenuBitmaps() {}
  virtual void HideSimpleDialog() {}
  virtual void RefreshDeviceView() {}
  // The information page's fields (Tool::info() holds their texts).
  virtual void ShowSoftwareVersion() {}
  virtual void HideVersionFields() {}
  virtual void ShowHardwareText() {}
  // The page buttons other than information show or go (the LCD program box's mode).
  virtual void ShowEscControls(bool /*show*/) {}
  // A page button was taken: the page is about to show (SwitchToPage follows).
  virtual void OpeningPage(int32_t /*page*/) {}
};

// The progress window.
struct ProgressModel {
  bool shown = false;
  std::string caption;
  uint32_t total = 0;
  uint32_t done = 0;
};

// The information page and the labels under the indicators.
struct InfoModel {
  std::string esc_label = "ESC";  // "LCD" in the program box's mode
  std::string usb_label = "USB";
  bool esc_controls = true;   // the page buttons other than information show
  bool version_fields = true;
  // The SOFTWARE field goes with the version fields until the device view is drawn again
  // (Tool::ShowsSoftwareField adds the program box's mode).
  bool software_field = true;
  std::string hardware = kHardwareTextDefault;  // the adapter's version in the LCD box's mode
  std::string software;
};

// Whether a window may close now, and what to tell or ask first.
struct CloseVerdict {
  bool refused = false;               // a firmware update runs: it is never cut short
  std::string refusal;                // the notice for a refusal (needs no answer)
  std::optional<Question> question;   // ask first; close on kOk
  // The question is about a send that runs: when it ends the question lapses and the window
  // may close.
  bool lapses_with_transfer = false;
};

constexpr const char* kToolTitle = "Tessel Arc USB V1.0";
constexpr const char* kDefaultSentText = "Factory settings sent";
constexpr const char* kUndoHintText = "Device › Undo Last Send takes them back";
constexpr const char* kUndoLastSendText = "Undo Last Send";

class Tool : private SessionUi {
 public:
  // `hid` may be null (no HID adapter at all). The tool does not own the devices.
  Tool(ToolHost& host, Clock& clock, TimerHost& timers, SerialPort& port, PortEnumerator* ports,
       HidDevice* hid, const std::string& version = {});
  ~Tool() override;
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;

  // Start-up: no page, the first ESC found is read at once; timers 102 and 107.
  void Start();
  // The settings history the desktop shares with tesselarc-cli: every whole read and send is
  // kept in `folder`, and Device › Undo Last Send takes the last send back. Off until a face
  // names the folder.
  void KeepHistory(const std::string& folder);
  SettingsHistory* history() { return history_.get(); }
  // Whether Undo Last Send can act now: an ESC with settings connected and the tool idle.
  // Whether there is anything to go back to is asked only when it is chosen.
  bool CanUndo() const;
  // Asks, naming what will change, then sends the image held before the last send.
  void UndoLastSend();

  // The one event pump: a timer tick, then what the devices reported meanwhile.
  void OnTimer(int id);
  void PumpHidEvents();
  void OnHidEvent(bool arrived, const std::string& path);
  // A serial port came or went; only the open adapter's own port matters once one is open.
  void OnSerialPortEvent(bool arrived, const std::string& device);
  // The face changes what stands behind the port and the HID device (DemoMode): `swap` does
  // it between the old devices' leaving and the new ones' arrival.
  void SwapDevices(bool to_hid, const std::function<void()>& swap);
  // With nothing plugged in a searching tick finds nothing an arrival event would not
  // announce: the searching timers stop until one comes. Each flag says whether that family's
  // arrivals reach the tool as events.
  void RestWhileUnplugged(bool serial_events, bool hid_events);

  // The user's input. Each first counts as the user's next action (a failure has been seen).
  void UserActed();
  // Page buttons, Apply and Default; false when ignored (busy).
  bool PressButton(ButtonId id);
  bool ResetDefault();
  bool ReadFromEsc();
  bool ImportFile();
  // A full ESC's setup link, taken as a settings file is.
  bool ImportLink(const std::string& link);
  bool ExportFile();
  // The information page's (or the V1 view's) firmware update, on the adapter in use.
  void UpdateFirmware(bool from_v1_view);
  bool EnterLcdMode();
  bool EnterEscMode();
  bool OpenList(int32_t page_id, int index);
  void CloseLists();
  bool Choose(int32_t page_id, int index, int row);
  void EditorMouse(const ChartGeometry& chart, PageModel::Mouse what, int32_t x, int32_t y);
  void EditorKey(PageModel::Key key);
  void EditorOk();
  void EditorCancel();
  void EditorReset();
  void TakeBackEditor(CurveKind kind);
  bool V1Choose(int index, int row);
  // A click beside the V1 view's lists: they show the stored choices again.
  void V1Revert();
  bool V1Read();
  bool V1Send();
  bool V1Default();

  // Questions the faces ask before they act.
  // Unsent changes before quitting or switching the device (DemoMode); none when there are
  // none.
  std::optional<Question> LeaveQuestion(const std::string& leaving) const;
  // A refusal also goes on the status line.
  CloseVerdict MayClose();
  // The loss of an update the user wants to leave during: refused, with the line saying why.
  bool RefuseDuringUpdate(const std::string& what);

  // Models.
  const PageModel& pages() const { return pages_; }
  PageModel& pages() { return pages_; }
  const StatusModel& status_line() const { return status_; }
  std::string page_hint() const { return status_.PageHint(session_->status); }
  const ProgressModel& progress() const { return progress_; }
  const InfoModel& info() const { return info_; }
  // The information page's SOFTWARE field shows: the program box's own firmware has no
  // version the page could show.
  bool ShowsSoftwareField() const;
  // The information page's device field: "LCD PROGRAM" in the box's mode, else "CAR ESC".
  std::string InfoDeviceText() const;
  const std::string& v1_status() const { return v1_status_; }
  size_t unsent_changes() const { return pages_.UnsentChanges(); }
  // "Tessel Arc USB V1.0", " - DEMO" on a virtual device, " ●" with unsent changes.
  std::string Title(bool demo) const;
  std::string TakeNotice() { return status_.TakeNotice(); }
  int beeps() const { return beeps_; }
  bool IsBusy() const { return session_->IsBusy(); }
  bool UpdateRunning() const;
  bool Connected() const;
  // Which commands can act now (greyed otherwise).
  struct Commands {
    bool import_export = false;  // also Compare with File
    bool read = false;
    bool reset_default = false;
    bool esc_mode = false;
    bool lcd_mode = false;
    bool demo = false;
    bool pages = false;          // the page buttons other than information, Apply, Default
    bool information = false;
  };
  Commands commands() const;

  // The status line from the session status; every face calls it after input it handled
  // itself, the tool after every tick.
  void Refresh();
  void ReportOutcome(const std::string& text) override;
  void ReportFailure(const std::string& text) override;

  Session& session() { return *session_; }
  const Session& session() const { return *session_; }
  HidEngine* hid() { return hid_.get(); }
  WireTrace& trace() { return trace_; }
  AccessNotice& access_notice() { return notice_; }
  // The tool as the engines' window seam (for a face's own commands that run on the session).
  SessionUi& ui() { return *this; }

 private:
  // SessionUi
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override;
  Answer AskQuestion(const Question& question) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void SetProgressCaption(const std::string& caption) override;
  void SetProgress(uint32_t total, uint32_t done) override;
  void ShowProgress() override;
  void CloseProgress() override;
  void Beep() override;
  void TransferDone(const TransferEnd& end) override;
  void ProcessEvents() override;
  bool StopRequested() override { return host_.StopRequested(); }
  void RefreshMainWindow() override;
  void RedrawButtons() override { host_.RedrawButtons(); }
  void RedrawIndicators() override { host_.RedrawIndicators(); }
  void ShowIndicators(bool show) override { host_.ShowIndicators(show); }
  void SwitchToPage(int32_t page) override { host_.SwitchToPage(page); }
  void MarkSkinsForRenewal() override { host_.MarkSkinsForRenewal(); }
  void UpdateMenuBitmaps() override { host_.UpdateMenuBitmaps(); }
  void HideSimpleDialog() override { host_.HideSimpleDialog(); }
  void RefreshPagesFromImage() override;
  void CollectPageSelections() override;
  void ResetPagesToDefaults() override;
  void ShowLoggedData() override { host_.Changed(); }
  void SetStatusLabels(const std::string& esc, const std::string& usb) override;
  void ShowEscControls(bool show) override;
  void ShowAdapterNotice(const std::string& text) override { host_.ShowNotice(text); }
  void EnableUpdateButton() override;
  void RefreshDeviceView() override;
  void HideVersionFields() override;
  void SetHardwareText(const std::string& text) override;
  void V1RefreshFromImage() override;
  void V1WriteToImage() override;
  void V1ShowSendDone() override;
  void V1LoadDefaults() override;
  void V1ShowStatus(const std::string& text) override;

  bool StartDefaultSend(bool (Session::*send)());
  // Apply, with the cause the history keeps for it.
  bool StartApply(const std::string& cause);
  void NoteSendCause(const std::string& cause) {
    if (recorder_) recorder_->NoteSendCause(cause);
  }
  void RefreshNow();
  // Held while a command or a tick runs on the engines; the status line is brought up to date
  // when the outermost one ends.
  class EngineCall {
   public:
    explicit EngineCall(Tool& tool);
    ~EngineCall();
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

   private:
    Tool& tool_;
  };

  ToolHost& host_;
  Clock& clock_;
  TimerHost& timers_;
  PortEnumerator* ports_;
  HidDevice* hid_device_;
  // Declared before the engines, whose links write to it until they go.
  WireTrace trace_;
  AccessNotice notice_{*this};
  std::unique_ptr<Session> session_;
  std::unique_ptr<HidEngine> hid_;
  PageModel pages_;
  StatusModel status_;
  ProgressModel progress_;
  InfoModel info_;
  std::string v1_status_;
  int beeps_ = 0;
  std::unique_ptr<SettingsHistory> history_;
  std::unique_ptr<HistoryRecorder> recorder_;
  bool default_send_ = false;  // the send that runs restores the factory settings
  int engine_depth_ = 0;
};

}  // namespace tessel
