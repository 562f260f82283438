// The serial port back-end for real adapters (and pseudo-terminals) on Qt 6 SerialPort. It is
// driven from a plain loop or from timer handlers: every call blocks on QSerialPort's waitFor*
// functions for at most its own bound, so no Qt event loop is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/link/serial_port.h"

class QSerialPort;

namespace tessel {

class QtSerialPort : public SerialPort {
 public:
  QtSerialPort();
  ~QtSerialPort() override;
  QtSerialPort(const QtSerialPort&) = delete;
  QtSerialPort& operator=(const QtSerialPort&) = delete;

  // `device` is a system path ("/dev/ttyUSB0", "/dev/pts/3") or a port name ("ttyUSB0",
  // "COM3"). Opens read/write at 8N1, no flow control; an open port is closed first.
  bool Open(const std::string& device, uint32_t baud_rate) override;
  void Close() override;
  bool IsOpen() const override;
  // Queues the bytes and waits until the system has taken all of them, for at most
  // WriteBudgetMs(count). On failure nothing of this write is left queued to trickle out later.
  bool Write(const uint8_t* data, size_t count, size_t* written) override;
  // Collects exactly `count` bytes or gives up after `timeout_ms`. A timed-out read hands
  // over everything it took in (`*received`) and leaves nothing of it behind, so a later
  // Read never starts with the tail of a reply that came too late; bytes that reach the port
  // after the call returned wait in the system queue for the next PurgeRx or Read.
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override;
  void PurgeRx() override;
  void Purge() override;
  // The last Open was refused because this user lacks read or write permission on the node
  // (Qt reports a held lock the same way; this tells the two apart).
  bool OpenDenied() const override { return open_denied_; }

  // Upper bound of one Write: a second plus twice the line time of the bytes.
  uint32_t WriteBudgetMs(size_t count) const;
  uint32_t baud_rate() const { return baud_rate_; }
  // Why the last Open, Read or Write failed, for diagnostics ("" after success).
  const std::string& last_error() const { return last_error_; }

 private:
  void NoteFailure(const char* what);
  // A vanished device (adapter unplugged, pty peer gone) closes the port so that the link
  // sees it closed instead of failing each call with the same error.
  void CloseIfGone();

  std::unique_ptr<QSerialPort> port_;
  uint32_t baud_rate_ = 0;
  std::string last_error_;
  bool open_denied_ = false;
};

}  // namespace tessel
