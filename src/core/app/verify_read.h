// The read that checks a send (`set --verify`, Device › "Verify after sending"): the engine's
// own read, started on a line that has gone quiet.
#pragma once

#include <cstdint>

namespace tessel {

class Session;

// How long the serial line must stay silent before the read starts, and how many stray bytes
// are taken off it at most.
constexpr uint32_t kVerifyQuietMs = 40;
constexpr int kVerifyDrainLimit = 512;

// Starts a read of the whole image as "Read from ESC" does. A send ends with bytes written
// without waiting for their echo (a curve's filler bytes); at 1200 baud those echoes go on
// arriving for about 100 ms, and a read started at once would take one of them for the ESC's
// identification. So on the serial line the echoes are drained first, until the line has been
// silent for kVerifyQuietMs. False when the read could not start (busy, no ESC).
bool StartVerifyRead(Session& session);

}  // namespace tessel
