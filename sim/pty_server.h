// Serves a VirtualEsc on a pseudo-terminal so that the real serial back-end can talk to it.
// Host bytes are read from the master side; the line's answer (echo and replies) goes back
// paced at the line speed the host set on the slave side, ten bit times a byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "sim/virtual_esc.h"

namespace tessel {

class PtyServer {
 public:
  explicit PtyServer(EscVariant variant = EscVariant::kFull);
  ~PtyServer();
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;

  // Creates the pseudo-terminal. False (errno set) when the system refuses one.
  bool Open();
  // The device the host opens, e.g. /dev/pts/7.
  const std::string& slave_path() const { return slave_path_; }

  // Serves until Stop(). Returns 0, or 1 after an I/O error on the terminal.
  int Run();
  // Ends Run() from another thread or from a signal handler.
  void Stop();

  // Not to be touched from another thread while Run() is serving.
  VirtualEsc& esc() { return esc_; }

  // Prints each host byte and each answer to stderr.
  void set_trace(bool trace) { trace_ = trace; }

  // Line faults for soak runs: after this many host bytes the ESC freezes (takes and answers
  // nothing more) or vanishes (Run returns, the terminal closes, the host sees an I/O error);
  // every n-th byte of the answers is lost on the line. 0: never.
  void set_freeze_after(uint64_t n) { freeze_after_ = n; }
  void set_vanish_after(uint64_t n) { vanish_after_ = n; }
  void set_drop_every(uint64_t n) { drop_every_ = n; }

  // The host's line speed in bits per second as the terminal holds it (0 when unknown).
  uint32_t HostBaud() const;

 private:
  using TimePoint = std::chrono::steady_clock::time_point;
  struct Outgoing {
    uint8_t byte;
    TimePoint due;
  };

  void TakeHostBytes(const uint8_t* data, size_t count);
  bool SendDue();  // false on a write error

  VirtualEsc esc_;
  int master_ = -1;
  int slave_ = -1;  // held open so the master never sees a hang-up between host sessions
  int wake_[2] = {-1, -1};
  std::string slave_path_;
  std::deque<Outgoing> outgoing_;
  TimePoint line_free_{};
  bool blocked_ = false;  // the terminal's input queue is full; wait until it drains
  bool trace_ = false;
  uint64_t host_bytes_ = 0;
  uint64_t answer_bytes_ = 0;
  uint64_t freeze_after_ = 0;
  uint64_t vanish_after_ = 0;
  uint64_t drop_every_ = 0;
  bool vanished_ = false;
};

}  // namespace tessel
