// The status-line text that ends a firmware update: what happened, in a few words, next to the
// message boxes the updaters show.
#pragma once

#include <optional>
#include <string>

#include "core/engine/hid_update.h"
#include "core/engine/serial_update.h"

namespace tessel {

struct UpdateReport {
  std::string text;
  bool failed = false;
};

// Nothing for outcomes the user caused and already sees (a cancelled file dialog, a second
// press while an update runs).
std::optional<UpdateReport> SerialUpdateReport(SerialUpdateOutcome outcome);
// The same for an update through the HID adapter; `problem` is what its box said.
std::optional<UpdateReport> HidUpdateReport(HidUpdateOutcome outcome, const std::string& problem);
// Puts the report of a HID update on the status line.
void ReportHidUpdate(SessionUi& ui, HidUpdateOutcome outcome, const std::string& problem);

}  // namespace tessel
