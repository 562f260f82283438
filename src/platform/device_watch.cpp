#include "platform/device_watch.h"

#if defined(TESSEL_HAVE_UDEV)
#include <fcntl.h>
#include <libudev.h>
#endif
#if defined(__linux__)
#include <sys/inotify.h>
#endif
#include <unistd.h>

namespace tessel {

struct UdevWatch::Handles {
#if defined(TESSEL_HAVE_UDEV)
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  ~Handles() {
    if (monitor != nullptr) udev_monitor_unref(monitor);
    if (context != nullptr) udev_unref(context);
  }
#endif
};

UdevWatch::~UdevWatch() = default;

std::unique_ptr<UdevWatch> UdevWatch::Start(const char* subsystem) {
#if defined(TESSEL_HAVE_UDEV)
  if (access("/run/udev/control", F_OK) != 0) return nullptr;
  std::unique_ptr<UdevWatch> w(new UdevWatch);
  w->handles_ = std::make_unique<Handles>();
  Handles& h = *w->handles_;
  h.context = udev_new();
  if (h.context == nullptr) return nullptr;
  h.monitor = udev_monitor_new_from_netlink(h.context, "udev");
  if (h.monitor == nullptr) return nullptr;
  if (udev_monitor_filter_add_match_subsystem_devtype(h.monitor, subsystem, nullptr) < 0 ||
      udev_monitor_enable_receiving(h.monitor) < 0) {
    return nullptr;
  }
  w->fd_ = udev_monitor_get_fd(h.monitor);
  if (w->fd_ < 0) return nullptr;
  const int flags = fcntl(w->fd_, F_GETFL);
  if (flags < 0 || fcntl(w->fd_, F_SETFL, flags | O_NONBLOCK) < 0) return nullptr;
  fcntl(w->fd_, F_SETFD, fcntl(w->fd_, F_GETFD) | FD_CLOEXEC);
  return w;
#else
  (void)subsystem;
  return nullptr;
#endif
}

void UdevWatch::Drain(const std::function<void(const char* action, const std::string& node,
                                               udev_device* device)>& each) {
#if defined(TESSEL_HAVE_UDEV)
  for (;;) {
    udev_device* device = udev_monitor_receive_device(handles_->monitor);
    if (device == nullptr) break;  // nothing more waiting (the descriptor is non-blocking)
    std::string node;
    if (const char* devnode = udev_device_get_devnode(device)) {
      node = devnode;
    } else if (const char* name = udev_device_get_sysname(device)) {
      node = std::string("/dev/") + name;
    }
    const char* action = udev_device_get_action(device);
    each(action != nullptr ? action : "", node, device);
    udev_device_unref(device);
  }
#else
  (void)each;
#endif
}

int WatchDeviceFolder(const std::string& folder) {
#if defined(__linux__)
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return -1;
  if (inotify_add_watch(fd, folder.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM) <
      0) {
    close(fd);
    return -1;
  }
  return fd;
#else
  (void)folder;
  return -1;
#endif
}

void DrainDeviceFolder(int fd,
                       const std::function<void(const std::string& name, bool arrived)>& each) {
#if defined(__linux__)
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;  // nothing more waiting (the descriptor is non-blocking)
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->len == 0) continue;
      each(event->name, (event->mask & (IN_CREATE | IN_MOVED_TO)) != 0);
    }
  }
#else
  (void)fd;
  (void)each;
#endif
}

}  // namespace tessel
