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

void FitLineEditText(QLineEdit& box, const QString& text, int largest) {
  box.ensurePolished();
  QFont font = box.font();
  font.setPixelSize(FittingPixelSize(font, {text}, LineEditTextRoom(box), largest));
  box.setFont(font);
  box.setText(text);
  box.setCursorPosition(0);
}

void FitValueAndList(QLineEdit& box, QListWidget& list, int max_list_height, int largest) {
  QStringList texts;
  for (int i = 0; i < list.count(); ++i) texts << list.item(i)->text();
  // Style sheets set the frames and paddings measured below.
  box.ensurePolished();
  list.ensurePolished();
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list.setTextElideMode(Qt::ElideNone);
  list.setUniformItemSizes(true);

  // First as if every row showed; if they do not all fit the height, again with the scroll
  // bar's width taken off.
  QFont font = box.font();
  int px = 0;
  int rows = list.count();
  for (bool scrolls : {false, true}) {
    const int room = std::min(LineEditTextRoom(box), ListTextRoom(list, scrolls));
    px = FittingPixelSize(font, texts, room, largest);
    font.setPixelSize(px);
    list.setFont(font);
    const int row_h = std::max(1, list.sizeHintForRow(0));
    const int frame = 2 * ListFrame(list);
    const int fit_rows = std::max(1, (max_list_height - frame) / row_h);
    rows = std::min(list.count(), fit_rows);
    list.resize(list.width(), frame + rows * row_h);
    if (rows == list.count()) break;
  }
  list.setVerticalScrollBarPolicy(rows < list.count() ? Qt::ScrollBarAlwaysOn
                                                       : Qt::ScrollBarAlwaysOff);
  box.setFont(font);
}

}  // namespace tessel
