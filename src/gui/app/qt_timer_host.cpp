#include "gui/app/qt_timer_host.h"

namespace tessel {

void QtTimerHost::Arm(int id, uint32_t period_ms) {
  auto& timer = timers_[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    connect(timer.get(), &QTimer::timeout, this, [this, id] {
      if (handler_) handler_(id);
    });
  }
  timer->setTimerType(period_ms < 50 ? Qt::PreciseTimer : Qt::CoarseTimer);
  timer->start(static_cast<int>(period_ms));
}

void QtTimerHost::Stop(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end() && it->second) it->second->stop();
}

bool QtTimerHost::IsArmed(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second && it->second->isActive();
}

int QtTimerHost::Period(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second ? it->second->interval() : 0;
}

void QtTimerHost::StopAll() {
  for (auto& [id, timer] : timers_) {
    if (timer) timer->stop();
  }
}

}  // namespace tessel
