#include "gui/app/corvane_dlg.h"


#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <cstdio>

#include "core/app/demo_kinds.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"
#include "core/model/page_rules.h"
#include "gui/app/about_dlg.h"
#include "gui/app/announce.h"
#include "gui/app/compare_dlg.h"
#include "gui/app/file_filter.h"
#include "gui/app/help_dlg.h"
#include "gui/app/layout.h"
#include "gui/app/send_verifier.h"
#include "gui/app/skin.h"
#include "gui/app/text_fit.h"
#include "gui/app/window_place.h"
#include "gui/app/wire_trace_save.h"
#include "gui/curves/curve_editor.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/page_factory.h"
#include "gui/pages/settings_page.h"
#include "gui/simple/v1_dlg.h"
#include "platform/hid_hotplug.h"
#include "platform/history_folder.h"
#include "platform/serial_hotplug.h"
#include "platform/trace_file.h"

namespace tessel {

namespace {

constexpr const char* kTitle = kToolTitle;

constexpr const char* kImportText = "Inport ESC Data";
constexpr const char* kExportText = "Export Esc Data";
constexpr const char* kResetDefaultText = "Reset Default";
constexpr const char* kReadFromEscText = "Read from ESC";

const QColor kStatusColour(0xff, 0xff, 0xff);
const QColor kFailureColour(0xf5, 0xa6, 0x23);
const QColor kHintColour(0x9a, 0xa5, 0xb0);

// The menu texts with the letter Alt picks; no two items of one menu share a letter.
QString WithMnemonic(const QString& text) {
  static const std::map<QString, QString> kShown = {
      {kImportText, "&Inport ESC Data"},
      {kExportText, "&Export Esc Data"},
      {kCompareWithFileText, QString::fromUtf8("&Compare with File…")},
      {kReadFromEscText, "&Read from ESC"},
      {kUndoLastSendText, "&Undo Last Send"},
      {kResetDefaultText, "Reset &Default"},
      {"ESC Speed Controller", "&ESC Speed Controller"},
      {"LCD Program Box", "&LCD Program Box"},
      {kVerifyAfterSendingText, "&Verify after sending"},
      {"USB programming adapter", "&USB programming adapter"},
      {"Virtual ESC", "&Virtual ESC"},
      {"Virtual V1-series ESC", "Virtual V&1-series ESC"},
      {"Virtual V1-series ESC with BEC", "Virtual V1-series ESC with &BEC"},
      {"Virtual HID adapter with ESC", "Virtual &HID adapter with ESC"},
      {"Virtual HID adapter with V1-series ESC", "Virtual HID adapter with V1-series &ESC"},
      {"Virtual HID adapter with V1-series ESC with BEC",
       "Virtual HID adapter with V1-series ESC &with BEC"},
      {"Virtual HID adapter with LCD program box", "Virtual HID adapter with &LCD program box"},
      {"help", "&help"},
      {kSaveWireTraceText, QString::fromUtf8("&Save Wire Trace…")},
  };
  const auto it = kShown.find(text);
  return it == kShown.end() ? text : it->second;
}

QFont StatusFont(int pixel_size, bool bold = false) {
  QFont font("DejaVu Sans");
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

}  // namespace

CCorvaneDlg::CCorvaneDlg(const Options& options, QWidget* parent)
    : QMainWindow(parent), options_(options), devices_(clock_) {
  setWindowIcon(QIcon(QString::fromStdString(ImageResource(kAppIconImage))));
  central_ = new QWidget(this);
  central_->setFixedSize(ToQRect(MainWindow().client).size());
  central_->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  setCentralWidget(central_);

  // The skin background; without it the tool cannot show itself.
  if (!LoadSkin(page_background_, page_background_name_, "Back.bmp") ||
      !LoadSkin(start_background_, start_background_name_, "Back.bmp")) {
    ok_ = false;
    return;
  }

  if (options_.hid_demo) {
    devices_.UseNothing();
    hid_devices_.UseVirtual(*options_.hid_demo);
  } else {
    devices_.Use(options_.demo);
    if (options_.demo) {
      hid_devices_.UseNone();
    } else if (!options_.hid_socket.isEmpty()) {
      hid_devices_.UseSocket(options_.hid_socket.toStdString());
    } else {
      hid_devices_.UseHardware();
    }
  }
  tool_ = std::make_unique<Tool>(*this, clock_, timers_, devices_.port(), &devices_.enumerator(),
                                 &hid_devices_, TESSEL_VERSION);
  tool_->KeepHistory(options_.history_folder.isEmpty() ? HistoryFolder()
                                                      : options_.history_folder.toStdString());
  // The desktop tool always keeps the last lines of the trace; --trace also writes each one.
  if (auto file = options_.trace_file) {
    // The header goes at once: a file that cannot take it stops the tool before it sends
    // anything; one that fills up later is said on the status line, once.
    auto opened = std::make_shared<bool>(false);
    tool_->trace().SetSink([this, file, opened](const std::string& line) {
      if (file->failed() || file->Write(line) || !*opened) return;
      ReportFailure("Wire trace: the --trace file cannot be written (" + file->error() +
                    "); it stops here. Help › Save Wire Trace still keeps the last lines.");
    });
    if (file->failed()) trace_error_ = file->error();
    *opened = true;
  }
  timers_.SetHandler([this](int id) {
    tool_->OnTimer(id);
    UpdateStatus();
    RestWhileUnplugged();
  });

  BuildMenu();
  BuildButtons();
  BuildPages();
  progress_ = new CEscProcessDlg(this);

  if (options_.hotplug) {
    hotplug_monitor_ = std::make_unique<SerialHotplugMonitor>(devices_.system_ports());
    hotplug_watcher_ = std::make_unique<SerialHotplugWatcher>(
        *hotplug_monitor_,
        [this](const PortEvent& e) { OnPortEvent(e.change == PortChange::kArrived, e.device); });
    hid_hotplug_monitor_ = std::make_unique<HidHotplugMonitor>();
    hid_hotplug_watcher_ = std::make_unique<HidHotplugWatcher>(
        *hid_hotplug_monitor_, [this](const HidEvent& e) { OnHidEvent(e); });
  }
  // The virtual and socket HID adapters report their own plugging and pulling; a socket
  // adapter is also looked for here while its server is not there.
  hid_poll_ = new QTimer(this);
  hid_poll_->setInterval(500);
  connect(hid_poll_, &QTimer::timeout, this, [this] { tool_->PumpHidEvents(); });
  UpdateHidPoll();
  qApp->installEventFilter(this);
  // Dialogs open over this window, never wider than it.
  qApp->installEventFilter(new WindowPlacer(*this));

  // Start-up: no page, the first ESC found is read at once.
  tool_->Start();
  UpdateTitle();
  UpdateStatus();
  setFixedSize(sizeHint());
}

CCorvaneDlg::~CCorvaneDlg() {
  qApp->removeEventFilter(this);
  timers_.StopAll();
  hid_hotplug_watcher_.reset();
  hid_hotplug_monitor_.reset();
  hotplug_watcher_.reset();
  hotplug_monitor_.reset();
}

bool CCorvaneDlg::LoadSkin(QPixmap& pixmap, QString& name, const QString& file) {
  const QString path = options_.skin_folder + "/" + file;
  QPixmap loaded;
  if (!loaded.load(path)) {
    std::fprintf(stderr, "tesselarc: cannot load the skin picture %s\n",
                 path.toLocal8Bit().constData());
    return false;
  }
  pixmap = loaded;
  name = file;
  return true;
}

void CCorvaneDlg::BuildMenu() {
  // Commands that cannot act now are greyed (UpdateStatus); their shortcuts then do nothing.
  // After the command (and any window it opens) the keyboard is back where it was.
  auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, auto&& action) {
    QAction* a = menu->addAction(WithMnemonic(text));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, [this] { tool_->UserActed(); });
    connect(a, &QAction::triggered, this, [this, action] {
      const FocusReturnScope keep(focus_return_);
      action();
    });
    commands_[text] = a;
    return a;
  };
  QMenu* file = menuBar()->addMenu("&File");
  add(file, kImportText, QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
    tool_->ImportFile();
    UpdateStatus();
  });
  add(file, kExportText, QKeySequence(Qt::CTRL | Qt::Key_S), [this] {
    tool_->ExportFile();
    UpdateStatus();
  });
  add(file, kCompareWithFileText, QKeySequence(), [this] {
    CompareWithFile(*this);
    UpdateStatus();
  });
  file->addSeparator();
  add(file, "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });

  QMenu* device = menuBar()->addMenu("&Device");
  add(device, kReadFromEscText, QKeySequence(Qt::Key_F5), [this] { OnReadFromEsc(); });
  add(device, kUndoLastSendText, QKeySequence(), [this] {
    tool_->UndoLastSend();
    UpdateStatus();
  });
  device->addSeparator();
  add(device, kResetDefaultText, QKeySequence(), [this] { OnResetDefault(); });
  // The program-box modes belong to the HID adapter; on the serial adapter they do nothing.
  add(device, "ESC Speed Controller", QKeySequence(), [this] {
    tool_->EnterEscMode();
    UpdateStatus();
  });
  add(device, "LCD Program Box", QKeySequence(), [this] {
    tool_->EnterLcdMode();
    UpdateStatus();
  });
  device->addSeparator();
  verifier_ = new SendVerifier(*this, *add(device, kVerifyAfterSendingText, QKeySequence(), [] {}));
  for (QMenu* menu : {file, device}) {
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateStatus(); });
  }

  QMenu* demo = menuBar()->addMenu("Demo&Mode");
  demo_group_ = new QActionGroup(this);
  auto add_demo = [&](const QString& text, int key, std::optional<EscVariant> variant) {
    QAction* a = demo->addAction(WithMnemonic(text));
    a->setCheckable(true);
    demo_group_->addAction(a);
    demo_actions_[key] = a;
    connect(a, &QAction::triggered, this, [this] { tool_->UserActed(); });
    connect(a, &QAction::triggered, this, [this, variant] { SetDemo(variant); });
  };
  add_demo("USB programming adapter", 0, std::nullopt);
  demo->addSeparator();
  auto add_hid_demo = [&](const QString& text, int key, HidDeviceKind kind) {
    QAction* a = demo->addAction(WithMnemonic(text));
    a->setCheckable(true);
    demo_group_->addAction(a);
    demo_actions_[key] = a;
    connect(a, &QAction::triggered, this, [this] { tool_->UserActed(); });
    connect(a, &QAction::triggered, this, [this, kind] { SetHidDemo(kind); });
  };
  for (const DemoKind& k : DemoKinds()) {
    const int place = DemoKindPlace(k);
    if (!k.hid) {
      add_demo(k.title, 1 + place, static_cast<EscVariant>(place));
      continue;
    }
    if (place == 0) demo->addSeparator();
    add_hid_demo(k.title, 4 + place, static_cast<HidDeviceKind>(place));
  }
  // One item only: a group does not uncheck an item that was checked before it joined.
  CheckDemoItem(options_.hid_demo ? std::nullopt : options_.demo, options_.hid_demo);

  QMenu* help = menuBar()->addMenu("&Help");
  add(help, "help", QKeySequence(QKeySequence::HelpContents), [this] {
    if (UpdatePausedBy("help")) return;
    CHelpDlg dialog(this);
    dialog.exec();
  });
  add(help, kSaveWireTraceText, QKeySequence(), [this] {
    if (UpdatePausedBy("saving the wire trace")) return;
    if (const auto saved = SaveWireTrace(this, tool_->trace())) {
      ReportOutcome("Wire trace saved to " + saved->toStdString());
    }
  });
  help->addSeparator();
  connect(help->addAction("&About Merrow..."), &QAction::triggered, this, [this] {
    if (UpdatePausedBy("the About window")) return;
    const FocusReturnScope keep(focus_return_);
    CAboutDlg about(this);
    about.exec();
  });
}

