#include "cli/cli_ui.h"

#include <unistd.h>

#include <chrono>

#include "core/engine/serial_update.h"

namespace tessel {
namespace {

uint64_t SteadyMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

}  // namespace

CliUi::CliUi()
    : meter_(stderr,
             isatty(STDERR_FILENO) ? ProgressMeter::Mode::kLine : ProgressMeter::Mode::kSteps,
             SteadyMs) {}

void CliUi::set_show_progress(bool show, bool terminal) {
  meter_ = ProgressMeter(stderr,
                         !show      ? ProgressMeter::Mode::kNone
                         : terminal ? ProgressMeter::Mode::kLine
                                    : ProgressMeter::Mode::kSteps,
                         SteadyMs);
}

Answer CliUi::Ask(const Question& question) {
  const std::string& text = question.text;
  const Buttons buttons = question.buttons;
  if (flashing_ && text == kUpdateStartQuestion) return Answer::kOk;
  if (flashing_ && text == kUpdateVersionOld) {
    return force_old_version_ ? Answer::kOk : Answer::kCancel;
  }
  if (buttons == Buttons::kReadSendCancel) return send_damaged ? Answer::kNo : Answer::kCancel;
  if (text != kTransferErrorText || tool_ == nullptr) {
    if (buttons == Buttons::kYesNo && overwrite) return Answer::kYes;
    last_message = text;
    // Questions on the command line take the cautious answer.
    return buttons == Buttons::kOk ? Answer::kOk
                                   : (buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel);
  }
  const Session& session = tool_->session();
  const SessionStatus& s = session.status;
  // Once nothing has come back for the whole time-out, or the user asked to stop, a retry
  // would only wait again.
  if (session.link.idle_expired() || StopRequested()) {
    gave_up = true;
    failure =
        session.link.idle_expired() ? "no byte came back from the ESC in time" : "interrupted";
    return Answer::kCancel;
  }
  const int step = s.transfer_direction == kTransferRead ? s.read_step : 1000 + s.send_step;
  if (step != retry_key_) {
    retry_key_ = step;
    retries_ = 0;
  }
  if (retries_ < kRetriesPerStep) {
    ++retries_;
    meter_.BreakLine();
    std::fprintf(stderr, "transfer error at %s step %d, retrying (%d of %d)\n",
                 s.transfer_direction == kTransferRead ? "read" : "send", step % 1000, retries_,
                 kRetriesPerStep);
    return Answer::kYes;
  }
  gave_up = true;
  failure = std::string("the ESC stopped answering during the ") +
            (s.transfer_direction == kTransferRead ? "read" : "send") + " (step " +
            std::to_string(step % 1000) + ", " + std::to_string(kRetriesPerStep) + " retries)";
  return Answer::kCancel;
}

void CliUi::ProgressChanged() {
  if (tool_ == nullptr) return;
  const ProgressModel now = tool_->progress();
  const ProgressModel before = seen_;
  seen_ = now;
  if (now.caption != before.caption) OnCaption(now.caption);
  if (now.total != before.total || now.done != before.done) OnProgress(now.total, now.done);
  if (before.shown && !now.shown) OnClose();
}

// The engines name their work by the caption of the progress window.
void CliUi::OnCaption(const std::string& caption) {
  if (flashing_) {
    // The session going back to reading after an update is not the update's progress.
    if (caption == kCaptionSend || caption == kUpdateProcessCaption) meter_.Begin("flashing");
    return;
  }
  // The caption is set before the ESC is found; the work starts with its first progress.
  if (caption == kCaptionRead) pending_activity_ = "reading";
  if (caption == kCaptionSend) pending_activity_ = "sending";
}

void CliUi::OnProgress(uint32_t total, uint32_t done) {
  if (total == 0) return;
  if (!flashing_ && !pending_activity_.empty()) {
    meter_.Begin(pending_activity_);
    meter_sending_ = pending_activity_ == "sending";
    pending_activity_.clear();
  }
  percent_ = static_cast<int>(static_cast<uint64_t>(done) * 100 / total);
  meter_.Update(percent_);
}

void CliUi::OnClose() {
  // The engines close the window when a read or send ends; one given up on has been said by
  // the failure. The flash ends its own progress.
  // A send that broke off is no 100 %, whatever the engine's counter reached.
  const bool cut_off = meter_sending_ && tool_->session().send_account.end == SendEnd::kBrokeOff;
  if (!flashing_) meter_.End(!gave_up && !cut_off);
  percent_ = 0;
}

void CliUi::TransferDone(const TransferEnd& end) {
  // The pages took the read in (with skipped steps too: the failure is said by the outcome).
  if (end.direction == kTransferRead) read_finished = true;
  for (const auto& watcher : transfer_watchers) watcher(end);
}

void CliUi::StartFlashing(bool force_old_version) {
  flashing_ = true;
  force_old_version_ = force_old_version;
  meter_.Begin("flashing");
}

// Without a progress window the V1 dialog's update reports in its status line.
void CliUi::Changed() {
  if (tool_ == nullptr || tool_->v1_status() == seen_v1_status_) return;
  seen_v1_status_ = tool_->v1_status();
  int percent = 0;
  if (flashing_ &&
      std::sscanf(seen_v1_status_.c_str(), "Transferring.. %d%% done.", &percent) == 1) {
    meter_.Update(percent);
  }
}

void CliUi::ShowNotice(const std::string& text) {
  meter_.BreakLine();
  std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
}

}  // namespace tessel
