#include "core/link/serial_link.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace tessel {

namespace {

constexpr uint16_t kProductIds[] = {60000, 64021};
constexpr std::string_view kAcceptedProducts[] = {"LX DRIVES", "TEAM KVR M"};

std::string UpperFirst(const std::string& text, size_t n) {
  std::string out = text.substr(0, std::min(text.size(), n));
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool IsAcceptedAdapter(const PortInfo& info) {
  if (!info.has_usb_ids) return false;
  if (std::find(std::begin(kProductIds), std::end(kProductIds), info.product_id) ==
      std::end(kProductIds)) {
    return false;
  }
  // The product string (16 bytes at most) is upper-cased over its first 10 characters and
  // compared over 9.
  const std::string upper = UpperFirst(info.product.substr(0, 16), 10);
  if (upper.size() < 9) return false;
  for (auto accepted : kAcceptedProducts) {
    if (upper.compare(0, 9, accepted.substr(0, 9)) == 0) return true;
  }
  return false;
}

SerialLink::SerialLink(SerialPort& port, PortEnumerator* enumerator, Clock& clock)
    : port_(port), enumerator_(enumerator), clock_(clock) {}

int SerialLink::LinkOpen() {
  if (is_open) return 0;
  std::string device = explicit_device_;
  if (device.empty()) {
    if (enumerator_ == nullptr) return 1;
    for (const PortInfo& info : enumerator_->Ports()) {
      if (IsAcceptedAdapter(info)) {
        device = info.device;
        product_string = info.product;
        serial_number = info.serial_number;
        break;
      }
    }
    if (device.empty()) {
      is_open = false;
      return 1;
    }
  }
  if (!port_.Open(device, baud_rate)) {
    if (notice_ && port_.OpenDenied()) notice_->Denied(AdapterFamily::kSerial, device);
    return 1;
  }
  if (notice_) notice_->Opened(device);
  device_name = device;
  raw_.fill(0);
  port_.Purge();
  is_open = true;
  return 0;
}

void SerialLink::LinkClose() {
  port_.Close();
  is_open = false;
}

void SerialLink::LinkPurgeRx() {
  // Read before dropping, without waiting, so that what came back is counted.
  uint8_t pending[64];
  size_t got = 0;
  do {
    got = 0;
    if (!port_.IsOpen()) break;
    port_.Read(pending, sizeof pending, &got, 0);
    purged_rx_bytes += got;
  } while (got == sizeof pending);
  port_.PurgeRx();
}
void SerialLink::LinkPurgeAll() { port_.Purge(); }

void SerialLink::SetIdleLimit(uint32_t ms) {
  idle_limit_ms_ = ms;
  last_rx_ms_ = clock_.NowMs();
  idle_expired_ = false;
}

bool SerialLink::LinkRead(uint8_t* buffer, size_t count, size_t* received, uint32_t timeout_ms,
                          bool echo) {
  size_t got = 0;
  if (idle_limit_ms_ != 0 && count > 0) {
    const uint64_t end = last_rx_ms_ + idle_limit_ms_;
    const uint64_t now = clock_.NowMs();
    if (now >= end) {
      idle_expired_ = true;
      if (received) *received = 0;
      if (trace_) trace_->SerialRead(now, echo, buffer, 0, count, 0);
      return false;
    }
    if (end - now < timeout_ms) timeout_ms = static_cast<uint32_t>(end - now);
  }
  const bool ok = port_.IsOpen() && port_.Read(buffer, count, &got, timeout_ms);
  if (got > 0) last_rx_ms_ = clock_.NowMs();
  if (received) *received = got;
  if (trace_) trace_->SerialRead(clock_.NowMs(), echo, buffer, got, count, timeout_ms);
  return ok;
}

bool SerialLink::LinkWrite(const uint8_t* buffer, size_t count, size_t* written) {
  size_t done = 0;
  const bool ok = port_.IsOpen() && port_.Write(buffer, count, &done);
  if (written) *written = done;
  if (trace_) trace_->SerialWrite(clock_.NowMs(), buffer, done, count);
  return ok && done == count;
}

int SerialLink::LinkReceive(size_t count, uint32_t timeout_ms) {
  link_error = false;
  count = std::min(count, raw_.size());
  std::fill(raw_.begin(), raw_.begin() + static_cast<long>(count), 0);
  size_t got = 0;
  if (LinkRead(raw_.data(), count, &got, timeout_ms)) {
    reply_buffer.fill(0);
    std::copy(raw_.begin(), raw_.begin() + static_cast<long>(got), reply_buffer.begin());
    reply_length = got;
    if (got == count) return 0;
    link_error = true;
    return 2;
  }
  ClearReply();
  if (port_.IsOpen()) port_.Purge();
  link_error = true;
  return 2;
}

int SerialLink::LinkSendByte(uint8_t byte) {
  link_error = false;
  echo_missing = false;
  LinkPurgeRx();
  size_t written = 0;
  if (!LinkWrite(&byte, 1, &written)) {
    link_error = true;
    return 1;
  }
  uint8_t echo = 0;
  echo_missing = !LinkRead(&echo, 1, nullptr, 2000, /*echo=*/true);
  return 0;
}

int SerialLink::LinkSendRaw(const uint8_t* bytes, size_t count) {
  LinkPurgeRx();
  for (size_t i = 0; i < count; ++i) {
    if (!LinkWrite(bytes + i, 1, nullptr)) {
      link_message = "sending error!";
      link_error = true;
      return 1;
    }
  }
  return 0;
}

void SerialLink::DelayMs(uint32_t ms) { clock_.SleepMs(ms); }

}  // namespace tessel
