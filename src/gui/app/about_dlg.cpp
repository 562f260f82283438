#include "gui/app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/app/layout.h"

namespace tessel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Quillon");
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QString::fromStdString(ImageResource(kAppIconImage))).pixmap(48, 48));
  auto* text =
      new QLabel("Quillon Version 1.0\nProgramming tool for brushless speed controllers", this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
}

}  // namespace tessel
