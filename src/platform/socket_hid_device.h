// The HID adapter back-end for a virtual adapter behind a Unix-domain stream socket (the one
// `tesselarc-sim --hid` serves), in the fixed 65-byte frames of core/link/hid_socket_frame.h.
//
//   host -> adapter   'C' + 64-byte report    SendControlReport (the hello)
//   host -> adapter   'O' + 64-byte report    SendInterruptReport (data)
//   adapter -> host   'I' + 64-byte report    input reports, queued for ReadInputReports
//
// A connection is an adapter plugged in: there is one device (index 0) while the socket is
// connected, and its path is the socket path. The peer closing the connection is the adapter
// pulled out. Nothing blocks except a write, for at most the write time-out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/link/hid_device.h"
#include "core/link/hid_socket_frame.h"

namespace tessel {

class SocketHidDevice : public HidDevice {
 public:
  static constexpr uint32_t kMaxInputBuffers = 512;
  static constexpr uint32_t kDefaultWriteTimeoutMs = 1000;

  explicit SocketHidDevice(std::string socket_path);
  ~SocketHidDevice() override;
  SocketHidDevice(const SocketHidDevice&) = delete;
  SocketHidDevice& operator=(const SocketHidDevice&) = delete;

  // 1 while connected. When not connected it tries to connect first (without waiting: the
  // socket has to be listening already). Other ids than the adapter's count 0.
  uint32_t DeviceCount(uint16_t vendor_id, uint16_t product_id) override;
  int DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                 std::string* path) override;
  // Opens the connected adapter (index 0). Input that came before the opening is dropped.
  int Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
           uint32_t input_buffers) override;
  bool IsOpened() const override { return opened_; }
  uint16_t ReportLength() const override { return kHidSocketReportLength; }
  int SetTimeouts(uint32_t read_ms, uint32_t write_ms) override;
  int SendControlReport(const uint8_t* report, size_t length) override;
  int SendInterruptReport(const uint8_t* report, size_t length) override;
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override;
  // As many reports as the queue holds, so one call can empty it.
  uint32_t MaxReportRequest() const override { return capacity_; }
  int OpenPath(std::string* path) const override;
  // Closes the device; the connection stays, as an adapter stays plugged in.
  void Close() override;

  // Arrivals (each successful connect) and removals (the peer closed, or a write broke the
  // frame stream) since the last call, in order. It also looks at the connection first: when
  // none is up it tries to connect, when one is up it notices the peer closing, so a tool
  // that calls it now and then learns of the virtual adapter coming and going.
  std::vector<HidEvent> TakeEvents() override;

  bool connected() const { return fd_ >= 0; }

  // Why `path` cannot be a virtual adapter's socket (no such path, a folder, a file or device
  // that is no socket), or empty when it is a socket. `error` receives the system's error
  // number when there is no such path, else 0. A socket nobody listens on yet may still be
  // the one: the tool tries it until its time-out.
  static std::string PathProblem(const std::string& path, int& error);
  const std::string& socket_path() const { return socket_path_; }

 private:
  using Report = std::array<uint8_t, kHidSocketReportLength>;

  bool TryConnect();
  void Unplug();
  // Reads what the socket holds without waiting, while the queue has room; whole 'I' frames
  // become reports (while open). False when the peer has gone (Unplug ran).
  bool Pump();
  int SendFrame(uint8_t kind, const uint8_t* report, size_t length);

  std::string socket_path_;
  int fd_ = -1;
  bool opened_ = false;
  uint32_t capacity_ = kMaxInputBuffers;
  uint32_t read_timeout_ms_ = 0;
  uint32_t write_timeout_ms_ = kDefaultWriteTimeoutMs;
  std::array<uint8_t, kHidSocketFrameLength> partial_{};  // a frame still coming in
  size_t partial_size_ = 0;
  std::deque<Report> queue_;
  std::vector<HidEvent> events_;
};

}  // namespace tessel
