// The serial link over the real back-end against the virtual ESC program on a pseudo-terminal:
// the presence probe at both line speeds, the receive time-out, and the probe's round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/link/serial_link.h"
#include "core/session/clock.h"
#include "platform/qt_port_enumerator.h"
#include "platform/qt_serial_port.h"
#include "pty_peer.h"

namespace tessel {
namespace {

using testing::ElapsedMs;
using testing::SimProcess;

// The sim's pty posing as an accepted adapter, so that LinkOpen runs its real search.
PortSource AdapterAt(const std::string& device) {
  return [device] {
    PortInfo other;
    other.device = "/dev/tessel-not-this-one";
    PortInfo adapter;
    adapter.device = device;
    adapter.has_usb_ids = true;
    adapter.vendor_id = 0x10C4;
    adapter.product_id = 60000;
    adapter.product = "LX DRIVES";
    return std::vector<PortInfo>{other, adapter};
  };
}

class SerialOverSim : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sim_.slave_path().empty()) << "tesselarc-sim printed no device";
    link_.baud_rate = GetParam();
    ASSERT_EQ(link_.LinkOpen(), 0) << port_.last_error();
    ASSERT_EQ(link_.device_name, sim_.slave_path());
  }

  SimProcess sim_;
  SystemClock clock_;
  QtPortEnumerator enumerator_{clock_, AdapterAt(sim_.slave_path())};
  QtSerialPort port_;
  SerialLink link_{port_, &enumerator_, clock_};
};

TEST_P(SerialOverSim, PresenceProbeIsAnswered) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(link_.LinkSendByte(0xF9), 0);
    ASSERT_EQ(link_.LinkReceive(2, 150), 0) << "round " << round;
    EXPECT_EQ(link_.reply_length, 2u);
    EXPECT_EQ(link_.reply_buffer[0], 0xD5);
    EXPECT_EQ(link_.reply_buffer[1], 0x41);
  }
}

TEST_P(SerialOverSim, SilentLineTimesOutAfterItsWaitWithAnEmptyReply) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link_.LinkReceive(2, 150), 2);
  const int64_t waited = ElapsedMs(start);
  EXPECT_GE(waited, 140);
  EXPECT_LE(waited, 1000);
  EXPECT_TRUE(link_.link_error);
  EXPECT_EQ(link_.reply_buffer[0], 0);
  // The link is still usable afterwards.
  ASSERT_EQ(link_.LinkSendByte(0xF9), 0);
  EXPECT_EQ(link_.LinkReceive(2, 150), 0);
}

// Information, not a pass mark: how long one probe takes (write 0xF9, its echo, two reply
// bytes) on the pty at this line speed.
TEST_P(SerialOverSim, ProbeRoundTrip) {
  std::vector<double> times;
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const uint8_t probe = 0xF9;
    ASSERT_TRUE(port_.Write(&probe, 1, nullptr));
    uint8_t reply[3] = {};
    size_t got = 0;
    ASSERT_TRUE(port_.Read(reply, 3, &got, 1000));
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    EXPECT_EQ(reply[0], 0xF9);
    EXPECT_EQ(reply[1], 0xD5);
    EXPECT_EQ(reply[2], 0x41);
  }
  std::sort(times.begin(), times.end());
  std::printf("probe round trip at %u baud over a pty: min %.2f ms, median %.2f ms, max %.2f ms\n",
              GetParam(), times.front(), times[times.size() / 2], times.back());
}

INSTANTIATE_TEST_SUITE_P(LineSpeeds, SerialOverSim, ::testing::Values(kBaudSlow, kBaudFast),
                         [](const auto& info) { return "At" + std::to_string(info.param); });

TEST(SerialLinkOverQt, NoAcceptedAdapterOrMissingDeviceMeansNoLink) {
  SystemClock clock;
  QtSerialPort port;
  QtPortEnumerator enumerator(clock, AdapterAt("/dev/tessel-no-such-port"));
  SerialLink link(port, &enumerator, clock);
  EXPECT_EQ(link.LinkOpen(), 1);
  EXPECT_FALSE(link.is_open);
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace tessel
