#include "platform/socket_hid_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0  // no such flag there: SO_NOSIGPIPE on the socket does the same
#endif

namespace tessel {

namespace {

// Input that comes while the device is not open is read and dropped, up to this much per
// call, so that a peer that never stops sending cannot keep a call busy.
constexpr size_t kDiscardPerCall = 64 * 1024;

int64_t MsUntil(std::chrono::steady_clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                               std::chrono::steady_clock::now())
      .count();
}

}  // namespace

std::string SocketHidDevice::PathProblem(const std::string& path, int& error) {
  error = 0;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = errno;
    return std::strerror(error);
  }
  if (S_ISDIR(st.st_mode)) return "it is a folder, not a socket";
  if (!S_ISSOCK(st.st_mode)) return "not a socket";
  return {};
}

SocketHidDevice::SocketHidDevice(std::string socket_path) : socket_path_(std::move(socket_path)) {}

SocketHidDevice::~SocketHidDevice() {
  if (fd_ >= 0) close(fd_);
}

bool SocketHidDevice::TryConnect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.empty() || socket_path_.size() >= sizeof address.sun_path) return false;
  std::copy(socket_path_.begin(), socket_path_.end(), address.sun_path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
#ifdef SO_NOSIGPIPE
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
  // A Unix-domain connect never waits: it succeeds at once, or fails (no listener, backlog
  // full) and the next call tries again.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  partial_size_ = 0;
  events_.push_back({true, socket_path_});
  return true;
}

void SocketHidDevice::Unplug() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  opened_ = false;
  partial_size_ = 0;
  queue_.clear();  // what the adapter buffered goes with it
  events_.push_back({false, socket_path_});
}

bool SocketHidDevice::Pump() {
  if (fd_ < 0) return false;
  size_t discard_left = kDiscardPerCall;
  for (;;) {
    size_t room;
    if (opened_) {
      // Never read more than the queue can take: the rest waits in the socket, not lost.
      const size_t free_reports = capacity_ - std::min<size_t>(queue_.size(), capacity_);
      room = free_reports == 0 ? 0 : free_reports * kHidSocketFrameLength - partial_size_;
    } else {
      room = discard_left;
    }
    if (room == 0) return true;
    uint8_t chunk[4096];
    const ssize_t n = recv(fd_, chunk, std::min(room, sizeof chunk), MSG_DONTWAIT);
    if (n == 0) {  // the peer closed: the adapter was pulled out
      Unplug();
      return false;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      Unplug();  // ECONNRESET and the like
      return false;
    }
    if (!opened_) discard_left -= static_cast<size_t>(n);
    for (ssize_t i = 0; i < n; ++i) {
      partial_[partial_size_++] = chunk[i];
      if (partial_size_ < kHidSocketFrameLength) continue;
      partial_size_ = 0;
      if (partial_[0] != kHidFrameInput || !opened_) continue;  // not an input report for us
      Report report;
      std::copy(partial_.begin() + 1, partial_.end(), report.begin());
      queue_.push_back(report);
    }
  }
}

uint32_t SocketHidDevice::DeviceCount(uint16_t vendor_id, uint16_t product_id) {
  if (vendor_id != kHidVendorId || product_id != kHidProductId) return 0;
  if (fd_ >= 0) Pump();  // notices a peer that has gone
  if (fd_ < 0) TryConnect();
  return fd_ >= 0 ? 1 : 0;
}

int SocketHidDevice::DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                                std::string* path) {
  if (path == nullptr) return kHidInvalidBuffer;
  if (vendor_id != kHidVendorId || product_id != kHidProductId || index != 0 || fd_ < 0) {
    return kHidDeviceNotFound;
  }
  *path = socket_path_;
  return kHidSuccess;
}

int SocketHidDevice::Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                          uint32_t input_buffers) {
  Close();
  if (vendor_id != kHidVendorId || product_id != kHidProductId || index != 0) {
    return kHidDeviceNotFound;
  }
  if (fd_ >= 0) Pump();  // drops stale input and notices a peer that has gone
  if (fd_ < 0) return kHidDeviceNotFound;
  opened_ = true;
  capacity_ = std::clamp<uint32_t>(input_buffers, 1, kMaxInputBuffers);
  read_timeout_ms_ = 0;
  write_timeout_ms_ = kDefaultWriteTimeoutMs;
  return kHidSuccess;
}

