// The HID adapter back-end for hardware, on hidapi's hidraw back-end. Enumeration, open, output
// reports and input reports follow the HidDevice contract; nothing here needs an event loop and
// no call blocks longer than a single report write (or the read time-out, when one is set).
//
// Input reports are not read by a thread: each ReadInputReports drains what the system has
// buffered into a queue of at most `input_buffers` reports and hands out whole reports from it.
// Between two calls the hidraw driver itself holds the reports (64 per open device on Linux).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/link/hid_device.h"

struct hid_device_;

namespace tessel {

// One attached HID device as hidapi enumerates it. Strings are UTF-8; empty when the device
// gives none.
struct HidDeviceInfo {
  std::string path;
  uint16_t vendor_id = 0;
  uint16_t product_id = 0;
  std::string product;
  std::string serial_number;
};

class HidapiDevice : public HidDevice {
 public:
  // hidapi does not tell the report length (0.13 has no descriptor call); the adapter's
  // reports, output and input, are 64 bytes with the report id first.
  static constexpr uint16_t kReportLength = 64;
  static constexpr uint32_t kMaxInputBuffers = 512;

  HidapiDevice();
  ~HidapiDevice() override;
  HidapiDevice(const HidapiDevice&) = delete;
  HidapiDevice& operator=(const HidapiDevice&) = delete;

  uint32_t DeviceCount(uint16_t vendor_id, uint16_t product_id) override;
  int DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                 std::string* path) override;
  int Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
           uint32_t input_buffers) override;
  bool OpenDenied() const override { return open_denied_; }
  bool IsOpened() const override;
  uint16_t ReportLength() const override { return kReportLength; }
  int SetTimeouts(uint32_t read_ms, uint32_t write_ms) override;
  int SendControlReport(const uint8_t* report, size_t length) override;
  int SendInterruptReport(const uint8_t* report, size_t length) override;
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override;
  // As many reports as the queue holds, so one call can empty it.
  uint32_t MaxReportRequest() const override { return capacity_; }
  int OpenPath(std::string* path) const override;
  void Close() override;

  // The attached devices with these ids, once per device path (e.g. "/dev/hidraw3"), in
  // hidapi's order: sorted by the system's device path, so stable while nothing is plugged
  // in or out.
  static std::vector<HidDeviceInfo> Enumerate(uint16_t vendor_id, uint16_t product_id);
  static std::vector<std::string> Paths(uint16_t vendor_id, uint16_t product_id);

  // Why the node at `path` cannot be the programming adapter (no such path, a folder, a plain
  // file, a device that is no HID device or another HID device), or empty when it may be one.
  // `error` receives the system's error number when the system refused (EACCES: the udev rule
  // is missing), else 0. Asked before the search, so that a wrong --hid fails at once.
  static std::string NodeProblem(const std::string& path, int& error);

 private:
  using Report = std::array<uint8_t, kReportLength>;
  // Moves what the system buffered into the queue, while there is room. False when the
  // device has gone (the device is closed then).
  bool Drain(int wait_ms);

  hid_device_* handle_ = nullptr;
  int node_fd_ = -1;  // the same hidraw node, for the output-report ioctl
  std::string path_;
  uint32_t capacity_ = kMaxInputBuffers;
  uint32_t read_timeout_ms_ = 0;
  bool open_denied_ = false;
  std::deque<Report> queue_;
};

}  // namespace tessel
