// Whole texts in one type size: value boxes and lists all use the value font, and their boxes
// are made wide enough for their texts (layout.h) rather than the text small enough for the
// box. Lists show whole rows and scroll up and down only. Other texts (the status line, hints)
// may still be fitted to their room.
#pragma once

#include <QFont>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QWidget;

namespace tessel {

constexpr int kValueFontPx = 12;    // capitals 9 px high at scale 1
constexpr int kSmallestFontPx = 8;  // below this a text is not worth reading
constexpr int kListRows = 8;        // an open list shows at most this many rows

// The one font of every value box and list, on the pages and in the V1 dialog.
QFont ValueFont();

// The largest pixel size from `largest` down to `smallest` at which every text is at most
// `room` pixels wide (`smallest` when none fits).
int FittingPixelSize(const QFont& base, const QStringList& texts, int room, int largest,
                     int smallest = kSmallestFontPx);

// Room for text in a borderless, read-only line edit (its own 2 px margins off both sides).
int LineEditTextRoom(const QLineEdit& box);
// Room for an item's text in a list whose vertical scroll bar shows when `scrolls`.
int ListTextRoom(const QListWidget& list, bool scrolls);
// Room for the shown text of a closed combo box.
int ComboTextRoom(const QComboBox& combo);
// Room for the text of a label.
int LabelTextRoom(const QLabel& label);

// A value box showing `text` (a logged value, a version) in the value font, from its start.
void ShowValueText(QLineEdit& box, const QString& text);

// A setting's value box and drop list in the value font. The list takes the box's left edge
// and width, loses its horizontal scroll bar, shows whole rows (at most kListRows, with the
// vertical scroll bar only when there are more), and opens under the box, or above it where
// it would run past `page_height`.
void SetUpValueAndList(QLineEdit& box, QListWidget& list, int page_height);

}  // namespace tessel
