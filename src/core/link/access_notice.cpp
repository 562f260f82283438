#include "core/link/access_notice.h"

namespace tessel {

std::string AccessDeniedText(AdapterFamily family, const std::string& device) {
  const char* what =
      family == AdapterFamily::kHid ? "the HID programming adapter" : "the serial programming adapter";
  return std::string("Tessel Arc USB cannot open ") + what + " at " + device +
         ": permission denied.\n\n"
         "Install the tesselarc package, or copy its udev rule 60-tesselarc.rules to "
         "/etc/udev/rules.d/, then unplug the adapter and plug it in again; the tool keeps "
         "looking and takes it as soon as it may.\n\n"
         "\"tesselarc-cli doctor\" shows what stands in the way and the exact fix.";
}

void AccessNotice::Denied(AdapterFamily family, const std::string& device) {
  if (device.empty() || !told_.insert(device).second) return;
  last_denied_ = device;
  last_family_ = family;
  sink_.ShowAdapterNotice(AccessDeniedText(family, device));
}

void AccessNotice::Opened(const std::string& device) {
  told_.erase(device);
  if (device == last_denied_) last_denied_.clear();
}

}  // namespace tessel
