// Device › "Verify after sending": when it is on, every send (Apply, Default, a preset, Reset
// Default, the V1 dialog's send) is followed by a read through the engine's own read, and the
// image that was sent is compared with the image read back. A match says "Verified" on the
// status line; a mismatch says the verify failed there and lists each setting in a warning
// box. Off, a send's conversation is exactly what it always was.
#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "core/engine/transfer_outcome.h"
#include "core/model/settings_image.h"
#include "core/model/setup_compare.h"

class QAction;
class QTimer;

namespace tessel {

class CCorvaneDlg;

constexpr const char* kVerifyAfterSendingText = "Verify after sending";
constexpr const char* kVerifySettingKey = "device/verify_after_sending";
constexpr const char* kVerifiedText = "Verified";
constexpr const char* kVerifyCaption = "Verify";

class SendVerifier : public QObject {
  Q_OBJECT
 public:
  // `toggle` is the checkable menu command; its state is remembered between runs.
  SendVerifier(CCorvaneDlg& window, QAction& toggle);

  bool enabled() const;
  // A send has ended and its read-back has not yet been compared.
  bool pending() const { return sent_.has_value(); }
  // The differences the last verify found (empty after a match).
  const std::vector<SetupDifference>& last_differences() const { return last_; }

  // How long the read that verifies may take before the verify gives up.
  static constexpr int kReadLimitMs = 30000;

 private:
  void OnTransferDone(const TransferEnd& end);
  void TryStartRead();
  void Compare(const EscSettingsImage& read_back, bool complete);
  void Fail(const QString& status, const QString& text, const QString& detail);

  CCorvaneDlg& window_;
  QAction& toggle_;
  std::optional<EscSettingsImage> sent_;
  int32_t device_class_ = 0;
  bool v1_bec_ = false;
  bool reading_ = false;  // the read that verifies has been started
  int start_tries_ = 0;
  QTimer* limit_ = nullptr;
  std::vector<SetupDifference> last_;
};

}  // namespace tessel
