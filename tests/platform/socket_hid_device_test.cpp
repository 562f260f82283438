// The socket back-end against a peer the test plays: a listening Unix-domain socket in a
// temporary folder, and the accepted connection.
#include "platform/socket_hid_device.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

// The virtual adapter's side: listens at a path, accepts the device's connection.
class Peer {
 public:
  Peer() {
    char dir[] = "/tmp/tesselarc-hid-XXXXXX";
    dir_ = mkdtemp(dir);
    path_ = dir_ + "/adapter.sock";
  }
  ~Peer() {
    Hangup();
    StopListening();
    rmdir(dir_.c_str());
  }

  const std::string& path() const { return path_; }
  std::vector<std::string> Names(std::initializer_list<const char*> signs) const {
    std::vector<std::string> names;
    for (const char* sign : signs) names.push_back(sign + path_);
    return names;
  }

  void Listen() {
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path_.c_str());
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener_, 4), 0);
  }
  void StopListening() {
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    unlink(path_.c_str());
  }
  void Accept() {
    pollfd waiting{listener_, POLLIN, 0};
    ASSERT_EQ(poll(&waiting, 1, 2000), 1) << "the device did not connect";
    conn_ = accept(listener_, nullptr, nullptr);
    ASSERT_GE(conn_, 0);
  }
  void Hangup() {
    if (conn_ >= 0) close(conn_);
    conn_ = -1;
  }

  void Send(const Bytes& bytes) {
    ASSERT_EQ(send(conn_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Everything that arrives within `wait_ms` of the last byte.
  Bytes Receive(int wait_ms = 200) {
    Bytes got;
    uint8_t chunk[4096];
    pollfd waiting{conn_, POLLIN, 0};
    while (poll(&waiting, 1, wait_ms) == 1) {
      const ssize_t n = recv(conn_, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

 private:
  std::string dir_;
  std::string path_;
  int listener_ = -1;
  int conn_ = -1;
};

// A frame of `kind` whose report is a data report carrying `data`.
Bytes Frame(uint8_t kind, const Bytes& data) {
  Bytes frame(kHidSocketFrameLength, 0);
  frame[0] = kind;
  frame[1] = 2;
  frame[2] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 3);
  return frame;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

struct Read {
  int status = -1;
  Bytes reports;
};

Read ReadReports(SocketHidDevice& device, uint32_t count) {
  Read result;
  Bytes buffer(count * kHidSocketReportLength + 1, 0xEE);
  uint32_t returned = 12345;
  result.status = device.ReadInputReports(buffer.data(), buffer.size(), count, &returned);
  result.reports.assign(buffer.begin(), buffer.begin() + returned);
  EXPECT_EQ(buffer.at(returned), 0xEE) << "wrote past what it reported";
  return result;
}

// Events as "+path" (arrived) and "-path" (removed).
std::vector<std::string> Events(SocketHidDevice& device) {
  std::vector<std::string> names;
  for (const HidEvent& e : device.TakeEvents()) names.push_back((e.arrived ? "+" : "-") + e.path);
  return names;
}

// Connects and opens the device on a listening peer.
void Plug(Peer& peer, SocketHidDevice& device) {
  ASSERT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 1u);
  peer.Accept();
  ASSERT_EQ(device.Open(0, kHidVendorId, kHidProductId, 512), kHidSuccess);
}

TEST(SocketHidDevice, EnumeratesOnlyWhileSomethingListens) {
  Peer peer;
  SocketHidDevice device(peer.path());
  std::string path;
  EXPECT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 0u);
  EXPECT_EQ(device.DevicePath(0, kHidVendorId, kHidProductId, &path), kHidDeviceNotFound);
  EXPECT_EQ(device.Open(0, kHidVendorId, kHidProductId, 512), kHidDeviceNotFound);
  EXPECT_FALSE(device.IsOpened());
  EXPECT_TRUE(Events(device).empty());

  peer.Listen();
  EXPECT_EQ(device.DeviceCount(0x1234, kHidProductId), 0u);
  EXPECT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 1u);
  EXPECT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 1u);  // the same connection
  EXPECT_EQ(device.DevicePath(0, kHidVendorId, kHidProductId, &path), kHidSuccess);
  EXPECT_EQ(path, peer.path());
  EXPECT_EQ(device.DevicePath(1, kHidVendorId, kHidProductId, &path), kHidDeviceNotFound);
  EXPECT_EQ(Events(device), peer.Names({"+"}));
  EXPECT_EQ(device.Open(0, kHidVendorId, kHidProductId, 512), kHidSuccess);
  EXPECT_EQ(device.OpenPath(&path), kHidSuccess);
  EXPECT_EQ(path, peer.path());
  EXPECT_EQ(device.ReportLength(), 64);
}

TEST(SocketHidDevice, SendsWholeFramesAndReassemblesInputReports) {
  Peer peer;
  peer.Listen();
  SocketHidDevice device(peer.path());
  Plug(peer, device);

  std::array<uint8_t, 64> hello{0xFD, 'C', 'O', 'N', 'N'};
  EXPECT_EQ(device.SendControlReport(hello.data(), hello.size()), kHidSuccess);
  const uint8_t probe[] = {2, 1, 0xF9};  // a short report goes out padded to 64 bytes
  EXPECT_EQ(device.SendInterruptReport(probe, sizeof probe), kHidSuccess);
  std::array<uint8_t, 65> too_long{};
  EXPECT_EQ(device.SendInterruptReport(too_long.data(), too_long.size()), kHidInvalidBuffer);
  Bytes expected_hello = {'C', 0xFD, 'C', 'O', 'N', 'N'};
  expected_hello.resize(65);
  EXPECT_EQ(peer.Receive(), Join({expected_hello, Frame('O', {0xF9})}));

  const Bytes first = Frame('I', {0xD5, 0x41});
  const Bytes stray = Frame('O', {0x77});  // not an input report: skipped, framing kept
  const Bytes second = Frame('I', {1, 2, 3, 4, 5});
  peer.Send(Slice(first, 0, 10));
  Read got = ReadReports(device, 2);
  EXPECT_EQ(got.status, kHidTransferTimeout);
  EXPECT_TRUE(got.reports.empty());

  peer.Send(Join({Slice(first, 10, 65), stray, Slice(second, 0, 30)}));
  got = ReadReports(device, 2);
  EXPECT_EQ(got.status, kHidTransferTimeout);
  EXPECT_EQ(got.reports, Slice(first, 1, 65));

  peer.Send(Slice(second, 30, 65));
  got = ReadReports(device, 1);
  EXPECT_EQ(got.status, kHidSuccess);
  EXPECT_EQ(got.reports, Slice(second, 1, 65));

  Bytes small(64);
  uint32_t returned = 0;
  EXPECT_EQ(device.ReadInputReports(small.data(), small.size(), 2, &returned), kHidInvalidBuffer);
}

TEST(SocketHidDevice, QueueHoldsAtMost512AndTheRestWaitsInTheSocket) {
  Peer peer;
  peer.Listen();
  SocketHidDevice device(peer.path());
  Plug(peer, device);
  EXPECT_EQ(device.MaxReportRequest(), 512u);
  Bytes flood;
  for (int i = 0; i < 600; ++i) {
    const Bytes frame = Frame('I', {static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)});
    flood.insert(flood.end(), frame.begin(), frame.end());
  }
  peer.Send(flood);

  Read got = ReadReports(device, 512);
  EXPECT_EQ(got.status, kHidSuccess);
  ASSERT_EQ(got.reports.size(), 512u * 64);
  Read rest = ReadReports(device, 512);
  EXPECT_EQ(rest.status, kHidTransferTimeout);
  ASSERT_EQ(rest.reports.size(), 88u * 64);
  got.reports.insert(got.reports.end(), rest.reports.begin(), rest.reports.end());
  for (int i = 0; i < 600; ++i) {  // every report once, in order
    ASSERT_EQ(got.reports[i * 64 + 2] << 8 | got.reports[i * 64 + 3], i);
  }

  // A smaller queue, asked for more than it holds: it hands out what it holds, in order.
  ASSERT_EQ(device.Open(0, kHidVendorId, kHidProductId, 4), kHidSuccess);
  EXPECT_EQ(device.MaxReportRequest(), 4u);
  peer.Send(Slice(flood, 0, 10 * 65));
  for (const size_t expected : {4, 4, 2}) {
    got = ReadReports(device, 10);
    EXPECT_EQ(got.status, kHidTransferTimeout);
    ASSERT_EQ(got.reports.size(), expected * 64);
  }
  EXPECT_EQ(got.reports[64 + 3], 9);
}

