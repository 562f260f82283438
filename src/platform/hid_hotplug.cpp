#include "platform/hid_hotplug.h"

#include <QSocketNotifier>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(TESSEL_HAVE_UDEV)
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace tessel {

namespace {

constexpr char kNodePrefix[] = "hidraw";

bool IsHidrawName(const char* name) {
  return std::strncmp(name, kNodePrefix, sizeof kNodePrefix - 1) == 0;
}

bool IsAdapter(uint16_t vendor_id, uint16_t product_id) {
  return vendor_id == kHidVendorId && product_id == kHidProductId;
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

struct HidHotplugMonitor::Udev {
#if defined(TESSEL_HAVE_UDEV)
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  int fd = -1;

  ~Udev() {
    if (monitor != nullptr) udev_monitor_unref(monitor);
    if (context != nullptr) udev_unref(context);
  }

  // The daemon's events come after its rules ran (permissions on the node are set by then).
  // Without a running daemon nothing would ever arrive on its group.
  static std::unique_ptr<Udev> Start() {
    if (access("/run/udev/control", F_OK) != 0) return nullptr;
    auto u = std::make_unique<Udev>();
    u->context = udev_new();
    if (u->context == nullptr) return nullptr;
    u->monitor = udev_monitor_new_from_netlink(u->context, "udev");
    if (u->monitor == nullptr) return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(u->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(u->monitor) < 0) {
      return nullptr;
    }
    u->fd = udev_monitor_get_fd(u->monitor);
    if (u->fd < 0) return nullptr;
    const int flags = fcntl(u->fd, F_GETFL);
    if (flags < 0 || fcntl(u->fd, F_SETFL, flags | O_NONBLOCK) < 0) return nullptr;
    fcntl(u->fd, F_SETFD, fcntl(u->fd, F_GETFD) | FD_CLOEXEC);
    return u;
  }
#endif
};

HidHotplugMonitor::HidHotplugMonitor(Source source, HidrawFolders folders)
    : folders_(std::move(folders)) {
#if defined(TESSEL_HAVE_UDEV)
  if (source == Source::kAuto) udev_ = Udev::Start();
#else
  (void)source;
#endif
#if defined(__linux__)
  if (!udev_) {
    dev_watch_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (dev_watch_fd_ >= 0 &&
        inotify_add_watch(dev_watch_fd_, folders_.dev.c_str(),
                          IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
      close(dev_watch_fd_);
      dev_watch_fd_ = -1;
    }
  }
#endif
}

HidHotplugMonitor::~HidHotplugMonitor() {
#if defined(__linux__)
  if (dev_watch_fd_ >= 0) close(dev_watch_fd_);
#endif
}

int HidHotplugMonitor::fd() const {
#if defined(TESSEL_HAVE_UDEV)
  if (udev_) return udev_->fd;
#endif
  return dev_watch_fd_;
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
#if defined(TESSEL_HAVE_UDEV)
  for (;;) {
    udev_device* device = udev_monitor_receive_device(udev_->monitor);
    if (device == nullptr) break;  // nothing more waiting (the descriptor is non-blocking)
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    const char* name = udev_device_get_sysname(device);
    HidEvent event;
    if (node != nullptr) {
      event.path = node;
    } else if (name != nullptr) {
      event.path = folders_.dev + "/" + name;
    }
    if (action != nullptr && !event.path.empty()) {
      if (std::strcmp(action, "add") == 0) {
        // The ids sit on the HID device above the hidraw node.
        udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
        const char* id = hid != nullptr ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
        uint16_t vendor = 0;
        uint16_t product = 0;
        if (id != nullptr && ParseHidIds(std::string("HID_ID=") + id, &vendor, &product) &&
            IsAdapter(vendor, product)) {
          event.arrived = true;
          events.push_back(std::move(event));
        }
      } else if (std::strcmp(action, "remove") == 0) {
        events.push_back(std::move(event));
      }
    }
    udev_device_unref(device);
  }
#endif
  return events;
}

std::vector<HidEvent> HidHotplugMonitor::DrainDevWatch() {
  std::vector<HidEvent> events;
#if defined(__linux__)
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = read(dev_watch_fd_, buffer, sizeof buffer);
    if (n <= 0) break;  // nothing more waiting (the descriptor is non-blocking)
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->len == 0 || !IsHidrawName(event->name)) continue;
      const std::string name = event->name;
      if (event->mask & (IN_CREATE | IN_MOVED_TO)) {
        if (NodeIsAdapter(name)) events.push_back({true, folders_.dev + "/" + name});
      } else if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
        events.push_back({false, folders_.dev + "/" + name});
      }
    }
  }
#endif
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
