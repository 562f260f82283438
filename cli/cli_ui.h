// The command line as a face on the tool: its fixed answers to the tool's questions (transfer
// errors are retried a few times and then given up), the file named on the command line for
// every file choice, and the tool's progress on stderr (ProgressMeter).
#pragma once

#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/progress.h"
#include "core/app/tool.h"

namespace tessel {

class CliUi : public ToolHost {
 public:
  static constexpr int kRetriesPerStep = 3;

  CliUi();
  void Bind(Tool& tool) { tool_ = &tool; }
  // No progress at all (--quiet), or a line on a terminal / plain lines elsewhere.
  void set_show_progress(bool show, bool terminal);

  // ToolHost
  Answer Ask(const Question& question) override;
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return file_; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return file_; }
  void Changed() override;
  void ProgressChanged() override;
  void TransferDone(const TransferEnd& end) override;
  // Goes to stderr at once; the wait for the adapter goes on.
  void ShowNotice(const std::string& text) override;

  void SetFile(std::string path) { file_ = std::move(path); }
  bool StopRequested() override { return stop_requested && *stop_requested != 0; }

  // flash: "Start update?" is answered OK, "version old" only when forced.
  void StartFlashing(bool force_old_version);
  // Ends the progress of the work under way, at 100 % when it succeeded.
  void FinishProgress(bool ok) { meter_.End(ok); }
  // Leaves a progress line so that a message stands on a line of its own.
  void BreakProgressLine() { meter_.BreakLine(); }
  // Called when a read or a send reached its end (kTransferRead, kTransferSend); a read that
  // did also sets read_finished.
  std::vector<std::function<void(const TransferEnd& end)>> transfer_watchers;

  bool overwrite = false;     // answer Yes when asked to overwrite a settings file
  bool send_damaged = false;  // answer "Send anyway" when a damaged curve would be sent
  const volatile std::sig_atomic_t* stop_requested = nullptr;  // set by the signal handler
  bool read_finished = false;
  bool gave_up = false;      // a transfer error was answered with Cancel
  std::string failure;       // what went wrong, for the user
  std::string last_message;  // the last message box text that was not a transfer question

 private:
  // The engines' progress window as the tool's model shows it, taken apart into the moments
  // the meter cares for: a new caption, new counts, the window closing.
  void OnCaption(const std::string& caption);
  void OnProgress(uint32_t total, uint32_t done);
  void OnClose();

  Tool* tool_ = nullptr;
  ProgressModel seen_;            // the progress model when last looked at
  std::string seen_v1_status_;    // the V1 dialog's status line when last looked at
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
