#include "core/engine/send_account.h"

namespace tessel {

std::string SendAccountText(const SendAccount& a) {
  std::string text = "after " + std::to_string(a.settings_taken) + " of " +
                     std::to_string(a.settings_total) + " settings";
  if (!a.any_byte_left) return text + "; nothing was sent";
  if (a.curves_total > 0) {
    text += " and " + std::to_string(a.curves_taken) + " of " + std::to_string(a.curves_total) +
            (a.curves_total == 1 ? " curve" : " curves");
  }
  return text + "; the ESC holds a mix: read it and send again";
}

std::string SendBrokeOffText(const SendAccount& a) {
  const char* cause = "Send broke off ";
  switch (a.why) {
    case SendBreak::kStopped:
      cause = "Send stopped (the ESC did not answer as expected) ";
      break;
    case SendBreak::kSkipped:
      cause = "Sent with skipped steps: ";
      break;
    case SendBreak::kAdapterLost:
      cause = "Send broke off (the adapter was lost) ";
      break;
    case SendBreak::kEscSilent:
      cause = "Send broke off (the ESC stopped answering) ";
      break;
    case SendBreak::kNone:
      break;
  }
  return cause + SendAccountText(a);
}

}  // namespace tessel
