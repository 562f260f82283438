// The main window: skin background, the row of page buttons, the ESC and USB indicators, the
// menu, every page, the progress window and the timers that drive the session engine. It is
// also the engine's window seam (SessionUi): message boxes, the progress window and the page
// operations all go through it.
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "core/session/session.h"
#include "gui/app/device_switch.h"
#include "gui/app/owner_draw_button.h"
#include "gui/app/qt_timer_host.h"
#include "sim/virtual_esc.h"

class QAction;
class QActionGroup;

namespace tessel {

class CEscProcessDlg;
class CFirmware;
class CV1Dlg;
class CSettingsPage;
class CData;
class SerialHotplugMonitor;
class SerialHotplugWatcher;

class CCorvaneDlg : public QMainWindow, public SessionUi {
  Q_OBJECT
 public:
  struct Options {
    std::optional<EscVariant> demo;  // start on the virtual ESC
    QString skin_folder;             // where "Back.bmp" and the page pictures are
    bool hotplug = true;             // watch the system's serial ports
  };

  explicit CCorvaneDlg(const Options& options, QWidget* parent = nullptr);
  ~CCorvaneDlg() override;

  // False when "Back.bmp" could not be loaded: the window closes at once.
  bool ok() const { return ok_; }
  Session& session() { return *session_; }
  bool IsBusy() const { return session_->IsBusy(); }

  void ShowPage(int32_t page);
  void ClearHelp();
  // Switches between the real adapter and a virtual ESC (none: the real adapter).
  void SetDemo(std::optional<EscVariant> variant);
  std::optional<EscVariant> demo() const { return devices_.demo(); }
  VirtualEscPort* virtual_port() { return devices_.virtual_port(); }

  // For tests and the benchmark.
  CSettingsPage* page(int32_t page_id) const;
  CData* data_page() const { return data_page_; }
  CFirmware* info_page() const { return info_page_; }
  CV1Dlg* v1_dialog() const { return v1_dlg_; }
  CCownerDrawBton* button(int id) const;
  CEscProcessDlg* progress() const { return progress_; }
  QtTimerHost& timers() { return timers_; }
  const QString& page_background() const { return page_background_name_; }
  const QString& start_background() const { return start_background_name_; }
  QWidget* page_area() const { return page_area_; }

  // SessionUi
  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override;
  void SetProgressCaption(const std::string& caption) override;
  void SetProgress(uint32_t total, uint32_t done) override;
  void ShowProgress() override;
  void CloseProgress() override;
  void Beep() override;
  void RefreshMainWindow() override;
  void RedrawButtons() override;
  void RedrawIndicators() override;
  void ShowIndicators(bool show) override;
  void SwitchToPage(int32_t page) override { ShowPage(page); }
  void MarkSkinsForRenewal() override { skins_marked_ = true; }
  void UpdateMenuBitmaps() override;
  void HideSimpleDialog() override;
  void RefreshPagesFromImage() override;
  void CollectPageSelections() override;
  void ResetPagesToDefaults() override;
  void ShowLoggedData() override;
  void EnableUpdateButton() override;
  void RefreshDeviceView() override;
  void ProcessEvents() override;
  void V1RefreshFromImage() override;
  void V1WriteToImage() override;
  void V1ShowSendDone() override;
  void V1LoadDefaults() override;
  void V1ShowStatus(const std::string& text) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void BuildButtons();
  void BuildPages();
  void OnPageButton(int id);
  void OnApply();
  void OnDefault();
  void OnResetDefault();
  void OnPortEvent(bool arrived, const std::string& device);
  void UpdateTitle();
  bool LoadSkin(QPixmap& pixmap, QString& name, const QString& file);
  void SetButtonsVisible(bool page_buttons, bool info_button);

  Options options_;
  bool ok_ = true;
  SystemClock clock_;
  QtTimerHost timers_;
  DeviceSwitch devices_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<SerialHotplugMonitor> hotplug_monitor_;
  std::unique_ptr<SerialHotplugWatcher> hotplug_watcher_;

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
  QActionGroup* demo_group_ = nullptr;
  std::map<int, QAction*> demo_actions_;
};

}  // namespace tessel
