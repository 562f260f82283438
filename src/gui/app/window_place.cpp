#include "gui/app/window_place.h"

#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tessel {

QRect CentredOver(const QRect& owner, QSize frame, const QRect& screen) {
  frame.setWidth(std::min(frame.width(), owner.width()));
  QRect place(QPoint(0, 0), frame);
  place.moveCenter(owner.center());
  // Keep the title bar on the screen: right and bottom first, then left and top.
  if (screen.isValid()) {
    place.moveRight(std::min(place.right(), screen.right()));
    place.moveBottom(std::min(place.bottom(), screen.bottom()));
    place.moveLeft(std::max(place.left(), screen.left()));
    place.moveTop(std::max(place.top(), screen.top()));
  }
  return place;
}

void PlaceOver(QWidget& window, const QWidget& owner, QSize size) {
  const QWidget& main = *owner.window();
  // The frame's thickness on either side and above; before its first show a window has no frame
  // yet, and the owner's is the best guess.
  const QWidget& framed = window.isVisible() ? window : main;
  const QRect outer = framed.frameGeometry();
  const QRect inner = framed.geometry();
  const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                       outer.right() - inner.right(), outer.bottom() - inner.bottom());
  const QSize framed_size = size.grownBy(frame);
  const QScreen* screen = main.screen();
  const QRect place = CentredOver(main.frameGeometry(), framed_size,
                                  screen ? screen->availableGeometry() : QRect());
  window.setGeometry(place.marginsRemoved(frame));
}

WindowPlacer::WindowPlacer(QWidget& owner) : QObject(&owner), owner_(owner) {}

bool WindowPlacer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
  auto* dialog = qobject_cast<QDialog*>(watched);
  // Message boxes size themselves as they show, and never wider than half the screen.
  if (dialog == nullptr || !dialog->isWindow() || qobject_cast<QMessageBox*>(dialog) != nullptr) {
    return false;
  }
  const QWidget* parent = dialog->parentWidget();
  if (parent == nullptr || parent->window() != &owner_) return false;
  // Frames are about as thick on the dialog as on the window.
  if (dialog->width() > owner_.width()) dialog->resize(owner_.width(), dialog->height());
  return false;
}

}  // namespace tessel
