// Far ends for the serial back-end's tests: a pseudo-terminal the test drives itself, and the
// virtual ESC program tesselarc-sim as a child process.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace tessel::testing {

inline int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since)
      .count();
}

inline bool Readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

// The port under test opens slave_path(). The slave is held open here as well, so the master
// never sees a hang-up and the test can read the line settings.
class PtyPeer {
 public:
  PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    if (const char* name = ptsname(master_)) slave_path_ = name;
    slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  }
  ~PtyPeer() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  bool ok() const { return master_ >= 0 && slave_ >= 0; }
  const std::string& slave_path() const { return slave_path_; }
  int slave_fd() const { return slave_; }

  void Send(const std::vector<uint8_t>& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      std::abort();  // a few bytes into an empty pty always fit
    }
  }
  // Reads what the port sent until `quiet_ms` pass without a byte; returns the count.
  size_t Drain(int quiet_ms) {
    size_t total = 0;
    uint8_t buffer[4096];
    while (Readable(master_, quiet_ms)) {
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    return total;
  }
  // The far end goes away, as when the adapter is unplugged.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

// tesselarc-sim as a child process; the pty it serves is on the first line it prints.
class SimProcess {
 public:
  SimProcess() {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string binary = TESSEL_SIM_BINARY;
    char* argv[] = {binary.data(), nullptr};
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    stdout_ = out[0];
    char c = 0;
    while (pid_ > 0 && Readable(stdout_, 5000) && read(stdout_, &c, 1) == 1 && c != '\n') {
      slave_path_ += c;
    }
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) close(stdout_);
  }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& slave_path() const { return slave_path_; }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string slave_path_;
};

}  // namespace tessel::testing
