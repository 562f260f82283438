// tesselarc-sim --hid as a separate program, reached with plain POSIX sockets in 65-byte
// frames: the adapter greets, the device answers, a reconnect is a fresh plug-in.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(char kind, const Bytes& report) {
  Bytes frame(65, 0);
  frame[0] = static_cast<uint8_t>(kind);
  std::copy(report.begin(), report.end(), frame.begin() + 1);
  return frame;
}
Bytes Hello() {
  return Frame('C', {0xFD, 'C', 'O', 'N', 'N'});
}
Bytes Data(char kind, const Bytes& data) {
  Bytes report{2, static_cast<uint8_t>(data.size())};
  report.insert(report.end(), data.begin(), data.end());
  return Frame(kind, report);
}

class HidSocket {
 public:
  explicit HidSocket(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~HidSocket() { close(fd_); }
  bool connected() const { return connected_; }
  bool Write(const Bytes& bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Waits up to `timeout_ms` for `count` frames; fewer when the server closes or is silent.
  Bytes Read(size_t count, int timeout_ms = 2000) {
    Bytes got;
    while (got.size() < count * 65) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, timeout_ms) <= 0) break;
      uint8_t buffer[1024];
      const ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, count * 65 - got.size()), 0);
      if (n <= 0) {
        closed_ = true;
        break;
      }
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
};

TEST(HidSimOverSocket, GreetsAnswersAndTreatsAReconnectAsAFreshPlugIn) {
  test_support::SimProcess sim({"--hid", "--device", "v1-bec", "--v1-length", "15", "--trace"});
  ASSERT_FALSE(sim.path().empty()) << sim.Errors();
  struct stat folder {};
  ASSERT_EQ(stat(sim.path().substr(0, sim.path().rfind('/')).c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);

  const Bytes greeting = Data('I', {0xD7, 1, 0, 5, 0, 12, 3, 7});
  {
    HidSocket host(sim.path());
    ASSERT_TRUE(host.connected());
    ASSERT_TRUE(host.Write(Hello()));
    EXPECT_EQ(host.Read(1), greeting);
    // A frame of an unknown kind is dropped; a frame split over two writes still counts.
    ASSERT_TRUE(host.Write(Frame('X', {2, 1, 0xD5})));
    const Bytes presence = Data('O', {0xD5});
    ASSERT_TRUE(host.Write(Bytes(presence.begin(), presence.begin() + 10)));
    usleep(20000);
    ASSERT_TRUE(host.Write(Bytes(presence.begin() + 10, presence.end())));
    EXPECT_EQ(host.Read(2, 300), Data('I', {0x2B}));
    ASSERT_TRUE(host.Write(Data('O', {0xE2, 1})));
    EXPECT_EQ(host.Read(1), Data('I', {0x01}));
    ASSERT_TRUE(host.Write(Bytes(7, 'O')));  // a short frame at the close
  }
  // Plugged in again: a fresh adapter greets, the ESC kept what it was sent.
  HidSocket host(sim.path());
  ASSERT_TRUE(host.connected());
  ASSERT_TRUE(host.Write(Hello()));
  EXPECT_EQ(host.Read(1), greeting);
  ASSERT_TRUE(host.Write(Data('O', {0xD8})));
  EXPECT_EQ(host.Read(1), Data('I', {0x2C, 0, 1, 6, 3, 1, 3, 2, 7, 0, 4, 1, 0, 0, 1}));

  const std::string log = sim.Errors();
  EXPECT_NE(log.find("dropped a frame of kind 0x58"), std::string::npos) << log;
  EXPECT_NE(log.find("dropped a short frame of 7 bytes"), std::string::npos) << log;
  EXPECT_NE(log.find("O> 02 01 D5 00"), std::string::npos) << log;
}

TEST(HidSimOverSocket, PullingOutMidTransferClosesTheConnection) {
  test_support::SimProcess sim({"--hid", "--unplug-after", "3"});
  ASSERT_FALSE(sim.path().empty()) << sim.Errors();
  HidSocket host(sim.path());
  ASSERT_TRUE(host.Write(Hello()));
  EXPECT_EQ(host.Read(1).size(), 65u);
  ASSERT_TRUE(host.Write(Data('O', {0xA4, 1})));
  EXPECT_EQ(host.Read(1), Data('I', {0x01}));
  ASSERT_TRUE(host.Write(Data('O', {0xD5, 0xD7})));
  EXPECT_TRUE(host.Read(1).empty());
  EXPECT_TRUE(host.closed());
  // The server goes on: the next host finds an adapter again.
  HidSocket next(sim.path());
  ASSERT_TRUE(next.Write(Hello()));
  EXPECT_EQ(next.Read(1).size(), 65u);
}

}  // namespace
}  // namespace tessel
