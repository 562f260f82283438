// The virtual ESC as the core sees a serial port: an in-process SerialPort whose far end is a
// VirtualEsc, and a port enumerator that lists the programming adapter while it is plugged in.
// Time-outs run on the given Clock, so a test on a ManualClock never waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/link/serial_port.h"
#include "core/link/clock.h"
#include "sim/virtual_esc.h"

namespace tessel {

// What the USB bus reports for the virtual programming adapter.
struct VirtualAdapter {
  std::string device = "vesc0";
  uint16_t vendor_id = 0x10C4;
  uint16_t product_id = 60000;
  std::string product = "LX DRIVES ESC LINK";
  std::string serial_number = "VESC0001";
};

class VirtualEscPort : public SerialPort {
 public:
  explicit VirtualEscPort(Clock& clock, EscVariant variant = EscVariant::kFull);

  bool Open(const std::string& device, uint32_t baud_rate) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  bool Write(const uint8_t* data, size_t count, size_t* written) override;
  // Reply bytes are ready as soon as the byte that caused them is written. A short read
  // sleeps the whole time-out on the clock, as a real wait would.
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override;
  void PurgeRx() override { rx_.clear(); }
  void Purge() override { rx_.clear(); }

  VirtualEsc& esc() { return esc_; }
  const VirtualEsc& esc() const { return esc_; }
  // Connects a freshly powered ESC of another kind; the adapter and port stay as they are.
  VirtualEsc& ReplaceEsc(EscVariant variant);

  VirtualAdapter& adapter() { return adapter_; }
  const VirtualAdapter& adapter() const { return adapter_; }

  // Pulling the adapter closes nothing on the host side, but every write fails and nothing
  // arrives until it is back and the host has opened the port again.
  void SetPlugged(bool plugged);
  bool plugged() const { return plugged_; }
  // The adapter is listed but its port cannot be opened (held by another program).
  void set_open_fails(bool fails) { open_fails_ = fails; }
  // The adapter is listed but this user may not open its port (no udev rule yet).
  void set_open_denied(bool denied) { open_denied_ = denied; }
  bool OpenDenied() const override { return last_open_denied_; }

  uint32_t baud_rate() const { return baud_; }
  int open_count() const { return open_count_; }
  size_t pending() const { return rx_.size(); }

 private:
  Clock& clock_;
  VirtualEsc esc_;
  VirtualAdapter adapter_;
  bool plugged_ = true;
  bool open_fails_ = false;
  bool open_denied_ = false;
  bool last_open_denied_ = false;
  bool open_ = false;
  bool stale_ = false;  // opened before the adapter was pulled
  uint32_t baud_ = 0;
  int open_count_ = 0;
  std::deque<uint8_t> rx_;
  std::vector<uint8_t> scratch_;
};

class VirtualPortEnumerator : public PortEnumerator {
 public:
  explicit VirtualPortEnumerator(const VirtualEscPort& port) : port_(port) {}
  std::vector<PortInfo> Ports() override;

 private:
  const VirtualEscPort& port_;
};

}  // namespace tessel
