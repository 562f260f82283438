// The two ways the platform layer learns that device nodes came or went, shared by the serial
// and HID hot-plug monitors: a udev monitor on one subsystem (where the udev daemon runs), or
// an inotify watch on the device folder (where it does not, as in containers).
#pragma once

#include <functional>
#include <memory>
#include <string>

struct udev_device;

namespace tessel {

class UdevWatch {
 public:
  // A non-blocking monitor of the daemon's events for `subsystem` ("tty", "hidraw"). Events
  // on the daemon's group come after its rules ran (permissions and properties are in place).
  // Null where no daemon runs: nothing would ever arrive on that group.
  static std::unique_ptr<UdevWatch> Start(const char* subsystem);
  ~UdevWatch();
  UdevWatch(const UdevWatch&) = delete;
  UdevWatch& operator=(const UdevWatch&) = delete;

  int fd() const { return fd_; }
  // Hands every waiting event to `each`: its action ("add", "remove", ...), its device node
  // (the devnode, else /dev/<sysname>, empty when it has neither) and the device itself.
  void Drain(const std::function<void(const char* action, const std::string& node,
                                      udev_device* device)>& each);

 private:
  UdevWatch() = default;
  struct Handles;
  std::unique_ptr<Handles> handles_;
  int fd_ = -1;
};

// A non-blocking inotify descriptor watching nodes being created in, moved into, deleted from
// or moved out of `folder`; -1 where that cannot be had.
int WatchDeviceFolder(const std::string& folder);
// Hands every waiting event of such a descriptor to `each` with the node's name and whether it
// arrived (created, moved in) or left; events without a name are skipped.
void DrainDeviceFolder(int fd,
                       const std::function<void(const std::string& name, bool arrived)>& each);

}  // namespace tessel
