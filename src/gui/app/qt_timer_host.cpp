#include "gui/app/qt_timer_host.h"

#include <algorithm>

namespace tessel {

QtTimerHost::QtTimerHost(QObject* parent) : QObject(parent) {
  clock_.start();
}

void QtTimerHost::Schedule(Entry& e, qint64 due_ms) {
  e.due_ms = due_ms;
  e.timer->setTimerType(e.period_ms < 50 ? Qt::PreciseTimer : Qt::CoarseTimer);
  e.timer->start(static_cast<int>(std::max<qint64>(0, due_ms - clock_.elapsed())));
}

void QtTimerHost::Arm(int id, uint32_t period_ms) {
  Entry& e = timers_[id];
  if (!e.timer) {
    e.timer = std::make_unique<QTimer>();
    e.timer->setSingleShot(true);
    connect(e.timer.get(), &QTimer::timeout, this, [this, id] { Fire(id); });
  }
  e.period_ms = period_ms;
  const qint64 from = id == dispatching_id_ ? dispatching_planned_ms_ : clock_.elapsed();
  Schedule(e, from + period_ms);
}

void QtTimerHost::Fire(int id) {
  Entry& e = timers_[id];
  const qint64 planned = static_cast<qint64>(PlannedTime(
      static_cast<uint64_t>(e.due_ms), static_cast<uint64_t>(clock_.elapsed()), e.period_ms));
  // A repeating timer: it comes again after its period unless the handler re-arms or stops it.
  Schedule(e, planned + e.period_ms);
  dispatching_id_ = id;
  dispatching_planned_ms_ = planned;
  if (handler_) handler_(id);
  dispatching_id_ = -1;
}

void QtTimerHost::Stop(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end() && it->second.timer) it->second.timer->stop();
}

bool QtTimerHost::IsArmed(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.timer && it->second.timer->isActive();
}

int QtTimerHost::Period(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.timer ? static_cast<int>(it->second.period_ms) : 0;
}

void QtTimerHost::StopAll() {
  for (auto& [id, e] : timers_) {
    if (e.timer) e.timer->stop();
  }
}

}  // namespace tessel