void CCorvaneDlg::BuildButtons() {
  auto busy = [this] { return tool_->IsBusy(); };
  SessionStatus& status = session().status;
  for (const PageButtonLayout& b : MainWindow().page_buttons) {
    auto* button = new CCownerDrawBton(b.id, status, busy, central_);
    button->setObjectName(QString("button_%1").arg(b.id));
    button->setGeometry(ToQRect(b.rect));
    button->setFocusPolicy(Qt::StrongFocus);  // Tab walks the row; Enter or Space presses
    buttons_[b.id] = button;
    if (b.id == 1007) {
      button->setToolTip("Apply: send the settings to the ESC");
      connect(button, &QAbstractButton::clicked, this, [this] { OnApply(); });
    } else if (b.id == 1008) {
      button->setToolTip("Default: send the factory settings to the ESC");
      connect(button, &QAbstractButton::clicked, this, [this] { OnDefault(); });
    } else {
      const int id = b.id;
      connect(button, &QAbstractButton::clicked, this, [this, id] { OnPageButton(id); });
    }
  }
  for (const ControlRect* c : {&MainWindow().esc_indicator, &MainWindow().usb_indicator}) {
    auto* indicator = new CCownerDrawBton(c->id, status, busy, central_);
    indicator->setObjectName(QString("indicator_%1").arg(c->id));
    indicator->setGeometry(ToQRect(c->rect));
    buttons_[c->id] = indicator;
  }
  auto label = [&](const ControlRect& c, const char* text) {
    auto* l = new QLabel(text, central_);
    l->setGeometry(ToQRect(c.rect));
    l->setAlignment(Qt::AlignCenter);
    l->setStyleSheet("QLabel { color: white; background: transparent; }");
    l->hide();
    return l;
  };
  esc_label_ = label(MainWindow().esc_label, "ESC");
  usb_label_ = label(MainWindow().usb_label, "USB");

  status_line_ = new QLabel(central_);
  status_line_->setObjectName("status_line");
  status_line_->setGeometry(ToQRect(MainWindow().status_line));
  status_line_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  status_line_->setIndent(10);
  status_line_->setFont(StatusFont(kValueFontPx));
  status_line_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CCorvaneDlg::BuildPages() {
  page_area_ = new QWidget(central_);
  page_area_->setGeometry(ToQRect(MainWindow().page_area));
  page_area_->setAttribute(Qt::WA_NoSystemBackground);
  // What the empty page area says; every page covers it.
  page_hint_ = new QLabel(page_area_);
  page_hint_->setObjectName("page_hint");
  page_hint_->setGeometry(QRect(QPoint(0, 0), page_area_->size()).adjusted(8, 0, -8, -12));
  page_hint_->setAlignment(Qt::AlignCenter);
  page_hint_->setFont([] {
    QFont font("DejaVu Sans Condensed");
    font.setPixelSize(13);
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    return font;
  }());
  page_hint_->setStyleSheet(QString("QLabel { color: %1; background: transparent; }")
                                .arg(kHintColour.name()));
  page_hint_->setAttribute(Qt::WA_TransparentForMouseEvents);
  PageContext context{*tool_, options_.skin_folder};
  pages_ = CreateEditingPages(context, page_area_);
  data_page_ = new CData(context, page_area_);
  for (CSettingsPage* p : pages_) p->hide();
  data_page_->hide();
  info_page_ = new CFirmware(*tool_, options_.skin_folder, page_area_);
  info_page_->hide();
  // The V1 dialog covers the row of page buttons when it shows.
  v1_dlg_ = new CV1Dlg(*tool_, options_.skin_folder, central_);
  v1_dlg_->setGeometry(ToQRect(MainWindow().v1_area));
  v1_dlg_->hide();
  // The page buttons come back as the editor goes, not on the next tick.
  for (CCurveEditor* editor : page_area_->findChildren<CCurveEditor*>()) {
    connect(editor, &CCurveEditor::closed, this, [this] { UpdateStatus(); });
  }
}

CSettingsPage* CCorvaneDlg::page(int32_t page_id) const {
  for (CSettingsPage* p : pages_) {
    if (p->page_id() == page_id) return p;
  }
  return nullptr;
}

CCownerDrawBton* CCorvaneDlg::button(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

void CCorvaneDlg::UpdateTitle() {
  setWindowTitle(QString::fromStdString(tool_->Title(devices_.demo() || hid_devices_.demo())));
}

void CCorvaneDlg::SetDemo(std::optional<EscVariant> variant) {
  SwitchDevices(variant, std::nullopt);
}

void CCorvaneDlg::CheckDemoItem(std::optional<EscVariant> serial,
                                std::optional<HidDeviceKind> hid) {
  int key = 0;
  if (hid) {
    key = 4 + static_cast<int>(*hid);
  } else if (serial) {
    key = *serial == EscVariant::kFull ? 1 : (*serial == EscVariant::kV1 ? 2 : 3);
  }
  if (demo_actions_.count(key)) demo_actions_[key]->setChecked(true);
}

void CCorvaneDlg::SetHidDemo(HidDeviceKind kind) {
  SwitchDevices(std::nullopt, kind);
}

void CCorvaneDlg::SwitchDevices(std::optional<EscVariant> serial,
                                std::optional<HidDeviceKind> hid) {
  if (session().status.update_running) return;
  // Changes not yet sent belong to the device being left.
  if (const auto question = tool_->LeaveQuestion("Switching the device")) {
    if (Ask(*question) != Answer::kOk) {
      CheckDemoItem(devices_.demo(), hid_devices_.demo());
      return;
    }
  }
  tool_->SwapDevices(hid.has_value(), [&] {
    if (hid) {
      devices_.UseNothing();
      hid_devices_.UseVirtual(*hid);
    } else {
      devices_.Use(serial);
      if (serial) {
        hid_devices_.UseNone();
      } else if (!options_.hid_socket.isEmpty()) {
        hid_devices_.UseSocket(options_.hid_socket.toStdString());
      } else {
        hid_devices_.UseHardware();
      }
    }
  });
  CheckDemoItem(serial, hid);
  UpdateHidPoll();
  UpdateTitle();
}

void CCorvaneDlg::OnHidEvent(const HidEvent& event) {
  if (hid_devices_.target() != HidSwitch::Target::kHardware) return;
  tool_->OnHidEvent(event.arrived, event.path);
}

void CCorvaneDlg::UpdateHidPoll() {
  const HidSwitch::Target target = hid_devices_.target();
  if (target == HidSwitch::Target::kSocket || target == HidSwitch::Target::kVirtual) {
    if (!hid_poll_->isActive()) hid_poll_->start();
  } else {
    hid_poll_->stop();
  }
}

bool CCorvaneDlg::hotplug_events() const {
  return hotplug_monitor_ && hotplug_monitor_->event_driven() && hid_hotplug_monitor_ &&
         hid_hotplug_monitor_->event_driven();
}

void CCorvaneDlg::RestWhileUnplugged() {
  tool_->RestWhileUnplugged(
      hotplug_monitor_ && hotplug_monitor_->event_driven() && !devices_.virtual_port(),
      hid_hotplug_monitor_ && hid_hotplug_monitor_->event_driven() &&
          hid_devices_.target() == HidSwitch::Target::kHardware);
}

void CCorvaneDlg::OnPortEvent(bool arrived, const std::string& device) {
  if (devices_.demo()) return;  // the virtual ESC does not come and go with USB ports
  tool_->OnSerialPortEvent(arrived, device);
}

void CCorvaneDlg::SetButtonsVisible(bool page_buttons, bool info_button) {
  for (const PageButtonLayout& b : MainWindow().page_buttons) {
    if (b.id == 1000) {
      buttons_[b.id]->setVisible(info_button);
    } else {
      buttons_[b.id]->setVisible(page_buttons);
    }
  }
}

void CCorvaneDlg::ShowPage(int32_t page) {
  SessionStatus& s = session().status;
  if (s.curve_editor_open) return;
  if (!s.lcd_box_connected && s.shown_page == s.requested_page) return;
  bool connected = false;
  if (s.link_kind == kLinkHid) {
    connected = s.HidConnected();
  } else {
    connected = s.SerialConnected();
    if (!connected) s.device_class = kDeviceUnknown;
  }
  auto hide_pages = [&] {
    for (CSettingsPage* p : pages_) p->hide();
    data_page_->hide();
    if (info_page_) info_page_->hide();
  };
  auto widget_for = [&](int32_t id) -> QWidget* {
    if (id == kPageData) return data_page_;
    if (id == kPageInformation) return info_page_;
    return this->page(id);
  };
  if (connected || s.lcd_box_connected) {
    if (s.device_class == kDeviceV1) {
      SetButtonsVisible(false, false);
      hide_pages();
      v1_dlg_->show();
      v1_dlg_->raise();
      v1_dlg_->update();
    } else if (s.device_class == kDeviceFull) {
      v1_dlg_->hide();
      SetButtonsVisible(!s.lcd_box_connected, true);
      hide_pages();
      ShowIndicators(true);
      MarkSkinsForRenewal();
      ClearHelp();
      UpdateMenuBitmaps();
      buttons_[1104]->update();
      if (QWidget* w = widget_for(page)) {
        w->show();
        w->raise();
      }
      if (s.shown_page != page) {
        if (QWidget* old = widget_for(s.shown_page)) old->hide();
      }
      for (const PageButtonLayout& b : MainWindow().page_buttons) buttons_[b.id]->update();
      update();
      return;
    }
  } else {
    if (!s.lcd_box_connected) SetButtonsVisible(true, true);
    buttons_[1000]->show();
    hide_pages();
    ShowIndicators(true);
    MarkSkinsForRenewal();
    UpdateMenuBitmaps();
    ClearHelp();
    buttons_[1104]->update();
  }
  buttons_[1105]->update();
  update();
}

void CCorvaneDlg::OnPageButton(int id) {
  if (!tool_->PressButton(static_cast<ButtonId>(id))) return;
  MarkSkinsForRenewal();
  UpdateMenuBitmaps();
  RefreshMainWindow();
  info_page_->RefreshDeviceView();
  info_page_->update();
}

// The page's controls as the page button leaves them, before the page shows.
void CCorvaneDlg::OpeningPage(int32_t page) {
  if (page == kPageInformation || page == kPageGeneral) ShowIndicators(false);
  ClearHelp();
  if (CSettingsPage* p = this->page(page)) {
    if (page == kPageBoost) {
      p->HideAllControls();
    } else {
      p->HideDropLists();
    }
    if ((page == kPageThrottle || page == kPageBrake || page == kPageBoost) && !p->EditorOpen()) {
      p->ShowValueBoxes();
    }
  } else if (page == kPageData) {
    data_page_->ShowValueBoxes();
  }
}

void CCorvaneDlg::OnApply() {
  ClearHelp();
  if (tool_->PressButton(ButtonId::kApply)) buttons_[1007]->update();
}

void CCorvaneDlg::OnDefault() {
  ClearHelp();
  if (tool_->PressButton(ButtonId::kDefault)) buttons_[1008]->update();
}

void CCorvaneDlg::OnResetDefault() {
  ClearHelp();
  tool_->ResetDefault();
  UpdateStatus();
}

void CCorvaneDlg::OnReadFromEsc() {
  ClearHelp();
  tool_->ReadFromEsc();
  UpdateStatus();
}

QAction* CCorvaneDlg::command(const QString& text) const {
  auto it = commands_.find(text);
  return it == commands_.end() ? nullptr : it->second;
}

void CCorvaneDlg::UpdateStatus() {
  if (!tool_ || !status_line_) return;
  tool_->Refresh();
  const QString text = QString::fromStdString(tool_->status_line().text());
  const bool failure = tool_->status_line().showing_failure();
  if (text != shown_status_ || failure != shown_failure_) {
    shown_status_ = text;
    shown_failure_ = failure;
    status_line_->setStyleSheet(QString("QLabel { color: %1; background: transparent; }")
                                    .arg((failure ? kFailureColour : kStatusColour).name()));
    // One line, whole: a smaller font before anything is left out; only a very long file
    // name loses its middle, and the tool tip keeps all of it.
    const QFont base = StatusFont(kValueFontPx, failure);
    const int room = LabelTextRoom(*status_line_) - status_line_->indent();
    const int px = FittingPixelSize(base, {text}, room, kValueFontPx, 9);
    QFont font = base;
    font.setPixelSize(px);
    status_line_->setFont(font);
    status_line_->setText(QFontMetrics(font).elidedText(text, Qt::ElideMiddle, room));
    status_line_->setToolTip(text);
    // A screen reader reads the whole line out as it changes.
    status_line_->setAccessibleName(text);
    Announce(status_line_, QAccessible::NameChanged);
    Announce(status_line_, QAccessible::Alert);
  }
  page_hint_->setText(QString::fromStdString(tool_->page_hint()));
  UpdateTitle();

  // Commands and buttons that cannot act are greyed rather than silently ignored.
  const Tool::Commands can = tool_->commands();
  auto enable = [this](const char* text, bool on) {
    if (QAction* a = command(text)) a->setEnabled(on);
  };
  enable(kImportText, can.import_export);
  enable(kExportText, can.import_export);
  enable(kCompareWithFileText, can.import_export);
  enable(kReadFromEscText, can.read);
  enable(kUndoLastSendText, tool_->CanUndo());
  enable(kResetDefaultText, can.reset_default);
  enable("ESC Speed Controller", can.esc_mode);
  enable("LCD Program Box", can.lcd_mode);
  if (demo_group_) demo_group_->setEnabled(can.demo);
  for (const PageButtonLayout& b : MainWindow().page_buttons) {
    buttons_[b.id]->setEnabled(b.id == 1000 ? can.information : can.pages);
  }
  // A button greyed for a transfer gets the keyboard back once the transfer is over.
  const auto up = [](const QWidget* w) { return w != nullptr && w->isVisible(); };
  if (focus_return_.kept() != nullptr && !up(progress_) && !up(failure_notice_) &&
      !up(close_notice_) && !up(adapter_notice_)) {
    focus_return_.GiveBack();
  }
}

void CCorvaneDlg::NoticePending() {
  if (notice_queued_) return;
  // Shown once the engine's step has returned, so that a question it asks next can speak for
  // the failure instead.
  notice_queued_ = true;
  QTimer::singleShot(0, this, [this] {
    notice_queued_ = false;
    ShowFailureNotice();
  });
}

bool CCorvaneDlg::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    // The buttons a click lands on are judged by the state at the click, not by the last tick.
    tool_->UserActed();
    focus_return_.Forget();  // the user has moved on
    UpdateStatus();
  }
  return QMainWindow::eventFilter(watched, event);
}

