// --trace FILE: the wire trace of a command-line run, written to FILE as it goes.
#pragma once

#include <memory>
#include <string>

#include "core/link/wire_trace.h"

namespace tessel {

class TraceFile;

// FILE, opened (created or emptied, mode 0600) with the trace's header already in it, waiting
// for the tool's trace to be attached.
class TraceFileOption {
 public:
  // Null with the system's reason in `error` when the file cannot be written: the header is
  // written here, so that a full disk (or /dev/full) is found before anything is sent.
  static std::shared_ptr<TraceFileOption> Open(const std::string& path, std::string& error);

  // Every line of `trace` goes to the file from now on. A write that fails later is said on
  // stderr at once; the run goes on without the trace.
  void Attach(WireTrace& trace) const;

 private:
  TraceFileOption(std::string path, std::shared_ptr<TraceFile> file)
      : path_(std::move(path)), file_(std::move(file)) {}
  std::string path_;
  std::shared_ptr<TraceFile> file_;
};

}  // namespace tessel
