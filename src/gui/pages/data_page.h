// The Data page: the four values the ESC logged during its runs, shown after every read or
// import and never edited.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <QTextEdit>
#include <QWidget>
#include <vector>

#include "gui/pages/settings_page.h"

namespace tessel {

class CData : public QWidget {
  Q_OBJECT
 public:
  CData(PageContext context, QWidget* parent);

  void ShowLoggedData();
  void ShowValueBoxes();
  void ClearHelp();
  void RedrawIndicators();
  QString value_text(int i) const { return boxes_[static_cast<size_t>(i)]->text(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PageContext context_;
  QPixmap background_;
  std::vector<ValueBox*> boxes_;
  QTextEdit* help_ = nullptr;
  CCownerDrawBton* esc_indicator_ = nullptr;
  CCownerDrawBton* adapter_indicator_ = nullptr;
};

}  // namespace tessel
