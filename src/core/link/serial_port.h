// What the core needs from a serial port and from the system's list of ports. The platform
// layer implements these with Qt SerialPort; the virtual ESC implements them in-process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens `device` for exclusive use at 8 data bits, no parity, one stop bit.
  virtual bool Open(const std::string& device, uint32_t baud_rate) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Writes every byte; true only when all `count` bytes went out.
  virtual bool Write(const uint8_t* data, size_t count, size_t* written) = 0;
  // Reads exactly `count` bytes unless `timeout_ms` passes first. Returns true when all
  // arrived. Whatever arrived is in `data[0 .. *received)`. Never leaves a read pending.
  virtual bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) = 0;
  virtual void PurgeRx() = 0;
  // Discards both directions.
  virtual void Purge() = 0;
  // True when the last Open failed because this user may not open the device (as opposed to
  // a device that is gone or busy), so that the user can be told how to get access.
  virtual bool OpenDenied() const { return false; }
};

struct PortInfo {
  std::string device;  // what SerialPort::Open takes
  bool has_usb_ids = false;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  std::string product;  // USB product string
  std::string serial_number;
  std::string description;
};

class PortEnumerator {
 public:
  virtual ~PortEnumerator() = default;
  // The current list of serial ports. Must be cheap: it is read on every searching tick.
  virtual std::vector<PortInfo> Ports() = 0;
};

}  // namespace tessel
