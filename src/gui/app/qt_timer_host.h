// The engines' timers as QTimers on the window thread. Periods below 50 ms use precise timers,
// since the session's 3 ms and 5 ms steps pace the protocol. A timer that re-arms itself from
// its own tick counts the new period from when that tick was planned (PlannedTime), as the
// command line's TimerLoop does, so the time a tick works is not added to every period.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "core/engine/timer_host.h"

namespace tessel {

class QtTimerHost : public QObject, public TimerHost {
  Q_OBJECT
 public:
  using Handler = std::function<void(int id)>;
  explicit QtTimerHost(QObject* parent = nullptr);

  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  void Arm(int id, uint32_t period_ms) override;
  void Stop(int id) override;
  bool IsArmed(int id) const;
  int Period(int id) const;
  // Stops every timer, e.g. while the window closes.
  void StopAll();

 private:
  struct Entry {
    std::unique_ptr<QTimer> timer;
    uint32_t period_ms = 0;
    qint64 due_ms = 0;
  };
  void Schedule(Entry& e, qint64 due_ms);
  void Fire(int id);

  QElapsedTimer clock_;
  std::map<int, Entry> timers_;
  Handler handler_;
  int dispatching_id_ = -1;
  qint64 dispatching_planned_ms_ = 0;
};

}  // namespace tessel