void CCorvaneDlg::ShowFailureNotice() {
  const std::string text = tool_->TakeNotice();
  // A box already open speaks for the failure.
  if (text.empty() || QApplication::activeModalWidget() != nullptr) return;
  if (!failure_notice_) {
    failure_notice_ =
        new QMessageBox(QMessageBox::Warning, kTitle, QString(), QMessageBox::Ok, this);
    failure_notice_->setObjectName("failure_notice");
    failure_notice_->setModal(false);
    failure_notice_->setWindowModality(Qt::NonModal);
    connect(failure_notice_, &QMessageBox::finished, this, [this] { focus_return_.GiveBack(); });
  }
  failure_notice_->setText(QString::fromStdString(text));
  if (!failure_notice_->isVisible()) focus_return_.Keep();
  failure_notice_->show();
  failure_notice_->raise();
}

void CCorvaneDlg::ClearHelp() {
  for (CSettingsPage* p : pages_) p->ClearHelp();
}

void CCorvaneDlg::ShowIndicators(bool show) {
  if (show) {
    buttons_[1104]->show();
    buttons_[1105]->show();
    return;
  }
  if (session().status.device_class == kDeviceFull) return;
  esc_label_->hide();
  usb_label_->hide();
  buttons_[1104]->hide();
  buttons_[1105]->hide();
}

