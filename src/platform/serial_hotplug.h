// Serial ports coming and going. On Linux with a running udev daemon a udev monitor on the
// "tty" subsystem reports them as they happen; its descriptor can be watched by a Qt program
// (SerialHotplugWatcher does that) or polled by a plain loop. Without udev the monitor compares
// the port list, which the enumerator reads again at most every 500 ms. Either way each
// change marks the enumerator's list stale, so the next search sees it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/qt_port_enumerator.h"

class QSocketNotifier;
class QTimer;

namespace tessel {

class UdevWatch;

enum class PortChange { kArrived, kRemoved };

struct PortEvent {
  PortChange change = PortChange::kArrived;
  std::string device;  // device node, e.g. "/dev/ttyUSB0"
  bool operator==(const PortEvent&) const = default;
};

class SerialHotplugMonitor {
 public:
  enum class Source {
    kAuto,     // udev when its daemon runs, else device nodes in /dev, else comparing lists
    kPolling,  // always compare lists
  };

  // `ports` must outlive the monitor. With udev the enumerator becomes event-driven (it reads
  // the list only after a change) until the monitor goes away.
  explicit SerialHotplugMonitor(QtPortEnumerator& ports, Source source = Source::kAuto);
  ~SerialHotplugMonitor();
  SerialHotplugMonitor(const SerialHotplugMonitor&) = delete;
  SerialHotplugMonitor& operator=(const SerialHotplugMonitor&) = delete;

  // True when changes are announced (udev); false when Poll has to be called periodically.
  bool event_driven() const { return fd() >= 0; }
  // The non-blocking descriptor that becomes readable when an event waits, or -1.
  int fd() const;
  // The changes since the last call, in order; never blocks. Without udev it reads the port
  // list (at most every 500 ms) and reports the devices that appeared or vanished.
  std::vector<PortEvent> Poll();

 private:
  std::vector<PortEvent> DrainUdev();
  std::vector<PortEvent> CompareLists();
  std::vector<PortEvent> DrainDevWatch();

  QtPortEnumerator& ports_;
  std::unique_ptr<UdevWatch> udev_;
  int dev_watch_fd_ = -1;  // inotify on /dev where no udev daemon runs
  std::set<std::string> known_;
  uint64_t seen_generation_ = 0;
};

// Runs a monitor under a Qt event loop: a socket notifier on the udev descriptor, or a 500 ms
// timer without one, hands every event to `handler` (the desktop tool passes them on to
// Session::OnSerialPortArrived / OnSerialPortRemoved). Needs a QCoreApplication.
class SerialHotplugWatcher {
 public:
  using Handler = std::function<void(const PortEvent&)>;
  SerialHotplugWatcher(SerialHotplugMonitor& monitor, Handler handler);
  ~SerialHotplugWatcher();
  SerialHotplugWatcher(const SerialHotplugWatcher&) = delete;
  SerialHotplugWatcher& operator=(const SerialHotplugWatcher&) = delete;

 private:
  void Deliver();

  SerialHotplugMonitor& monitor_;
  Handler handler_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::unique_ptr<QTimer> timer_;
};

}  // namespace tessel
