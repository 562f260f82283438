// The Qt back-end over a pseudo-terminal whose far end the test plays itself, byte by byte.
#include "platform/qt_serial_port.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QCoreApplication>
#include <thread>

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

void Settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
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

TEST_F(QtSerialPortTest, OpensThePtyRawAt8N1WithTheRequestedSpeed) {
  for (uint32_t baud : {1200u, 19200u}) {
    ASSERT_TRUE(port_.Open(peer_.slave_path(), baud)) << port_.last_error();  // reopens
    termios t{};
    ASSERT_EQ(tcgetattr(peer_.slave_fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), baud == 1200 ? B1200 : B19200);
    EXPECT_EQ(cfgetispeed(&t), baud == 1200 ? B1200 : B19200);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  }
}

TEST_F(QtSerialPortTest, ReadsExactCountsAndATimedOutReadLeavesNothingBehind) {
  peer_.Send({0xF9, 0xD5, 0x41, 0x11});
  EXPECT_EQ(ReadBytes(port_, 1, 500), Bytes{0xF9});  // the echo must not swallow the reply
  EXPECT_EQ(ReadBytes(port_, 2, 500), (Bytes{0xD5, 0x41}));

  bool ok = true;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadBytes(port_, 2, 150, &ok), Bytes{0x11});
  EXPECT_FALSE(ok);
  EXPECT_GE(ElapsedMs(start), 140);
  EXPECT_LE(ElapsedMs(start), 1000);
  peer_.Send({0x22, 0x33});
  EXPECT_EQ(ReadBytes(port_, 2, 500, &ok), (Bytes{0x22, 0x33}));  // no stale 0x11
  EXPECT_TRUE(ok);

  // A zero time-out still takes what the system has already received.
  peer_.Send({0x5A});
  Settle();
  EXPECT_EQ(ReadBytes(port_, 1, 0, &ok), Bytes{0x5A});
  EXPECT_TRUE(ok);
}

TEST_F(QtSerialPortTest, PurgeDropsBufferedAndQueuedInput) {
  peer_.Send({1, 2, 3});
  EXPECT_EQ(ReadBytes(port_, 1, 500), Bytes{1});  // 2 and 3 now sit in Qt's buffer
  peer_.Send({4, 5});                             // and these in the system's queue
  Settle();
  port_.PurgeRx();
  peer_.Send({9});
  EXPECT_EQ(ReadBytes(port_, 2, 200), Bytes{9});
  peer_.Send({6, 7});
  Settle();
  port_.Purge();
  EXPECT_TRUE(ReadBytes(port_, 1, 100).empty());
}

// The far end stops taking bytes: the write must fail within its budget instead of claiming
// success, and what it could not hand over must not go out later behind the caller's back.
TEST_F(QtSerialPortTest, StalledWriteFailsAndLeavesNothingToTrickleOut) {
  ASSERT_TRUE(port_.Open(peer_.slave_path(), 4000000)) << port_.last_error();
  Bytes out(64 * 1024, 0x55);  // several times what a pty takes in
  size_t written = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port_.Write(out.data(), out.size(), &written));
  EXPECT_LE(ElapsedMs(start), port_.WriteBudgetMs(out.size()) + 1000);
  EXPECT_LT(written, out.size());
  EXPECT_LE(peer_.Drain(300), written);
  ReadBytes(port_, 1, 100);  // any later wait would send a leftover queue
  EXPECT_EQ(peer_.Drain(200), 0u);
}

TEST_F(QtSerialPortTest, VanishedFarEndFailsPromptlyAndClosesThePort) {
  peer_.CloseMaster();
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  EXPECT_TRUE(ReadBytes(port_, 1, 2000, &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_LT(ElapsedMs(start), 1000);  // an error, not the time-out
  EXPECT_FALSE(port_.IsOpen());
}

TEST(QtSerialPortOpen, MissingOrBusyDeviceFails) {
  QtSerialPort port;
  EXPECT_FALSE(port.Open("/dev/tessel-no-such-port", 19200));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.last_error().empty());
  uint8_t byte = 0xF9;
  size_t count = 99;
  EXPECT_FALSE(port.Write(&byte, 1, &count));
  EXPECT_EQ(count, 0u);

  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  QtSerialPort first;
  ASSERT_TRUE(first.Open(peer.slave_path(), 1200));
  EXPECT_FALSE(port.Open(peer.slave_path(), 1200));  // exclusive
  first.Close();
  EXPECT_TRUE(port.Open(peer.slave_path(), 1200)) << port.last_error();
}

// Under the desktop tool an event loop runs between ticks and Qt takes arriving bytes into its
// buffer on its own; they must still reach the next Read, in order.
TEST(QtSerialPortWithApplication, BytesTakenInByTheEventLoopAreRead) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  PtyPeer peer;
  ASSERT_TRUE(peer.ok());
  QtSerialPort port;
  ASSERT_TRUE(port.Open(peer.slave_path(), 19200)) << port.last_error();
  peer.Send({0xF9, 0xD5});
  Settle();
  QCoreApplication::processEvents();
  peer.Send({0x41});
  bool ok = false;
  EXPECT_EQ(ReadBytes(port, 3, 500, &ok), (Bytes{0xF9, 0xD5, 0x41}));
  EXPECT_TRUE(ok);
}

}  // namespace
}  // namespace tessel
