// The cached port list, the hot-plug monitor's list comparison, and the command line's listing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

#include "platform/port_listing.h"
#include "platform/qt_port_enumerator.h"
#include "platform/serial_hotplug.h"

namespace tessel {
namespace {

PortInfo Port(std::string device) {
  PortInfo info;
  info.device = std::move(device);
  return info;
}

// Stands in for QSerialPortInfo::availablePorts(): counts its readings.
struct FakeSystem {
  std::vector<PortInfo> ports;
  int readings = 0;
  PortSource Source() {
    return [this] {
      ++readings;
      return ports;
    };
  }
};

TEST(QtPortEnumerator, ReadsTheSystemListAtMostEveryPeriodWithoutHotplug) {
  ManualClock clock;
  FakeSystem system;
  system.ports = {Port("/dev/ttyUSB0")};
  QtPortEnumerator enumerator(clock, system.Source());

  for (int tick = 0; tick < 49; ++tick) {  // a searching engine asks every 10 ms
    ASSERT_EQ(enumerator.Ports().size(), 1u);
    clock.Advance(10);
  }
  EXPECT_EQ(system.readings, 1);

  system.ports.push_back(Port("/dev/ttyUSB1"));
  EXPECT_EQ(enumerator.Ports().size(), 1u);  // 490 ms: still the kept list
  clock.Advance(10);
  EXPECT_EQ(enumerator.Ports().size(), 2u);
  EXPECT_EQ(system.readings, 2);
}

TEST(QtPortEnumerator, EventDrivenListIsReadOnlyAfterAChange) {
  ManualClock clock;
  FakeSystem system;
  system.ports = {Port("/dev/ttyUSB0")};
  QtPortEnumerator enumerator(clock, system.Source());
  enumerator.SetEventDriven(true);

  EXPECT_EQ(enumerator.Ports().size(), 1u);  // the first call always reads
  system.ports.clear();
  clock.Advance(60'000);
  EXPECT_EQ(enumerator.Ports().size(), 1u);
  EXPECT_EQ(system.readings, 1);

  enumerator.MarkStale();
  EXPECT_TRUE(enumerator.Ports().empty());
  EXPECT_TRUE(enumerator.Ports().empty());
  EXPECT_EQ(system.readings, 2);
}

TEST(QtPortEnumerator, SystemListNamesDevicesByPath) {
  for (const PortInfo& info : ReadSystemPorts()) {
    EXPECT_EQ(info.device.rfind("/dev/", 0), 0u) << info.device;
    if (!info.has_usb_ids) {
      EXPECT_EQ(info.vendor_id, 0);
      EXPECT_EQ(info.product_id, 0);
    }
  }
}

TEST(SerialHotplugMonitor, PollingReportsRemovalsAndArrivalsOncePerChange) {
  ManualClock clock;
  FakeSystem system;
  system.ports = {Port("/dev/ttyUSB0"), Port("/dev/ttyS0")};
  QtPortEnumerator enumerator(clock, system.Source());
  SerialHotplugMonitor monitor(enumerator, SerialHotplugMonitor::Source::kPolling);
  EXPECT_FALSE(monitor.event_driven());
  EXPECT_EQ(monitor.fd(), -1);
  EXPECT_TRUE(monitor.Poll().empty());  // ports present at start are no arrivals

  system.ports = {Port("/dev/ttyS0"), Port("/dev/ttyUSB1"), Port("/dev/ttyACM0")};
  clock.Advance(100);
  EXPECT_TRUE(monitor.Poll().empty());  // not due yet
  clock.Advance(400);
  const std::vector<PortEvent> expected = {{PortChange::kRemoved, "/dev/ttyUSB0"},
                                           {PortChange::kArrived, "/dev/ttyACM0"},
                                           {PortChange::kArrived, "/dev/ttyUSB1"}};
  EXPECT_EQ(monitor.Poll(), expected);
  // The engine's own reading in the same period shares the monitor's: one system call.
  EXPECT_EQ(enumerator.Ports().size(), 3u);
  EXPECT_EQ(system.readings, 2);

  clock.Advance(500);
  EXPECT_TRUE(monitor.Poll().empty());  // read again, nothing new
  EXPECT_EQ(system.readings, 3);
}

TEST(SerialHotplugWatcher, DeliversChangesUnderTheEventLoop) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  ManualClock clock;
  FakeSystem system;
  QtPortEnumerator enumerator(clock, system.Source());
  SerialHotplugMonitor monitor(enumerator, SerialHotplugMonitor::Source::kPolling);
  std::vector<PortEvent> seen;
  SerialHotplugWatcher watcher(monitor, [&](const PortEvent& event) { seen.push_back(event); });

  system.ports = {Port("/dev/ttyUSB3")};
  clock.Advance(QtPortEnumerator::kRefreshPeriodMs);
  QElapsedTimer waited;
  waited.start();
  while (seen.empty() && waited.elapsed() < 3000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], (PortEvent{PortChange::kArrived, "/dev/ttyUSB3"}));
}

TEST(PortListing, MarksAcceptedAdaptersAndPrintsSafeColumns) {
  ManualClock clock;
  FakeSystem system;
  PortInfo adapter = Port("/dev/ttyUSB0");
  adapter.has_usb_ids = true;
  adapter.vendor_id = 0x10C4;
  adapter.product_id = 60000;
  adapter.product = "Lx Drives ESC link";
  adapter.serial_number = "0001";
  PortInfo bridge = adapter;  // same chip, other product string
  bridge.device = "/dev/ttyUSB1";
  bridge.product = "CP2102 \x1b[2JUSB";
  bridge.serial_number.clear();
  system.ports = {adapter, bridge, Port("/dev/ttyS0")};
  QtPortEnumerator enumerator(clock, system.Source());

  const std::vector<PortListing> listing = ListPorts(enumerator);
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(FormatPortLine(listing[0]),
            "/dev/ttyUSB0  10c4:ea60  Lx Drives ESC link  0001  accepted");
  EXPECT_EQ(FormatPortLine(listing[1]), "/dev/ttyUSB1  10c4:ea60  CP2102 ?[2JUSB  -  -");
  EXPECT_EQ(FormatPortLine(listing[2]), "/dev/ttyS0  ----:----  -  -  -");
}

}  // namespace
}  // namespace tessel
