// The one progress window of the tool: a caption and a bar. Disabled, so it takes no input;
// the transfer procedures set its caption and bar and close (hide) it again.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

namespace tessel {

class CEscProcessDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CEscProcessDlg(QWidget* owner);

  // Bar position = done * 100 / total (unsigned integer division).
  void SetProgress(uint32_t total, uint32_t done);
  // The caption, in the title bar and above the bar (title bars are small or missing on
  // some desktops).
  void SetCaption(const QString& caption);
  QString caption() const;
  int position() const;
  // Centred over the main window and no wider than it; it follows the window while it shows.
  void Place();
  void Close();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* caption_;
  QProgressBar* bar_;
};

}  // namespace tessel
