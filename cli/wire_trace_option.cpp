#include "cli/wire_trace_option.h"

#include "platform/trace_file.h"

namespace tessel {

std::shared_ptr<WireTrace> OpenTraceFile(const std::string& path, std::string& error) {
  auto file = std::make_shared<TraceFile>();
  if (!file->Open(path, error)) return nullptr;
  auto trace = std::make_shared<WireTrace>(TESSEL_VERSION);
  // The file lives as long as the trace's sink holds it.
  trace->SetSink([file](const std::string& line) { file->Write(line); });
  return trace;
}

}  // namespace tessel
