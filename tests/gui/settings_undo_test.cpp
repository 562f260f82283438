// Device > "Undo Last Send" on the virtual ESC: greyed without an ESC, a clear word when
// nothing was sent yet, and after an Apply a confirmation that names the change, then the
// image that was read goes back on the wire.
#include "gui/app/settings_undo.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>

#include "gui/app/corvane_dlg.h"
#include "sim/virtual_esc.h"
#include "tests/gui/window_support.h"
#include "tests/support/expected_wire.h"

namespace tessel {
namespace {

using namespace tessel::test;

// Answers every message box that comes up with `button`, noting its text and detail.
struct BoxAnswerer {
  explicit BoxAnswerer(QMessageBox::StandardButton answer) {
    QObject::connect(&poll, &QTimer::timeout, [this, answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      texts.push_back((box->text() + "|" + box->informativeText()).toStdString());
      Screenshot(*box, "undo_last_send_question.png");
      box->button(answer)->click();
    });
    poll.start(10);
  }
  QTimer poll;
  std::vector<std::string> texts;
};

TEST(SettingsUndo, UndoLastSendAsksThenSendsTheImageHeldBefore) {
  const std::string folder = QDir::tempPath().toStdString() + "/tesselarc-undo-" +
                             std::to_string(QCoreApplication::applicationPid());
  std::filesystem::remove_all(folder);
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  options.history_folder = QString::fromStdString(folder);
  auto w = std::make_unique<CCorvaneDlg>(options);
  w->show();
  QAction* undo = w->command(kUndoLastSendText);
  ASSERT_NE(undo, nullptr);
  w->UpdateStatus();
  EXPECT_FALSE(undo->isEnabled());  // no ESC yet
  ASSERT_TRUE(WaitRead(*w));
  w->UpdateStatus();
  EXPECT_TRUE(undo->isEnabled());
  const EscSettingsImage read = Esc(*w).image();

  {
    BoxAnswerer ok(QMessageBox::Ok);
    undo->trigger();
    ASSERT_EQ(ok.texts.size(), 1u);
    EXPECT_EQ(ok.texts[0],
              "Nothing to undo: no settings held before a send to a full ESC have been kept.|");
  }
  // Forward/Reverse on the General page, then Apply.
  w->session().image.run_mode = 2;
  w->RefreshPagesFromImage();
  QTest::mouseClick(w->button(1007), Qt::LeftButton);
  ASSERT_TRUE(WaitIdle(*w));
  ASSERT_EQ(Esc(*w).image().run_mode, 2);

  {
    // Cancel sends nothing.
    BoxAnswerer cancel(QMessageBox::Cancel);
    Esc(*w).ClearReceived();
    undo->trigger();
    ASSERT_EQ(cancel.texts.size(), 1u);
    EXPECT_TRUE(Esc(*w).received().empty());
  }
  BoxAnswerer ok(QMessageBox::Ok);
  Esc(*w).ClearReceived();
  undo->trigger();
  ASSERT_EQ(ok.texts.size(), 1u);
  const std::string& asked = ok.texts[0];
  EXPECT_EQ(asked.substr(0, asked.find('(')),
            "Undo the last send?|This sends the settings the ESC held before the last send ");
  EXPECT_NE(asked.find("(Apply, 20"), std::string::npos) << asked;
  EXPECT_NE(asked.find("). 1 setting changes:\nRUN MODE (run_mode): Forward/Reverse -> "
                       "Forward/Brake/Reverse"),
            std::string::npos)
      << asked;
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(Esc(*w).image().run_mode, read.run_mode);
  EXPECT_EQ(Esc(*w).received(), test_support::ExpectedFullSend(read));
  const auto entries = w->settings_undo().history().List();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].cause, "undo");
  EXPECT_EQ(entries[1].cause, "Apply");
  EXPECT_EQ(entries[2].cause, "read");
  w.reset();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tessel