void CCorvaneDlg::UpdateMenuBitmaps() {
  if (!skins_marked_) return;
  skins_marked_ = false;
  SessionStatus& s = session().status;
  auto by_class = [&] {
    if (s.device_class == kDeviceV1) return QString("V1Menu.bmp");
    if (s.device_class == kDeviceFull) return QString("V3Menu.bmp");
    return QString("Back.bmp");
  };
  QString page_file = "Back.bmp";
  QString start_file = "Back.bmp";
  if (s.link_kind == kLinkSerial || s.link_kind == kLinkHid) {
    const bool connected = s.link_kind == kLinkSerial ? s.SerialConnected() : s.HidConnected();
    if (connected) {
      page_file = by_class();
    } else if (s.lcd_box_connected) {
      page_file = "V3Menu.bmp";
    } else {
      s.update_running = false;
    }
    const bool start_connected = s.link_kind == kLinkSerial
                                     ? connected
                                     : (s.adapter_state != kAdapterNone && s.esc_state != kEscNone);
    if (start_connected) start_file = by_class();
  }
  if ((page_file != page_background_name_ &&
       !LoadSkin(page_background_, page_background_name_, page_file)) ||
      (start_file != start_background_name_ &&
       !LoadSkin(start_background_, start_background_name_, start_file))) {
    close();
    return;
  }
  update();
}

