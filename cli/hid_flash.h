// tesselarc-cli's firmware updates through the HID adapter: the file is checked by its kind
// and content before anything is sent, then the HID engine runs the update on the command
// line's timer loop until the device confirms it, fails, or stops answering.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_ui.h"
#include "core/link/hid_session.h"
#include "core/session/session.h"
#include "core/session/timer_host.h"

namespace tessel {

// The file's extension in lower case (".xut"), empty when it has none.
std::string FirmwareExtension(const std::string& path);

// The check before any device is looked for: `lcd` takes ".xut" only; otherwise ".xut" is
// refused, ".hgm" must be a sound masked image and anything else a sound hex-text file (read
// leniently here; the HID path reads it strictly once it knows the adapter). 0, or 2 with
// the reason on stderr.
int PrecheckFirmwareFile(const std::string& path, bool lcd);

struct HidFlashRequest {
  std::string path;
  bool lcd = false;       // the LCD program box alone behind the adapter
  uint64_t stall_ms = 0;  // give up when the update makes no progress for this long
};

// Runs the update on an identified device (or, with `lcd`, an adapter with no ESC). 0 when the
// device confirmed it; 1 on a device failure or time-out; 2 for a file of the wrong kind or
// a damaged one, before anything was sent.
int RunHidFlash(Session& session, HidSession& hid, CliUi& ui, TimerLoop& loop,
                const HidFlashRequest& request);

}  // namespace tessel
