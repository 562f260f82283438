// A SerialPort over a VirtualEsc whose line takes time: every byte the line carries back (the
// echo and the replies) arrives ten bit times after the one before it, on a ManualClock, as
// the pty server paces them. It can also vanish (the next call fails and closes the port, as
// the Qt back-end does on EIO) or freeze (bytes go out, nothing comes back).
#pragma once

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/link/serial_port.h"
#include "core/link/clock.h"
#include "sim/virtual_esc.h"

namespace tessel::test_support {

class PacedEscPort : public SerialPort {
 public:
  PacedEscPort(ManualClock& clock, EscVariant variant) : clock_(clock), esc_(variant) {}

  bool Open(const std::string&, uint32_t baud_rate) override {
    if (gone_ || open_) return false;
    open_ = true;
    baud_ = baud_rate;
    rx_.clear();
    return true;
  }
  void Close() override {
    open_ = false;
    rx_.clear();
  }
  bool IsOpen() const override { return open_; }

  bool Write(const uint8_t* data, size_t count, size_t* written) override {
    if (written) *written = 0;
    if (!Usable()) return false;
    uint64_t cursor = std::max(clock_.NowMs() * 1000, line_free_us_);
    for (size_t i = 0; i < count; ++i) {
      ++bytes_written;
      if (frozen) continue;
      out_.clear();
      esc_.Feed(data[i], baud_, out_);
      for (uint8_t b : out_) {
        cursor += ByteMicros();
        rx_.push_back({b, cursor});
      }
    }
    line_free_us_ = cursor;
    if (written) *written = count;
    return true;
  }

  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
    if (received) *received = 0;
    if (!Usable()) return false;
    const uint64_t deadline_us = (clock_.NowMs() + timeout_ms) * 1000;
    size_t got = 0;
    uint64_t last_us = 0;
    while (got < count && !rx_.empty() && rx_.front().due_us <= deadline_us) {
      data[got++] = rx_.front().byte;
      last_us = rx_.front().due_us;
      rx_.pop_front();
    }
    if (received) *received = got;
    const uint64_t until_ms = got == count ? (last_us + 999) / 1000 : deadline_us / 1000;
    if (until_ms > clock_.NowMs()) clock_.SleepMs(static_cast<uint32_t>(until_ms - clock_.NowMs()));
    return got == count;
  }
  void PurgeRx() override { DropArrived(); }
  void Purge() override { DropArrived(); }

  // The device is gone: the next call fails and closes the port.
  void Vanish() { gone_ = true; }
  VirtualEsc& esc() { return esc_; }

  bool frozen = false;
  uint64_t bytes_written = 0;

 private:
  struct Incoming {
    uint8_t byte;
    uint64_t due_us;
  };
  uint64_t ByteMicros() const { return 10'000'000ull / (baud_ ? baud_ : 1200); }
  bool Usable() {
    if (!open_) return false;
    if (gone_) {
      Close();
      return false;
    }
    return true;
  }
  // A purge drops what has reached the port; bytes still on the line arrive later.
  void DropArrived() {
    const uint64_t now_us = clock_.NowMs() * 1000;
    while (!rx_.empty() && rx_.front().due_us <= now_us) rx_.pop_front();
  }

  ManualClock& clock_;
  VirtualEsc esc_;
  bool open_ = false;
  bool gone_ = false;
  uint32_t baud_ = 1200;
  uint64_t line_free_us_ = 0;
  std::deque<Incoming> rx_;
  std::vector<uint8_t> out_;
};

// Lists one accepted adapter, "vesc0".
class OneAdapter : public PortEnumerator {
 public:
  std::vector<PortInfo> Ports() override {
    PortInfo info;
    info.device = "vesc0";
    info.has_usb_ids = true;
    info.vendor_id = 0x10C4;
    info.product_id = 60000;
    info.product = "LX DRIVES ESC LINK";
    return {info};
  }
};

}  // namespace tessel::test_support
