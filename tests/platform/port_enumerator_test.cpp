// The cached port list, the hot-plug monitor's list comparison, and the command line's listing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "platform/port_listing.h"
#include "platform/qt_port_enumerator.h"
#include "platform/serial_hotplug.h"

namespace tessel {
namespace {

PortInfo Port(const char* device) {
  PortInfo info;
  info.device = device;
  return info;
}

// Stands in for QSerialPortInfo::availablePorts() and counts its readings.
struct FakeSystem {
  ManualClock clock;
  std::vector<PortInfo> ports;
  int readings = 0;
  QtPortEnumerator enumerator{clock, [this] {
                                ++readings;
                                return ports;
                              }};
};

TEST(QtPortEnumerator, ReadsTheSystemOnlyWhenDueOrAfterAChange) {
  FakeSystem system;
  system.ports = {Port("/dev/ttyUSB0")};
  for (int tick = 0; tick < 49; ++tick) {  // a searching engine asks every 10 ms
    ASSERT_EQ(system.enumerator.Ports().size(), 1u);
    system.clock.Advance(10);
  }
  EXPECT_EQ(system.readings, 1);
  system.ports.push_back(Port("/dev/ttyUSB1"));
  system.clock.Advance(10);
  EXPECT_EQ(system.enumerator.Ports().size(), 2u);  // 500 ms old: read again
  EXPECT_EQ(system.readings, 2);

  system.enumerator.SetEventDriven(true);  // a hot-plug source runs: no reading by age
  system.ports.clear();
  system.clock.Advance(60'000);
  EXPECT_EQ(system.enumerator.Ports().size(), 2u);
  system.enumerator.MarkStale();
  EXPECT_TRUE(system.enumerator.Ports().empty());
  EXPECT_TRUE(system.enumerator.Ports().empty());
  EXPECT_EQ(system.readings, 3);
}

TEST(SerialHotplugMonitor, PollingReportsEachRemovalAndArrivalOnce) {
  FakeSystem system;
  system.ports = {Port("/dev/ttyUSB0"), Port("/dev/ttyS0")};
  SerialHotplugMonitor monitor(system.enumerator, SerialHotplugMonitor::Source::kPolling);
  EXPECT_EQ(monitor.fd(), -1);
  EXPECT_TRUE(monitor.Poll().empty());  // ports present at start are no arrivals

  system.ports = {Port("/dev/ttyS0"), Port("/dev/ttyUSB1"), Port("/dev/ttyACM0")};
  system.clock.Advance(100);
  EXPECT_TRUE(monitor.Poll().empty());  // not due yet
  system.clock.Advance(400);
  const std::vector<PortEvent> expected = {{PortChange::kRemoved, "/dev/ttyUSB0"},
                                           {PortChange::kArrived, "/dev/ttyACM0"},
                                           {PortChange::kArrived, "/dev/ttyUSB1"}};
  EXPECT_EQ(monitor.Poll(), expected);
  EXPECT_EQ(system.enumerator.Ports().size(), 3u);  // shares the monitor's reading
  EXPECT_EQ(system.readings, 2);
  system.clock.Advance(500);
  EXPECT_TRUE(monitor.Poll().empty());
}

TEST(SerialHotplugMonitor, DeviceNodesInDevTriggerTheOnlyReadings) {
  // Where no udev daemon runs, a tty node appearing in /dev is the event. Needs a writable
  // /dev (root in a container, as in CI); elsewhere there is nothing to create.
  FakeSystem system;
  system.ports = {Port("/dev/ttyS0")};
  SerialHotplugMonitor monitor(system.enumerator);
  if (access("/run/udev/control", F_OK) == 0) GTEST_SKIP() << "the udev daemon runs here";
  ASSERT_GE(monitor.fd(), 0);
  const std::string node = "/dev/ttytesselarc" + std::to_string(getpid());
  FILE* f = std::fopen(node.c_str(), "w");
  if (f == nullptr) GTEST_SKIP() << "/dev is not writable";
  std::fclose(f);
  system.clock.Advance(60'000);  // age alone never causes a reading now
  system.enumerator.Ports();
  const int readings = system.readings;
  system.ports.push_back(Port("/dev/ttyUSB0"));
  const std::vector<PortEvent> arrived = {{PortChange::kArrived, "/dev/ttyUSB0"}};
  EXPECT_EQ(monitor.Poll(), arrived);
  EXPECT_EQ(system.readings, readings + 1);
  std::remove(node.c_str());
  system.ports.pop_back();
  const std::vector<PortEvent> removed = {{PortChange::kRemoved, "/dev/ttyUSB0"}};
  EXPECT_EQ(monitor.Poll(), removed);
  EXPECT_TRUE(monitor.Poll().empty());
}

TEST(SerialHotplugWatcher, DeliversChangesUnderTheEventLoop) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  FakeSystem system;
  SerialHotplugMonitor monitor(system.enumerator, SerialHotplugMonitor::Source::kPolling);
  std::vector<PortEvent> seen;
  SerialHotplugWatcher watcher(monitor, [&](const PortEvent& event) { seen.push_back(event); });
  system.ports = {Port("/dev/ttyUSB3")};
  system.clock.Advance(QtPortEnumerator::kRefreshPeriodMs);
  QElapsedTimer waited;
  waited.start();
  while (seen.empty() && waited.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  EXPECT_EQ(seen, (std::vector<PortEvent>{{PortChange::kArrived, "/dev/ttyUSB3"}}));
}

TEST(PortListing, MarksAcceptedAdaptersAndPrintsSafeColumns) {
  FakeSystem system;
  PortInfo adapter{"/dev/ttyUSB0", true, 0x10C4, 60000, "Lx Drives ESC link", "0001", ""};
  PortInfo bridge{"/dev/ttyUSB1", true, 0x10C4, 60000, "CP2102 \x1b[2JUSB", "", ""};
  system.ports = {adapter, bridge, Port("/dev/ttyS0")};
  const std::vector<PortListing> listing = ListPorts(system.enumerator);
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(FormatPortLine(listing[0]),
            "/dev/ttyUSB0  10c4:ea60  Lx Drives ESC link  0001  accepted");
  EXPECT_EQ(FormatPortLine(listing[1]), "/dev/ttyUSB1  10c4:ea60  CP2102 ?[2JUSB  -  -");
  EXPECT_EQ(FormatPortLine(listing[2]), "/dev/ttyS0  ----:----  -  -  -");
}

}  // namespace
}  // namespace tessel