void CCorvaneDlg::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QPixmap& bg =
      tool_ && session().status.page_shown ? page_background_ : start_background_;
  painter.drawPixmap(central_->geometry().topLeft(), bg);
}

// The serial update dispatches window messages from its own loop: a modal window opened from
// there would hold the transfer until it closed. Such commands wait for the update's end.
bool CCorvaneDlg::UpdatePausedBy(const std::string& what) {
  return tool_->RefuseDuringUpdate(what);
}

bool CCorvaneDlg::MayClose() {
  // The serial update dispatches this close from its own loop: a modal box here would hold
  // the transfer while the ESC's loader times out, so a refusal comes as a notice.
  const CloseVerdict verdict = tool_->MayClose();
  if (verdict.refused) {
    if (!close_notice_) {
      close_notice_ = new QMessageBox(QMessageBox::Warning, "Firmware update",
                                      QString::fromStdString(verdict.refusal), QMessageBox::Ok,
                                      this);
      close_notice_->setObjectName("close_notice");
      close_notice_->setModal(false);
      close_notice_->setWindowModality(Qt::NonModal);
      connect(close_notice_, &QMessageBox::finished, this, [this] { focus_return_.GiveBack(); });
    }
    if (!close_notice_->isVisible()) focus_return_.Keep();
    close_notice_->show();
    close_notice_->raise();
    return false;
  }
  if (!verdict.question) return true;
  if (!verdict.lapses_with_transfer) return Ask(*verdict.question) == Answer::kOk;
  // The question goes away by itself when the send ends: there is nothing left to cut short,
  // and the window closes as asked. "Keep sending" pressed before that keeps it open.
  bool lapsed = false;
  QTimer watch;
  watch.setInterval(50);
  connect(&watch, &QTimer::timeout, this, [this, &lapsed] {
    if (CurrentActivity(session().status) == Activity::kSending) return;
    lapsed = true;
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->reject();
  });
  watch.start();
  const Answer answer = Ask(*verdict.question);
  watch.stop();
  return answer == Answer::kOk || lapsed;
}

