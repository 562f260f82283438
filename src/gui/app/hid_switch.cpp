#include "gui/app/hid_switch.h"

namespace tessel {

HidDevice* HidSwitch::device() const {
  switch (target_) {
    case Target::kHardware:
      return hardware_.get();
    case Target::kSocket:
      return socket_.get();
    case Target::kVirtual:
      return virtual_.get();
    case Target::kNone:
      break;
  }
  return nullptr;
}

void HidSwitch::CloseAll() {
  if (HidDevice* d = device(); d && d->IsOpened()) d->Close();
  virtual_.reset();
  socket_.reset();
  demo_.reset();
}

void HidSwitch::UseNone() {
  CloseAll();
  target_ = Target::kNone;
}

void HidSwitch::UseHardware() {
  CloseAll();
  if (!hardware_) hardware_ = std::make_unique<HidapiDevice>();
  target_ = Target::kHardware;
}

void HidSwitch::UseSocket(const std::string& path) {
  CloseAll();
  socket_ = std::make_unique<SocketHidDevice>(path);
  target_ = Target::kSocket;
}

void HidSwitch::UseVirtual(HidDeviceKind kind) {
  CloseAll();
  virtual_ = std::make_unique<VirtualHidAdapter>(kind);
  demo_ = kind;
  target_ = Target::kVirtual;
}

std::vector<HidEvent> HidSwitch::TakeEvents() {
  if (target_ == Target::kVirtual && virtual_) return virtual_->TakeEvents();
  // The socket back-end also looks for its server here while it is not connected.
  if (target_ == Target::kSocket && socket_) return socket_->TakeEvents();
  return {};
}

}  // namespace tessel
