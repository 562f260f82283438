// Windows the main window opens sit where the user looks: centred over the main window, no
// wider than it, and on the screen. The progress window places itself this way at every show;
// the other dialogs (message boxes, help, about, compare, file dialogs) are centred by Qt over
// their parent, and a WindowPlacer narrows those that would come out wider than the window.
#pragma once

#include <QObject>
#include <QRect>

class QWidget;

namespace tessel {

// Where a window whose frame measures `frame` goes over the owner's frame `owner`: its width
// cut to the owner's, centred over it, then moved inside `screen` as far as it fits.
QRect CentredOver(const QRect& owner, QSize frame, const QRect& screen);

// Places the top-level `window` (client size `size`, narrowed as above) centred over the
// window of `owner`. Frames not known yet (before the first show) are taken to be as thick as
// the owner's.
void PlaceOver(QWidget& window, const QWidget& owner, QSize size);

// Installed on the application: every dialog of `owner` that is about to show is narrowed to the
// owner's width first, so that Qt's own centring puts it over the owner.
class WindowPlacer : public QObject {
 public:
  explicit WindowPlacer(QWidget& owner);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget& owner_;
};

}  // namespace tessel
