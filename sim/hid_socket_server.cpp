#include "sim/hid_socket_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/link/hid_link.h"
#include "core/link/hid_socket_frame.h"

namespace tessel {

namespace {

// A host that reads nothing gets no more frames served until it catches up.
constexpr size_t kMaxUnsent = 64 * 1024;

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A private folder for the socket, under $TMPDIR when the socket path fits there.
std::string MakeFolder() {
  constexpr size_t kRoom = sizeof(sockaddr_un::sun_path) - sizeof("/tesselarc-hid-XXXXXX/adapter");
  std::string base = "/tmp";
  if (const char* dir = std::getenv("TMPDIR");
      dir != nullptr && *dir != '\0' && std::strlen(dir) < kRoom) {
    base = dir;
  }
  std::string pattern = base + "/tesselarc-hid-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

HidSocketServer::HidSocketServer(HidDeviceKind kind, size_t v1_block_length)
    : adapter_(kind, v1_block_length) {
  // Nothing is plugged in until a host connects.
  adapter_.SetPlugged(false);
  adapter_.TakeEvents();
}

HidSocketServer::~HidSocketServer() {
  for (int fd : {host_, listen_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
  if (!socket_path_.empty()) unlink(socket_path_.c_str());
  if (!folder_.empty()) rmdir(folder_.c_str());
}

bool HidSocketServer::Open() {
  if (pipe(wake_) != 0) return false;
  SetNonBlocking(wake_[0]);
  SetNonBlocking(wake_[1]);
  folder_ = MakeFolder();
  if (folder_.empty()) return false;
  const std::string path = folder_ + "/adapter";
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_ < 0) return false;
  if (bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return false;
  }
  socket_path_ = path;
  return listen(listen_, 4) == 0;
}

void HidSocketServer::Stop() {
  const char byte = 1;
  if (wake_[1] >= 0) {
    [[maybe_unused]] ssize_t n = write(wake_[1], &byte, 1);
  }
}

int HidSocketServer::Run() {
  if (listen_ < 0) return 1;
  for (;;) {
    pollfd fds[3] = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}, {host_, 0, 0}};
    if (host_ >= 0) {
      if (out_.size() < kMaxUnsent) fds[2].events |= POLLIN;
      if (!out_.empty()) fds[2].events |= POLLOUT;
    }
    const int ready = ppoll(fds, host_ >= 0 ? 3 : 2, nullptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
      if (host_ >= 0) Disconnect("server stopped");
      return 0;
    }
    if (fds[1].revents & (POLLERR | POLLNVAL)) return 1;
    // The host first: one that closed and connects again at once finds the adapter free.
    if (host_ >= 0 && fds[2].revents != 0) {
      if ((fds[2].revents & POLLOUT) && !Flush()) {
        Disconnect("host went away");
      } else if (!(fds[2].revents & (POLLIN | POLLHUP | POLLERR)) || ReadHost()) {
        if (!Flush()) Disconnect("host went away");
      }
    }
    if (fds[1].revents & POLLIN) Accept();
  }
}

void HidSocketServer::Accept() {
  const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd < 0) return;
  if (host_ >= 0) {
    // The adapter is in use; a second host would only confuse the first one's session.
    if (trace_) std::fprintf(stderr, "hid: turned away a second host\n");
    close(fd);
    return;
  }
  host_ = fd;
  in_.clear();
  out_.clear();
  adapter_.SetPlugged(true);
  adapter_.TakeEvents();
  const uint32_t count = adapter_.DeviceCount(kHidVendorId, kHidProductId);
  adapter_.Open(count - 1, kHidVendorId, kHidProductId, kHidInputBuffers);
  if (trace_) std::fprintf(stderr, "hid: host connected (adapter plugged in)\n");
}

void HidSocketServer::Disconnect(const char* why) {
  if (host_ < 0) return;
  if (!in_.empty() && trace_) {
    std::fprintf(stderr, "hid: dropped a short frame of %zu bytes\n", in_.size());
  }
  close(host_);
  host_ = -1;
  in_.clear();
  out_.clear();
  adapter_.Close();
  adapter_.SetPlugged(false);
  adapter_.TakeEvents();
  if (trace_) std::fprintf(stderr, "hid: %s (adapter pulled out)\n", why);
}

bool HidSocketServer::ReadHost() {
  uint8_t buffer[4096];
  // Bounded, so that a host that never stops writing still gets its answers written back.
  for (int round = 0; round < 16; ++round) {
    const ssize_t got = recv(host_, buffer, sizeof buffer, 0);
    if (got == 0) {
      Disconnect("host closed the connection");
      return false;
    }
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      Disconnect("host connection failed");
      return false;
    }
    in_.insert(in_.end(), buffer, buffer + got);
    size_t at = 0;
    while (in_.size() - at >= kHidSocketFrameLength) {
      HandleFrame(in_.data() + at);
      at += kHidSocketFrameLength;
      if (!adapter_.plugged()) {
        // Pulled out mid-transfer: what the host sent after that never arrives, but the
        // reports the adapter had already sent did reach it.
        in_.clear();
        Flush();
        Disconnect("fault: pulled out mid-transfer");
        return false;
      }
    }
    in_.erase(in_.begin(), in_.begin() + static_cast<long>(at));
    if (out_.size() >= kMaxUnsent) return true;  // let the host read first
  }
  return true;
}

void HidSocketServer::HandleFrame(const uint8_t* frame) {
  const uint8_t kind = frame[0];
  const uint8_t* report = frame + 1;
  int status = kHidSuccess;
  if (kind == kHidFrameControl) {
    Trace("C>", report);
    status = adapter_.SendControlReport(report, kHidSocketReportLength);
  } else if (kind == kHidFrameOutput) {
    Trace("O>", report);
    status = adapter_.SendInterruptReport(report, kHidSocketReportLength);
  } else {
    if (trace_) std::fprintf(stderr, "hid: dropped a frame of kind 0x%02X\n", kind);
    return;
  }
  if (status != kHidSuccess && trace_) {
    std::fprintf(stderr, "hid: the adapter refused the report (status %d)\n", status);
  }
  CollectInput();
}

void HidSocketServer::CollectInput() {
  constexpr uint32_t kBatch = VirtualHidAdapter::kMaxReportRequest;
  uint8_t reports[kBatch * kHidSocketReportLength];
  for (;;) {
    uint32_t returned = 0;
    const int status = adapter_.ReadInputReports(reports, sizeof reports, kBatch, &returned);
    if (status != kHidSuccess && status != kHidTransferTimeout) return;
    if (returned == 0 && adapter_.pending_reports() == 0) return;
    for (uint32_t at = 0; at + kHidSocketReportLength <= returned; at += kHidSocketReportLength) {
      Trace("I<", reports + at);
      out_.push_back(kHidFrameInput);
      out_.insert(out_.end(), reports + at, reports + at + kHidSocketReportLength);
    }
  }
}

bool HidSocketServer::Flush() {
  while (!out_.empty()) {
    const ssize_t sent = send(host_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    out_.erase(out_.begin(), out_.begin() + sent);
  }
  return true;
}

void HidSocketServer::Trace(const char* what, const uint8_t* report) const {
  if (!trace_) return;
  char line[3 + kHidSocketReportLength * 3 + 2];
  int at = std::snprintf(line, sizeof line, "%s", what);
  for (size_t i = 0; i < kHidSocketReportLength; ++i) {
    at += std::snprintf(line + at, sizeof line - static_cast<size_t>(at), " %02X", report[i]);
  }
  std::fprintf(stderr, "%s\n", line);
}

}  // namespace tessel
