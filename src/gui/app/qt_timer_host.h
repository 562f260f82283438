// The engines' timers as QTimers on the window thread. Periods below 50 ms use precise timers,
// since the session's 3 ms and 5 ms steps pace the protocol.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "core/session/timer_host.h"

namespace tessel {

class QtTimerHost : public QObject, public TimerHost {
  Q_OBJECT
 public:
  using Handler = std::function<void(int id)>;
  explicit QtTimerHost(QObject* parent = nullptr) : QObject(parent) {}

  void SetHandler(Handler handler) { handler_ = std::move(handler); }
  void Arm(int id, uint32_t period_ms) override;
  void Stop(int id) override;
  bool IsArmed(int id) const;
  int Period(int id) const;
  // Stops every timer, e.g. while the window closes.
  void StopAll();

 private:
  std::map<int, std::unique_ptr<QTimer>> timers_;
  Handler handler_;
};

}  // namespace tessel
