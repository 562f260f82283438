#include "core/engine/timer_host.h"

namespace tessel {

void TimerLoop::Arm(int id, uint32_t period_ms) {
  const uint64_t from = id == dispatching_id_ ? dispatching_due_ms_ : clock_.NowMs();
  timers_[id] = Timer{period_ms, from + period_ms};
}

void TimerLoop::Stop(int id) {
  timers_.erase(id);
}

uint32_t TimerLoop::Period(int id) const {
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.period_ms;
}

uint64_t PlannedTime(uint64_t due_ms, uint64_t now_ms, uint32_t period_ms) {
  // A tick held up by more than a period (behind a blocking wait) starts the plan afresh, so
  // the ticks after it keep their spacing instead of firing back to back to catch up.
  return now_ms > due_ms + period_ms ? now_ms : due_ms;
}

bool TimerLoop::RunOne() {
  if (timers_.empty()) return false;
  auto next = timers_.begin();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due_ms < next->second.due_ms) next = it;
  }
  const int id = next->first;
  const uint64_t due = next->second.due_ms;
  const uint64_t now = clock_.NowMs();
  if (next->second.due_ms > now) clock_.SleepMs(static_cast<uint32_t>(next->second.due_ms - now));
  // A repeating timer: the next period counts from this dispatch unless the handler re-arms.
  next->second.due_ms = next->second.due_ms + next->second.period_ms;
  if (next->second.due_ms < clock_.NowMs()) next->second.due_ms = clock_.NowMs();
  ++dispatched_;
  dispatching_id_ = id;
  dispatching_due_ms_ = PlannedTime(due, clock_.NowMs(), next->second.period_ms);
  if (handler_) handler_(id);
  dispatching_id_ = -1;
  return true;
}

bool TimerLoop::RunUntil(const std::function<bool()>& done, uint64_t deadline_ms) {
  const uint64_t end = clock_.NowMs() + deadline_ms;
  while (!done()) {
    if (clock_.NowMs() >= end) return done();
    if (!RunOne()) return done();
  }
  return true;
}

}  // namespace tessel