TEST(SocketHidDevice, PeerClosingIsPullingOutAndReconnectingIsPluggingIn) {
  Peer peer;
  peer.Listen();
  SocketHidDevice device(peer.path());
  Plug(peer, device);
  EXPECT_EQ(Events(device), peer.Names({"+"}));

  // Noticed by a read: the call fails, and so does everything after it.
  peer.Hangup();
  peer.StopListening();
  EXPECT_EQ(ReadReports(device, 1).status, kHidDeviceIoFailed);
  EXPECT_FALSE(device.IsOpened());
  EXPECT_EQ(ReadReports(device, 1).status, kHidDeviceNotOpened);
  const uint8_t report[64] = {2, 1, 0xF9};
  EXPECT_EQ(device.SendInterruptReport(report, sizeof report), kHidDeviceNotOpened);
  EXPECT_EQ(Events(device), peer.Names({"-"}));
  EXPECT_TRUE(Events(device).empty());
  EXPECT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 0u);

  // Plugged in again: an arrival, and reports flow on the new connection.
  peer.Listen();
  Plug(peer, device);
  EXPECT_EQ(Events(device), peer.Names({"+"}));
  EXPECT_EQ(device.SendInterruptReport(report, sizeof report), kHidSuccess);
  EXPECT_EQ(peer.Receive(), Frame('O', {0xF9}));

  // Noticed by a write, which must not raise SIGPIPE. The socket still listens, so looking
  // for events plugs the adapter in again at once.
  peer.Hangup();
  EXPECT_EQ(device.SendInterruptReport(report, sizeof report), kHidDeviceIoFailed);
  EXPECT_FALSE(device.IsOpened());
  EXPECT_EQ(Events(device), peer.Names({"-", "+"}));

  // Noticed while the device is not open: enumeration no longer finds it.
  Plug(peer, device);
  device.Close();
  peer.Hangup();
  peer.StopListening();
  EXPECT_EQ(device.DeviceCount(kHidVendorId, kHidProductId), 0u);
  EXPECT_EQ(Events(device), peer.Names({"-"}));
}

