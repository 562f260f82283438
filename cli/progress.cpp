#include "cli/progress.h"

#include <algorithm>

namespace tessel {

ProgressMeter::ProgressMeter(std::FILE* out, Mode mode, std::function<uint64_t()> now_ms)
    : out_(out), mode_(mode), now_ms_(std::move(now_ms)) {}

void ProgressMeter::Begin(const std::string& activity) {
  if (mode_ == Mode::kNone || activity == activity_) return;
  if (active()) End(false);
  activity_ = activity;
  percent_ = 0;
  last_step_ = 0;
  start_ms_ = now_ms_();
  if (mode_ == Mode::kSteps) {
    std::fprintf(out_, "%s: started\n", activity_.c_str());
    std::fflush(out_);
  } else {
    DrawLine();
  }
}

void ProgressMeter::Update(int percent) {
  if (mode_ == Mode::kNone || !active()) return;
  percent = std::clamp(percent, 0, 100);
  if (percent == percent_) return;
  percent_ = percent;
  if (mode_ == Mode::kSteps) {
    // 100 % is said by End, so that a run that stops there does not claim it finished.
    const int step = percent / 10 * 10;
    if (step > last_step_ && step < 100) {
      last_step_ = step;
      std::fprintf(out_, "%s: %d%%\n", activity_.c_str(), step);
      std::fflush(out_);
    }
    return;
  }
  // A terminal needs no more than about ten redraws a second.
  const uint64_t now = now_ms_();
  if (line_open_ && now - last_draw_ms_ < 100 && percent < 100) return;
  DrawLine();
}

void ProgressMeter::End(bool ok) {
  if (mode_ == Mode::kNone || !active()) return;
  if (ok) percent_ = 100;
  const double seconds = static_cast<double>(now_ms_() - start_ms_) / 1000.0;
  if (mode_ == Mode::kSteps) {
    if (ok) {
      std::fprintf(out_, "%s: 100%% done in %.1f s\n", activity_.c_str(), seconds);
    } else {
      std::fprintf(out_, "%s: stopped at %d%%\n", activity_.c_str(), percent_);
    }
  } else {
    char tail[48];
    std::snprintf(tail, sizeof tail, ok ? "  done in %.1f s" : "  stopped", seconds);
    DrawLine(tail);
    std::fputc('\n', out_);
    line_open_ = false;
    drawn_width_ = 0;
  }
  std::fflush(out_);
  activity_.clear();
}

void ProgressMeter::BreakLine() {
  if (!line_open_) return;
  std::fputc('\n', out_);
  line_open_ = false;
  drawn_width_ = 0;  // the next drawing starts on a fresh line
}

void ProgressMeter::DrawLine(const std::string& tail) {
  const uint64_t now = now_ms_();
  last_draw_ms_ = now;
  constexpr int kBar = 20;
  std::string bar(static_cast<size_t>(percent_ * kBar / 100), '#');
  bar.resize(kBar, '.');
  std::string text = activity_ + " [" + bar + "] " + std::to_string(percent_) + "%";
  // The time left follows from the rate so far, once there is a rate to speak of.
  const uint64_t elapsed = now - start_ms_;
  if (percent_ > 0 && percent_ < 100 && elapsed >= 500) {
    const uint64_t left_ms =
        elapsed * static_cast<uint64_t>(100 - percent_) / static_cast<uint64_t>(percent_);
    text += ", about " + std::to_string((left_ms + 999) / 1000) + " s left";
  }
  text += tail;
  const size_t width = text.size();
  // Spaces cover what a longer line drew before.
  if (drawn_width_ > width) text.append(drawn_width_ - width, ' ');
  drawn_width_ = width;
  std::fprintf(out_, "\r%s", text.c_str());
  std::fflush(out_);
  line_open_ = true;
}

}  // namespace tessel
