// The process's local time zone fixed for a test's lifetime, and the one before put back.
// POSIX rules rather than a zone name, so that no zone files need to be installed.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace tessel::test_support {

// Central European time: UTC+1, and UTC+2 from the last Sunday of March to that of October.
inline constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

class FixedTimeZone {
 public:
  explicit FixedTimeZone(const char* zone) : had_(std::getenv("TZ") != nullptr) {
    if (had_) old_ = std::getenv("TZ");
    setenv("TZ", zone, 1);
    tzset();
  }
  ~FixedTimeZone() {
    had_ ? setenv("TZ", old_.c_str(), 1) : unsetenv("TZ");
    tzset();
  }

 private:
  bool had_;
  std::string old_;
};

}  // namespace tessel::test_support
