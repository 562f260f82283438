// The harness the device fuzz targets share: a serial port and a HID device whose far end is
// the fuzzer's input (every read takes its reply from the input, which also decides whether the
// reply comes short, the wait then running out on the virtual clock, or whether the device
// vanishes; writes always go out), a UI that answers from the input, and `FuzzWorld`, a session
// over them on a virtual clock.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/engine/session.h"
#include "core/engine/session_ui.h"
#include "core/engine/timer_host.h"
#include "core/link/clock.h"
#include "core/link/hid_device.h"
#include "core/link/serial_port.h"

namespace tessel::fuzz {

class ByteSource {
 public:
  ByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  uint8_t Next() { return empty() ? 0 : data_[pos_++]; }
  size_t Take(uint8_t* out, size_t n) {
    const size_t k = std::min(n, size_ - std::min(pos_, size_));
    std::copy_n(data_ + pos_, k, out);
    pos_ += k;
    return k;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class FuzzPort : public SerialPort {
 public:
  FuzzPort(ByteSource& in, ManualClock& clock) : in_(in), clock_(clock) {}
  bool Open(const std::string&, uint32_t) override {
    if (gone_) return false;
    open_ = true;
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  bool Write(const uint8_t*, size_t count, size_t* written) override {
    if (written) *written = open_ ? count : 0;
    return open_;
  }
  bool Read(uint8_t* data, size_t count, size_t* received, uint32_t timeout_ms) override {
    if (received) *received = 0;
    if (!open_) return false;
    if (in_.empty()) {  // the line went silent
      clock_.SleepMs(timeout_ms);
      return false;
    }
    const uint8_t control = in_.Next();
    if (control == 0xEE) {  // the device vanished: the back-end closes the port
      gone_ = true;
      open_ = false;
      return false;
    }
    size_t want = count;
    if (control < 0x20) want = count == 0 ? 0 : control % count;  // a short reply
    const size_t got = in_.Take(data, want);
    if (received) *received = got;
    if (got == count) {
      clock_.SleepMs(1);
      return true;
    }
    clock_.SleepMs(timeout_ms);
    return false;
  }
  void PurgeRx() override {}
  void Purge() override {}

 private:
  ByteSource& in_;
  ManualClock& clock_;
  bool open_ = false;
  bool gone_ = false;
};

// Answers every question from the input; records nothing.
class FuzzUi : public SessionUi {
 public:
  explicit FuzzUi(ByteSource& in) : in_(in) {}
  Answer Ask(const std::string&, const std::string&, Buttons) override {
    ++questions;
    switch (in_.Next() % 4) {
      case 0:
        return Answer::kYes;
      case 1:
        return Answer::kNo;
      case 2:
        return Answer::kOk;
      default:
        return Answer::kCancel;
    }
  }
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return file; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return file; }
  void SetProgressCaption(const std::string&) override {}
  void SetProgress(uint32_t, uint32_t) override {}
  void ShowProgress() override {}
  void CloseProgress() override {}
  void Beep() override {}
  void RefreshPagesFromImage() override {}
  void CollectPageSelections() override {}
  void ResetPagesToDefaults() override {}
  void ShowLoggedData() override { ++reads; }
  void V1RefreshFromImage() override { ++v1_reads; }
  void V1WriteToImage() override {}
  void V1ShowSendDone() override {}
  void V1LoadDefaults() override {}

  std::optional<std::string> file;
  int questions = 0;
  int reads = 0;
  int v1_reads = 0;

 private:
  ByteSource& in_;
};

// An adapter whose far end is the input: input reports of any bytes and counts (count bytes
// past the report's end included), any number of them per fetch, and pulled out at 0xEE.
class FuzzHid : public HidDevice {
 public:
  explicit FuzzHid(ByteSource& in) : in_(in) {}
  uint32_t DeviceCount(uint16_t, uint16_t) override { return gone_ ? 0 : 1; }
  int DevicePath(uint32_t index, uint16_t, uint16_t, std::string* path) override {
    if (gone_ || index != 0) return kHidDeviceNotFound;
    *path = "fuzz-hid";
    return kHidSuccess;
  }
  int Open(uint32_t, uint16_t, uint16_t, uint32_t) override {
    open_ = !gone_;
    return open_ ? kHidSuccess : kHidDeviceNotFound;
  }
  bool IsOpened() const override { return open_; }
  uint16_t ReportLength() const override { return 64; }
  int SetTimeouts(uint32_t, uint32_t) override { return kHidSuccess; }
  int SendControlReport(const uint8_t*, size_t) override { return Status(); }
  int SendInterruptReport(const uint8_t*, size_t) override { return Status(); }
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override {
    *returned = 0;
    if (!open_ || gone_) return kHidDeviceIoFailed;
    const uint8_t control = in_.Next();
    if (control == 0xEE) {  // pulled out
      gone_ = true;
      return kHidDeviceIoFailed;
    }
    const uint32_t reports = std::min<uint32_t>(control % 4, count);
    for (uint32_t i = 0; i < reports && *returned + 64 <= size; ++i) {
      std::memset(buffer + *returned, 0, 64);
      in_.Take(buffer + *returned, 64);
      *returned += 64;
    }
    return reports == count ? kHidSuccess : kHidTransferTimeout;
  }
  uint32_t MaxReportRequest() const override { return 4; }
  int OpenPath(std::string* path) const override {
    *path = "fuzz-hid";
    return kHidSuccess;
  }
  void Close() override { open_ = false; }

 private:
  int Status() const { return open_ && !gone_ ? kHidSuccess : kHidDeviceIoFailed; }
  ByteSource& in_;
  bool open_ = false;
  bool gone_ = false;
};

// Lists one accepted serial adapter, "fuzz0".
class FuzzAdapterList : public PortEnumerator {
 public:
  std::vector<PortInfo> Ports() override {
    PortInfo info;
    info.device = "fuzz0";
    info.has_usb_ids = true;
    info.product_id = 60000;
    info.product = "LX DRIVES ESC LINK";
    return {info};
  }
};

// A session over the input's serial port on a virtual clock, as the main window runs it. The
// serial adapter is listed only when `listed` (a HID target leaves the serial engine
// searching).
class FuzzWorld {
 public:
  FuzzWorld(const uint8_t* data, size_t size, bool listed)
      : in(data, size),
        port(in, clock),
        ui(in),
        session(port, listed ? &adapters : nullptr, clock, loop, ui) {}

  // Timers go to the session; a tick of any timer but `unwatched` that takes longer than
  // `max_tick_ms` on the virtual clock is a fault.
  void DispatchTimers(uint64_t max_tick_ms, int unwatched = -1) {
    loop.SetHandler([this, max_tick_ms, unwatched](int id) {
      const uint64_t start = clock.NowMs();
      session.OnTimer(id);
      if (id != unwatched && clock.NowMs() - start > max_tick_ms) std::abort();
    });
  }
  // Up to `ticks` timer ticks while the input lasts, `after` following each.
  template <typename After>
  void Run(int ticks, After after) {
    for (int tick = 0; tick < ticks && !in.empty(); ++tick) {
      if (!loop.RunOne()) break;
      after();
    }
  }

  ByteSource in;
  ManualClock clock;
  TimerLoop loop{clock};
  FuzzPort port;
  FuzzUi ui;
  FuzzAdapterList adapters;
  Session session;
};

}  // namespace tessel::fuzz
