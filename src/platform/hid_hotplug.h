// HID adapters coming and going, as hidraw device nodes. With a running udev daemon a udev
// monitor on the "hidraw" subsystem reports them; without one, nodes appearing in and leaving
// /dev do. Arrivals are reported only for nodes whose HID ids are the adapter's
// (kHidVendorId:kHidProductId). Removals are reported for every hidraw node, since the ids
// can no longer be read once the device is gone: the session compares the path with the
// device it has open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/link/hid_device.h"

class QSocketNotifier;

namespace tessel {

class UdevWatch;

// Where hidraw nodes and their sysfs entries live; tests point the monitor at their own.
struct HidrawFolders {
  std::string dev = "/dev";               // the device nodes appear here
  std::string sys = "/sys/class/hidraw";  // <sys>/<node>/device/uevent holds HID_ID
};

class HidHotplugMonitor {
 public:
  enum class Source {
    kAuto,         // udev when its daemon runs, else device nodes in /dev
    kDeviceNodes,  // always device nodes (tests point it at their own folders)
  };

  explicit HidHotplugMonitor(Source source = Source::kAuto, HidrawFolders folders = {});
  ~HidHotplugMonitor();
  HidHotplugMonitor(const HidHotplugMonitor&) = delete;
  HidHotplugMonitor& operator=(const HidHotplugMonitor&) = delete;

  // True when some source announces changes; without one Poll never reports anything.
  bool event_driven() const { return fd() >= 0; }
  // The non-blocking descriptor that becomes readable when an event waits, or -1.
  int fd() const;
  // The changes since the last call, in order; never blocks.
  std::vector<HidEvent> Poll();

 private:
  std::vector<HidEvent> DrainUdev();
  std::vector<HidEvent> DrainDevWatch();
  bool NodeIsAdapter(const std::string& name) const;

  HidrawFolders folders_;
  std::unique_ptr<UdevWatch> udev_;
  int dev_watch_fd_ = -1;  // inotify on the device folder where no udev daemon runs
};

// "HID_ID=0003:000010C4:00008468" (bus:vendor:product, as the kernel writes it in a HID
// device's uevent) read from uevent text; false when there is no such line.
bool ParseHidIds(const std::string& uevent, uint16_t* vendor_id, uint16_t* product_id);

// Runs a monitor under a Qt event loop: a socket notifier on its descriptor hands every event
// to `handler`. Without a descriptor there is nothing to watch. Needs a QCoreApplication.
class HidHotplugWatcher {
 public:
  using Handler = std::function<void(const HidEvent&)>;
  HidHotplugWatcher(HidHotplugMonitor& monitor, Handler handler);
  ~HidHotplugWatcher();
  HidHotplugWatcher(const HidHotplugWatcher&) = delete;
  HidHotplugWatcher& operator=(const HidHotplugWatcher&) = delete;

 private:
  void Deliver();

  HidHotplugMonitor& monitor_;
  Handler handler_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tessel
