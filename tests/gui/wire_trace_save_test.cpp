// Help › "Save Wire Trace…": the kept lines reach the chosen file whole; nothing kept says so.
#include "gui/app/wire_trace_save.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/gui/window_support.h"

namespace tessel {
namespace {

using test::MakeWindow;
using test::WaitRead;

class SaveWireTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings("tesselarc", "tesselarc").clear();
    dir = std::filesystem::path(::testing::TempDir()) /
          ("tesselarc_trace_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    QSettings("tesselarc", "tesselarc").clear();
  }

  // Runs `action` and answers its file dialog with `file` and any box with OK.
  void Answer(const std::function<void()>& action, const std::string& file) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialog_title = dialog->windowTitle().toStdString();
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(file));
        static_cast<QDialog*>(dialog)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box_text = box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
      }
    });
    poll.start(10);
    action();
    poll.stop();
  }

  std::filesystem::path dir;
  std::string dialog_title, box_text;
};

TEST_F(SaveWireTraceTest, SavesTheKeptLinesOfARead) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QAction* command = w->command(QString::fromUtf8("Save Wire Trace\u2026"));
  ASSERT_NE(command, nullptr);
  const std::string path = (dir / "read.txt").string();
  Answer([&] { command->trigger(); }, path);
  EXPECT_EQ(dialog_title, "Save Wire Trace");
  EXPECT_TRUE(box_text.empty()) << box_text;

  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::ifstream in(path);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, w->wire_trace().Header());
  // The file holds the lines kept when it was written; the probes went on since.
  const std::vector<std::string> kept = w->wire_trace().Lines();
  size_t n = 0;
  bool block_request = false;
  while (std::getline(in, line)) {
    ASSERT_LT(n, kept.size());
    EXPECT_EQ(line, kept[n]) << n;
    block_request |= line.find(" tx [read 3] D8") != std::string::npos;
    ++n;
  }
  EXPECT_GT(n, 100u);
  EXPECT_TRUE(block_request);
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Wire trace saved to " + path);
}

TEST_F(SaveWireTraceTest, NothingKeptSaysSoAndWritesNothing) {
  auto w = MakeWindow();
  const WireTrace empty("1.0");
  std::optional<QString> saved;
  Answer([&] { saved = SaveWireTrace(w.get(), empty); }, (dir / "none.txt").string());
  EXPECT_EQ(box_text, "no trace yet");
  EXPECT_TRUE(dialog_title.empty());
  EXPECT_FALSE(saved.has_value());
  EXPECT_FALSE(std::filesystem::exists(dir / "none.txt"));
}

}  // namespace
}  // namespace tessel
