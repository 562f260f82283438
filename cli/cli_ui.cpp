#include "cli/cli_ui.h"

#include "core/firmware/serial_update.h"
#include "core/settings/page_rules.h"
#include "core/settings/v1_settings.h"

namespace tessel {

Answer CliUi::Ask(const std::string& text, const std::string& caption, Buttons buttons) {
  if (flashing_ && text == kUpdateStartQuestion) return Answer::kOk;
  if (flashing_ && text == kUpdateVersionOld) {
    return force_old_version_ ? Answer::kOk : Answer::kCancel;
  }
  if (buttons == Buttons::kReadSendCancel) return send_damaged ? Answer::kNo : Answer::kCancel;
  if (text != kTransferErrorText || session_ == nullptr) {
    if (buttons == Buttons::kYesNo && overwrite) return Answer::kYes;
    last_message = text;
    // Questions on the command line take the cautious answer.
    return buttons == Buttons::kOk ? Answer::kOk
                                   : (buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel);
  }
  const SessionStatus& s = session_->status;
  // Once nothing has come back for the whole time-out, or the user asked to stop, a retry
  // would only wait again.
  if (session_->link.idle_expired() || StopRequested()) {
    gave_up = true;
    failure = session_->link.idle_expired() ? "no byte came back from the ESC in time"
                                            : "interrupted";
    return Answer::kCancel;
  }
  const int step = s.transfer_direction == kTransferRead ? s.read_step : 1000 + s.send_step;
  if (step != retry_key_) {
    retry_key_ = step;
    retries_ = 0;
  }
  if (retries_ < kRetriesPerStep) {
    ++retries_;
    std::fprintf(stderr, "\ntransfer error at %s step %d, retrying (%d of %d)\n",
                 s.transfer_direction == kTransferRead ? "read" : "send", step % 1000, retries_,
                 kRetriesPerStep);
    return Answer::kYes;
  }
  gave_up = true;
  failure = std::string("the ESC stopped answering during the ") +
            (s.transfer_direction == kTransferRead ? "read" : "send") + " (step " +
            std::to_string(step % 1000) + ", " + std::to_string(kRetriesPerStep) +
            " retries)";
  (void)caption;
  return Answer::kCancel;
}

void CliUi::SetProgressCaption(const std::string& caption) {
  if (!show_progress_ || caption == last_caption_) return;
  // The session going back to reading after an update is not the update's progress.
  if (flashing_ && caption == kCaptionRead) return;
  last_caption_ = caption;
  if (progress_lines_) {
    std::fprintf(stderr, "%s\n", caption.c_str());
    return;
  }
  std::fprintf(stderr, "\r%-40s", caption.c_str());
  std::fflush(stderr);
  progress_line_open_ = true;
}

void CliUi::CloseProgress() {
  if (progress_line_open_) std::fprintf(stderr, "\n");
  progress_line_open_ = false;
  last_caption_.clear();
}

void CliUi::RefreshPagesFromImage() {
  if (session_) RefreshAllPagesFromImage(session_->image);
}

void CliUi::ResetPagesToDefaults() {
  if (session_) ResetAllPagesToDefaults(session_->image);
}

void CliUi::V1LoadDefaults() {
  if (session_) ApplyV1Defaults(session_->image);
}

void CliUi::StartFlashing(bool force_old_version, bool progress_lines) {
  flashing_ = true;
  force_old_version_ = force_old_version;
  show_progress_ = true;
  progress_lines_ = progress_lines;
}

// Without a progress window the V1 dialog's update reports in its status line.
void CliUi::V1ShowStatus(const std::string& text) {
  if (flashing_) SetProgressCaption(text);
}

void CliUi::ShowAdapterNotice(const std::string& text) {
  if (progress_line_open_) {
    std::fputc('\n', stderr);
    progress_line_open_ = false;
  }
  std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
}

}  // namespace tessel
