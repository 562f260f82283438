// The one-line status text of the desktop tool: what the tool is doing now (derived from the
// session status) and what it last did (reported by the engines and commands through
// SessionUi::ReportOutcome). Plain text rules, so the command line and the tests can use them
// without a window.
#pragma once

#include <string>

#include "core/model/settings_image.h"

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

// Combines the two. A success stays on the line while the tool settles back to ready; new
// work (a read, a send, an update) replaces it, and so does the loss of the ESC or the
// adapter. A failure stays until the user's next action (UserActed): whatever the tool does
// on its own meanwhile (the read that follows a replug, a search) neither hides it nor
// replaces it with a success; only a newer failure takes its place. A transfer cut off by the
// loss of the ESC or the adapter reports itself.
class StatusLine {
 public:
  // What the tool just did, or why it failed.
  void Report(const std::string& text, const SessionStatus& status);
  void ReportFailure(const std::string& text, const SessionStatus& status);
  // The line for the current state; call it whenever the status may have changed.
  const std::string& Update(const SessionStatus& status, bool hid_update = false);
  // The user clicked, typed or chose a command: a failure has been seen and gives way.
  void UserActed();
  // The user answered a question or a message box: the failure that follows it needs no
  // box of its own.
  void NoteAsked();
  // A failure that ended a read or a send without any box telling the user, once; empty when
  // there is none. Faces show it in a box that does not stop the engines.
  std::string TakeNotice();
  bool notice_pending() const { return !notice_.empty(); }

  const std::string& text() const { return text_; }
  // The line shows a reported failure (drawn so that it is noticed).
  bool showing_failure() const { return failed_ && !outcome_.empty(); }
  Activity activity() const { return activity_; }

 private:
  void Fail(const std::string& text, bool transfer);

  Activity activity_ = Activity::kSearching;
  std::string outcome_;
  bool failed_ = false;
  bool failed_in_work_ = false;  // the present (or last) read or send reported a failure
  bool asked_ = false;  // a box was answered since the user's last action or the work began
  std::string notice_;
  std::string text_ = ActivityText(Activity::kSearching);
};

}  // namespace tessel
