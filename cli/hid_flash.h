// tesselarc-cli's firmware updates through the HID adapter: the file is checked by its kind
// and content before anything is sent, then the HID engine runs the update on the command
// line's timer loop until the device confirms it, fails, or stops answering.
#pragma once

#include <cstdint>
#include <string>

#include "cli/cli_ui.h"
#include "core/model/firmware_preflight.h"
#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/engine/timer_host.h"

namespace tessel {

// The check before any device is looked for, with the core's firmware preflight: `lcd` checks
// for the LCD program box, ".hgm" for the block loader of ESC types 12 and 15, anything else
// for the serial loader (the HID record loader checks it again, strictly, once the adapter is
// known). 0, or 2 with the reason on stderr.
int PrecheckFirmwareFile(const std::string& path, bool lcd);

// An update that ended at its question, worded as the question was: "version old: ESC0110 is
// older than ESC0120: " then `why` ("use --force to flash an older version"), then that
// nothing was sent.
std::string UpdateRefusal(const StartUpdateFacts& start, const std::string& why);

struct HidFlashRequest {
  std::string path;
  bool lcd = false;       // the LCD program box alone behind the adapter
  uint64_t wait_ms = 0;   // the longest wait for any answer of the device (--timeout + 2 s)
};

// Runs the update on an identified device (or, with `lcd`, an adapter with no ESC). 0 when the
// device confirmed it; 1 on a device failure or time-out; 2 for a file of the wrong kind or
// a damaged one, before anything was sent; 130 when a stop signal ended it between two
// blocks or records.
int RunHidFlash(Session& session, HidEngine& hid, CliUi& ui, TimerLoop& loop,
                const HidFlashRequest& request);

}  // namespace tessel