TEST(SocketHidDevice, AWriteThatTimesOutSendsNothingOfItsFrame) {
  Peer peer;
  peer.Listen();
  SocketHidDevice device(peer.path());
  Plug(peer, device);
  ASSERT_EQ(device.SetTimeouts(0, 50), kHidSuccess);
  // The peer reads nothing until the socket is full.
  std::array<uint8_t, 64> report{2, 2};
  int status = kHidSuccess;
  int sent = 0;
  for (; sent < 100000 && status == kHidSuccess; ++sent) {
    report[2] = static_cast<uint8_t>(sent >> 8);
    report[3] = static_cast<uint8_t>(sent);
    status = device.SendInterruptReport(report.data(), report.size());
  }
  --sent;
  ASSERT_EQ(status, kHidTransferTimeout);
  EXPECT_TRUE(device.IsOpened());

  const Bytes got = peer.Receive();
  ASSERT_EQ(got.size(), static_cast<size_t>(sent) * 65);
  for (int i = 0; i < sent; ++i) {
    ASSERT_EQ(got[i * 65], 'O');
    ASSERT_EQ(got[i * 65 + 3] << 8 | got[i * 65 + 4], i & 0xFFFF);
  }
  EXPECT_EQ(device.SendInterruptReport(report.data(), report.size()), kHidSuccess);
  EXPECT_EQ(peer.Receive().size(), 65u);
}

}  // namespace
}  // namespace tessel
