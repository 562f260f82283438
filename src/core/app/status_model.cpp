#include "core/app/status_model.h"

namespace tessel {

namespace {

bool IsTransfer(Activity a) {
  return a == Activity::kReading || a == Activity::kSending;
}

}  // namespace

void StatusModel::Report(const std::string& text, const SessionStatus& status) {
  activity_ = CurrentActivity(status);
  // A success the tool reached on its own must not hide a failure the user has not seen.
  if (showing_failure()) return;
  outcome_ = text;
  failed_ = false;
  text_ = text;
}

void StatusModel::ReportFailure(const std::string& text, const SessionStatus& status) {
  const Activity before = activity_;
  activity_ = CurrentActivity(status);
  Fail(text, IsTransfer(before) || IsTransfer(activity_));
}

void StatusModel::Fail(const std::string& text, bool transfer) {
  outcome_ = text;
  failed_ = true;
  failed_in_work_ = true;
  text_ = text;
  // A transfer that failed while nobody asked the user anything would otherwise pass with
  // no more than a line of text.
  if (transfer && !asked_) notice_ = text;
}

void StatusModel::UserActed() {
  if (failed_) {
    outcome_.clear();
    failed_ = false;
    text_ = ActivityText(activity_);
  }
  asked_ = false;
  notice_.clear();
}

void StatusModel::ChangeMade() {
  if (!failed_) outcome_.clear();
}

void StatusModel::NoteAsked() {
  asked_ = true;
  notice_.clear();
}

std::string StatusModel::TakeNotice() {
  std::string notice;
  notice.swap(notice_);
  return notice;
}

const std::string& StatusModel::Update(const SessionStatus& status, bool hid_update,
                                       size_t unsent) {
  const Activity now = CurrentActivity(status, hid_update);
  if (now != activity_) {
    const Activity before = activity_;
    activity_ = now;
    if (IsTransfer(now) && !IsTransfer(before)) {
      // New work, with its own questions and its own failures.
      asked_ = false;
      failed_in_work_ = false;
    }
    if (IsTransfer(before) && (now == Activity::kSearching || now == Activity::kNoEsc)) {
      // The engine may have said why already; its words stay.
      if (!failed_in_work_) {
        Fail(before == Activity::kReading
                 ? "Read broke off: the ESC stopped answering"
                 : "Send broke off: the ESC stopped answering and may hold part of the new "
                   "settings",
             true);
      }
    } else if (now == Activity::kReady || showing_failure()) {
      // Settling back after work keeps what the work reported; a failure waits for the user.
    } else {
      // New work, or a plain change of state after a success: the old outcome is stale.
      outcome_.clear();
      failed_ = false;
    }
  }
  if (!outcome_.empty()) {
    text_ = outcome_;
  } else if (now == Activity::kReady && unsent > 0) {
    text_ = UnsentChangesText(unsent);
  } else {
    text_ = ActivityText(now);
  }
  return text_;
}

std::string StatusModel::PageHint(const SessionStatus& status) const {
  // The LCD program box keeps silent behind the HID adapter until the user switches to it,
  // so the tool cannot tell it from an ESC without power: it names both.
  if (activity_ == Activity::kNoEsc && status.link_kind == kLinkHid) {
    return PageAreaHint(activity_) + "\n" + kLcdBoxHint;
  }
  return PageAreaHint(activity_);
}

std::string UnsentChangesText(size_t count) {
  return "Apply sends " + std::to_string(count) + (count == 1 ? " change" : " changes");
}

}  // namespace tessel
