// The Qt back-end over a pseudo-terminal whose far end the test plays itself, byte by byte.
#include "platform/qt_serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QCoreApplication>
#include <chrono>
#include <thread>
#include <vector>

#include "pty_peer.h"

namespace tessel {
namespace {

using testing::ElapsedMs;
using testing::PtyPeer;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(QtSerialPort& port, size_t count, uint32_t timeout_ms, bool* ok = nullptr) {
  Bytes data(count, 0);
  size_t got = 0;
  const bool done = port.Read(data.data(), count, &got, timeout_ms);
  if (ok != nullptr) *ok = done;
  data.resize(got);
  return data;
}

class QtSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok()) << "no pseudo-terminal";
    ASSERT_TRUE(port_.Open(peer_.slave_path(), 19200)) << port_.last_error();
  }
  PtyPeer peer_;
  QtSerialPort port_;
};

TEST_F(QtSerialPortTest, OpensThePtyAt8N1WithTheRequestedSpeed) {
  for (uint32_t baud : {1200u, 19200u}) {
    ASSERT_TRUE(port_.Open(peer_.slave_path(), baud)) << port_.last_error();  // reopens
    termios t{};
    ASSERT_EQ(tcgetattr(peer_.slave_fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), baud == 1200 ? B1200 : B19200);
    EXPECT_EQ(cfgetispeed(&t), baud == 1200 ? B1200 : B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    // Raw: no echo and no line editing, or the ESC's bytes would be mangled.
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  }
}

TEST_F(QtSerialPortTest, WritesEveryByte) {
  Bytes out(300);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7);
  size_t written = 0;
  ASSERT_TRUE(port_.Write(out.data(), out.size(), &written));
  EXPECT_EQ(written, out.size());
  EXPECT_EQ(peer_.Take(out.size(), 2000), out);
}

// The far end stops taking bytes: the write must fail within its budget instead of claiming
// success, and what it could not hand over must not go out later behind the caller's back.
TEST_F(QtSerialPortTest, StalledWriteFailsAndLeavesNothingToTrickleOut) {
  ASSERT_TRUE(port_.Open(peer_.slave_path(), 4000000)) << port_.last_error();
  Bytes out(64 * 1024, 0x55);
  size_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port_.Write(out.data(), out.size(), &written));
  EXPECT_LE(ElapsedMs(start), port_.WriteBudgetMs(out.size()) + 1000);
  EXPECT_LT(written, out.size());

  const size_t arrived = peer_.Take(out.size(), 300).size();
  EXPECT_LE(arrived, written);
  ReadBytes(port_, 1, 100);  // any later wait would flush a leftover queue
  EXPECT_TRUE(peer_.Take(out.size(), 200).empty());
}

TEST_F(QtSerialPortTest, ReadTakesOnlyWhatIsAskedAndKeepsTheRest) {
  // Echo and reply arrive together; the echo read must not swallow the reply.
  peer_.Send({0xF9, 0xD5, 0x41});
  EXPECT_EQ(ReadBytes(port_, 1, 500), Bytes{0xF9});
  bool ok = false;
  EXPECT_EQ(ReadBytes(port_, 2, 500, &ok), (Bytes{0xD5, 0x41}));
  EXPECT_TRUE(ok);
}

TEST_F(QtSerialPortTest, TimedOutReadHandsOverWhatCameAndLeavesNothingBehind) {
  peer_.Send({0x11});
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  EXPECT_EQ(ReadBytes(port_, 2, 150, &ok), Bytes{0x11});
  EXPECT_FALSE(ok);
  const int64_t waited = ElapsedMs(start);
  EXPECT_GE(waited, 140);
  EXPECT_LE(waited, 1000);

  // The next reply starts clean: the 0x11 is not delivered a second time.
  peer_.Send({0x22, 0x33});
  EXPECT_EQ(ReadBytes(port_, 2, 500, &ok), (Bytes{0x22, 0x33}));
  EXPECT_TRUE(ok);
}

TEST_F(QtSerialPortTest, PurgeDropsBufferedAndQueuedInput) {
  peer_.Send({1, 2, 3});
  EXPECT_EQ(ReadBytes(port_, 1, 500), Bytes{1});  // 2 and 3 now sit in Qt's own buffer
  peer_.Send({4, 5});                             // and these in the system's queue
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  port_.PurgeRx();
  peer_.Send({9});
  EXPECT_EQ(ReadBytes(port_, 2, 200), Bytes{9});

  peer_.Send({6, 7});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  port_.Purge();
  EXPECT_TRUE(ReadBytes(port_, 1, 100).empty());
}

TEST_F(QtSerialPortTest, ZeroTimeoutReadStillTakesBytesAlreadyThere) {
  peer_.Send({0x5A});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  bool ok = false;
  // A zero wait must not return before looking: the byte is in the system's queue.
  const Bytes got = ReadBytes(port_, 1, 0, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, Bytes{0x5A});
}

TEST_F(QtSerialPortTest, VanishedFarEndFailsTheReadAndClosesThePort) {
  peer_.CloseMaster();
  const auto start = std::chrono::steady_clock::now();
  uint8_t byte = 0;
  size_t got = 99;
  EXPECT_FALSE(port_.Read(&byte, 1, &got, 2000));
  EXPECT_EQ(got, 0u);
  EXPECT_LT(ElapsedMs(start), 1000);  // an error, not the time-out
  EXPECT_FALSE(port_.IsOpen());
  size_t written = 99;
  EXPECT_FALSE(port_.Write(&byte, 1, &written));
  EXPECT_EQ(written, 0u);
}

TEST(QtSerialPortOpen, MissingDeviceFailsAndTheClosedPortRefusesIo) {
  QtSerialPort port;
  EXPECT_FALSE(port.Open("/dev/tessel-no-such-port", 19200));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.last_error().empty());
  EXPECT_FALSE(port.Open("", 19200));
  uint8_t byte = 0xF9;
  size_t count = 99;
  EXPECT_FALSE(port.Write(&byte, 1, &count));
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_FALSE(port.Read(&byte, 1, &count, 10));
  EXPECT_EQ(count, 0u);
  port.Purge();  // harmless on a closed port
}

TEST(QtSerialPortOpen, SecondOpenOfAnOpenPortFails) {
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  QtSerialPort first;
  QtSerialPort second;
  ASSERT_TRUE(first.Open(peer.slave_path(), 1200));
  EXPECT_FALSE(second.Open(peer.slave_path(), 1200));
  first.Close();
  EXPECT_TRUE(second.Open(peer.slave_path(), 1200)) << second.last_error();
}

// Under the desktop tool an event loop runs between ticks and Qt pulls arriving bytes into
// its buffer on its own; they must still reach the next Read, in order.
TEST(QtSerialPortWithApplication, BytesTakenInByTheEventLoopAreRead) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  QtSerialPort port;
  ASSERT_TRUE(port.Open(peer.slave_path(), 19200)) << port.last_error();
  peer.StartEcho();
  const uint8_t probe = 0xF9;
  ASSERT_TRUE(port.Write(&probe, 1, nullptr));
  const auto start = std::chrono::steady_clock::now();
  while (ElapsedMs(start) < 100) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  bool ok = false;
  EXPECT_EQ(ReadBytes(port, 3, 500, &ok), (Bytes{0xF9, 0xD5, 0x41}));
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace tessel