int SocketHidDevice::SetTimeouts(uint32_t read_ms, uint32_t write_ms) {
  if (!opened_) return kHidDeviceNotOpened;
  read_timeout_ms_ = read_ms;
  write_timeout_ms_ = write_ms;
  return kHidSuccess;
}

int SocketHidDevice::SendControlReport(const uint8_t* report, size_t length) {
  return SendFrame(kHidFrameControl, report, length);
}

int SocketHidDevice::SendInterruptReport(const uint8_t* report, size_t length) {
  return SendFrame(kHidFrameOutput, report, length);
}

int SocketHidDevice::SendFrame(uint8_t kind, const uint8_t* report, size_t length) {
  if (!opened_) return kHidDeviceNotOpened;
  if (report == nullptr || length == 0 || length > kHidSocketReportLength) {
    return kHidInvalidBuffer;
  }
  std::array<uint8_t, kHidSocketFrameLength> frame{};
  frame[0] = kind;
  std::copy_n(report, length, frame.begin() + 1);  // a shorter report is padded with zeros
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(write_timeout_ms_);
  size_t sent = 0;
  while (sent < frame.size()) {
    const ssize_t n =
        send(fd_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int64_t left = MsUntil(deadline);
      if (left <= 0) break;
      pollfd waiting{fd_, POLLOUT, 0};
      if (poll(&waiting, 1, static_cast<int>(left)) >= 0 || errno == EINTR) continue;
    }
    Unplug();  // EPIPE, ECONNRESET: the adapter was pulled out
    return kHidDeviceIoFailed;
  }
  if (sent == frame.size()) return kHidSuccess;
  if (sent == 0) return kHidTransferTimeout;  // the peer stopped reading; nothing went out
  // Part of a frame went out: the peer would read every later frame shifted, so the
  // connection cannot carry another one. Treat it as the adapter gone.
  Unplug();
  return kHidDeviceIoFailed;
}

int SocketHidDevice::ReadInputReports(uint8_t* buffer, size_t size, uint32_t count,
                                      uint32_t* returned) {
  if (returned == nullptr) return kHidInvalidBuffer;
  *returned = 0;
  if (!opened_) return kHidDeviceNotOpened;
  if (count > 0 && (buffer == nullptr || size / kHidSocketReportLength < count)) {
    return kHidInvalidBuffer;
  }
  if (!Pump()) return kHidDeviceIoFailed;
  if (read_timeout_ms_ > 0 && queue_.size() < count) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(read_timeout_ms_);
    while (queue_.size() < count && queue_.size() < capacity_) {
      const int64_t left = MsUntil(deadline);
      if (left <= 0) break;
      pollfd waiting{fd_, POLLIN, 0};
      if (poll(&waiting, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
      if (!Pump()) return kHidDeviceIoFailed;
    }
  }
  const size_t n = std::min<size_t>(count, queue_.size());
  for (size_t i = 0; i < n; ++i) {
    std::copy(queue_.front().begin(), queue_.front().end(), buffer + i * kHidSocketReportLength);
    queue_.pop_front();
  }
  *returned = static_cast<uint32_t>(n * kHidSocketReportLength);
  return n == count ? kHidSuccess : kHidTransferTimeout;
}

int SocketHidDevice::OpenPath(std::string* path) const {
  if (path == nullptr) return kHidInvalidBuffer;
  if (!opened_) return kHidDeviceNotOpened;
  *path = socket_path_;
  return kHidSuccess;
}

void SocketHidDevice::Close() {
  opened_ = false;
  queue_.clear();
}

std::vector<HidEvent> SocketHidDevice::TakeEvents() {
  if (fd_ >= 0) {
    Pump();
  } else {
    TryConnect();
  }
  std::vector<HidEvent> events;
  events.swap(events_);
  return events;
}

}  // namespace tessel