void CCorvaneDlg::closeEvent(QCloseEvent* event) {
  if (!MayClose()) {
    event->ignore();
    return;
  }
  // Nothing ticks on after the window has gone: the timers stop and the adapters let go.
  timers_.StopAll();
  hid_poll_->stop();
  if (HidEngine* hid = tool_->hid()) hid->HidClose();
  progress_->Close();
  QMainWindow::closeEvent(event);
}

void CCorvaneDlg::ShowNotice(const std::string& text) {
  // One box at a time: a second refused adapter replaces the text of the first.
  if (!adapter_notice_) {
    adapter_notice_ = new QMessageBox(QMessageBox::Warning, "USB adapter", QString(),
                                      QMessageBox::Ok, this);
    adapter_notice_->setObjectName("adapter_notice");
    adapter_notice_->setModal(false);
    adapter_notice_->setWindowModality(Qt::NonModal);
    connect(adapter_notice_, &QMessageBox::finished, this, [this] { focus_return_.GiveBack(); });
  }
  adapter_notice_->setText(QString::fromStdString(text));
  if (!adapter_notice_->isVisible()) focus_return_.Keep();
  adapter_notice_->show();
  adapter_notice_->raise();
}

Answer CCorvaneDlg::Ask(const Question& question) {
  const std::string& text = question.text;
  const std::string& caption = question.caption;
  const Buttons buttons = question.buttons;
  const std::string& detail = question.detail;
  const std::optional<Answer>& default_answer = question.default_answer;
  QMessageBox::StandardButtons set = QMessageBox::Ok;
  switch (buttons) {
    case Buttons::kOk:
      set = QMessageBox::Ok;
      break;
    case Buttons::kOkCancel:
      set = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case Buttons::kYesNo:
      set = QMessageBox::Yes | QMessageBox::No;
      break;
    case Buttons::kYesNoCancel:
    case Buttons::kReadSendCancel:
      set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
  }
  // While the V1 dialog shows, the boxes belong to it.
  QWidget* owner = v1_dlg_ && v1_dlg_->isVisible() ? static_cast<QWidget*>(v1_dlg_) : this;
  const FocusReturnScope keep(focus_return_);
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), set, owner);
  if (buttons == Buttons::kReadSendCancel) {
    box.button(QMessageBox::Yes)->setText(QObject::tr("Read again"));
    box.button(QMessageBox::No)->setText(QObject::tr("Send anyway"));
  }
  // The question's own words for its buttons, in their order.
  std::vector<QMessageBox::StandardButton> order;
  for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No,
                                        QMessageBox::Cancel}) {
    if (set & b) order.push_back(b);
  }
  for (size_t i = 0; i < question.choices.size() && i < order.size(); ++i) {
    box.button(order[i])->setText(QString::fromStdString(question.choices[i]));
  }
  if (!detail.empty()) {
    box.setInformativeText(QString::fromStdString(detail));
    // A file path in the detail would otherwise be folded into a narrow column.
    box.setStyleSheet("QLabel { min-width: 340px; }");
  }
  if (default_answer) {
    const QMessageBox::StandardButton b = *default_answer == Answer::kCancel ? QMessageBox::Cancel
                                          : *default_answer == Answer::kNo   ? QMessageBox::No
                                          : *default_answer == Answer::kYes  ? QMessageBox::Yes
                                                                             : QMessageBox::Ok;
    if (box.button(b) != nullptr) box.setDefaultButton(b);
  }
  const int result = box.exec();
  switch (result) {
    case QMessageBox::Ok:
      return Answer::kOk;
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
}

