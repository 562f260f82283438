// The main window: skin background, the row of page buttons, the ESC and USB indicators, the
// menu, every page, the progress window and the Qt timers that drive the tool. It is the
// desktop's face on the tool (core/app): it draws the tool's models, shows its questions as
// message boxes and passes the user's input in.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "core/app/tool.h"
#include "gui/app/device_switch.h"
#include "gui/app/focus_return.h"
#include "gui/app/hid_switch.h"
#include "gui/app/owner_draw_button.h"
#include "gui/app/qt_timer_host.h"
#include "sim/virtual_esc.h"

class QAction;
class QActionGroup;
class QTimer;

namespace tessel {

class CEscProcessDlg;
class CFirmware;
class CV1Dlg;
class CSettingsPage;
class CData;
class SendVerifier;
class SerialHotplugMonitor;
class SerialHotplugWatcher;
class HidHotplugMonitor;
class HidHotplugWatcher;
class TraceFile;

class CCorvaneDlg : public QMainWindow, public ToolHost {
  Q_OBJECT
 public:
  struct Options {
    std::optional<EscVariant> demo;         // start on the virtual ESC
    std::optional<HidDeviceKind> hid_demo;  // start on the virtual HID adapter
    QString hid_socket;   // the HID adapter is a virtual one served on this socket
    QString skin_folder;  // where "Back.bmp" and the page pictures are
    bool hotplug = true;  // watch the system's serial ports
    std::shared_ptr<TraceFile> trace_file;  // --trace: every trace line also goes here
    // Where the settings history is kept; empty: the user's data folder.
    QString history_folder;
  };

  explicit CCorvaneDlg(const Options& options, QWidget* parent = nullptr);
  ~CCorvaneDlg() override;

  // False when "Back.bmp" could not be loaded: the window closes at once.
  bool ok() const { return ok_; }
  Tool& tool() { return *tool_; }
  Session& session() { return tool_->session(); }
  bool IsBusy() const { return tool_->IsBusy(); }

  void ShowPage(int32_t page);
  void ClearHelp();
  // Switches between the real adapters and a virtual ESC (none: the real adapters), or the
  // virtual HID adapter with a device behind it.
  void SetDemo(std::optional<EscVariant> variant);
  void SetHidDemo(HidDeviceKind kind);
  std::optional<EscVariant> demo() const { return devices_.demo(); }
  std::optional<HidDeviceKind> hid_demo() const { return hid_devices_.demo(); }
  VirtualEscPort* virtual_port() { return devices_.virtual_port(); }
  VirtualHidAdapter* virtual_hid() { return hid_devices_.virtual_adapter(); }
  HidEngine& hid() { return *tool_->hid(); }
  // The last lines that crossed either cable (Help › Save Wire Trace…).
  WireTrace& wire_trace() { return tool_->trace(); }
  // Why the --trace file could not take the trace's first line; empty when it could.
  const std::string& trace_error() const { return trace_error_; }
  QLabel* esc_label() const { return esc_label_; }
  // The status line under the pages and the text of the empty page area.
  QLabel* status_line() const { return status_line_; }
  QLabel* page_hint() const { return page_hint_; }
  // Device arrival and removal reach the tool as events (udev, or the device folder).
  bool hotplug_events() const;
  // The menu commands, by their text ("Inport ESC Data", "Read from ESC", ...).
  QAction* command(const QString& text) const;
  // Status line, page-area text and which commands can act, from the session status.
  void UpdateStatus();

  // For tests and the benchmark.
  CSettingsPage* page(int32_t page_id) const;
  CData* data_page() const { return data_page_; }
  CFirmware* info_page() const { return info_page_; }
  CV1Dlg* v1_dialog() const { return v1_dlg_; }
  CCownerDrawBton* button(int id) const;
  CEscProcessDlg* progress() const { return progress_; }
  SendVerifier* verifier() const { return verifier_; }
  QtTimerHost& timers() { return timers_; }
  const QString& page_background() const { return page_background_name_; }
  const QString& start_background() const { return start_background_name_; }
  QWidget* page_area() const { return page_area_; }

