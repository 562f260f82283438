#include "platform/serial_hotplug.h"

#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/device_watch.h"

namespace tessel {

SerialHotplugMonitor::SerialHotplugMonitor(QtPortEnumerator& ports, Source source) : ports_(ports) {
  if (source == Source::kAuto) udev_ = UdevWatch::Start("tty");
  // Without the udev daemon, device nodes appearing in and leaving /dev still tell when the
  // list may have changed, so the list is read on those events instead of twice a second.
  if (!udev_ && source == Source::kAuto) dev_watch_fd_ = WatchDeviceFolder("/dev");
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
  if (dev_watch_fd_ >= 0) close(dev_watch_fd_);
}

int SerialHotplugMonitor::fd() const {
  return udev_ ? udev_->fd() : dev_watch_fd_;
}

std::vector<PortEvent> SerialHotplugMonitor::Poll() {
  if (udev_) return DrainUdev();
  if (dev_watch_fd_ >= 0) return DrainDevWatch();
  return CompareLists();
}

std::vector<PortEvent> SerialHotplugMonitor::DrainDevWatch() {
  bool tty_changed = false;
  DrainDeviceFolder(dev_watch_fd_, [&](const std::string& name, bool) {
    if (name.rfind("tty", 0) == 0) tty_changed = true;
  });
  if (!tty_changed) return {};
  ports_.MarkStale();
  return CompareLists();
}

std::vector<PortEvent> SerialHotplugMonitor::DrainUdev() {
  std::vector<PortEvent> events;
  udev_->Drain([&](const char* action, const std::string& node, udev_device*) {
    if (std::strcmp(action, "add") == 0) {
      events.push_back({PortChange::kArrived, node});
    } else if (std::strcmp(action, "remove") == 0) {
      events.push_back({PortChange::kRemoved, node});
    }
  });
  if (!events.empty()) ports_.MarkStale();
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
