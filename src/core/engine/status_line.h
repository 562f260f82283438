// The texts of the status line: what the tool is doing now (derived from the session status)
// and what the engines report when a read or a send ends. The status model (core/app) keeps
// them on the line.
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

}  // namespace tessel
