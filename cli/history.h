// The settings history on the command line: the 'history' listing, and the watcher that
// keeps each whole read and send of a command in the history the desktop tool shares.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_ui.h"
#include "core/app/settings_history.h"

namespace tessel {

// 'tesselarc-cli history [--json]'.
int CommandHistory(bool json);

// The history, and a recorder fed by the command's transfers. A history that cannot be
// written says so on stderr; the command itself goes on.
struct CliHistory {
  SettingsHistory store;
  HistoryRecorder recorder;
  CliHistory(CliUi& ui, const Session& session);
};
std::unique_ptr<CliHistory> WatchHistory(CliUi& ui, const Session& session);

}  // namespace tessel
