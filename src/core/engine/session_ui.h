// The seam through which the engines reach the windows: questions, message boxes, the
// progress window, the beep, and the page and dialog operations of the hosting contract.
// The desktop tool implements it with widgets, the command line with text and fixed answers,
// the tests with scripted answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/transfer_outcome.h"
#include "core/link/access_notice.h"

namespace tessel {

enum class Answer { kOk, kCancel, kYes, kNo };
// kReadSendCancel: "Read again" answers Yes, "Send anyway" No, "Cancel" Cancel.
enum class Buttons { kOk, kOkCancel, kYesNo, kYesNoCancel, kReadSendCancel };

// A question with more to it than its text: the reason behind an error as a detail, and the
// answer that Enter gives where the first button would be the unsafe one.
struct Question {
  std::string text;
  std::string caption;
  Buttons buttons = Buttons::kOk;
  std::string detail;
  std::optional<Answer> default_answer;
  // The buttons' own words, in the order of `buttons` ("Close anyway", "Keep sending"); empty
  // for the standard words.
  std::vector<std::string> choices;
};

class SessionUi : public AdapterNoticeSink {
 public:
  virtual ~SessionUi() = default;

  // Message boxes owned by the main window (or the dialog that asks). Closing the box
  // counts as Cancel (or No where there is no Cancel).
  virtual Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) = 0;
  // A window that can show no more than the plain question asks that.
  virtual Answer AskQuestion(const Question& q) { return Ask(q.text, q.caption, q.buttons); }
  // File choice; empty when cancelled. `filter` is the dialog filter as the tool states it.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& filter) = 0;
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filter) = 0;

  // The progress window.
  virtual void SetProgressCaption(const std::string& caption) = 0;
  virtual void SetProgress(uint32_t total, uint32_t done) = 0;
  virtual void ShowProgress() = 0;
  virtual void CloseProgress() = 0;

  virtual void Beep() = 0;
  // One line for the main window's status line: what the tool just did ("Sent OK",
  // "Exported to ...") or why it failed. The beep alone is silent on many desktops.
  virtual void ReportOutcome(const std::string& /*text*/) {}
  virtual void ReportFailure(const std::string& /*text*/) {}
  // A read or a send reached its last step, after the pages or the V1 dialog took it in
  // (`end.reached_end()`); it is not `complete()` when steps were skipped on the way, so the
  // image may not be what the ESC holds. Verify and history start here. A transfer that
  // broke off says so through ReportFailure; the session's last_transfer() holds every end.
  virtual void TransferDone(const TransferEnd& /*end*/) {}
  // Dispatches the window messages that are waiting, so that windows repaint and stay
  // responsive while a blocking procedure (the serial firmware update) runs.
  virtual void ProcessEvents() {}
  // True when the user asked a blocking procedure to stop at its next record (the command
  // line's Ctrl-C).
  virtual bool StopRequested() { return false; }

  // Main window.
  virtual void RefreshMainWindow() {}
  virtual void RedrawButtons() {}
  virtual void RedrawIndicators() {}
  virtual void ShowIndicators(bool /*show*/) {}
  virtual void SwitchToPage(int32_t /*page*/) {}  // the main window's ShowPage
  virtual void MarkSkinsForRenewal() {}
  virtual void UpdateMenuBitmaps() {}
  virtual void HideSimpleDialog() {}

  // Settings pages (all five editing pages at once) and the Data page.
  virtual void RefreshPagesFromImage() = 0;
  virtual void CollectPageSelections() = 0;
  virtual void ResetPagesToDefaults() = 0;
  virtual void ShowLoggedData() {}

  // The two status labels under the indicators ("ESC" or "LCD", and "USB").
  virtual void SetStatusLabels(const std::string& /*esc*/, const std::string& /*usb*/) {}
  // Shows or hides the main window's controls that belong to ESC settings (LCD box mode).
  virtual void ShowEscControls(bool /*show*/) {}
  // A notice that needs no answer and must not stop the engines (an adapter this user may
  // not open): the desktop shows it without blocking, the command line prints it.
  void ShowAdapterNotice(const std::string& /*text*/) override {}

  // Information page.
  virtual void EnableUpdateButton() {}  // the page's ShowSoftwareVersion
  virtual void RefreshDeviceView() {}
  virtual void HideVersionFields() {}
  virtual void SetHardwareText(const std::string& /*text*/) {}

  // V1 simple dialog.
  virtual void V1RefreshFromImage() = 0;  // shows the image, "Read Ok", beep
  virtual void V1WriteToImage() = 0;      // takes the lists' choices into the image
  virtual void V1ShowSendDone() = 0;      // "Send Ok", transfer over, beep
  virtual void V1LoadDefaults() = 0;      // stored selections to defaults, "Default Ok"
  virtual void V1ShowStatus(const std::string& /*text*/) {}
};

}  // namespace tessel
