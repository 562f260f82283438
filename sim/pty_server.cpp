#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace tessel {

namespace {

struct SpeedEntry {
  speed_t code;
  uint32_t bits_per_second;
};

constexpr SpeedEntry kSpeeds[] = {
    {B300, 300},     {B600, 600},       {B1200, 1200},     {B2400, 2400},
    {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

// Pacing speed when the terminal holds none we know.
constexpr uint32_t kFallbackBaud = 9600;

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace

PtyServer::PtyServer(EscVariant variant) : esc_(variant) {}

PtyServer::~PtyServer() {
  for (int fd : {master_, slave_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
}

bool PtyServer::Open() {
  if (pipe(wake_) != 0) return false;
  SetNonBlocking(wake_[0]);
  SetNonBlocking(wake_[1]);
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) return false;
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
  const char* name = ptsname(master_);
  if (name == nullptr) return false;
  slave_path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY);
  if (slave_ < 0) return false;
  // A raw line at 1200 baud until the host sets its own: no echo by the terminal itself, no
  // line editing, no translation of bytes.
  termios tio{};
  if (tcgetattr(slave_, &tio) != 0) return false;
  cfmakeraw(&tio);
  cfsetispeed(&tio, B1200);
  cfsetospeed(&tio, B1200);
  if (tcsetattr(slave_, TCSANOW, &tio) != 0) return false;
  SetNonBlocking(master_);
  return true;
}

uint32_t PtyServer::HostBaud() const {
  termios tio{};
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return 0;
  const speed_t code = cfgetospeed(&tio);
  for (const SpeedEntry& s : kSpeeds) {
    if (s.code == code) return s.bits_per_second;
  }
  return 0;
}

void PtyServer::Stop() {
  const char byte = 1;
  if (wake_[1] >= 0) {
    [[maybe_unused]] ssize_t n = write(wake_[1], &byte, 1);
  }
}

void PtyServer::TakeHostBytes(const uint8_t* data, size_t count) {
  const uint32_t baud = HostBaud();
  const auto byte_time = std::chrono::nanoseconds(
      10'000'000'000LL / static_cast<long long>(baud != 0 ? baud : kFallbackBaud));
  const TimePoint now = std::chrono::steady_clock::now();
  if (line_free_ < now) line_free_ = now;
  std::vector<uint8_t> answer;
  for (size_t i = 0; i < count; ++i) {
    ++host_bytes_;
    if (vanish_after_ != 0 && host_bytes_ > vanish_after_) {
      vanished_ = true;
      return;
    }
    if (freeze_after_ != 0 && host_bytes_ > freeze_after_) continue;
    answer.clear();
    esc_.Feed(data[i], baud, answer);
    if (drop_every_ != 0) {
      std::vector<uint8_t> kept;
      for (uint8_t b : answer) {
        if (++answer_bytes_ % drop_every_ != 0) kept.push_back(b);
      }
      answer.swap(kept);
    }
    if (trace_) {
      std::fprintf(stderr, "> %02X @%u <", data[i], baud);
      for (uint8_t b : answer) std::fprintf(stderr, " %02X", b);
      std::fprintf(stderr, "\n");
    }
    // One line carries the echo and the replies, one after the other.
    for (uint8_t b : answer) {
      line_free_ += byte_time;
      outgoing_.push_back({b, line_free_});
    }
  }
}

bool PtyServer::SendDue() {
  const TimePoint now = std::chrono::steady_clock::now();
  uint8_t batch[256];
  size_t n = 0;
  while (n < outgoing_.size() && n < sizeof batch && outgoing_[n].due <= now) {
    batch[n] = outgoing_[n].byte;
    ++n;
  }
  if (n == 0) return true;
  const ssize_t written = write(master_, batch, n);
  if (written < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      blocked_ = true;
      return true;
    }
    return errno == EINTR;
  }
  blocked_ = static_cast<size_t>(written) < n;
  outgoing_.erase(outgoing_.begin(), outgoing_.begin() + written);
  return true;
}

int PtyServer::Run() {
  if (master_ < 0) return 1;
  for (;;) {
    if (!SendDue()) return 1;

    timespec wait{};
    timespec* timeout = nullptr;  // nothing to send: sleep until the host writes
    if (!outgoing_.empty() && !blocked_) {
      const auto left = outgoing_.front().due - std::chrono::steady_clock::now();
      const long long ns = std::max<long long>(
          0, std::chrono::duration_cast<std::chrono::nanoseconds>(left).count());
      wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeout = &wait;
    }
    pollfd fds[2] = {{wake_[0], POLLIN, 0}, {master_, POLLIN, 0}};
    if (blocked_) fds[1].events |= POLLOUT;
    const int ready = ppoll(fds, 2, timeout, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents & POLLIN) {
      char drain[16];
      while (read(wake_[0], drain, sizeof drain) > 0) {
      }
      return 0;
    }
    if (fds[1].revents & POLLOUT) blocked_ = false;
    if (fds[1].revents & POLLIN) {
      uint8_t buffer[512];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got > 0) {
        TakeHostBytes(buffer, static_cast<size_t>(got));
        if (vanished_) return 0;
      } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return 1;
      }
    } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      return 1;  // cannot happen while our own slave descriptor is open
    }
  }
}

}  // namespace tessel
