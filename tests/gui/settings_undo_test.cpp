// Device > "Undo Last Send" on the virtual ESC: greyed without an ESC, a clear word when
// nothing was sent yet, and after an Apply a confirmation that names the changes (a curve as
// its points, the time in local time), then the image that was read goes back on the wire.

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <memory>

#include "gui/app/corvane_dlg.h"
#include "sim/virtual_esc.h"
#include "tests/gui/window_support.h"
#include "tests/support/expected_wire.h"
#include "tests/support/fixed_time_zone.h"
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
  // Every entry is kept at 2026-12-08 23:15:03.123 UTC, shown in Central European time.
  const test_support::FixedTimeZone zone(test_support::kCentralEurope);
  w->tool().history()->set_now([] { return int64_t{1796771703123}; });
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
  // Forward/Reverse on the General page and a throttle curve point moved, then Apply.
  w->session().image.run_mode = 2;
  w->session().image.throttle_curve.y[1] = 50;
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
    EXPECT_TRUE(SentBeyondProbes(Esc(*w)).empty());
  }
  ModalReplies ok;
  ok.screenshot = "undo_last_send_question.png";
  Esc(*w).ClearReceived();
  undo->trigger();
  ASSERT_EQ(ok.boxes.size(), 1);
  const std::string asked = Shown(ok, 0);
  EXPECT_EQ(asked.substr(0, asked.find('(')),
            "Undo the last send?|This sends the settings the ESC held before the last send ");
  EXPECT_EQ(asked.substr(asked.find('(')),
            "(Apply, 9 Dec 2026 00:15:03). 2 settings change:\n"
            "RUN MODE (run_mode): Forward/Reverse -> Forward/Brake/Reverse\n"
            "THROTTLE CURVE (throttle_curve): (0,0) (20,50) (45,60) (70,82) (100,100) -> "
            "(0,0) (20,35) (45,60) (70,82) (100,100)");
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(Esc(*w).image().run_mode, read.run_mode);
  EXPECT_EQ(SentBeyondProbes(Esc(*w)), test_support::ExpectedFullSend(read));
  const auto entries = w->tool().history()->List();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].cause, "undo");
  EXPECT_EQ(entries[1].cause, "Apply");
  EXPECT_EQ(entries[2].cause, "read");
  // Undoing the undo goes back to what the undo replaced.
  const auto again = w->tool().history()->BeforeLastSend("full");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->earlier.image.run_mode, 2);
  w.reset();
}

}  // namespace
}  // namespace tessel
