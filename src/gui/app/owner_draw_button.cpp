#include "gui/app/owner_draw_button.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "gui/app/layout.h"

namespace tessel {

namespace {

struct PageImage {
  int id;
  int32_t page;
  int selected;
  int normal;
};

constexpr PageImage kPageImages[] = {
    {1000, kPageInformation, 166, 162}, {1001, kPageGeneral, 173, 141},
    {1002, kPageThrottle, 174, 160},    {1003, kPageBrake, 170, 137},
    {1004, kPageBoost, 169, 136},       {1005, kPageTurbo, 175, 129},
    {1006, kPageData, 171, 139},
};

}  // namespace

int ImageForButton(int id, bool pressed, const SessionStatus& s) {
  for (const PageImage& p : kPageImages) {
    if (p.id == id) return pressed || s.requested_page == p.page ? p.selected : p.normal;
  }
  const bool serial = s.link_kind == kLinkSerial;
  switch (id) {
    case 1007:
      return pressed || s.busy_button == kBusyApply ? 167 : 134;
    case 1008:
      return pressed || s.busy_button == kBusyDefault ? 172 : 140;
    case 1010:
      return 187;
    case 1012:
      return 186;
    case 1104:
      if (serial) return s.esc_state == kEscDetected ? 143 : 153;
      if (s.esc_state == kHidEscPresent) return 143;
      return s.lcd_box_connected ? 198 : 153;
    case 1105:
      if (serial) return s.adapter_state == kAdapterOpen || s.lcd_box_connected ? 196 : 197;
      return s.adapter_state == kHidAdapterGreeted ? 196 : 197;
    case 1039:
      return 154;
    case 1107:
      return 152;
    case 1106:
      return 138;
    case 1034:
      return 176;
    case 1213:
      return pressed ? 190 : 191;
    case 1024:
      return pressed ? 192 : 193;
    case 1025:
      return pressed ? 194 : 195;
    default:
      return 0;
  }
}

CCownerDrawBton::CCownerDrawBton(int id, SessionStatus& status, std::function<bool()> is_busy,
                                 QWidget* parent)
    : QAbstractButton(parent), id_(id), status_(status), is_busy_(std::move(is_busy)) {
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_NoSystemBackground);
}

QSize CCownerDrawBton::sizeHint() const {
  const ButtonImage* image = FindButtonImage(ImageForButton(id_, false, status_));
  return image ? QSize(image->width, image->height) : QSize(47, 47);
}

bool CCownerDrawBton::RecordPress() {
  if (is_busy_ && is_busy_()) return false;
  if (id_ >= 1000 && id_ <= 1006) {
    status_.requested_page = id_ - 999;
  } else if (id_ == 1007) {
    status_.busy_button = kBusyApply;
  } else if (id_ == 1008) {
    status_.busy_button = kBusyDefault;
  }
  return true;
}

void CCownerDrawBton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) RecordPress();
  QAbstractButton::mousePressEvent(event);
}

void CCownerDrawBton::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    RecordPress();
    if (event->key() != Qt::Key_Space) {
      click();
      return;
    }
  }
  QAbstractButton::keyPressEvent(event);
}

void CCownerDrawBton::paintEvent(QPaintEvent*) {
  const bool pressed = isDown();
  const bool page_button = id_ >= 1000 && id_ <= 1008;
  QPainter painter(this);
  // A busy tool keeps the picture a pressed page button had.
  if (!(pressed && page_button && is_busy_ && is_busy_())) {
    const int image = ImageForButton(id_, pressed, status_);
    if (image != last_image_ || last_pixmap_.isNull()) {
      last_image_ = image;
      last_pixmap_ = QPixmap(QString::fromStdString(ImageResource(image)));
    }
  }
  // The pictures are drawn for a larger size than most buttons show them at.
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // A button that cannot act now is drawn faded, so that it does not look merely broken.
  if (!isEnabled()) painter.setOpacity(0.35);
  if (!last_pixmap_.isNull()) painter.drawPixmap(rect(), last_pixmap_);
  painter.setOpacity(1.0);
  const bool curve_button = id_ == 1039 || id_ == 1106 || id_ == 1107;
  // The frame shows where the keyboard is, as styles draw focus: after Tab, not after a click.
  const bool keyboard_focus = hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange);
  if (keyboard_focus && (page_button || curve_button)) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 6, 6);
  }
}

}  // namespace tessel
