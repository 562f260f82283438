// Tells a screen reader what changed: a status line's new words, a lamp's new state, the page
// tab now selected. Qt passes these on only while assistive technology listens; a listener set
// here hears every one of them (a test hears the tool this way).
#pragma once

#include <QAccessible>
#include <functional>

class QWidget;

namespace tessel {

using AccessibleListener = std::function<void(QAccessibleEvent& event)>;
void SetAccessibleListener(AccessibleListener listener);

void Announce(QWidget* widget, QAccessible::Event what);
void AnnounceState(QWidget* widget, const QAccessible::State& changed);

}  // namespace tessel
