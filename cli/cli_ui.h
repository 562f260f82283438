// The command line's answers to the engine's questions: the settings image is the only copy of
// the settings (there are no page controls), transfer errors are retried a few times and then
// given up, and progress goes to stderr (ProgressMeter).
#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "core/engine/session.h"

namespace tessel {

class CliUi : public SessionUi {
 public:
  static constexpr int kRetriesPerStep = 3;

  void Bind(Session& session) { session_ = &session; }
  CliUi();
  // No progress at all (--quiet), or a line on a terminal / plain lines elsewhere.
  void set_show_progress(bool show, bool terminal);

  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override;
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return file_; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return file_; }
  void SetProgressCaption(const std::string& caption) override;
  void SetProgress(uint32_t total, uint32_t done) override;
  void ShowProgress() override {}
  void CloseProgress() override;
  void Beep() override {}

  void RefreshPagesFromImage() override;
  void CollectPageSelections() override {}
  void ResetPagesToDefaults() override;
  void ShowLoggedData() override { read_finished = true; }
  void V1RefreshFromImage() override { read_finished = true; }
  void V1WriteToImage() override {}
  void V1ShowSendDone() override { send_finished = true; }
  void V1LoadDefaults() override;

  void SetFile(std::string path) { file_ = std::move(path); }
  bool StopRequested() override { return stop_requested && *stop_requested != 0; }

  // flash: "Start update?" is answered OK, "version old" only when forced.
  void StartFlashing(bool force_old_version);
  // Ends the progress of the work under way, at 100 % when it succeeded.
  void FinishProgress(bool ok) { meter_.End(ok); }
  // Leaves a progress line so that a message stands on a line of its own.
  void BreakProgressLine() { meter_.BreakLine(); }
  void V1ShowStatus(const std::string& text) override;
  // Goes to stderr at once; the wait for the adapter goes on.
  void ShowAdapterNotice(const std::string& text) override;
  void TransferDone(const TransferEnd& end) override {
    for (const auto& watcher : transfer_watchers) watcher(end);
  }
  // Called when a read or a send reached its end (kTransferRead, kTransferSend).
  std::vector<std::function<void(const TransferEnd& end)>> transfer_watchers;

  bool overwrite = false;     // answer Yes when asked to overwrite a settings file
  bool send_damaged = false;  // answer "Send anyway" when a damaged curve would be sent
  const volatile std::sig_atomic_t* stop_requested = nullptr;  // set by the signal handler
  bool read_finished = false;
  bool send_finished = false;
  bool gave_up = false;      // a transfer error was answered with Cancel
  std::string failure;       // what went wrong, for the user
  std::string last_message;  // the last message box text that was not a transfer question

 private:
  Session* session_ = nullptr;
  ProgressMeter meter_;
  int percent_ = 0;
  std::string pending_activity_;  // named by the engine, shown from its first progress
  bool meter_sending_ = false;    // the meter shows a send
  bool flashing_ = false;
  bool force_old_version_ = false;
  int retry_key_ = -1;
  int retries_ = 0;
  std::optional<std::string> file_;
};

}  // namespace tessel
