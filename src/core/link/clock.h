// Time as the core sees it, so that delays and time-outs run on virtual time in tests.
#pragma once

#include <cstdint>

namespace tessel {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The system's monotonic clock.
class SystemClock : public Clock {
 public:
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// Virtual time: sleeping advances it at once. Tests and the in-process virtual ESC use it.
class ManualClock : public Clock {
 public:
  uint64_t NowMs() override { return now_ms_; }
  void SleepMs(uint32_t ms) override { now_ms_ += ms; }
  void Advance(uint64_t ms) { now_ms_ += ms; }

 private:
  uint64_t now_ms_ = 0;
};

}  // namespace tessel
