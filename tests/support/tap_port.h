// A serial port that passes everything through to another one and keeps what the host read
// back over the line (echoes and replies): the bytes for a test that checks them, the count
// for a benchmark that times the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/link/serial_port.h"

namespace tessel {

class TapPort : public SerialPort {
 public:
  explicit TapPort(SerialPort& inner, bool keep_bytes = true)
      : inner_(inner), keep_bytes_(keep_bytes) {}
  bool Open(const std::string& device, uint32_t baud) override { return inner_.Open(device, baud); }
  void Close() override { inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  bool Write(const uint8_t* data, size_t count, size_t* written) override {
    return inner_.Write(data, count, written);
  }
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
    size_t got = 0;
    const bool ok = inner_.Read(data, count, &got, timeout_ms);
    bytes_read += got;
    if (keep_bytes_) read.insert(read.end(), data, data + got);
    if (received) *received = got;
    return ok;
  }
  void PurgeRx() override { inner_.PurgeRx(); }
  void Purge() override { inner_.Purge(); }
  bool OpenDenied() const override { return inner_.OpenDenied(); }

  std::vector<uint8_t> read;
  uint64_t bytes_read = 0;

 private:
  SerialPort& inner_;
  bool keep_bytes_;
};

}  // namespace tessel
