// A SessionUi for engine tests: answers questions from a script and records what the engine
// asked the windows to do.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "core/engine/session_ui.h"

namespace tessel {

class RecordingUi : public SessionUi {
 public:
  Answer Ask(const std::string& text, const std::string& caption, Buttons) override {
    questions.push_back(caption + "|" + text);
    if (answers.empty()) return Answer::kCancel;
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  Answer AskQuestion(const Question& q) override {
    asked.push_back(q);
    return Ask(q.text, q.caption, q.buttons);
  }
  void ReportOutcome(const std::string& text) override { outcomes.push_back(text); }
  void ReportFailure(const std::string& text) override { outcomes.push_back("failed: " + text); }
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override {
    filters.push_back(filter);
    return open_file;
  }
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override {
    filters.push_back(filter);
    return save_file;
  }
  void SetProgressCaption(const std::string& c) override { captions.push_back(c); }
  void SetProgress(uint32_t total, uint32_t done) override {
    last_bar = total ? done * 100 / total : 0;
  }
  void ShowProgress() override { progress_visible = true; }
  void CloseProgress() override { progress_visible = false; }
  void Beep() override { ++beeps; }
  void SwitchToPage(int32_t page) override { pages.push_back(page); }
  void RefreshPagesFromImage() override { ++page_refreshes; }
  void CollectPageSelections() override { ++collects; }
  void ResetPagesToDefaults() override { ++resets; }
  void ShowLoggedData() override { ++reads_finished; }
  void V1RefreshFromImage() override {
    ++v1_reads;
    ++beeps;
  }
  void V1WriteToImage() override { ++v1_writes; }
  void V1ShowSendDone() override {
    ++v1_sends;
    ++beeps;
  }
  void V1LoadDefaults() override { ++v1_defaults; }
  void V1ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void RefreshMainWindow() override { ++main_refreshes; }
  void SetStatusLabels(const std::string& esc, const std::string&) override { label = esc; }
  void SetHardwareText(const std::string& text) override { hardware = text; }
  void ShowIndicators(bool show) override {
    if (!show) ++indicators_hidden;
  }
  void ShowAdapterNotice(const std::string& text) override { notices.push_back(text); }
  bool StopRequested() override { return stop; }
  void TransferDone(const TransferEnd& end) override {
    transfers_done.push_back(end.direction * (end.complete() ? 1 : -1));
  }

  std::deque<Answer> answers;
  std::vector<std::string> questions;
  std::vector<Question> asked;        // the questions that carried a detail or a default
  std::vector<std::string> outcomes;  // status-line reports; failures start "failed: "
  std::vector<std::string> filters;
  std::optional<std::string> open_file;
  std::optional<std::string> save_file;
  std::vector<std::string> captions;
  std::vector<std::string> statuses;
  std::vector<int32_t> pages;
  std::vector<std::string> notices;
  std::vector<int32_t> transfers_done;  // kTransferRead/kTransferSend, negative if incomplete
  std::string label = "ESC";            // the ESC/LCD status label
  std::string hardware = "TURBO";       // the hardware text of the information page
  bool stop = false;                    // a stop was asked for (the command line's signals)
  unsigned last_bar = 0;
  bool progress_visible = false;
  int beeps = 0;
  int page_refreshes = 0;
  int collects = 0;
  int resets = 0;
  int reads_finished = 0;
  int v1_reads = 0;
  int v1_writes = 0;
  int v1_sends = 0;
  int v1_defaults = 0;
  int main_refreshes = 0;
  int indicators_hidden = 0;
};

}  // namespace tessel