std::optional<std::string> CCorvaneDlg::ChooseFile(bool save, const std::string& filter) {
  // Settings files and firmware files each open where the last of their kind was chosen
  // (remembered between runs), else in the user's documents; never in the working folder.
  const QString kind = QString::fromStdString(filter).contains(".DATA", Qt::CaseInsensitive)
                           ? "settings"
                           : "firmware";
  QSettings settings("tesselarc", "tesselarc");
  const QString key = "folders/" + kind;
  QString folder = settings.value(key).toString();
  if (folder.isEmpty() || !QDir(folder).exists()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  }
  const FocusReturnScope keep(focus_return_);
  // The tool asks itself before it overwrites a file.
  const QString path =
      save ? QFileDialog::getSaveFileName(this, QString(), folder, QtFileFilter(filter), nullptr,
                                          QFileDialog::DontConfirmOverwrite)
           : QFileDialog::getOpenFileName(this, QString(), folder, QtFileFilter(filter));
  if (path.isEmpty()) return std::nullopt;
  settings.setValue(key, QFileInfo(path).absolutePath());
  return path.toStdString();
}

std::optional<std::string> CCorvaneDlg::ChooseOpenFile(const std::string& filter) {
  return ChooseFile(false, filter);
}

std::optional<std::string> CCorvaneDlg::ChooseSaveFile(const std::string& filter) {
  return ChooseFile(true, filter);
}

