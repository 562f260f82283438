// Device > "Undo Last Send" on the virtual ESC: greyed without an ESC, a clear word when
// nothing was sent yet, and after an Apply a confirmation that names the change, then the
// image that was read goes back on the wire.
#include "gui/app/settings_undo.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <memory>

#include "gui/app/corvane_dlg.h"
#include "sim/virtual_esc.h"
#include "tests/gui/window_support.h"
#include "tests/support/expected_wire.h"
#include "tests/support/modal_replies.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

using namespace tessel::test;

// A box's text and detail, without its title.
std::string Shown(const ModalReplies& m, int i) {
  return m.boxes.at(i).section('|', 1).toStdString();
}

TEST(SettingsUndo, UndoLastSendAsksThenSendsTheImageHeldBefore) {
  const test_support::ScratchFolder folder;
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  options.history_folder = QString::fromStdString(folder.path());
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
    ModalReplies ok;
    undo->trigger();
    ASSERT_EQ(ok.boxes.size(), 1);
    EXPECT_EQ(Shown(ok, 0),
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
    ModalReplies cancel({}, QMessageBox::Cancel);
    Esc(*w).ClearReceived();
    undo->trigger();
    ASSERT_EQ(cancel.boxes.size(), 1);
    EXPECT_TRUE(Esc(*w).received().empty());
  }
  ModalReplies ok;
  ok.screenshot = "undo_last_send_question.png";
  Esc(*w).ClearReceived();
  undo->trigger();
  ASSERT_EQ(ok.boxes.size(), 1);
  const std::string asked = Shown(ok, 0);
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
  // Undoing the undo goes back to what the undo replaced.
  const auto again = w->settings_undo().history().BeforeLastSend("full");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->earlier.image.run_mode, 2);
  w.reset();
}

}  // namespace
}  // namespace tessel
