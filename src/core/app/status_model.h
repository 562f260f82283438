// The status line as every face shows it: what the tool is doing now, what it last did, and
// the unsent changes. Outcomes stay: a success stays on the line while the tool settles back
// to ready, and a failure stays until the user's next action, whatever the tool does on its
// own meanwhile (the read that follows a replug never hides it).
#pragma once

#include <cstddef>
#include <string>

#include "core/engine/status_line.h"

namespace tessel {

// Combines the two. A success stays on the line while the tool settles back to ready; new
// work (a read, a send, an update) replaces it, and so does the loss of the ESC or the
// adapter. A failure stays until the user's next action (UserActed): whatever the tool does
// on its own meanwhile (the read that follows a replug, a search) neither hides it nor
// replaces it with a success; only a newer failure takes its place. A transfer cut off by the
// loss of the ESC or the adapter reports itself.
// "Apply sends 1 change", "Apply sends 3 changes".
std::string UnsentChangesText(size_t count);
// The HID adapter answers and nothing behind it does: it may be the LCD program box.
constexpr const char* kLcdBoxHint = "An LCD program box? Device › LCD Program Box";

class StatusModel {
 public:
  // What the tool just did, or why it failed.
  void Report(const std::string& text, const SessionStatus& status);
  void ReportFailure(const std::string& text, const SessionStatus& status);
  // The line for the current state; call it whenever the status may have changed. `unsent`
  // is the count of unsent changes, said when nothing else is ("Apply sends 2 changes").
  const std::string& Update(const SessionStatus& status, bool hid_update = false,
                            size_t unsent = 0);
  // The user clicked, typed or chose a command: a failure has been seen and gives way.
  void UserActed();
  // The user changed a setting: a success reported before speaks no longer (a failure stays
  // until the user's next action, which this already was).
  void ChangeMade();
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
  // What the empty page area says now.
  std::string PageHint(const SessionStatus& status) const;

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
