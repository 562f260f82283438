// The byte layer between the tool and an ESC behind the USB-UART programming adapter: finds
// the adapter, opens its port at the current line speed, and offers the byte operations with
// time-outs that the session engine and the firmware updater use. The ESC side returns every
// byte the tool sends (its echo); LinkSendByte reads it back and drops it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/link/access_notice.h"
#include "core/link/serial_port.h"
#include "core/link/wire_trace.h"
#include "core/link/clock.h"

namespace tessel {

constexpr uint32_t kBaudSlow = 1200;
constexpr uint32_t kBaudFast = 19200;

// True for a port whose USB product id and product string name an accepted adapter.
bool IsAcceptedAdapter(const PortInfo& info);

class SerialLink {
 public:
  SerialLink(SerialPort& port, PortEnumerator* enumerator, Clock& clock);

  // With an explicit device the adapter search is skipped and that device is opened.
  void SetExplicitDevice(std::string device) { explicit_device_ = std::move(device); }
  const std::string& explicit_device() const { return explicit_device_; }
  // Told of every opening refused for lack of permission (and of every success).
  void SetAccessNotice(AccessNotice* notice) { notice_ = notice; }
  // Every write and read from now on also goes to `trace` (none: nullptr).
  void SetTrace(WireTrace* trace) { trace_ = trace; }
  WireTrace* trace() const { return trace_; }

  int LinkOpen();  // 0 open (or already open), 1 failure
  void LinkClose();
  void LinkPurgeRx();
  void LinkPurgeAll();
  // `echo`: the bytes awaited are the tool's own coming back (the trace marks them).
  bool LinkRead(uint8_t* buffer, size_t count, size_t* received, uint32_t timeout_ms,
                bool echo = false);
  bool LinkWrite(const uint8_t* buffer, size_t count, size_t* written);
  int LinkReceive(size_t count, uint32_t timeout_ms);  // 0 success, 2 failure
  int LinkSendByte(uint8_t byte);                      // 0 success, 1 failure
  int LinkSendRaw(const uint8_t* bytes, size_t count); // 0 success, 1 failure
  void DelayMs(uint32_t ms);

  // A watchdog for callers that must end in time (the command line): once no byte has come
  // back for `ms`, every wait is cut short and fails, and `idle_expired` is set. 0: none.
  void SetIdleLimit(uint32_t ms);
  bool idle_expired() const { return idle_expired_; }
  void ClearReply() { reply_buffer.fill(0); reply_length = 0; }

  bool is_open = false;
  uint32_t baud_rate = kBaudSlow;
  std::array<uint8_t, 64> reply_buffer{};
  size_t reply_length = 0;
  bool link_error = false;
  // The last LinkSendByte wrote its byte but its echo did not come back.
  bool echo_missing = false;
  // Bytes that had come back and were dropped unread by LinkPurgeRx: on a send, the echoes
  // of the pairs, which is all the ESC says about taking them.
  uint64_t purged_rx_bytes = 0;
  std::string link_message;
  // What the last successful search found.
  std::string device_name;
  std::string product_string;
  std::string serial_number;

  SerialPort& port() { return port_; }
  const SerialPort& port() const { return port_; }

 private:
  SerialPort& port_;
  PortEnumerator* enumerator_;
  Clock& clock_;
  std::string explicit_device_;
  AccessNotice* notice_ = nullptr;
  WireTrace* trace_ = nullptr;
  std::array<uint8_t, 64> raw_{};
  uint32_t idle_limit_ms_ = 0;
  uint64_t last_rx_ms_ = 0;
  bool idle_expired_ = false;
};

}  // namespace tessel
