#include "gui/app/send_verifier.h"

#include <QAction>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include "core/app/verify_read.h"
#include "gui/app/corvane_dlg.h"

namespace tessel {
namespace {

// The engine may still be closing the send when it reports its end (the V1 packet's end
// byte, the HID idle command); the read starts once the tool would let the user start one.
constexpr int kStartRetryMs = 50;
constexpr int kStartTries = 200;

}  // namespace

SendVerifier::SendVerifier(CCorvaneDlg& window, QAction& toggle)
    : QObject(&window), window_(window), toggle_(toggle) {
  toggle_.setCheckable(true);
  toggle_.setChecked(QSettings("tesselarc", "tesselarc").value(kVerifySettingKey, false).toBool());
  connect(&toggle_, &QAction::toggled, this, [](bool on) {
    QSettings("tesselarc", "tesselarc").setValue(kVerifySettingKey, on);
  });
  limit_ = new QTimer(this);
  limit_->setSingleShot(true);
  connect(limit_, &QTimer::timeout, this, [this] {
    if (!pending()) return;
    Fail("Verify failed: the ESC was not read back",
         "The settings were sent, but the ESC could not be read again to check them.",
         "Read it (Device › Read from ESC) to see what it holds.");
  });
  connect(&window_, &CCorvaneDlg::transferDone, this, &SendVerifier::OnTransferDone);
}

bool SendVerifier::enabled() const {
  return toggle_.isChecked();
}

void SendVerifier::OnTransferDone(const TransferEnd& end) {
  const int direction = end.direction;
  const bool complete = end.complete();
  Session& session = window_.session();
  if (direction == kTransferSend) {
    if (!enabled()) return;
    // The image as it went out; the read that follows overwrites it.
    sent_ = session.image;
    device_class_ = session.status.device_class;
    v1_bec_ = session.status.v1_block_variant == kV1Block16;
    reading_ = false;
    start_tries_ = 0;
    limit_->start(kReadLimitMs);
    QTimer::singleShot(0, this, [this] { TryStartRead(); });
    return;
  }
  // Only the read this verifier started answers a send; any other read is just a read.
  if (direction != kTransferRead || !reading_ || !sent_) return;
  reading_ = false;
  const EscSettingsImage read_back = session.image;
  // Compared once the engine has returned, so that a box never opens inside its step.
  QTimer::singleShot(0, this, [this, read_back, complete] { Compare(read_back, complete); });
}

void SendVerifier::TryStartRead() {
  if (!sent_ || reading_) return;
  Session& session = window_.session();
  if (StartVerifyRead(session)) {
    reading_ = true;
    window_.UpdateStatus();
    return;
  }
  if (++start_tries_ < kStartTries && session.IsBusy()) {
    QTimer::singleShot(kStartRetryMs, this, [this] { TryStartRead(); });
    return;
  }
  Fail("Verify failed: the ESC was not read back",
       "The settings were sent, but the ESC could not be read again to check them.",
       "Read it (Device › Read from ESC) to see what it holds.");
}

void SendVerifier::Compare(const EscSettingsImage& read_back, bool complete) {
  if (!sent_) return;
  limit_->stop();
  last_ = CompareSetups(*sent_, read_back, SentScope(device_class_), v1_bec_);
  sent_.reset();
  if (last_.empty() && complete) {
    window_.ReportOutcome(kVerifiedText);
    return;
  }
  QString detail = QString::fromStdString(ReadBackLines(last_));
  if (!complete) detail += "The read back skipped steps: some values may not be the ESC's.\n";
  const QString status =
      last_.empty() ? QString("Verify failed: the read back skipped steps")
                    : QString::fromStdString("Verify failed: " + ReadBackMismatchText(last_.size()));
  Fail(status, "The ESC does not hold everything that was sent:", detail.trimmed());
}

void SendVerifier::Fail(const QString& status, const QString& text, const QString& detail) {
  sent_.reset();
  reading_ = false;
  limit_->stop();
  window_.ReportFailure(status.toStdString());
  QMessageBox box(QMessageBox::Warning, kVerifyCaption, text, QMessageBox::Ok, &window_);
  box.setObjectName("verify_failed");
  box.setInformativeText(detail);
  // One line per setting: a narrow box would fold "sent …, read back …" in two.
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 420px; }");
  box.exec();
}

}  // namespace tessel
