// Help › "Save Wire Trace…": the lines of the wire trace kept in memory, saved to a file the
// user chooses, for sending along with a report of what went wrong.
#pragma once

#include <QString>
#include <optional>

#include "core/link/wire_trace.h"

class QWidget;

namespace tessel {

// Asks for a file and writes the header and the kept lines to it in one piece (a temporary
// file renamed over it; a new file is for its owner only). Says "no trace yet" when nothing
// crossed the cable. The path written, or nothing when there was no trace, the user
// cancelled, or the write failed (a box says why).
std::optional<QString> SaveWireTrace(QWidget* parent, const WireTrace& trace);

}  // namespace tessel
