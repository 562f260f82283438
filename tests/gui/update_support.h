// What the widget tests of the V1 dialog and the information page share: a main window on a
// virtual ESC, waiting for its read, firmware files, and a helper that answers the modal
// windows (file dialog, message boxes) a button handler opens while it runs.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gui/app/corvane_dlg.h"
#include "sim/virtual_esc.h"
#include "tests/gui/window_support.h"

namespace tessel::test {

using Bytes = std::vector<uint8_t>;

// A firmware record: big-endian body length, then the body.
inline Bytes Record(size_t body, uint8_t seed) {
  Bytes r{static_cast<uint8_t>(body >> 8), static_cast<uint8_t>(body)};
  for (size_t i = 0; i < body; ++i) r.push_back(static_cast<uint8_t>(seed + i * 7));
  return r;
}

inline Bytes Join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A hex-text firmware file in a folder of its own; removed with the object.
class FirmwareFile {
 public:
  FirmwareFile(const std::string& name, const Bytes& bytes) {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("tesselarc_fw_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / name).string();
    std::ofstream out(path_, std::ios::binary);
    char pair[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
      std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
      out << pair << (i % 16 == 15 ? "\r\n" : " ");
    }
  }
  ~FirmwareFile() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

// Answers the modal windows that open while a button handler runs: the file dialog picks
// `file` (or is cancelled when it is empty), each message box gets the next answer (OK when
// none is left). Every box is kept as "caption|text".
class ModalAnswerer {
 public:
  explicit ModalAnswerer(std::string file) : file_(std::move(file)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  std::deque<QMessageBox::StandardButton> answers;
  std::vector<std::string> boxes;
  int file_dialogs = 0;

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    // A window that does not go away after many answers would hang the test: fail instead.
    if (modal != nullptr && modal == last_) {
      if (++repeats_ > 200) {
        ADD_FAILURE() << "a modal window does not close: " << modal->windowTitle().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
          dialog->reject();
        } else {
          modal->close();
        }
        return;
      }
    } else {
      repeats_ = 0;
    }
    last_ = modal;
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      ++file_dialogs;
      if (file_.empty()) {
        dialog->reject();
      } else {
        // selectFile leaves the name alone while the name box has the focus; type it instead.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(file_));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept checks the name
      }
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.push_back(box->windowTitle().toStdString() + "|" + box->text().toStdString());
      QMessageBox::StandardButton answer = QMessageBox::Ok;
      if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
      }
      QAbstractButton* button = box->button(answer);
      if (button == nullptr) {
        ADD_FAILURE() << "no such button on " << boxes.back();
        box->reject();
        return;
      }
      button->click();
    }
  }

  std::string file_;
  QTimer timer_;
  QWidget* last_ = nullptr;
  int repeats_ = 0;
};

}  // namespace tessel::test
