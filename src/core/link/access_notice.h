// Telling the user, once, that an adapter is plugged in but this user may not open it.
//
// On Linux a freshly plugged adapter is a device node that an ordinary user cannot open
// (root:dialout 0660 for the serial adapter's tty, root 0600 for a hidraw node) until a udev
// rule grants access. The engines keep retrying in silence, as they do for an adapter that is
// not there; this class makes sure the user hears about it once per device instead of never
// (or on every 10 ms retry). The links report each refused and each successful opening.
#pragma once

#include <set>
#include <string>

#include "core/session/session_ui.h"

namespace tessel {

enum class AdapterFamily { kSerial, kHid };

// The message: names the device and the fix.
std::string AccessDeniedText(AdapterFamily family, const std::string& device);

class AccessNotice {
 public:
  explicit AccessNotice(SessionUi& ui) : ui_(ui) {}

  // Opening `device` was refused for lack of permission. The first refusal is shown through
  // SessionUi::ShowAdapterNotice; later ones stay quiet.
  void Denied(AdapterFamily family, const std::string& device);
  // `device` opened: should it be refused again later (new node, rule removed), that is news.
  void Opened(const std::string& device);

  bool told(const std::string& device) const { return told_.count(device) != 0; }
  // The device of the latest refusal that was told, for a caller that gives up later.
  const std::string& last_denied() const { return last_denied_; }
  AdapterFamily last_family() const { return last_family_; }

 private:
  SessionUi& ui_;
  std::set<std::string> told_;
  std::string last_denied_;
  AdapterFamily last_family_ = AdapterFamily::kSerial;
};

}  // namespace tessel
