#include "gui/firmware/firmware_page.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QTextEdit>

#include "gui/app/layout.h"
#include "gui/app/skin.h"
#include "gui/app/text_fit.h"
#include "gui/pages/settings_page.h"

namespace tessel {

namespace {

constexpr const char* kEscBackground = "b3.bmp";
constexpr const char* kLcdBackground = "b2.bmp";

const char* const kValueBoxStyle =
    "QLineEdit { background: transparent; border: none; color: black; }";
const char* const kHelpStyle = "QTextEdit { background: transparent; border: none; color: white; }";

const QColor kAccent(0x36, 0xc2, 0xb0);

}  // namespace

CFirmware::CFirmware(Tool& tool, const QString& skin_folder, QWidget* parent)
    : QWidget(parent), tool_(tool), session_(tool.session()), skin_folder_(skin_folder) {
  setObjectName("information");
  setFixedSize(ToQRect(kPageRect).size());
  const InfoPageLayout& layout = InfoPage();

  // The version selection of the template is never shown; its entries still travel from the
  // combo to the list when the page opens.
  version_combo_ = new QComboBox(this);
  version_combo_->setObjectName("combo_1147");
  for (const char* v :
       {"V1.1 KVR", "V1.2 KVR", "V1.3 KVR", "V1.4 KVR", "V1.5 KVR", "V1.6 KVR", "V1.7 KVR"}) {
    version_combo_->addItem(v);
  }
  version_combo_->hide();
  version_list_ = new QListWidget(this);
  version_list_->setObjectName("list_1069");
  version_list_->setFont(ValueFont());
  version_list_->hide();

  auto make_box = [this](const ControlRect& c) {
    auto* box = new ValueBox(this);
    box->setObjectName(QString("value_%1").arg(c.id));
    box->setGeometry(ToQRect(c.rect));
    box->setReadOnly(true);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setStyleSheet(kValueBoxStyle);
    box->setFont(ValueFont());
    box->setFocusPolicy(Qt::StrongFocus);  // Tab walks the fields and shows their help
    return box;
  };
  device_ = make_box(layout.device);
  hardware_ = make_box(layout.hardware);
  software_ = make_box(layout.software);
  device_->setAccessibleName("Device Type");
  hardware_->setAccessibleName("Hardware Version");
  software_->setAccessibleName("Software Version");
  connect(device_, &ValueBox::focused, this, [this] { SetHelp("Device Type"); });
  connect(hardware_, &ValueBox::focused, this, [this] { SetHelp("Hardware Version"); });
  connect(software_, &ValueBox::focused, this, [this] { SetHelp("Software Version"); });

  updata_ = new CCownerDrawBton(
      layout.updata.id, session_.status, [this] { return session_.IsBusy(); }, this);
  updata_->setObjectName("button_1034");
  updata_->setGeometry(ToQRect(layout.updata.rect));
  updata_->setToolTip("UpData: update the firmware of the ESC");
  updata_->setFocusPolicy(Qt::StrongFocus);
  connect(updata_, &QAbstractButton::clicked, this, [this] { OnUpData(); });

  help_ = new QTextEdit(this);
  help_->setObjectName("help_1035");
  help_->setGeometry(ToQRect(layout.help_box.rect));
  help_->setReadOnly(true);
  help_->setFrameStyle(QFrame::NoFrame);
  help_->setStyleSheet(kHelpStyle);
  help_->viewport()->setAutoFillBackground(false);
  help_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  help_->setFocusPolicy(Qt::StrongFocus);
  help_->setTabChangesFocus(true);
  help_->setAccessibleName("Help");
  connect(help_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
    help_->update();
    help_->setFocus();
  });
  connect(qApp, &QApplication::focusChanged, this, [this] { update(); });

  // What opening the page does.
  LoadBackground(kEscBackground);
  for (int i = 0; i < version_combo_->count(); ++i) {
    version_list_->addItem(version_combo_->itemText(i));
  }
  version_list_->setEnabled(true);
  version_list_->hide();
  device_text_ = QString::fromStdString(tool_.InfoDeviceText());
  hardware_text_ = QString::fromStdString(tool_.info().hardware);
  help_text_.clear();
  help_->show();
  RefreshControls();
}

QLineEdit* CFirmware::device_box() const {
  return device_;
}
QLineEdit* CFirmware::hardware_box() const {
  return hardware_;
}
QLineEdit* CFirmware::software_box() const {
  return software_;
}

void CFirmware::RefreshControls() {
  ShowValueText(*device_, device_text_);
  ShowValueText(*hardware_, hardware_text_);
  ShowValueText(*software_, software_text_);
  // Setting the same text again would scroll the help back to its top.
  if (help_->toPlainText() != help_text_) help_->setPlainText(help_text_);
}

void CFirmware::SetHelp(const QString& text) {
  help_text_ = text;
  RefreshControls();
  help_->hide();
  help_->show();
}

void CFirmware::LoadBackground(const QString& file) {
  if (file == background_file_ && !background_.isNull()) return;
  QPixmap loaded;
  // A picture that cannot be loaded leaves the one the page had.
  if (!loaded.load(skin_folder_ + "/" + file)) return;
  background_ = loaded;
  background_file_ = file;
  update();
}

void CFirmware::RefreshDeviceView() {
  device_->show();
  hardware_->show();
  device_text_ = QString::fromStdString(tool_.InfoDeviceText());
  const bool lcd = session_.status.lcd_box_connected;
  software_->setVisible(tool_.ShowsSoftwareField());
  const QString background = lcd ? kLcdBackground : kEscBackground;
  RefreshControls();
  LoadBackground(background);
}

void CFirmware::HideVersionFields() {
  device_->hide();
  hardware_->hide();
  software_->hide();
  version_list_->hide();
}

void CFirmware::SetHardwareText(const QString& text) {
  hardware_text_ = text;
  RefreshControls();
}

void CFirmware::ShowSoftwareVersion() {
  software_text_ = QString::fromStdString(session_.VersionText());
  software_->setEnabled(true);
  software_->update();
  RefreshControls();
}

void CFirmware::OnUpData() {
  version_list_->hide();
  tool_.UpdateFirmware(false);
  RefreshControls();
}

void CFirmware::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintSkin(painter, rect(), background_, SkinFit::kStretch);
  if (help_->hasFocus() && help_->isVisible()) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kAccent, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(help_->geometry()).adjusted(-2, -2, 2, 2), 4, 4);
  }
  if (updata_->hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kAccent, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(updata_->geometry()).adjusted(-2, -2, 2, 2), 4, 4);
  }
}

}  // namespace tessel
