#include "platform/hid_hotplug.h"

#include <QSocketNotifier>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(TESSEL_HAVE_UDEV)
#include <libudev.h>
#endif
#include <unistd.h>

#include "platform/device_watch.h"

namespace tessel {

namespace {

constexpr char kNodePrefix[] = "hidraw";

bool IsHidrawName(const char* name) {
  return std::strncmp(name, kNodePrefix, sizeof kNodePrefix - 1) == 0;
}

bool IsAdapter(uint16_t vendor_id, uint16_t product_id) {
  return vendor_id == kHidVendorId && product_id == kHidProductId;
}

// The ids sit on the HID device above the hidraw node.
bool DeviceIsAdapter(udev_device* device) {
#if defined(TESSEL_HAVE_UDEV)
  udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
  const char* id = hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
  uint16_t vendor = 0;
  uint16_t product = 0;
  return id != nullptr && ParseHidIds(std::string("HID_ID=") + id, &vendor, &product) &&
         IsAdapter(vendor, product);
#else
  (void)device;
  return false;
#endif
}

}  // namespace

bool ParseHidIds(const std::string& uevent, uint16_t* vendor_id, uint16_t* product_id) {
  std::istringstream lines(uevent);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("HID_ID=", 0) != 0) continue;
    unsigned bus = 0;
    unsigned vendor = 0;
    unsigned product = 0;
    char tail = 0;
    // Exactly three hex fields; anything after them means a format we do not know.
    if (std::sscanf(line.c_str() + 7, "%x:%x:%x%c", &bus, &vendor, &product, &tail) != 3 ||
        vendor > 0xFFFF || product > 0xFFFF) {
      return false;
    }
    *vendor_id = static_cast<uint16_t>(vendor);
    *product_id = static_cast<uint16_t>(product);
    return true;
  }
  return false;
}

HidHotplugMonitor::HidHotplugMonitor(Source source, HidrawFolders folders)
    : folders_(std::move(folders)) {
  if (source == Source::kAuto) udev_ = UdevWatch::Start("hidraw");
  if (!udev_) dev_watch_fd_ = WatchDeviceFolder(folders_.dev);
}

HidHotplugMonitor::~HidHotplugMonitor() {
  if (dev_watch_fd_ >= 0) close(dev_watch_fd_);
}

int HidHotplugMonitor::fd() const {
  return udev_ ? udev_->fd() : dev_watch_fd_;
}

std::vector<HidEvent> HidHotplugMonitor::Poll() {
  if (udev_) return DrainUdev();
  if (dev_watch_fd_ >= 0) return DrainDevWatch();
  return {};
}

bool HidHotplugMonitor::NodeIsAdapter(const std::string& name) const {
  std::ifstream file(folders_.sys + "/" + name + "/device/uevent");
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  uint16_t vendor = 0;
  uint16_t product = 0;
  return ParseHidIds(text.str(), &vendor, &product) && IsAdapter(vendor, product);
}

std::vector<HidEvent> HidHotplugMonitor::DrainUdev() {
  std::vector<HidEvent> events;
  udev_->Drain([&](const char* action, const std::string& node, udev_device* device) {
    if (node.empty()) return;
    if (std::strcmp(action, "remove") == 0) {
      events.push_back({false, node});
    } else if (std::strcmp(action, "add") == 0 && DeviceIsAdapter(device)) {
      events.push_back({true, node});
    }
  });
  return events;
}

std::vector<HidEvent> HidHotplugMonitor::DrainDevWatch() {
  std::vector<HidEvent> events;
  DrainDeviceFolder(dev_watch_fd_, [&](const std::string& name, bool arrived) {
    if (!IsHidrawName(name.c_str())) return;
    if (!arrived) {
      events.push_back({false, folders_.dev + "/" + name});
    } else if (NodeIsAdapter(name)) {
      events.push_back({true, folders_.dev + "/" + name});
    }
  });
  return events;
}

HidHotplugWatcher::HidHotplugWatcher(HidHotplugMonitor& monitor, Handler handler)
    : monitor_(monitor), handler_(std::move(handler)) {
  if (!monitor_.event_driven()) return;
  notifier_ = std::make_unique<QSocketNotifier>(monitor_.fd(), QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { Deliver(); });
}

HidHotplugWatcher::~HidHotplugWatcher() = default;

void HidHotplugWatcher::Deliver() {
  for (const HidEvent& event : monitor_.Poll()) {
    if (handler_) handler_(event);
  }
}

}  // namespace tessel
