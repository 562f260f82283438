#include "gui/app/device_switch.h"

namespace tessel {

void DeviceSwitch::Use(std::optional<EscVariant> variant) {
  port_.Close();
  virtual_ports_.reset();
  virtual_port_.reset();
  demo_ = variant;
  if (variant) {
    virtual_port_ = std::make_unique<VirtualEscPort>(clock_, *variant);
    virtual_ports_ = std::make_unique<VirtualPortEnumerator>(*virtual_port_);
  }
  system_ports_.MarkStale();
}

void DeviceSwitch::UseNothing() {
  Use(EscVariant::kFull);
  virtual_port_->SetPlugged(false);
  demo_.reset();
}

}  // namespace tessel
