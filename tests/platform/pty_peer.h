// Test peers for the serial back-end: a pseudo-terminal whose master side the test drives
// itself, and the virtual ESC program tesselarc-sim running as a child process.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tessel::testing {

inline int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

// A pseudo-terminal; the port under test opens slave_path(). The slave is also held open
// here so that the master never sees a hang-up and the test can look at the line settings.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const char* name = ptsname(master_);
    if (name == nullptr) return;
    slave_path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY);
  }
  ~PtyPeer() {
    StopEcho();
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& slave_path() const { return slave_path_; }
  int slave_fd() const { return slave_; }

  void Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  // What the port sent, up to `count` bytes or until `timeout_ms` passed.
  std::vector<uint8_t> Take(size_t count, int timeout_ms) {
    std::vector<uint8_t> got;
    const auto start = std::chrono::steady_clock::now();
    while (got.size() < count) {
      const int left = timeout_ms - static_cast<int>(ElapsedMs(start));
      if (left <= 0) break;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) break;
      uint8_t buffer[256];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  // Plays the ESC's line: echoes every byte and answers the presence probe 0xF9 with
  // 0xD5 0x41, ten bit times a byte at the speed the port set.
  void StartEcho() {
    stop_ = false;
    echo_ = std::thread([this] { EchoLoop(); });
  }
  void StopEcho() {
    stop_ = true;
    if (echo_.joinable()) echo_.join();
  }

  // The far end goes away, as when the adapter is unplugged.
  void CloseMaster() {
    StopEcho();
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  void Pace(size_t bytes) {
    termios t{};
    speed_t speed = B9600;
    if (tcgetattr(slave_, &t) == 0) speed = cfgetospeed(&t);
    const int baud = speed == B1200 ? 1200 : speed == B19200 ? 19200 : 9600;
    std::this_thread::sleep_for(std::chrono::microseconds(bytes * 10 * 1000000 / baud));
  }

  void EchoLoop() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      uint8_t buffer[64];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        Pace(1);
        Send({buffer[i]});
        if (buffer[i] == 0xF9) {
          Pace(2);
          Send({0xD5, 0x41});
        }
      }
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
  std::thread echo_;
  std::atomic<bool> stop_{false};
};

// tesselarc-sim as a child process; the pty it serves is on the first line it prints.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args = {}) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> all = {TESSEL_SIM_BINARY};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    if (pid_ > 0) slave_path_ = ReadLine(5000);
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& slave_path() const { return slave_path_; }

 private:
  std::string ReadLine(int timeout_ms) {
    std::string line;
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      const int left = timeout_ms - static_cast<int>(ElapsedMs(start));
      if (left <= 0) return {};
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, left) <= 0) return {};
      char c = 0;
      if (read(stdout_, &c, 1) != 1) return {};
      if (c == '\n') return line;
      line += c;
    }
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string slave_path_;
};

}  // namespace tessel::testing
