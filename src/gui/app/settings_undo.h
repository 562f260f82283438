// The desktop side of the settings history: keeps every whole read and send of the main
// window in the history folder it shares with tesselarc-cli, knows which button started a
// send, and carries out Device > "Undo Last Send".
#pragma once

#include <QObject>
#include <QString>
#include <string>

#include "core/app/settings_history.h"

namespace tessel {

class CCorvaneDlg;

constexpr const char* kUndoLastSendText = "Undo Last Send";

class SettingsUndo : public QObject {
  Q_OBJECT
 public:
  // `folder` empty: the user's data folder (HistoryFolder()).
  SettingsUndo(CCorvaneDlg& window, const QString& folder);

  HistoryRecorder& recorder() { return recorder_; }
  SettingsHistory& history() { return history_; }
  // Whether the command can act now: an ESC with settings is connected and the tool idle.
  // Whether there is anything to go back to is asked only when it is chosen.
  bool CanUndo() const;
  // Asks, naming what will change, then sends the image held before the last send.
  void UndoLastSend();

 private:
  CCorvaneDlg& window_;
  SettingsHistory history_;
  HistoryRecorder recorder_;
};

}  // namespace tessel
