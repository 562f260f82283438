#include "gui/app/announce.h"

#include <QWidget>

namespace tessel {

namespace {

AccessibleListener& Listener() {
  static AccessibleListener listener;
  return listener;
}

void Send(QAccessibleEvent& event) {
  if (Listener()) Listener()(event);
  QAccessible::updateAccessibility(&event);
}

}  // namespace

void SetAccessibleListener(AccessibleListener listener) {
  Listener() = std::move(listener);
}

void Announce(QWidget* widget, QAccessible::Event what) {
  QAccessibleEvent event(widget, what);
  Send(event);
}

void AnnounceState(QWidget* widget, const QAccessible::State& changed) {
  QAccessibleStateChangeEvent event(widget, changed);
  Send(event);
}

}  // namespace tessel