  // ToolHost
  Answer Ask(const Question& question) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void Changed() override;
  void StatusChanged() override { UpdateStatus(); }
  void ProgressChanged() override;
  void Beep() override;
  void ProcessEvents() override;
  void TransferDone(const TransferEnd& end) override { emit transferDone(end); }
  // A non-modal warning: the engines go on retrying underneath it.
  void ShowNotice(const std::string& text) override;
  void NoticePending() override;
  void RefreshMainWindow() override;
  void RedrawButtons() override;
  void RedrawIndicators() override;
  void ShowIndicators(bool show) override;
  void SwitchToPage(int32_t page) override { ShowPage(page); }
  void MarkSkinsForRenewal() override { skins_marked_ = true; }
  void UpdateMenuBitmaps() override;
  void HideSimpleDialog() override;
  void RefreshDeviceView() override;
  void ShowSoftwareVersion() override;
  void HideVersionFields() override;
  void ShowHardwareText() override;
  void ShowEscControls(bool show) override;
  void OpeningPage(int32_t page) override;
  // The window's own questions (undo, compare) go through the tool like the engines' do.
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) {
    return tool_->ui().Ask(text, caption, buttons);
  }
  Answer AskQuestion(const Question& question) { return tool_->ui().AskQuestion(question); }
  // The page model's operations for the window's own commands (compare, undo).
  void CollectPageSelections() { tool_->pages().CollectSelections(); }
  void RefreshPagesFromImage() {
    tool_->pages().RefreshFromImage();
    Changed();
  }
  void ReportOutcome(const std::string& text) { tool_->ReportOutcome(text); }
  void ReportFailure(const std::string& text) { tool_->ReportFailure(text); }
  QMessageBox* adapter_notice() const { return adapter_notice_; }
  QMessageBox* close_notice() const { return close_notice_; }
  // The box that tells of a read or a send that failed with no question asked; it does not
  // stop the engines.
  QMessageBox* failure_notice() const { return failure_notice_; }
  // Looks for the virtual and socket HID adapters; idle with the real one, which has events.
  const QTimer* hid_poll() const { return hid_poll_; }

 signals:
  // A read or a send of either engine reached its end (kTransferRead, kTransferSend).
  void transferDone(const tessel::TransferEnd& end);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Every click and key in this window is the user's next action (UserActed).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu();
  void BuildButtons();
  void BuildPages();
  void OnPageButton(int id);
  void OnApply();
  void OnDefault();
  void OnResetDefault();
  void OnReadFromEsc();
  // Whether closing now would cut a transfer short; asks the user. True: close.
  bool MayClose();
  bool UpdatePausedBy(const std::string& what);  // true: refused while a serial update runs
  std::optional<std::string> ChooseFile(bool save, const std::string& filter);
  void OnPortEvent(bool arrived, const std::string& device);
  void OnHidEvent(const HidEvent& event);
  void SwitchDevices(std::optional<EscVariant> serial, std::optional<HidDeviceKind> hid);
  // Puts the DemoMode menu's one bullet on the item of these devices.
  void CheckDemoItem(std::optional<EscVariant> serial, std::optional<HidDeviceKind> hid);
  void UpdateTitle();
  bool LoadSkin(QPixmap& pixmap, QString& name, const QString& file);
  void SetButtonsVisible(bool page_buttons, bool info_button);
  void ShowFailureNotice();
  // With nothing plugged in, the searching timers wait for an arrival event.
  void RestWhileUnplugged();
  void UpdateHidPoll();

  Options options_;
  std::string trace_error_;
  bool ok_ = true;
  SystemClock clock_;
  QtTimerHost timers_;
  DeviceSwitch devices_;
  HidSwitch hid_devices_;
  std::unique_ptr<Tool> tool_;
  std::unique_ptr<SerialHotplugMonitor> hotplug_monitor_;
  std::unique_ptr<SerialHotplugWatcher> hotplug_watcher_;
  std::unique_ptr<HidHotplugMonitor> hid_hotplug_monitor_;
  std::unique_ptr<HidHotplugWatcher> hid_hotplug_watcher_;

  QWidget* central_ = nullptr;
  QWidget* page_area_ = nullptr;
  QPixmap page_background_;
  QPixmap start_background_;
  QString page_background_name_;
  QString start_background_name_;
  bool skins_marked_ = false;

  std::map<int, CCownerDrawBton*> buttons_;  // page buttons, Apply, Default, indicators
  QLabel* esc_label_ = nullptr;
  QLabel* usb_label_ = nullptr;
  std::vector<CSettingsPage*> pages_;  // General, Throttle, Brake, Boost, Turbo
  CData* data_page_ = nullptr;
  CFirmware* info_page_ = nullptr;
  CV1Dlg* v1_dlg_ = nullptr;
  CEscProcessDlg* progress_ = nullptr;
  SendVerifier* verifier_ = nullptr;  // Device › "Verify after sending"
  QActionGroup* demo_group_ = nullptr;
  std::map<int, QAction*> demo_actions_;
  QMessageBox* adapter_notice_ = nullptr;
  QMessageBox* close_notice_ = nullptr;  // why the window stays open during an update
  QMessageBox* failure_notice_ = nullptr;
  bool notice_queued_ = false;
  std::map<QString, QAction*> commands_;
  QLabel* status_line_ = nullptr;
  QLabel* page_hint_ = nullptr;
  QTimer* hid_poll_ = nullptr;  // virtual and socket HID adapters report through it
  QString shown_status_;
  bool shown_failure_ = false;
  // Where the keyboard goes back to after a dialog or the progress window.
  FocusReturn focus_return_;
};

}  // namespace tessel
