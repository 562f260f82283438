#include "cli/history.h"

#include <cstdio>
#include <vector>

#include "cli/command_line.h"
#include "core/model/sheet.h"
#include "platform/history_folder.h"

namespace tessel {

CliHistory::CliHistory(CliUi& ui, const Session& session)
    : store(HistoryFolder()), recorder(store, session) {
  recorder.on_error = [&ui](const std::string& error) {
    ui.BreakProgressLine();
    std::fprintf(stderr, "tesselarc-cli: not kept in the settings history: %s\n", error.c_str());
  };
  ui.transfer_watchers.push_back([this](const TransferEnd& end) { recorder.OnTransferDone(end); });
}

std::unique_ptr<CliHistory> WatchHistory(CliUi& ui, const Session& session) {
  return std::make_unique<CliHistory>(ui, session);
}

int CommandHistory(bool json) {
  const SettingsHistory store(HistoryFolder());
  const std::vector<HistoryEntry> entries = store.List();
  if (json) {
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i) {
      const HistoryEntry& e = entries[i];
      out += std::string(i ? ",\n " : "") + "{\"id\": " + JsonString(e.id) +
             ", \"time\": " + JsonString(e.time) + ", \"cause\": " + JsonString(e.cause) +
             ", \"device\": " + JsonString(e.device) + ", \"link\": " + JsonString(e.link) +
             ", \"esc_version\": " + JsonString(e.version) + "}";
    }
    std::printf("%s]\n", out.c_str());
    return kExitOk;
  }
  if (entries.empty()) {
    std::fprintf(stderr, "no settings kept yet in %s\n", store.folder().c_str());
    return kExitOk;
  }
  std::vector<std::vector<std::string>> rows = {{"ENTRY", "TIME", "CAUSE", "DEVICE", "VERSION"}};
  for (const HistoryEntry& e : entries) {
    rows.push_back({e.id, HistoryTimeText(e.time), e.cause,
                    HistoryDeviceText(e.device) + " (" + e.link + ")", e.version});
  }
  std::printf("%s", ColumnsText(rows).c_str());
  return kExitOk;
}

}  // namespace tessel
