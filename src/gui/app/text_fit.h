// Whole texts in small boxes: the font of a value box or list is chosen by measuring its
// longest text against the room the widget gives it, and lists show whole rows and scroll
// up and down only.
#pragma once

#include <QFont>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QWidget;

namespace tessel {

constexpr int kValueFontPx = 12;      // what a value text gets when it fits
constexpr int kSmallestFontPx = 8;    // below this a text is not worth reading

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

// A line edit whose text changes (a logged value, a version): the largest font up to
// `largest` that shows `text` whole.
void FitLineEditText(QLineEdit& box, const QString& text, int largest = kValueFontPx);

// A setting's value box and drop list share one font: the largest at which every option fits
// both. The list loses its horizontal scroll bar, keeps the vertical one only while it has
// more rows than it can show, and is cut to whole rows within the height it was given.
void FitValueAndList(QLineEdit& box, QListWidget& list, int max_list_height,
                     int largest = kValueFontPx);

}  // namespace tessel
