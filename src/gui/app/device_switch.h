// The serial port the session talks through: the real adapter (Qt SerialPort, USB discovery)
// or, in DemoMode, a virtual ESC in-process. The session holds the switch's port and
// enumerator; switching changes what stands behind them.
#pragma once

#include <memory>
#include <optional>

#include "core/link/serial_port.h"
#include "core/link/clock.h"
#include "platform/qt_port_enumerator.h"
#include "platform/qt_serial_port.h"
#include "sim/virtual_esc_port.h"

namespace tessel {

class DeviceSwitch {
 public:
  explicit DeviceSwitch(Clock& clock) : clock_(clock), port_(*this), enumerator_(*this) {}

  SerialPort& port() { return port_; }
  PortEnumerator& enumerator() { return enumerator_; }
  QtPortEnumerator& system_ports() { return system_ports_; }

  // Closes whatever is open and puts a fresh virtual ESC (or the real adapter) behind the port.
  void Use(std::optional<EscVariant> variant);
  // No serial adapter at all (DemoMode on the virtual HID adapter): an unplugged virtual one.
  void UseNothing();
  std::optional<EscVariant> demo() const { return demo_; }
  VirtualEscPort* virtual_port() { return virtual_port_.get(); }

 private:
  class Port : public SerialPort {
   public:
    explicit Port(DeviceSwitch& owner) : owner_(owner) {}
    bool Open(const std::string& device, uint32_t baud) override {
      return target().Open(device, baud);
    }
    void Close() override { target().Close(); }
    bool IsOpen() const override { return const_cast<Port*>(this)->target().IsOpen(); }
    bool Write(const uint8_t* data, size_t count, size_t* written) override {
      return target().Write(data, count, written);
    }
    bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
      return target().Read(data, count, received, timeout_ms);
    }
    void PurgeRx() override { target().PurgeRx(); }
    void Purge() override { target().Purge(); }
    bool OpenDenied() const override { return const_cast<Port*>(this)->target().OpenDenied(); }

   private:
    SerialPort& target() {
      return owner_.virtual_port_ ? static_cast<SerialPort&>(*owner_.virtual_port_)
                                  : static_cast<SerialPort&>(owner_.real_port_);
    }
    DeviceSwitch& owner_;
  };
  class Enumerator : public PortEnumerator {
   public:
    explicit Enumerator(DeviceSwitch& owner) : owner_(owner) {}
    std::vector<PortInfo> Ports() override {
      return owner_.virtual_ports_ ? owner_.virtual_ports_->Ports() : owner_.system_ports_.Ports();
    }

   private:
    DeviceSwitch& owner_;
  };

  Clock& clock_;
  QtSerialPort real_port_;
  QtPortEnumerator system_ports_;
  std::unique_ptr<VirtualEscPort> virtual_port_;
  std::unique_ptr<VirtualPortEnumerator> virtual_ports_;
  std::optional<EscVariant> demo_;
  Port port_;
  Enumerator enumerator_;
};

}  // namespace tessel
