// What the core needs from the USB HID programming adapter (vendor 0x10C4, product 0x8468):
// enumeration with a device path per index, one open device with buffered interrupt input,
// control and interrupt output reports, and close. The platform layer implements it with
// hidapi (hidraw); the virtual HID adapter in sim/ implements it in-process, and a socket
// back-end reaches the virtual adapter that `tesselarc-sim --hid` serves.
//
// Reports are whole buffers of ReportLength() bytes, report id first. Statuses are those of
// the adapter vendor's HID library: 0 success, 4 a transfer that timed out (for input: fewer
// reports were buffered than asked for; what was there is returned), anything else a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

constexpr uint16_t kHidVendorId = 0x10C4;
constexpr uint16_t kHidProductId = 0x8468;

enum HidStatus : int {
  kHidSuccess = 0,
  kHidDeviceNotFound = 1,
  kHidDeviceNotOpened = 2,
  kHidDeviceAlreadyOpened = 3,
  kHidTransferTimeout = 4,
  kHidTransferFailed = 5,
  kHidInvalidBuffer = 6,
  kHidDeviceIoFailed = 7,
};

// An adapter plugged in or pulled out, by device path. The hardware back-end learns of them
// from the system (udev); the virtual and socket back-ends report their own.
struct HidEvent {
  bool arrived = false;
  std::string path;
};

class HidDevice {
 public:
  virtual ~HidDevice() = default;

  // Enumeration: how many adapters with these ids are attached, and the device path of the
  // one at `index` (a status; on success `path` holds it).
  virtual uint32_t DeviceCount(uint16_t vendor_id, uint16_t product_id) = 0;
  virtual int DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                         std::string* path) = 0;

  // Opens the adapter at `index`, buffering up to `input_buffers` input reports. Opening an
  // adapter that is already open closes it first.
  virtual int Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                   uint32_t input_buffers) = 0;
  // True when the last Open failed because this user may not open the device node.
  virtual bool OpenDenied() const { return false; }
  virtual bool IsOpened() const = 0;
  // Report buffer length in bytes (report id included), for output and input alike.
  virtual uint16_t ReportLength() const = 0;
  virtual int SetTimeouts(uint32_t read_ms, uint32_t write_ms) = 0;
  // One output report through the control pipe (the hello) or the interrupt pipe (data).
  virtual int SendControlReport(const uint8_t* report, size_t length) = 0;
  virtual int SendInterruptReport(const uint8_t* report, size_t length) = 0;
  // Up to `count` buffered input reports, each ReportLength() bytes, end to end into
  // `buffer` (`size` bytes). `*returned` is the number of bytes written.
  virtual int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count,
                               uint32_t* returned) = 0;
  // The largest `count` one ReadInputReports call may ask for.
  virtual uint32_t MaxReportRequest() const = 0;
  // Device path of the open adapter.
  virtual int OpenPath(std::string* path) const = 0;
  virtual void Close() = 0;
  // Plugging and pulling the device reports itself (the virtual and socket adapters); the
  // hardware's come from the system's hot-plug events instead.
  virtual std::vector<HidEvent> TakeEvents() { return {}; }
};

}  // namespace tessel
