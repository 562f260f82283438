#include "platform/trace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tessel {

TraceFile::~TraceFile() {
  if (fd_ >= 0) close(fd_);
}

bool TraceFile::Open(const std::string& path, std::string& error) {
  if (fd_ >= 0) close(fd_);
  failed_ = false;
  error_.clear();
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    error = std::strerror(errno);
    return false;
  }
  // A file that was there keeps its mode through O_CREAT: the trace is the owner's only.
  if (fchmod(fd_, 0600) != 0) {
    error = std::strerror(errno);
    close(fd_);
    fd_ = -1;
    return false;
  }
  return true;
}

bool TraceFile::Write(const std::string& line) {
  if (fd_ < 0 || failed_) return false;
  std::string out = line;
  out += '\n';
  const char* at = out.data();
  size_t left = out.size();
  while (left > 0) {
    const ssize_t n = write(fd_, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
      error_ = n < 0 ? std::strerror(errno) : "nothing was written";
      return false;
    }
    at += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace tessel
