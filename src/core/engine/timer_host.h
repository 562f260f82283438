// The repeating timers that pace the engines. The desktop tool backs them with QTimers, the
// command line and the tests with TimerLoop on a Clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "core/link/clock.h"

namespace tessel {

enum TimerIdValue : int {
  kTimerSession = 102,     // serial session engine
  kTimerHidSession = 106,  // HID session engine
  kTimerHidProbe = 107,    // HID adapter probe
};

class TimerHost {
 public:
  virtual ~TimerHost() = default;
  // (Re-)arms a repeating timer. The period counts from now, except when a timer re-arms
  // itself from its own tick: then it counts from the time that tick was planned for
  // (PlannedTime), so that the time the tick spent working is not added to every period. It
  // never fires before that time.
  virtual void Arm(int id, uint32_t period_ms) = 0;
  virtual void Stop(int id) = 0;
};

// The time a tick counts as planned for when it re-arms itself: when it was due, unless it
// ran more than a period late.
uint64_t PlannedTime(uint64_t due_ms, uint64_t now_ms, uint32_t period_ms);

// A single-threaded timer loop on a Clock. Run() sleeps on the clock until the earliest timer
// is due and dispatches it; on a ManualClock a whole session runs in virtual time.
class TimerLoop : public TimerHost {
 public:
  using Handler = std::function<void(int id)>;
  explicit TimerLoop(Clock& clock) : clock_(clock) {}

  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  void Arm(int id, uint32_t period_ms) override;
  void Stop(int id) override;
  bool IsArmed(int id) const { return timers_.count(id) != 0; }
  uint32_t Period(int id) const;

  // Dispatches one due timer, sleeping until it is due. False when no timer is armed.
  bool RunOne();
  // Runs until `done` returns true (checked after every dispatch) or `deadline_ms` of clock
  // time has passed. Returns the result of `done`.
  bool RunUntil(const std::function<bool()>& done, uint64_t deadline_ms);
  uint64_t dispatched() const { return dispatched_; }

 private:
  struct Timer {
    uint32_t period_ms;
    uint64_t due_ms;
  };
  Clock& clock_;
  Handler handler_;
  std::map<int, Timer> timers_;
  uint64_t dispatched_ = 0;
  int dispatching_id_ = -1;  // the timer whose tick runs now, and when it was due
  uint64_t dispatching_due_ms_ = 0;
};

}  // namespace tessel
