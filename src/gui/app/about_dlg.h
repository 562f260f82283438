// The about box.
#pragma once

#include <QDialog>

namespace tessel {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent);
};

}  // namespace tessel
