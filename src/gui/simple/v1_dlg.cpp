#include "gui/simple/v1_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

#include "gui/app/announce.h"
#include "gui/app/layout.h"
#include "gui/app/skin.h"
#include "gui/app/text_fit.h"
#include "gui/firmware/firmware_page.h"

namespace tessel {

namespace {

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont LabelFont(int pixel_size) {
  QFont font("DejaVu Sans Condensed");
  font.setPixelSize(pixel_size);
  font.setBold(true);
  font.setStretch(QFont::Condensed);
  return font;
}

// Static texts are white on whatever the picture has under them.
const char* const kLabelStyle = "QLabel { color: #ffffff; background: transparent; }";
const char* const kListStyle =
    "QComboBox { background: #e9eef3; color: black; border: 1px solid #98a4b0;"
    " border-radius: 3px; padding: 0 4px; }"
    "QComboBox:focus { border: 1px solid #36c2b0; }"
    "QComboBox QAbstractItemView { background: #f4f7fa; color: black;"
    " selection-background-color: #36c2b0; selection-color: #10151a;"
    " border: 1px solid #3b434c; }";
const char* const kStatusStyle =
    "QLineEdit { background: transparent; border: none; color: black; }";

const QColor kAccent(0x36, 0xc2, 0xb0);

}  // namespace

CV1Dlg::CV1Dlg(Tool& tool, const QString& skin_folder, QWidget* parent)
    : QWidget(parent), tool_(tool) {
  setObjectName("v1_dialog");
  const V1DialogLayout& layout = V1Dialog();
  setFixedSize(ToQRect(layout.client).size());
  // Without its picture the dialog still works; it only looks plain.
  background_.load(skin_folder + "/V1.bmp");

  SessionStatus& status = tool_.session().status;
  auto busy = [this] { return tool_.IsBusy(); };
  auto make_label = [this](const ControlRect& c, const QString& text, int pixel_size,
                           Qt::Alignment align) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString("label_%1").arg(c.id));
    l->setGeometry(ToQRect(c.rect));
    l->setStyleSheet(kLabelStyle);
    l->setAlignment(align | Qt::AlignVCenter);
    l->setFont(LabelFont(pixel_size));
    return l;
  };

  const auto& defs = V1Settings();
  const int drop_px = DluToPxY(layout.list_drop_height);
  for (size_t i = 0; i < kV1SettingCount; ++i) {
    const V1SettingDef& def = defs[i];
    const V1SettingLayout& place = layout.settings[i];
    labels_[i] = make_label(place.label, Q(def.label), 12, Qt::AlignLeft);

    auto* list = new QComboBox(this);
    list->setObjectName(QString("list_%1").arg(def.list_id));
    list->setGeometry(ToQRect(place.list.rect));
    list->setStyleSheet(kListStyle);
    QStringList options;
    for (const std::string& option : def.options) options << QString::fromStdString(option);
    list->addItems(options);
    list->ensurePolished();
    // The columns are wide enough for every choice in the value font.
    list->setFont(ValueFont());
    list->view()->setFont(ValueFont());  // the open list is a window of its own
    const int row_px = list->view()->sizeHintForRow(0);
    list->setMaxVisibleItems(std::max(3, row_px > 0 ? drop_px / row_px : 6));
    lists_[i] = list;
    labels_[i]->setBuddy(list);  // a screen reader names the list by its label
    // A choice goes to the tool at once; the dialog's own drawing is no choice.
    connect(list, &QComboBox::currentIndexChanged, this, [this, i](int row) {
      if (!rendering_ && row >= 0) tool_.V1Choose(static_cast<int>(i), row);
    });
  }

  auto make_button = [&](const ControlRect& c, const char* tip) {
    auto* b = new CCownerDrawBton(c.id, status, busy, this);
    b->setObjectName(QString("button_%1").arg(c.id));
    b->setGeometry(ToQRect(c.rect));
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::StrongFocus);  // reachable with Tab; Enter or Space presses it
    return b;
  };
  read_ = make_button(layout.read, kV1ReadText);
  send_ = make_button(layout.send, kV1SendText);
  update_ = make_button(layout.update, kV1UpdateText);
  connect(read_, &QAbstractButton::clicked, this, [this] { tool_.V1Read(); });
  connect(send_, &QAbstractButton::clicked, this, [this] { tool_.V1Send(); });
  // The updater shows its progress and its end in the status line; its own checks decide
  // whether anything happens at all (no ESC, a transfer under way, a damaged file).
  connect(update_, &QAbstractButton::clicked, this, [this] { tool_.UpdateFirmware(true); });

  make_label(layout.control_label, "Settings Control", 12, Qt::AlignLeft);
  make_label(layout.connection, "Connection", 11, Qt::AlignLeft);
  make_label(layout.esc_caption, "ESC", 11, Qt::AlignHCenter);
  make_label(layout.usb_caption, "USB", 11, Qt::AlignHCenter);
  esc_indicator_ = new CCownerDrawBton(layout.esc_indicator.id, status, busy, this);
  esc_indicator_->setGeometry(ToQRect(layout.esc_indicator.rect));
  esc_indicator_->setObjectName("indicator_1104");
  usb_indicator_ = new CCownerDrawBton(layout.usb_indicator.id, status, busy, this);
  usb_indicator_->setGeometry(ToQRect(layout.usb_indicator.rect));
  usb_indicator_->setObjectName("indicator_1105");

  status_ = new QLineEdit(this);
  status_->setObjectName("status_1015");
  status_->setGeometry(ToQRect(layout.status.rect));
  status_->setFrame(false);
  status_->setReadOnly(true);
  status_->setMaxLength(kStatusMaxLength);
  status_->setAlignment(Qt::AlignCenter);
  status_->setFocusPolicy(Qt::NoFocus);
  status_->setStyleSheet(kStatusStyle);
  status_->setFont(ValueFont());
  status_->setAccessibleDescription("Status");

  // Tab goes down the dialog as it reads: the top row, the grid row by row, then the buttons.
  QWidget* previous = lists_[0];
  for (size_t i : {size_t{10}, size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{6},
                   size_t{7}, size_t{8}, size_t{9}}) {
    setTabOrder(previous, lists_[i]);
    previous = lists_[i];
  }
  setTabOrder(previous, read_);
  setTabOrder(read_, send_);
  setTabOrder(send_, update_);
  // The focus frame around a button is drawn by the dialog, under the button.
  connect(qApp, &QApplication::focusChanged, this, [this] { update(); });

  ShowBec(false);
  Render();
}

