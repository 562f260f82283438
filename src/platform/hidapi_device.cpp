#include "platform/hidapi_device.h"

#include <hidapi.h>

#include "platform/adapter_access.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#if defined(__linux__)
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>
#ifndef HIDIOCSOUTPUT
#define HIDIOCSOUTPUT(len) _IOC(_IOC_WRITE | _IOC_READ, 'H', 0x0B, len)
#endif
#endif

namespace tessel {

namespace {

bool HidapiReady() {
  // hid_init is not safe to race and only needs to run once per process; hid_exit is left to
  // process end, since other devices may still be open.
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = hid_init() == 0; });
  return ready;
}

// hidapi hands out the USB strings as wchar_t (UTF-32 on Linux and macOS). C1 controls become
// '?' here, since a terminal may act on them and no product name needs them.
std::string Utf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) {
    const auto c = static_cast<uint32_t>(*text);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0xA0) {
      out += '?';
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0x10000 && c <= 0x10FFFF) {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += '?';  // not a character (a lone surrogate or out of range)
    }
  }
  return out;
}

}  // namespace

HidapiDevice::HidapiDevice() {
  HidapiReady();
}

HidapiDevice::~HidapiDevice() {
  Close();
}

std::vector<HidDeviceInfo> HidapiDevice::Enumerate(uint16_t vendor_id, uint16_t product_id) {
  std::vector<HidDeviceInfo> devices;
  if (!HidapiReady()) return devices;
  hid_device_info* list = hid_enumerate(vendor_id, product_id);
  for (const hid_device_info* info = list; info != nullptr; info = info->next) {
    if (info->path == nullptr) continue;
    // A device with several top-level usages shows up once per usage, under the same path.
    const bool seen = std::any_of(devices.begin(), devices.end(),
                                  [&](const HidDeviceInfo& d) { return d.path == info->path; });
    if (seen) continue;
    devices.push_back({info->path, info->vendor_id, info->product_id, Utf8(info->product_string),
                       Utf8(info->serial_number)});
  }
  hid_free_enumeration(list);
  return devices;
}

std::vector<std::string> HidapiDevice::Paths(uint16_t vendor_id, uint16_t product_id) {
  std::vector<std::string> paths;
  for (HidDeviceInfo& info : Enumerate(vendor_id, product_id))
    paths.push_back(std::move(info.path));
  return paths;
}

uint32_t HidapiDevice::DeviceCount(uint16_t vendor_id, uint16_t product_id) {
  return static_cast<uint32_t>(Paths(vendor_id, product_id).size());
}

int HidapiDevice::DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                             std::string* path) {
  if (path == nullptr) return kHidInvalidBuffer;
  const std::vector<std::string> paths = Paths(vendor_id, product_id);
  if (index >= paths.size()) return kHidDeviceNotFound;
  *path = paths[index];
  return kHidSuccess;
}

int HidapiDevice::Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                       uint32_t input_buffers) {
  Close();
  open_denied_ = false;
  const std::vector<std::string> paths = Paths(vendor_id, product_id);
  if (index >= paths.size()) return kHidDeviceNotFound;
  handle_ = hid_open_path(paths[index].c_str());
  if (handle_ == nullptr) {
    // Gone meanwhile, or (a plain hidraw node is root 0600) no permission without a rule.
    open_denied_ = AccessRefused(paths[index]);
    return kHidDeviceIoFailed;
  }
  path_ = paths[index];
  capacity_ = std::clamp<uint32_t>(input_buffers, 1, kMaxInputBuffers);
  read_timeout_ms_ = 0;
#if defined(__linux__)
  // hidapi keeps its descriptor to itself; the control-pipe output report needs one of ours.
  node_fd_ = open(path_.c_str(), O_RDWR | O_CLOEXEC);
#endif
  return kHidSuccess;
}

bool HidapiDevice::IsOpened() const {
  return handle_ != nullptr;
}

int HidapiDevice::SetTimeouts(uint32_t read_ms, uint32_t write_ms) {
  // hidapi has no write time-out: hid_write blocks until the system took the report, which
  // for a USB HID device the kernel itself bounds (5 s). write_ms cannot be applied.
  (void)write_ms;
  if (!IsOpened()) return kHidDeviceNotOpened;
  read_timeout_ms_ = read_ms;
  return kHidSuccess;
}

