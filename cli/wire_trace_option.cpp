#include "cli/wire_trace_option.h"

#include <cctype>
#include <cstdio>

#include "platform/trace_file.h"

namespace tessel {

std::shared_ptr<WireTrace> OpenTraceFile(const std::string& path, std::string& error) {
  auto file = std::make_shared<TraceFile>();
  if (!file->Open(path, error)) return nullptr;
  auto trace = std::make_shared<WireTrace>(TESSEL_VERSION);
  // The file lives as long as the trace's sink holds it. The header goes at once; a header
  // that cannot be written is the caller's to report.
  auto opened = std::make_shared<bool>(false);
  trace->SetSink([file, path, opened](const std::string& line) {
    if (file->failed() || file->Write(line) || !*opened) return;
    std::string why = file->error();
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    // A progress line may be open on stderr: the message starts a line of its own.
    std::fprintf(stderr, "\ntesselarc-cli: --trace: cannot write %s: %s; the trace stops here\n",
                 path.c_str(), why.c_str());
  });
  if (file->failed()) {
    error = file->error();
    return nullptr;
  }
  *opened = true;
  return trace;
}

}  // namespace tessel
