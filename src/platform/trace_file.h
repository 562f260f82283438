// A wire trace written to a file as it goes. Each line reaches the file with its own write
// call as it is made, so a crash keeps every line up to it. The file is for its owner only
// (mode 0600): a trace shows what a user's ESC holds.
#pragma once

#include <string>

namespace tessel {

class TraceFile {
 public:
  TraceFile() = default;
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;
  ~TraceFile();

  // Creates `path`, or empties the file there, for its owner only. False with the system's
  // reason in `error` when it cannot be written.
  bool Open(const std::string& path, std::string& error);
  // Appends `line` and a line end. A failed write (disk full) stops the file; the tool goes on.
  // True when the line was written.
  bool Write(const std::string& line);
  bool failed() const { return failed_; }
  // The system's reason for the failed write.
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  std::string error_;
};

}  // namespace tessel
