// The serial link over the real back-end against the virtual ESC program on a pseudo-terminal,
// found through the adapter search, at both line speeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "core/link/serial_link.h"
#include "platform/qt_port_enumerator.h"
#include "platform/qt_serial_port.h"
#include "pty_peer.h"

namespace tessel {
namespace {

using testing::ElapsedMs;

class SerialOverSim : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(sim_.slave_path().empty()) << "tesselarc-sim printed no device";
    link_.baud_rate = GetParam();
    ASSERT_EQ(link_.LinkOpen(), 0) << port_.last_error();
    ASSERT_EQ(link_.device_name, sim_.slave_path());
  }
  // The sim's pty poses as an accepted adapter behind another port.
  std::vector<PortInfo> Ports() {
    PortInfo adapter{sim_.slave_path(), true, 0x10C4, 60000, "LX DRIVES", "0001", ""};
    PortInfo other;
    other.device = "/dev/ttyS0";
    return {other, adapter};
  }

  testing::SimProcess sim_;
  SystemClock clock_;
  QtPortEnumerator enumerator_{clock_, [this] { return Ports(); }};
  QtSerialPort port_;
  SerialLink link_{port_, &enumerator_, clock_};
};

// Also prints the round trip of one probe (0xF9, its echo, 0xD5 0x41), as information.
TEST_P(SerialOverSim, PresenceProbeIsAnswered) {
  std::vector<double> times;
  for (int round = 0; round < 20; ++round) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(link_.LinkSendByte(0xF9), 0);
    ASSERT_EQ(link_.LinkReceive(2, 150), 0) << "round " << round;
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    EXPECT_EQ(link_.reply_buffer[0], 0xD5);
    EXPECT_EQ(link_.reply_buffer[1], 0x41);
  }
  std::sort(times.begin(), times.end());
  std::printf("probe round trip at %u baud over a pty: min %.2f ms, median %.2f ms, max %.2f ms\n",
              GetParam(), times.front(), times[times.size() / 2], times.back());
}

TEST_P(SerialOverSim, SilentLineTimesOutAfterItsWaitWithAnEmptyReply) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link_.LinkReceive(2, 150), 2);
  EXPECT_GE(ElapsedMs(start), 140);
  EXPECT_LE(ElapsedMs(start), 1000);
  EXPECT_EQ(link_.reply_buffer[0], 0);
  ASSERT_EQ(link_.LinkSendByte(0xF9), 0);  // still usable
  EXPECT_EQ(link_.LinkReceive(2, 150), 0);
}

INSTANTIATE_TEST_SUITE_P(LineSpeeds, SerialOverSim, ::testing::Values(kBaudSlow, kBaudFast),
                         [](const auto& info) { return "At" + std::to_string(info.param); });

}  // namespace
}  // namespace tessel
