#include "cli/wire_trace_option.h"

#include <cctype>
#include <cstdio>

#include "platform/trace_file.h"

namespace tessel {

std::shared_ptr<TraceFileOption> TraceFileOption::Open(const std::string& path,
                                                      std::string& error) {
  auto file = std::make_shared<TraceFile>();
  if (!file->Open(path, error)) return nullptr;
  if (!file->Write(WireTrace(TESSEL_VERSION).Header())) {
    error = file->error();
    return nullptr;
  }
  return std::shared_ptr<TraceFileOption>(new TraceFileOption(path, std::move(file)));
}

void TraceFileOption::Attach(WireTrace& trace) const {
  // The trace hands its header to a new sink first; that one is in the file already.
  auto header_skipped = std::make_shared<bool>(false);
  trace.SetSink([file = file_, path = path_, header_skipped](const std::string& line) {
    if (!*header_skipped) {
      *header_skipped = true;
      return;
    }
    if (file->failed() || file->Write(line)) return;
    std::string why = file->error();
    if (!why.empty()) why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
    // A progress line may be open on stderr: the message starts a line of its own.
    std::fprintf(stderr, "\ntesselarc-cli: --trace: cannot write %s: %s; the trace stops here\n",
                 path.c_str(), why.c_str());
  });
}

}  // namespace tessel