QString CV1Dlg::status_text() const {
  return status_->text();
}

void CV1Dlg::ShowBec(bool show) {
  const size_t bec = kV1SettingCount - 1;
  labels_[bec]->setVisible(show);
  lists_[bec]->setVisible(show);
}

void CV1Dlg::Render() {
  rendering_ = true;
  const auto& stored = tool_.pages().v1_selected();
  for (size_t i = 0; i < kV1SettingCount; ++i) {
    // An index the list does not have shows as an empty list.
    const int32_t s = stored[i];
    lists_[i]->setCurrentIndex(s >= 0 && s < lists_[i]->count() ? s : -1);
  }
  rendering_ = false;
  const int32_t variant = tool_.session().status.v1_block_variant;
  if (variant == kV1Block14) ShowBec(false);
  if (variant == kV1Block16) ShowBec(true);
  const QString text = QString::fromStdString(tool_.v1_status());
  if (text.left(kStatusMaxLength) != status_->text()) ShowStatus(text);
}

void CV1Dlg::ShowStatus(const QString& text) {
  status_->hide();
  const QString shown = text.left(kStatusMaxLength);
  // The line is narrow: a longer message takes a smaller font rather than losing its start.
  QFont font = ValueFont();
  const int room = status_->width() - 8;
  while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(shown) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  status_->setFont(font);
  status_->setText(shown);
  status_->setCursorPosition(0);
  status_->show();
  status_->repaint();
  // A screen reader reads the new status out.
  status_->setAccessibleName(shown);
  Announce(status_, QAccessible::Alert);
}

void CV1Dlg::RedrawIndicators() {
  esc_indicator_->update();
  usb_indicator_->update();
}

void CV1Dlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    usb_indicator_->setFocus(Qt::MouseFocusReason);
    tool_.V1Revert();
    Render();
  }
  QWidget::mousePressEvent(event);
}

void CV1Dlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintSkin(painter, rect(), background_, SkinFit::kUnscaled);
  for (CCownerDrawBton* b : {read_, send_, update_}) {
    if (!b->hasFocus()) continue;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kAccent, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(b->geometry()).adjusted(-2, -2, 2, 2), 4, 4);
  }
}

}  // namespace tessel
