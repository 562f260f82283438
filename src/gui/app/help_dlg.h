// Help › help: one page that walks a newcomer through the tool, from the first read to the
// command line.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace tessel {

class CHelpDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CHelpDlg(QWidget* parent);

  QTextBrowser* browser() const { return browser_; }
  static QString HelpHtml();

 private:
  QTextBrowser* browser_;
};

}  // namespace tessel
