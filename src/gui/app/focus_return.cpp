#include "gui/app/focus_return.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>

namespace tessel {

QWidget* FocusReturn::CurrentFocus() {
  QWidget* focus = QApplication::focusWidget();
  // A menu holds the keyboard only while it is open; the window's own widget is the one.
  if (qobject_cast<QMenuBar*>(focus) != nullptr || qobject_cast<QMenu*>(focus) != nullptr) {
    return nullptr;
  }
  return focus;
}

void FocusReturn::Keep(QWidget* widget) {
  if (widget_ || widget == nullptr) return;
  widget_ = widget;
}

bool FocusReturn::GiveBack() {
  QWidget* w = widget_.data();
  if (w == nullptr) return true;
  if (!w->isVisible() || !w->isEnabled() || QApplication::activeModalWidget() != nullptr) {
    return false;
  }
  widget_.clear();
  if (QApplication::activeWindow() != w->window()) w->window()->activateWindow();
  if (!w->hasFocus()) w->setFocus(Qt::OtherFocusReason);
  return true;
}

}  // namespace tessel
