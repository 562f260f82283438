#include "core/link/hid_link.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tessel {

std::string HidLink::HidFindPath() {
  std::string found;
  const uint32_t count = device_.DeviceCount(kHidVendorId, kHidProductId);
  for (uint32_t i = 0; i < count; ++i) {
    std::string path;
    if (device_.DevicePath(i, kHidVendorId, kHidProductId, &path) == kHidSuccess) found = path;
  }
  return found;
}

std::optional<uint32_t> HidLink::HidFindIndex(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const uint32_t count = device_.DeviceCount(kHidVendorId, kHidProductId);
  for (uint32_t i = 0; i < count; ++i) {
    std::string candidate;
    if (device_.DevicePath(i, kHidVendorId, kHidProductId, &candidate) == kHidSuccess &&
        candidate == path) {
      return i;
    }
  }
  return std::nullopt;
}

bool HidLink::HidOpenAndGreet() {
  const auto index = HidFindIndex(hid_path);
  if (!index) return false;
  device_.Open(*index, kHidVendorId, kHidProductId, kHidInputBuffers);
  if (!device_.IsOpened()) {
    if (notice_ && device_.OpenDenied()) notice_->Denied(AdapterFamily::kHid, hid_path);
    return false;
  }
  if (notice_) notice_->Opened(hid_path);
  const uint16_t length = device_.ReportLength();
  if (length < 5) return false;
  std::vector<uint8_t> hello(length, 0);
  hello[0] = kHidHelloReportId;
  std::copy_n("CONN", 4, hello.begin() + 1);
  const bool greeted = device_.SendControlReport(hello.data(), hello.size()) == kHidSuccess;
  if (trace_) {
    trace_->HidReport(clock_.NowMs(), TraceReport::kControl, hello.data(), hello.size(), greeted);
  }
  if (!greeted) return false;
  device_.SetTimeouts(kHidReadTimeoutMs, kHidWriteTimeoutMs);
  pending_.clear();
  return true;
}

bool HidLink::HidSend(const uint8_t* bytes, size_t count) {
  if (!device_.IsOpened()) return false;
  const size_t length = device_.ReportLength();
  if (length < kHidMinDataReportLength) return false;
  std::vector<uint8_t> report(length, 0);
  size_t sent = 0;
  while (sent < count) {
    const size_t n = std::min(count - sent, kHidDataPerReport);
    report[0] = kHidDataReportId;
    report[1] = static_cast<uint8_t>(n);
    std::copy_n(bytes + sent, n, report.begin() + 2);
    const bool ok = device_.SendInterruptReport(report.data(), report.size()) == kHidSuccess;
    if (trace_) {
      trace_->HidReport(clock_.NowMs(), TraceReport::kOutput, report.data(), report.size(), ok);
    }
    if (!ok) return false;
    sent += n;
  }
  return true;
}

bool HidLink::HidReceive(uint8_t* out, size_t capacity, size_t requested, size_t* count) {
  *count = 0;
  const size_t length = device_.ReportLength();
  if (length <= 60 || requested < kHidDataPerReport) return false;
  const uint32_t reports = static_cast<uint32_t>(requested / kHidDataPerReport);
  std::vector<uint8_t> scratch(static_cast<size_t>(reports) * length, 0);
  uint32_t returned = 0;
  const int status = device_.ReadInputReports(scratch.data(), scratch.size(), reports, &returned);
  if (status != kHidSuccess && status != kHidTransferTimeout) return false;
  returned = std::min<uint32_t>(returned, static_cast<uint32_t>(scratch.size()));
  for (size_t at = 0; at + length <= returned; at += length) {
    if (trace_) trace_->HidReport(clock_.NowMs(), TraceReport::kInput, &scratch[at], length);
    // The count byte comes from the device: never trust it past the report's end.
    const size_t n = std::min<size_t>(scratch[at + 1], length - 2);
    pending_.insert(pending_.end(), scratch.begin() + static_cast<long>(at + 2),
                    scratch.begin() + static_cast<long>(at + 2 + n));
  }
  const size_t n = std::min(capacity, pending_.size());
  std::copy_n(pending_.begin(), n, out);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
  *count = n;
  return true;
}

void HidLink::HidFlush() {
  if (!device_.IsOpened()) return;
  std::array<uint8_t, 256> scratch{};
  size_t count = 0;
  HidReceive(scratch.data(), scratch.size(), std::max(FetchSize(), kHidDataPerReport), &count);
  pending_.clear();
}

void HidLink::HidClose() {
  if (device_.IsOpened()) device_.Close();
  pending_.clear();
}

std::string HidLink::OpenPath() const {
  std::string path;
  if (device_.OpenPath(&path) != kHidSuccess) return {};
  return path;
}

}  // namespace tessel
