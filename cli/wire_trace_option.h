// --trace FILE: the wire trace of a command-line run, written to FILE as it goes.
#pragma once

#include <memory>
#include <string>

#include "core/link/wire_trace.h"

namespace tessel {

// A trace whose every line goes to `path` (created or emptied, mode 0600) as it is made.
// Null with the system's reason in `error` when the file cannot be written: its header is
// written here, so that a full disk (or /dev/full) is found before anything is sent. A write
// that fails later is said on stderr at once; the run goes on without the trace.
std::shared_ptr<WireTrace> OpenTraceFile(const std::string& path, std::string& error);

}  // namespace tessel
