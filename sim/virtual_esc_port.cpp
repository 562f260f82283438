#include "sim/virtual_esc_port.h"

#include <algorithm>

namespace tessel {

VirtualEscPort::VirtualEscPort(Clock& clock, EscVariant variant) : clock_(clock), esc_(variant) {}

VirtualEsc& VirtualEscPort::ReplaceEsc(EscVariant variant) {
  esc_ = VirtualEsc(variant);
  rx_.clear();
  return esc_;
}

bool VirtualEscPort::Open(const std::string& device, uint32_t baud_rate) {
  last_open_denied_ = false;
  if (open_) return false;  // exclusive, as a real port
  if (!plugged_ || open_fails_ || device != adapter_.device) return false;
  if (open_denied_) {
    last_open_denied_ = true;
    return false;
  }
  open_ = true;
  stale_ = false;
  baud_ = baud_rate;
  ++open_count_;
  rx_.clear();
  return true;
}

void VirtualEscPort::Close() {
  open_ = false;
  stale_ = false;
  rx_.clear();
}

void VirtualEscPort::SetPlugged(bool plugged) {
  if (plugged_ && !plugged && open_) stale_ = true;
  plugged_ = plugged;
  if (!plugged) rx_.clear();
}

bool VirtualEscPort::Write(const uint8_t* data, size_t count, size_t* written) {
  if (written) *written = 0;
  if (!open_ || stale_ || !plugged_) return false;
  for (size_t i = 0; i < count; ++i) {
    scratch_.clear();
    esc_.Feed(data[i], baud_, scratch_);
    rx_.insert(rx_.end(), scratch_.begin(), scratch_.end());
  }
  if (written) *written = count;
  return true;
}

bool VirtualEscPort::Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) {
  if (received) *received = 0;
  if (!open_ || stale_ || !plugged_) return false;  // a vanished device fails at once
  const size_t take = std::min(count, rx_.size());
  std::copy_n(rx_.begin(), take, data);
  rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(take));
  if (received) *received = take;
  if (take == count) return true;
  clock_.SleepMs(timeout_ms);
  return false;
}

std::vector<PortInfo> VirtualPortEnumerator::Ports() {
  if (!port_.plugged()) return {};
  const VirtualAdapter& a = port_.adapter();
  PortInfo info;
  info.device = a.device;
  info.has_usb_ids = true;
  info.vendor_id = a.vendor_id;
  info.product_id = a.product_id;
  info.product = a.product;
  info.serial_number = a.serial_number;
  info.description = "virtual ESC programming adapter";
  return {info};
}

}  // namespace tessel
