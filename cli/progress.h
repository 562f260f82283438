// Progress of long work (read, send, flash) on stderr. On a terminal one line that rewrites
// itself with the percentage and the time left; elsewhere (a pipe, a log file) a few plain
// lines: the start, every 10 %, the end; with --quiet nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace tessel {

class ProgressMeter {
 public:
  enum class Mode { kNone, kLine, kSteps };

  ProgressMeter(std::FILE* out, Mode mode, std::function<uint64_t()> now_ms);

  Mode mode() const { return mode_; }
  // Starts (or switches to) `activity` ("reading", "sending", "flashing"); a new activity
  // starts again at 0 %.
  void Begin(const std::string& activity);
  void Update(int percent);
  // Ends the current activity; on success it ends at 100 %.
  void End(bool ok);
  // Leaves the line so that a message can follow on a line of its own.
  void BreakLine();
  bool active() const { return !activity_.empty(); }

 private:
  void DrawLine(const std::string& tail = {});

  std::FILE* out_;
  Mode mode_;
  std::function<uint64_t()> now_ms_;
  std::string activity_;
  int percent_ = 0;
  int last_step_ = -1;  // the last 10 % step printed (steps mode)
  uint64_t start_ms_ = 0;
  uint64_t last_draw_ms_ = 0;
  bool line_open_ = false;
  size_t drawn_width_ = 0;
};

}  // namespace tessel
