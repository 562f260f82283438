#include "platform/serial_hotplug.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <iterator>

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

struct SerialHotplugMonitor::Udev {
#if defined(TESSEL_HAVE_UDEV)
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  int fd = -1;

  ~Udev() {
    if (monitor != nullptr) udev_monitor_unref(monitor);
    if (context != nullptr) udev_unref(context);
  }

  // Events on the "udev" group come from the daemon after its rules ran, so the port's USB
  // properties are in place when the list is read again. Without a running daemon nothing
  // would ever arrive there, so that case counts as no hot-plug source at all.
  static std::unique_ptr<Udev> Start() {
    if (access("/run/udev/control", F_OK) != 0) return nullptr;
    auto u = std::make_unique<Udev>();
    u->context = udev_new();
    if (u->context == nullptr) return nullptr;
    u->monitor = udev_monitor_new_from_netlink(u->context, "udev");
    if (u->monitor == nullptr) return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(u->monitor, "tty", nullptr) < 0 ||
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

SerialHotplugMonitor::SerialHotplugMonitor(QtPortEnumerator& ports, Source source) : ports_(ports) {
#if defined(TESSEL_HAVE_UDEV)
  if (source == Source::kAuto) udev_ = Udev::Start();
#endif
#if defined(__linux__)
  // Without the udev daemon, device nodes appearing in and leaving /dev still tell when the
  // list may have changed, so the list is read on those events instead of twice a second.
  if (!udev_ && source == Source::kAuto) {
    dev_watch_fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (dev_watch_fd_ >= 0 &&
        inotify_add_watch(dev_watch_fd_, "/dev",
                          IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) < 0) {
      close(dev_watch_fd_);
      dev_watch_fd_ = -1;
    }
  }
#else
  (void)source;
#endif
  if (udev_ || dev_watch_fd_ >= 0) ports_.SetEventDriven(true);
  if (udev_) {
    // Whatever happened before the monitor listened is unknown; read the list afresh.
    ports_.MarkStale();
  } else {
    // The ports present now are the baseline, not arrivals.
    for (const PortInfo& info : ports_.Ports()) known_.insert(info.device);
    seen_generation_ = ports_.generation();
  }
}

SerialHotplugMonitor::~SerialHotplugMonitor() {
  if (udev_ || dev_watch_fd_ >= 0) ports_.SetEventDriven(false);
#if defined(__linux__)
  if (dev_watch_fd_ >= 0) close(dev_watch_fd_);
#endif
}

int SerialHotplugMonitor::fd() const {
#if defined(TESSEL_HAVE_UDEV)
  if (udev_) return udev_->fd;
#endif
  return dev_watch_fd_;
}

std::vector<PortEvent> SerialHotplugMonitor::Poll() {
  if (udev_) return DrainUdev();
  if (dev_watch_fd_ >= 0) return DrainDevWatch();
  return CompareLists();
}

std::vector<PortEvent> SerialHotplugMonitor::DrainDevWatch() {
  bool tty_changed = false;
#if defined(__linux__)
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = read(dev_watch_fd_, buffer, sizeof buffer);
    if (n <= 0) break;  // nothing more waiting (the descriptor is non-blocking)
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0 && std::strncmp(event->name, "tty", 3) == 0) tty_changed = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
#endif
  if (!tty_changed) return {};
  ports_.MarkStale();
  return CompareLists();
}

std::vector<PortEvent> SerialHotplugMonitor::DrainUdev() {
  std::vector<PortEvent> events;
#if defined(TESSEL_HAVE_UDEV)
  for (;;) {
    udev_device* device = udev_monitor_receive_device(udev_->monitor);
    if (device == nullptr) break;  // nothing more waiting (the descriptor is non-blocking)
    const char* action = udev_device_get_action(device);
    PortEvent event;
    bool wanted = false;
    if (action != nullptr && std::strcmp(action, "add") == 0) {
      event.change = PortChange::kArrived;
      wanted = true;
    } else if (action != nullptr && std::strcmp(action, "remove") == 0) {
      event.change = PortChange::kRemoved;
      wanted = true;
    }
    if (wanted) {
      if (const char* node = udev_device_get_devnode(device)) {
        event.device = node;
      } else if (const char* name = udev_device_get_sysname(device)) {
        event.device = std::string("/dev/") + name;
      }
      events.push_back(std::move(event));
    }
    udev_device_unref(device);
  }
  if (!events.empty()) ports_.MarkStale();
#endif
  return events;
}

std::vector<PortEvent> SerialHotplugMonitor::CompareLists() {
  std::vector<PortEvent> events;
  const std::vector<PortInfo> ports = ports_.Ports();
  if (ports_.generation() == seen_generation_) return events;  // same reading as last time
  seen_generation_ = ports_.generation();
  std::set<std::string> now;
  for (const PortInfo& info : ports) now.insert(info.device);
  std::vector<std::string> gone;
  std::vector<std::string> came;
  std::set_difference(known_.begin(), known_.end(), now.begin(), now.end(),
                      std::back_inserter(gone));
  std::set_difference(now.begin(), now.end(), known_.begin(), known_.end(),
                      std::back_inserter(came));
  for (auto& device : gone) events.push_back({PortChange::kRemoved, std::move(device)});
  for (auto& device : came) events.push_back({PortChange::kArrived, std::move(device)});
  known_ = std::move(now);
  return events;
}

SerialHotplugWatcher::SerialHotplugWatcher(SerialHotplugMonitor& monitor, Handler handler)
    : monitor_(monitor), handler_(std::move(handler)) {
  if (monitor_.event_driven()) {
    notifier_ = std::make_unique<QSocketNotifier>(monitor_.fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { Deliver(); });
  } else {
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(static_cast<int>(QtPortEnumerator::kRefreshPeriodMs));
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Deliver(); });
    timer_->start();
  }
}

SerialHotplugWatcher::~SerialHotplugWatcher() = default;

void SerialHotplugWatcher::Deliver() {
  for (const PortEvent& event : monitor_.Poll()) {
    if (handler_) handler_(event);
  }
}

}  // namespace tessel
