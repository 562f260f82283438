// The HID adapter the session talks through: the real one (hidapi), a virtual one served on a
// socket (`--hid-socket`), a virtual one in-process (DemoMode), or none while DemoMode runs a
// serial virtual ESC. The HID engine holds the switch; switching changes what stands behind it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/hid_device.h"
#include "platform/hidapi_device.h"
#include "platform/socket_hid_device.h"
#include "sim/virtual_hid_adapter.h"

namespace tessel {

class HidSwitch : public HidDevice {
 public:
  enum class Target { kNone, kHardware, kSocket, kVirtual };

  // Closes whatever is open first.
  void UseNone();
  void UseHardware();
  void UseSocket(const std::string& path);
  void UseVirtual(HidDeviceKind kind);

  Target target() const { return target_; }
  std::optional<HidDeviceKind> demo() const { return demo_; }
  VirtualHidAdapter* virtual_adapter() { return virtual_.get(); }
  SocketHidDevice* socket() { return socket_.get(); }
  // Plugging and pulling that the virtual and socket adapters report themselves.
  std::vector<HidEvent> TakeEvents() override;

  uint32_t DeviceCount(uint16_t vid, uint16_t pid) override {
    return device() ? device()->DeviceCount(vid, pid) : 0;
  }
  int DevicePath(uint32_t index, uint16_t vid, uint16_t pid, std::string* path) override {
    return device() ? device()->DevicePath(index, vid, pid, path) : kHidDeviceNotFound;
  }
  int Open(uint32_t index, uint16_t vid, uint16_t pid, uint32_t buffers) override {
    return device() ? device()->Open(index, vid, pid, buffers) : kHidDeviceNotFound;
  }
  bool OpenDenied() const override { return device() && device()->OpenDenied(); }
  bool IsOpened() const override { return device() && device()->IsOpened(); }
  uint16_t ReportLength() const override { return device() ? device()->ReportLength() : 0; }
  int SetTimeouts(uint32_t read_ms, uint32_t write_ms) override {
    return device() ? device()->SetTimeouts(read_ms, write_ms) : kHidDeviceNotOpened;
  }
  int SendControlReport(const uint8_t* report, size_t length) override {
    return device() ? device()->SendControlReport(report, length) : kHidDeviceNotOpened;
  }
  int SendInterruptReport(const uint8_t* report, size_t length) override {
    return device() ? device()->SendInterruptReport(report, length) : kHidDeviceNotOpened;
  }
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override {
    *returned = 0;
    return device() ? device()->ReadInputReports(buffer, size, count, returned)
                    : kHidDeviceNotOpened;
  }
  uint32_t MaxReportRequest() const override { return device() ? device()->MaxReportRequest() : 1; }
  int OpenPath(std::string* path) const override {
    return device() ? device()->OpenPath(path) : kHidDeviceNotOpened;
  }
  void Close() override {
    if (device()) device()->Close();
  }

 private:
  HidDevice* device() const;
  void CloseAll();

  Target target_ = Target::kNone;
  std::optional<HidDeviceKind> demo_;
  std::unique_ptr<HidapiDevice> hardware_;
  std::unique_ptr<SocketHidDevice> socket_;
  std::unique_ptr<VirtualHidAdapter> virtual_;
};

}  // namespace tessel
