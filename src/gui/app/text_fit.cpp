#include "gui/app/text_fit.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

namespace tessel {

namespace {

int Widest(const QFont& font, const QStringList& texts) {
  const QFontMetrics fm(font);
  int widest = 0;
  for (const QString& t : texts) widest = std::max(widest, fm.horizontalAdvance(t));
  return widest;
}

// The list's own frame, from its style sheet or its style.
int ListFrame(const QListWidget& list) {
  return list.frameWidth();
}

// What an item of a list view keeps free on either side of its text.
int ItemTextMargin(const QListWidget& list) {
  return list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
}

}  // namespace

int FittingPixelSize(const QFont& base, const QStringList& texts, int room, int largest,
                     int smallest) {
  QFont font = base;
  for (int px = largest; px > smallest; --px) {
    font.setPixelSize(px);
    if (Widest(font, texts) <= room) return px;
  }
  return smallest;
}

int LineEditTextRoom(const QLineEdit& box) {
  const QMargins m = box.textMargins();
  return box.contentsRect().width() - m.left() - m.right() - 4;
}

int ListTextRoom(const QListWidget& list, bool scrolls) {
  int room = list.width() - 2 * ListFrame(list) - 2 * ItemTextMargin(list);
  if (scrolls) room -= list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
  return room;
}

int ComboTextRoom(const QComboBox& combo) {
  QStyleOptionComboBox opt;
  opt.initFrom(&combo);
  opt.editable = combo.isEditable();
  const QRect field =
      combo.style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, &combo);
  return field.width() - 4;
}

int LabelTextRoom(const QLabel& label) {
  return label.contentsRect().width() - 2 * label.margin() - label.indent() * (label.indent() > 0);
}

QFont ValueFont() {
  QFont font("DejaVu Sans");
  font.setPixelSize(kValueFontPx);
  return font;
}

void ShowValueText(QLineEdit& box, const QString& text) {
  box.setFont(ValueFont());
  box.setText(text);
  box.setCursorPosition(0);
}

void SetUpValueAndList(QLineEdit& box, QListWidget& list, int page_height) {
  // Style sheets set the frames and paddings.
  box.ensurePolished();
  list.ensurePolished();
  box.setFont(ValueFont());
  list.setFont(ValueFont());
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list.setTextElideMode(Qt::ElideNone);
  list.setUniformItemSizes(true);
  const int rows = std::min(list.count(), kListRows);
  list.setVerticalScrollBarPolicy(rows < list.count() ? Qt::ScrollBarAlwaysOn
                                                       : Qt::ScrollBarAlwaysOff);
  const int row_h = std::max(1, list.sizeHintForRow(0));
  const int h = 2 * ListFrame(list) + rows * row_h;
  const QRect b = box.geometry();
  int y = b.bottom() + 1;
  if (y + h > page_height) y = std::max(0, std::min(b.top() - h, page_height - h));
  list.setGeometry(b.x(), y, b.width(), h);
}

}  // namespace tessel
