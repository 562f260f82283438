// File > "Inport ESC Data" with a JSON setup chosen: the pages and the curve editors take it,
// and a refused setup shows "Import file error!" with the line and field under it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "core/session/settings_file.h"
#include "tests/gui/window_support.h"

namespace tessel::test {
namespace {

class JsonSetupImport : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings("tesselarc", "tesselarc").clear();
    dir = std::filesystem::path(::testing::TempDir()) /
          ("tesselarc_json_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    QSettings("tesselarc", "tesselarc").clear();
  }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Runs the import, answers its file dialog with `file` and OK on a message box.
  void Import(CCorvaneDlg& w, const std::string& file) {
    box_text.clear();
    box_detail.clear();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(file));
        static_cast<QDialog*>(dialog)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box_text = box->text().toStdString();
        box_detail = box->informativeText().toStdString();
        Screenshot(*box, "import_json_refused.png");
        box->button(QMessageBox::Ok)->click();
      }
    });
    poll.start(10);
    w.command("Inport ESC Data")->trigger();
    poll.stop();
  }

  std::filesystem::path dir;
  std::string box_text, box_detail;
};

TEST_F(JsonSetupImport, PagesAndEditorsTakeTheSetupAndARefusalNamesItsLine) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  Session& session = w->session();

  const std::string good =
      Write("race.json",
            "{\"settings\": {\"drag_brake\": 5, \"run_mode\": \"forward/brake\"},\n"
            " \"curves\": {\"brake_curve\": {\"points\": [[0,0], [50,20], [100,100]]}}}\n");
  Import(*w, good);
  EXPECT_EQ(box_text, "");
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Imported " + good);
  EXPECT_EQ(session.image.drag_brake, 5);
  EXPECT_EQ(session.image.run_mode, 0);
  ASSERT_EQ(session.brake_editor.point_count, 3u);
  EXPECT_EQ(session.brake_editor.points[1], (CurvePoint{50, 20}));

  const EscSettingsImage before = session.image;
  const std::string bad = Write("bad.json", "{\n \"settings\": {\n  \"drag_brake\": 400}}\n");
  Import(*w, bad);
  EXPECT_EQ(box_text, kImportErrorText);
  const std::string reason = bad + " line 3: settings.drag_brake: 400 is out of range (0..100)";
  EXPECT_EQ(box_detail, reason);
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Import failed: " + reason);
  EXPECT_EQ(EncodeSettingsFile(session.image), EncodeSettingsFile(before));

  // What the import took goes out with the next Apply.
  ASSERT_TRUE(session.Apply());
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(Esc(*w).image().drag_brake, 5);
  EXPECT_EQ(Esc(*w).image().brake_curve.x[1], 50);
  EXPECT_EQ(Esc(*w).image().brake_curve.y[1], 20);
  w->close();
}

}  // namespace
}  // namespace tessel::test
