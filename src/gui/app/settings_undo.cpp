#include "gui/app/settings_undo.h"

#include "core/model/setup_compare.h"
#include "gui/app/corvane_dlg.h"
#include "gui/simple/v1_dlg.h"
#include "platform/history_folder.h"

namespace tessel {

SettingsUndo::SettingsUndo(CCorvaneDlg& window, const QString& folder)
    : QObject(&window),
      window_(window),
      history_(folder.isEmpty() ? HistoryFolder() : folder.toStdString()),
      recorder_(history_, window.session()) {
  connect(&window, &CCorvaneDlg::transferDone, this,
          [this](const TransferEnd& end) { recorder_.OnTransferDone(end); });
  recorder_.on_error = [this](const std::string& error) {
    window_.ReportFailure("Not kept in the settings history: " + error);
  };
}

bool SettingsUndo::CanUndo() const {
  const SessionStatus& s = window_.session().status;
  const bool connected = s.link_kind == kLinkHid ? s.HidConnected() : s.SerialConnected();
  return connected && !s.lcd_box_connected && !window_.IsBusy() && !HistoryDeviceKind(s).empty();
}

void SettingsUndo::UndoLastSend() {
  if (!CanUndo()) return;
  Session& session = window_.session();
  const SessionStatus& s = session.status;
  const std::string kind = HistoryDeviceKind(s);
  const auto step = history_.BeforeLastSend(kind);
  if (!step) {
    window_.Ask("Nothing to undo: no settings held before a send to a " + HistoryDeviceText(kind) +
                    " have been kept.",
                kUndoLastSendText, Buttons::kOk);
    return;
  }
  // What the ESC holds as far as the tool knows (the last send, or a read after it) against
  // what it held before that send.
  EscSettingsImage now = session.image;
  ApplyHistoryEntry(step->latest, now);
  EscSettingsImage earlier = session.image;
  ApplyHistoryEntry(step->earlier, earlier);
  const auto differences = SendChanges(now, earlier, s.device_class, kind == "v1-bec");
  if (differences.empty()) {
    window_.Ask("Nothing would change: the ESC already holds the settings kept at " +
                    HistoryTimeText(step->earlier.time) + " (" + step->earlier.cause + ").",
                kUndoLastSendText, Buttons::kOk);
    return;
  }
  std::string lines = DifferenceLines(differences);
  lines.pop_back();  // the box ends with the last line
  Question question;
  question.text = "Undo the last send?";
  question.detail =
      "This sends the settings the ESC held before the last send (" + step->sent.cause + ", " +
      HistoryTimeText(step->sent.time) + "). " + std::to_string(differences.size()) +
      (differences.size() == 1 ? " setting changes:\n" : " settings change:\n") + lines;
  question.caption = kUndoLastSendText;
  question.buttons = Buttons::kOkCancel;
  question.default_answer = Answer::kCancel;
  if (window_.AskQuestion(question) != Answer::kOk || !CanUndo()) return;

  session.image = earlier;
  recorder_.NoteSendCause(kCauseUndo);
  bool started = false;
  if (s.device_class == kDeviceV1) {
    // The dialog's lists are what its send takes into the image.
    window_.tool().pages().V1RefreshFromImage();
    window_.Changed();
    started = window_.tool().V1Send();
  } else {
    // The kept curves replace any that arrived damaged, as an import does.
    session.damaged_curves = {};
    window_.RefreshPagesFromImage();
    started = window_.tool().PressButton(ButtonId::kApply);
  }
  if (!started) recorder_.NoteSendCause({});
  window_.UpdateStatus();
}

}  // namespace tessel