void CCorvaneDlg::ProgressChanged() {
  const ProgressModel& p = tool_->progress();
  progress_->SetCaption(QString::fromStdString(p.caption));
  progress_->SetProgress(p.total, p.done);
  if (p.shown && !progress_->isVisible()) {
    focus_return_.Keep();
    progress_->Place();
    progress_->show();
  } else if (!p.shown && progress_->isVisible()) {
    progress_->Close();
    focus_return_.GiveBack();
  }
}

void CCorvaneDlg::Beep() {
  QApplication::beep();
}

void CCorvaneDlg::RefreshMainWindow() {
  // The pictures follow the connection: a detected ESC brings its own skin.
  MarkSkinsForRenewal();
  UpdateMenuBitmaps();
  UpdateStatus();
  update();
}

void CCorvaneDlg::RedrawButtons() {
  for (auto& [id, b] : buttons_) b->update();
  v1_dlg_->RedrawIndicators();
}

void CCorvaneDlg::RedrawIndicators() {
  buttons_[1104]->update();
  buttons_[1105]->update();
  for (CSettingsPage* p : pages_) p->RedrawIndicators();
  data_page_->RedrawIndicators();
  v1_dlg_->RedrawIndicators();
}

void CCorvaneDlg::HideSimpleDialog() {
  v1_dlg_->hide();
}

void CCorvaneDlg::Changed() {
  if (!tool_ || pages_.empty()) return;
  for (CSettingsPage* p : pages_) p->Render();
  data_page_->ShowLoggedData();
  v1_dlg_->Render();
  const InfoModel& info = tool_->info();
  esc_label_->setText(QString::fromStdString(info.esc_label));
  usb_label_->setText(QString::fromStdString(info.usb_label));
  UpdateStatus();
}

void CCorvaneDlg::ShowSoftwareVersion() {
  info_page_->ShowSoftwareVersion();
}

void CCorvaneDlg::RefreshDeviceView() {
  info_page_->RefreshDeviceView();
}

void CCorvaneDlg::HideVersionFields() {
  info_page_->HideVersionFields();
}

void CCorvaneDlg::ShowHardwareText() {
  info_page_->SetHardwareText(QString::fromStdString(tool_->info().hardware));
}

void CCorvaneDlg::ShowEscControls(bool show) {
  // The information page is all the LCD program box has.
  SetButtonsVisible(show, true);
}

void CCorvaneDlg::ProcessEvents() {
  QCoreApplication::processEvents();
}

}  // namespace tessel
