// File > "Inport ESC Data" with a JSON setup chosen: the pages and the curve editors take it,
// and a refused setup shows "Import file error!" with the line and field under it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QSettings>

#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"
#include "tests/gui/window_support.h"
#include "tests/support/modal_replies.h"
#include "tests/support/scratch_folder.h"

namespace tessel::test {
namespace {

class JsonSetupImport : public ::testing::Test {
 protected:
  void SetUp() override { QSettings("tesselarc", "tesselarc").clear(); }
  void TearDown() override { QSettings("tesselarc", "tesselarc").clear(); }

  // Runs the import with `file` chosen; the box it showed, if any, as "text|detail".
  std::string Import(CCorvaneDlg& w, const std::string& file) {
    ModalReplies answer(file);
    answer.screenshot = "import_json_refused.png";
    w.command("Inport ESC Data")->trigger();
    return answer.boxes.isEmpty() ? "" : answer.boxes[0].section('|', 1).toStdString();
  }

  test_support::ScratchFolder dir;
};

TEST_F(JsonSetupImport, PagesAndEditorsTakeTheSetupAndARefusalNamesItsLine) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  Session& session = w->session();

  const std::string good =
      dir.Write("race.json",
            "{\"settings\": {\"drag_brake\": 5, \"run_mode\": \"forward/brake\"},\n"
            " \"curves\": {\"brake_curve\": {\"points\": [[0,0], [50,20], [100,100]]}}}\n");
  EXPECT_EQ(Import(*w, good), "");
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Imported " + good);
  EXPECT_EQ(session.image.drag_brake, 5);
  EXPECT_EQ(session.image.run_mode, 0);
  ASSERT_EQ(session.brake_editor.point_count, 3u);
  EXPECT_EQ(session.brake_editor.points[1], (CurvePoint{50, 20}));

  const EscSettingsImage before = session.image;
  const std::string bad = dir.Write("bad.json", "{\n \"settings\": {\n  \"drag_brake\": 400}}\n");
  const std::string reason = bad + " line 3: settings.drag_brake: 400 is out of range (0..100)";
  EXPECT_EQ(Import(*w, bad), std::string(kImportErrorText) + "|" + reason);
  EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Import failed: " + reason);
  // A setup for the other kind of ESC is refused the same way.
  const std::string v1 = dir.Write("v1.json", "{\"device_class\": 1}");
  EXPECT_EQ(Import(*w, v1), std::string(kImportErrorText) + "|" + v1 +
                                ": a setup for a V1-series ESC; the connected ESC is a full ESC");
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