int HidapiDevice::SendControlReport(const uint8_t* report, size_t length) {
  if (!IsOpened()) return kHidDeviceNotOpened;
  if (report == nullptr || length == 0 || length > kReportLength) return kHidInvalidBuffer;
  Report padded{};
  std::copy_n(report, length, padded.begin());
#if defined(__linux__)
  // hidapi 0.13 has no call for an output report through the control pipe, so it goes out
  // as SET_REPORT(Output) with the hidraw ioctl. Kernels before 5.11 do not know the ioctl
  // (ENOTTY, or EINVAL on some); there the report goes through hid_write, which the kernel
  // sends on the interrupt OUT endpoint, or through the control pipe when there is none.
  if (node_fd_ >= 0) {
    int n;
    do {
      n = ioctl(node_fd_, HIDIOCSOUTPUT(kReportLength), padded.data());
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return kHidSuccess;
    if (errno != ENOTTY && errno != EINVAL) return kHidTransferFailed;
  }
#endif
  const int n = hid_write(handle_, padded.data(), padded.size());
  return n == static_cast<int>(padded.size()) ? kHidSuccess : kHidTransferFailed;
}

int HidapiDevice::SendInterruptReport(const uint8_t* report, size_t length) {
  if (!IsOpened()) return kHidDeviceNotOpened;
  if (report == nullptr || length == 0 || length > kReportLength) return kHidInvalidBuffer;
  Report padded{};
  std::copy_n(report, length, padded.begin());
  // The whole report in one write: hidraw takes it whole or not at all.
  const int n = hid_write(handle_, padded.data(), padded.size());
  return n == static_cast<int>(padded.size()) ? kHidSuccess : kHidTransferFailed;
}

bool HidapiDevice::Drain(int wait_ms) {
  while (queue_.size() < capacity_) {
    Report report{};
    const int n = hid_read_timeout(handle_, report.data(), report.size(), wait_ms);
    // A signal cutting the wait short is no error; any other failure means the device is gone
    // (unplugged) or its node failed.
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Close();
      return false;
    }
    if (n == 0) break;
    // A short report keeps its zero padding, so every report handed out is whole.
    queue_.push_back(report);
    wait_ms = 0;  // only the first read waits; the rest take what has already come
  }
  return true;
}

int HidapiDevice::ReadInputReports(uint8_t* buffer, size_t size, uint32_t count,
                                   uint32_t* returned) {
  if (returned == nullptr) return kHidInvalidBuffer;
  *returned = 0;
  if (!IsOpened()) return kHidDeviceNotOpened;
  if (count > 0 && (buffer == nullptr || size / kReportLength < count)) return kHidInvalidBuffer;
  if (!Drain(0)) return kHidDeviceIoFailed;
  if (read_timeout_ms_ > 0 && queue_.size() < count) {
    // With a read time-out the call waits for the rest, as long as it lasts.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(read_timeout_ms_);
    while (queue_.size() < count && queue_.size() < capacity_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      if (!Drain(static_cast<int>(left))) return kHidDeviceIoFailed;
    }
  }
  const size_t n = std::min<size_t>(count, queue_.size());
  for (size_t i = 0; i < n; ++i) {
    std::copy(queue_.front().begin(), queue_.front().end(), buffer + i * kReportLength);
    queue_.pop_front();
  }
  *returned = static_cast<uint32_t>(n * kReportLength);
  return n == count ? kHidSuccess : kHidTransferTimeout;
}

int HidapiDevice::OpenPath(std::string* path) const {
  if (path == nullptr) return kHidInvalidBuffer;
  if (!IsOpened()) return kHidDeviceNotOpened;
  *path = path_;
  return kHidSuccess;
}

void HidapiDevice::Close() {
  if (handle_ != nullptr) hid_close(handle_);
  handle_ = nullptr;
#if defined(__linux__)
  if (node_fd_ >= 0) close(node_fd_);
#endif
  node_fd_ = -1;
  path_.clear();
  queue_.clear();
}

std::string HidapiDevice::NodeProblem(const std::string& path, int& error) {
  error = 0;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = errno;
    return std::strerror(error);
  }
  if (S_ISDIR(st.st_mode)) return "it is a folder, not a HID device";
  if (!S_ISCHR(st.st_mode)) return "not a HID device";
#if defined(__linux__)
  // Opened before the kind is asked, so that a node this user may not open says so.
  const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return std::strerror(error);
  }
  hidraw_devinfo info{};
  const bool hidraw = ioctl(fd, HIDIOCGRAWINFO, &info) == 0;
  close(fd);
  if (!hidraw) return "not a HID device";
  const auto vendor = static_cast<uint16_t>(info.vendor);
  const auto product = static_cast<uint16_t>(info.product);
  if (vendor != kHidVendorId || product != kHidProductId) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "a HID device, but not the programming adapter (USB id %04x:%04x)", vendor,
                  product);
    return text;
  }
#endif
  return {};
}

}  // namespace tessel
