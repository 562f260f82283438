// The one-line status text of the desktop tool: what the tool is doing now (derived from the
// session status) and what it last did (reported by the engines and commands through
// SessionUi::ReportOutcome). Plain text rules, so the command line and the tests can use them
// without a window.
#pragma once

#include <string>

#include "core/session/settings_image.h"

namespace tessel {

enum class Activity {
  kSearching,  // no adapter open
  kNoEsc,      // the adapter is open but nothing answers behind it
  kReading,
  kSending,
  kUpdating,   // a firmware update runs
  kReady,      // an ESC is connected and nothing runs
  kLcdBox,     // the LCD program box mode of the HID adapter
};

// `hid_update` is true while the HID engine runs a firmware update (it keeps no status flag
// of its own for that).
Activity CurrentActivity(const SessionStatus& status, bool hid_update = false);
// "Searching for the adapter…", "Reading the ESC…", ...
std::string ActivityText(Activity activity);
// The text the empty page area shows in this state.
std::string PageAreaHint(Activity activity);

// "CAR ESC", "V1-series ESC", "V1-series ESC with BEC", as the tool names them.
std::string DeviceKindText(const SessionStatus& status);
// "Read OK: <device kind>, software <version>" (without the version part when there is none).
std::string ReadOkText(const SessionStatus& status, const std::string& version);

constexpr const char* kSentOkText = "Sent OK";

// Combines the two. An outcome stays on the line while the tool settles back to ready; new
// work (a read, a send, an update) replaces it. A success also gives way when the ESC or the
// adapter goes; a failure stays while the tool searches or waits for the ESC, so the reason
// is still there to read. A transfer cut off by the loss of the ESC or the adapter reports
// itself.
class StatusLine {
 public:
  // What the tool just did, or why it failed.
  void Report(const std::string& text, const SessionStatus& status);
  void ReportFailure(const std::string& text, const SessionStatus& status);
  // The line for the current state; call it whenever the status may have changed.
  const std::string& Update(const SessionStatus& status, bool hid_update = false);

  const std::string& text() const { return text_; }
  // The line shows a reported failure (drawn so that it is noticed).
  bool showing_failure() const { return failed_ && !outcome_.empty(); }
  Activity activity() const { return activity_; }

 private:
  Activity activity_ = Activity::kSearching;
  std::string outcome_;
  bool failed_ = false;
  std::string text_ = ActivityText(Activity::kSearching);
};

}  // namespace tessel
