#include "gui/app/owner_draw_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "core/model/v1_settings.h"
#include "gui/app/announce.h"
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

SpokenButton SpokenForButton(int id, const SessionStatus& s) {
  switch (id) {
    case 1000:
      return {"Information page", ""};
    case 1001:
      return {"General page", ""};
    case 1002:
      return {"Throttle page", ""};
    case 1003:
      return {"Brake page", ""};
    case 1004:
      return {"Boost page", ""};
    case 1005:
      return {"Turbo page", ""};
    case 1006:
      return {"Data page", ""};
    case 1007:
      return {"Apply", "sends the pages to the ESC"};
    case 1008:
      return {"Default", "sends the factory settings to the ESC"};
    case 1010:
      return {"English", ""};
    case 1012:
      return {"Chinese", ""};
    case 1039:
      return {"Reset", "back to the default curve"};
    case 1107:
      return {"OK", "keeps the curve"};
    case 1106:
      return {"Cancel", "back to the curve as it was when the editor opened"};
    case 1034:
      return {"UpData", "updates the firmware of the ESC"};
    case 1213:
      return {kV1ReadText, "reads the settings from the ESC"};
    case 1024:
      return {kV1SendText, "sends the settings to the ESC"};
    case 1025:
      return {kV1UpdateText, "updates the firmware of the ESC"};
    default:
      break;
  }
  // The lamps say what their picture shows.
  switch (ImageForButton(id, false, s)) {
    case 143:
      return {"ESC connected", ""};
    case 153:
      return {"ESC not connected", ""};
    case 198:
      return {"LCD program box connected", ""};
    case 196:
      return {"USB adapter connected", ""};
    case 197:
      return {"USB adapter not connected", ""};
    default:
      return {};
  }
}

namespace {

// The owner-drawn button as a screen reader sees it: a page tab (selected while its page is
// the one asked for), a push button, or a lamp that reads as its state.
class OwnerDrawAccessible : public QAccessibleWidget {
 public:
  explicit OwnerDrawAccessible(CCownerDrawBton* b)
      : QAccessibleWidget(b, b->is_lamp()          ? QAccessible::StaticText
                             : b->is_page_button() ? QAccessible::PageTab
                                                   : QAccessible::Button) {}

  CCownerDrawBton* button() const { return static_cast<CCownerDrawBton*>(widget()); }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      return button()->spoken().name;
    }
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) {
      return button()->spoken().description;
    }
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State st = QAccessibleWidget::state();
    if (button()->is_page_button()) {
      st.selectable = true;
      st.selected = button()->page_selected();
    } else if (!button()->is_lamp()) {
      st.pressed = button()->isDown();
    }
    return st;
  }

  QStringList actionNames() const override {
    if (button()->is_lamp()) return {};
    return {QAccessibleActionInterface::pressAction()};
  }

  void doAction(const QString& name) override {
    if (name == QAccessibleActionInterface::pressAction() && !button()->is_lamp() &&
        button()->isEnabled()) {
      button()->click();
    }
  }

  QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

QAccessibleInterface* OwnerDrawFactory(const QString&, QObject* object) {
  if (auto* b = qobject_cast<CCownerDrawBton*>(object)) return new OwnerDrawAccessible(b);
  return nullptr;
}

}  // namespace

CCownerDrawBton::CCownerDrawBton(int id, SessionStatus& status, std::function<bool()> is_busy,
                                 QWidget* parent)
    : QAbstractButton(parent), id_(id), status_(status), is_busy_(std::move(is_busy)) {
  static const bool factory_installed = [] {
    QAccessible::installFactory(OwnerDrawFactory);
    return true;
  }();
  (void)factory_installed;
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_NoSystemBackground);
  spoken_name_ = spoken().name;
  spoken_selected_ = page_selected();
}

bool CCownerDrawBton::page_selected() const {
  return is_page_button() && status_.requested_page == id_ - 999;
}

void CCownerDrawBton::AnnounceChanges() {
  const QString name = spoken().name;
  const bool selected = page_selected();
  if (name == spoken_name_ && selected == spoken_selected_) return;
  const bool name_changed = name != spoken_name_;
  spoken_name_ = name;
  spoken_selected_ = selected;
  if (name_changed) {
    Announce(this, QAccessible::NameChanged);
  } else {
    QAccessible::State changed;
    changed.selected = true;
    AnnounceState(this, changed);
  }
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
  AnnounceChanges();
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
