// The system's serial ports with their USB identities, read through QSerialPortInfo. Reading
// the list costs about 10 ms on Linux while the session engine asks for it on every 10 ms
// searching tick, so the list is kept and read again only when it may have changed: after a
// hot-plug event (MarkStale), or at most every kRefreshPeriodMs where no hot-plug source runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/link/serial_port.h"
#include "core/link/clock.h"

namespace tessel {

// Where the list comes from; tests put a fake here.
using PortSource = std::function<std::vector<PortInfo>()>;

// One full enumeration of the system's serial ports. `product` is the USB product string:
// QSerialPortInfo::description(), which on Linux is udev's ID_MODEL (the product string with
// the blanks udev turned into '_' turned back) and on macOS the USB product name. On Windows
// Qt reports the driver's device description there instead, which is not the product string.
// `description` holds the manufacturer and that text, for people to read.
std::vector<PortInfo> ReadSystemPorts();

class QtPortEnumerator : public PortEnumerator {
 public:
  static constexpr uint32_t kRefreshPeriodMs = 500;

  // The system's ports on the system clock.
  QtPortEnumerator();
  // `clock` must outlive the enumerator.
  QtPortEnumerator(Clock& clock, PortSource source);

  // The kept list; read again first when stale or, without a hot-plug source, when the last
  // reading is kRefreshPeriodMs old.
  std::vector<PortInfo> Ports() override;
  // The next Ports() reads the list again. Safe to call from any thread.
  void MarkStale() { stale_.store(true); }
  // With a hot-plug source the list is read again only after MarkStale.
  void SetEventDriven(bool event_driven) { event_driven_ = event_driven; }
  bool event_driven() const { return event_driven_; }
  // Counts the readings of the list, so that a watcher can tell whether it changed hands.
  uint64_t generation() const { return generation_; }

 private:
  std::unique_ptr<SystemClock> own_clock_;
  Clock& clock_;
  PortSource source_;
  std::vector<PortInfo> cached_;
  std::atomic<bool> stale_{true};
  bool event_driven_ = false;
  uint64_t refreshed_at_ms_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace tessel
