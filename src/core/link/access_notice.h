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

namespace tessel {

enum class AdapterFamily { kSerial, kHid };

// Where the notice goes: the engines' window seam (SessionUi) is one, so the desktop shows it
// without blocking and the command line prints it.
class AdapterNoticeSink {
 public:
  virtual ~AdapterNoticeSink() = default;
  virtual void ShowAdapterNotice(const std::string& text) = 0;
};

// The message: names the device and the fix.
std::string AccessDeniedText(AdapterFamily family, const std::string& device);

class AccessNotice {
 public:
  explicit AccessNotice(AdapterNoticeSink& sink) : sink_(sink) {}

  // Opening `device` was refused for lack of permission. The first refusal is shown through
  // the sink; later ones stay quiet.
  void Denied(AdapterFamily family, const std::string& device);
  // `device` opened: should it be refused again later (new node, rule removed), that is news.
  void Opened(const std::string& device);

  bool told(const std::string& device) const { return told_.count(device) != 0; }
  // The device of the latest refusal that was told, for a caller that gives up later.
  const std::string& last_denied() const { return last_denied_; }
  AdapterFamily last_family() const { return last_family_; }

 private:
  AdapterNoticeSink& sink_;
  std::set<std::string> told_;
  std::string last_denied_;
  AdapterFamily last_family_ = AdapterFamily::kSerial;
};

}  // namespace tessel
