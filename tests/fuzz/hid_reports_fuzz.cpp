// libFuzzer target for the HID adapter's input reports into the HID session engine: reports of
// any bytes and counts (count bytes past the report's end included), any number of them per
// fetch, and an adapter that may vanish, on a virtual clock. Every tick stays within the
// engine's fixed waits, and reads, sends and firmware-free sessions never touch memory they do
// not own (the sanitizers watch that).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/engine/hid_engine.h"
#include "core/model/page_rules.h"
#include "tests/fuzz/fuzz_port.h"

namespace {

class FuzzHid : public tessel::HidDevice {
 public:
  explicit FuzzHid(tessel::fuzz::ByteSource& in) : in_(in) {}
  uint32_t DeviceCount(uint16_t, uint16_t) override { return gone_ ? 0 : 1; }
  int DevicePath(uint32_t index, uint16_t, uint16_t, std::string* path) override {
    if (gone_ || index != 0) return tessel::kHidDeviceNotFound;
    *path = "fuzz-hid";
    return tessel::kHidSuccess;
  }
  int Open(uint32_t, uint16_t, uint16_t, uint32_t) override {
    open_ = !gone_;
    return open_ ? tessel::kHidSuccess : tessel::kHidDeviceNotFound;
  }
  bool IsOpened() const override { return open_; }
  uint16_t ReportLength() const override { return 64; }
  int SetTimeouts(uint32_t, uint32_t) override { return tessel::kHidSuccess; }
  int SendControlReport(const uint8_t*, size_t) override { return Status(); }
  int SendInterruptReport(const uint8_t*, size_t) override { return Status(); }
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override {
    *returned = 0;
    if (!open_ || gone_) return tessel::kHidDeviceIoFailed;
    const uint8_t control = in_.Next();
    if (control == 0xEE) {  // pulled out
      gone_ = true;
      return tessel::kHidDeviceIoFailed;
    }
    const uint32_t reports = std::min<uint32_t>(control % 4, count);
    for (uint32_t i = 0; i < reports && *returned + 64 <= size; ++i) {
      std::memset(buffer + *returned, 0, 64);
      in_.Take(buffer + *returned, 64);
      *returned += 64;
    }
    return reports == count ? tessel::kHidSuccess : tessel::kHidTransferTimeout;
  }
  uint32_t MaxReportRequest() const override { return 4; }
  int OpenPath(std::string* path) const override {
    *path = "fuzz-hid";
    return tessel::kHidSuccess;
  }
  void Close() override { open_ = false; }

 private:
  int Status() const { return open_ && !gone_ ? tessel::kHidSuccess : tessel::kHidDeviceIoFailed; }
  tessel::fuzz::ByteSource& in_;
  bool open_ = false;
  bool gone_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tessel;
  fuzz::ByteSource in(data, size);
  ManualClock clock;
  TimerLoop loop(clock);
  fuzz::FuzzPort serial(in, clock);
  fuzz::FuzzUi ui(in);
  FuzzHid device(in);
  Session session(serial, nullptr, clock, loop, ui);
  HidEngine hid(session, device);
  LoadFactoryDefaults(session.image);
  loop.SetHandler([&](int id) {
    const uint64_t start = clock.NowMs();
    session.OnTimer(id);
    // The longest fixed waits of one tick: 5 and 500 ms after a settings packet.
    if (id != kTimerSession && clock.NowMs() - start > 5 + 500 + 100 + 10) std::abort();
  });
  session.Start();
  hid.Start();
  bool sent = false;
  for (int tick = 0; tick < 800 && !in.empty(); ++tick) {
    if (!loop.RunOne()) break;
    // Once the ESC has been read, the rest of the input answers a send.
    if (!sent && hid.esc_identified && !session.status.transfer_active) {
      sent = true;
      session.image.throttle_curve_mode = 1;
      session.Apply();
    }
  }
  return 0;
}
