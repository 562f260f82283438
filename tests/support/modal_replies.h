// Answers whatever modal window a widget test opens while it lives: a file dialog with `file`,
// a message box with `button`, anything else through `other`. What they showed is kept.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <string>

#include "tests/gui/window_support.h"

namespace tessel::test {

struct ModalReplies {
  explicit ModalReplies(std::string file = {},
                         QMessageBox::StandardButton button = QMessageBox::Ok)
      : file(std::move(file)), button(button) {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialogs.push_back(dialog->windowTitle());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(this->file));
        static_cast<QDialog*>(dialog)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back(box->windowTitle() + "|" + box->text() + "|" + box->informativeText());
        if (!screenshot.isEmpty()) Screenshot(*box, screenshot);
        box->button(this->button)->click();
      } else if (modal != nullptr && other) {
        other(modal);
      }
    });
    timer.start(10);
  }

  std::string file;
  QMessageBox::StandardButton button;
  QString screenshot;                   // a picture of the first box, for people to look at
  std::function<void(QWidget*)> other;  // any other modal window
  QTimer timer;
  QStringList dialogs;  // file dialogs' titles
  QStringList boxes;    // "title|text|detail"
};

}  // namespace tessel::test
