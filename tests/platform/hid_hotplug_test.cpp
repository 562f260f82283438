// The HID hot-plug monitor: on this machine as it is, and on device nodes and sysfs entries
// that the test makes in its own folders.
#include "platform/hid_hotplug.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <fstream>

namespace tessel {
namespace {

std::vector<std::string> Names(const std::vector<HidEvent>& events) {
  std::vector<std::string> names;
  for (const HidEvent& e : events) names.push_back((e.arrived ? "+" : "-") + e.path);
  return names;
}

// A /dev and a /sys/class/hidraw of the test's own.
struct FakeSystem {
  FakeSystem() {
    char dir[] = "/tmp/tesselarc-hidraw-XXXXXX";
    root = mkdtemp(dir);
    folders.dev = root + "/dev";
    folders.sys = root + "/sys";
    std::filesystem::create_directories(folders.dev);
    std::filesystem::create_directories(folders.sys);
  }
  ~FakeSystem() { std::filesystem::remove_all(root); }

  // The HID device above node `name`, as the kernel describes it.
  void Describe(const std::string& name, const std::string& hid_id) {
    std::filesystem::create_directories(folders.sys + "/" + name + "/device");
    std::ofstream(folders.sys + "/" + name + "/device/uevent")
        << "DRIVER=hid-generic\nHID_ID=" << hid_id << "\nHID_NAME=Test\n";
  }
  void Create(const std::string& name) { std::ofstream(folders.dev + "/" + name); }
  void Remove(const std::string& name) { std::filesystem::remove(folders.dev + "/" + name); }
  std::string Node(const std::string& name) const { return folders.dev + "/" + name; }

  std::string root;
  HidrawFolders folders;
};

TEST(HidHotplugMonitor, ReportsNothingWhenNothingChanges) {
  HidHotplugMonitor monitor;
  EXPECT_TRUE(monitor.Poll().empty());
  EXPECT_TRUE(monitor.Poll().empty());
}

TEST(HidHotplugMonitor, ArrivalsOnlyForTheAdapterRemovalsForEveryNode) {
  FakeSystem system;
  system.Describe("hidraw7", "0003:000010C4:00008468");
  system.Describe("hidraw8", "0003:0000046D:0000C077");  // a mouse
  system.Describe("hidraw9", "0003:000110C4:00008468");  // not a 16-bit vendor id
  HidHotplugMonitor monitor(HidHotplugMonitor::Source::kDeviceNodes, system.folders);
  ASSERT_TRUE(monitor.event_driven());
  EXPECT_TRUE(monitor.Poll().empty());

  for (const char* name : {"hidraw8", "hidraw7", "hidraw9", "hidraw12", "ttyUSB0"}) {
    system.Create(name);
  }
  EXPECT_EQ(Names(monitor.Poll()), std::vector<std::string>{"+" + system.Node("hidraw7")});
  EXPECT_TRUE(monitor.Poll().empty());

  for (const char* name : {"hidraw7", "ttyUSB0", "hidraw12"}) system.Remove(name);
  EXPECT_EQ(Names(monitor.Poll()), (std::vector<std::string>{"-" + system.Node("hidraw7"),
                                                             "-" + system.Node("hidraw12")}));
}

TEST(HidHotplugWatcher, DeliversArrivalsUnderTheEventLoop) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  FakeSystem system;
  system.Describe("hidraw3", "0003:000010C4:00008468");
  HidHotplugMonitor monitor(HidHotplugMonitor::Source::kDeviceNodes, system.folders);
  std::vector<HidEvent> seen;
  HidHotplugWatcher watcher(monitor, [&](const HidEvent& event) { seen.push_back(event); });
  system.Create("hidraw3");
  QElapsedTimer waited;
  waited.start();
  while (seen.empty() && waited.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(Names(seen), std::vector<std::string>{"+" + system.Node("hidraw3")});
}

}  // namespace
}  // namespace tessel
