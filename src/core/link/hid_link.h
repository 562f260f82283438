// The byte layer over the USB HID programming adapter. It finds the adapter by its device path,
// opens it and says hello, and moves byte strings in data reports:
//
//   host -> adapter   control report  [0xFD 'C' 'O' 'N' 'N' ...]        hello, once after open
//   host -> adapter   interrupt report [0x02 n d1 .. dn ...]  n <= 59    data
//   adapter -> host   interrupt report [0x02 n d1 .. dn ...]             data
//
// Which bytes go when belongs to the HID session engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "core/link/access_notice.h"
#include "core/link/hid_device.h"
#include "core/link/wire_trace.h"
#include "core/link/clock.h"

namespace tessel {

constexpr uint8_t kHidDataReportId = 2;
constexpr uint8_t kHidHelloReportId = 0xFD;
constexpr size_t kHidDataPerReport = 59;
constexpr size_t kHidMinDataReportLength = 61;  // id, count, 59 data
constexpr uint32_t kHidInputBuffers = 512;
constexpr uint32_t kHidReadTimeoutMs = 0;
constexpr uint32_t kHidWriteTimeoutMs = 1000;

class HidLink {
 public:
  HidLink(HidDevice& device, Clock& clock) : device_(device), clock_(clock) {}

  // The path of the attached adapter at the highest index; empty when none answers.
  std::string HidFindPath();
  // The first index whose device path equals `path`.
  std::optional<uint32_t> HidFindIndex(const std::string& path);
  // Opens the adapter at `hid_path`, checks its report length, says hello and sets the
  // time-outs. False when any of it fails; the caller tries again on its next tick.
  bool HidOpenAndGreet();
  // Sends `count` bytes in data reports of at most 59; false at the first report that fails
  // or when no usable adapter is open. Zero bytes send nothing and succeed.
  bool HidSend(const uint8_t* bytes, size_t count);
  // Fetches what the adapter buffered and appends the data of each report in order. At most
  // `capacity` bytes are written to `out`; what does not fit is kept and comes first on the
  // next call, so no byte is lost. `requested` below 59 or a report length of 60 or less
  // fails, as does a fetch that neither succeeds nor times out.
  bool HidReceive(uint8_t* out, size_t capacity, size_t requested, size_t* count);
  // Discards everything the adapter has buffered.
  void HidFlush();
  void HidClose();
  void DelayMs(uint32_t ms) { clock_.SleepMs(ms); }

  bool IsOpen() const { return device_.IsOpened(); }
  uint16_t ReportLength() const { return device_.ReportLength(); }
  // The request size the session engine uses for one tick's fetch.
  size_t FetchSize() const {
    return static_cast<size_t>(device_.MaxReportRequest()) * kHidDataPerReport;
  }
  // Path of the open adapter, empty when it cannot be read.
  std::string OpenPath() const;

  HidDevice& device() { return device_; }
  // Told of every opening refused for lack of permission (and of every success).
  void SetAccessNotice(AccessNotice* notice) { notice_ = notice; }
  // Every report from now on also goes to `trace` (none: nullptr).
  void SetTrace(WireTrace* trace) { trace_ = trace; }
  WireTrace* trace() const { return trace_; }

  std::string hid_path;

 private:
  HidDevice& device_;
  Clock& clock_;
  AccessNotice* notice_ = nullptr;
  WireTrace* trace_ = nullptr;
  std::deque<uint8_t> pending_;  // data fetched but not yet handed out
};

}  // namespace tessel
