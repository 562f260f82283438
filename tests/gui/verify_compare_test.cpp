// Device › "Verify after sending" (remembered, reads back after a send, catches a field the
// ESC kept, stays silent when off) and File › "Compare with File…".
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QTableWidget>
#include <algorithm>

#include <QClipboard>
#include <QGuiApplication>

#include "core/model/settings_file.h"
#include "core/model/setup_link.h"
#include "gui/app/compare_dlg.h"
#include "gui/app/send_verifier.h"
#include "gui/pages/settings_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/window_support.h"
#include "tests/support/modal_replies.h"
#include "tests/support/scratch_folder.h"

namespace tessel::test {
namespace {

// Closes the compare dialog, keeping its summary and rows.
struct Modals : ModalReplies {
  explicit Modals(std::string file = {}) : ModalReplies(std::move(file)) {
    other = [this](QWidget* modal) {
      auto* compare = qobject_cast<CCompareDlg*>(modal);
      if (compare == nullptr) return;
      summary = compare->summary()->text();
      for (int r = 0; r < compare->table()->rowCount(); ++r) {
        rows.push_back(compare->table()->item(r, 0)->text() + "|" +
                       compare->table()->item(r, 1)->text() + "|" +
                       compare->table()->item(r, 2)->text());
      }
      Screenshot(*compare, "compare_with_file.png");
      compare->reject();
    };
  }
  QString summary;
  QStringList rows;
};

size_t CountByte(const std::vector<uint8_t>& bytes, size_t from, uint8_t byte) {
  return static_cast<size_t>(std::count(bytes.begin() + static_cast<long>(from), bytes.end(), byte));
}

// The choice is remembered in the (test-mode) settings: whatever a test leaves there must not
// make the next test's sends read back.
class VerifyAfterSending : public ::testing::Test {
 protected:
  void SetUp() override { QSettings("tesselarc", "tesselarc").remove(kVerifySettingKey); }
  void TearDown() override { QSettings("tesselarc", "tesselarc").remove(kVerifySettingKey); }
};

TEST_F(VerifyAfterSending, RemembersItsChoiceReadsBackAndNamesTheFieldTheEscKept) {
  {
    auto w = MakeWindow();
    QAction* verify = w->command(kVerifyAfterSendingText);
    ASSERT_NE(verify, nullptr);
    EXPECT_TRUE(verify->isCheckable());
    EXPECT_FALSE(verify->isChecked());
    ASSERT_TRUE(WaitRead(*w));
    // Off: a send is followed by no read, as it always was.
    const size_t before = Esc(*w).received().size();
    ASSERT_TRUE(w->session().Default());
    ASSERT_TRUE(WaitIdle(*w));
    QTest::qWait(300);
    EXPECT_EQ(CountByte(Esc(*w).received(), before, VirtualEsc::kReadBlock), 0u);
    EXPECT_EQ(w->status_line()->toolTip().toStdString(), kSentOkText);
    verify->trigger();
    w->close();
  }
  EXPECT_TRUE(QSettings("tesselarc", "tesselarc").value(kVerifySettingKey).toBool());

  auto w = MakeWindow();
  ASSERT_TRUE(w->command(kVerifyAfterSendingText)->isChecked());  // remembered
  ASSERT_TRUE(WaitRead(*w));
  Esc(*w).faults().keep_field = "drag_brake";
  {
    Modals modals;
    const size_t before = Esc(*w).received().size();
    ASSERT_TRUE(w->session().Default());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !modals.boxes.isEmpty(); }, 20000));
    EXPECT_EQ(CountByte(Esc(*w).received(), before, VirtualEsc::kReadBlock), 1u);
    ASSERT_EQ(modals.boxes.size(), 1);
    EXPECT_TRUE(modals.boxes[0].startsWith("Verify|The ESC does not hold everything")) << modals.boxes[0].toStdString();
    EXPECT_TRUE(modals.boxes[0].endsWith("|DRAG BRAKE (drag_brake): sent 10%(*), read back 8%"))
        << modals.boxes[0].toStdString();
    EXPECT_EQ(w->status_line()->toolTip(), "Verify failed: 1 setting read back other than sent");
    // The pages show what the ESC holds now.
    EXPECT_EQ(w->session().image.drag_brake, 8);
  }
  // A healthy send: the read that verifies is one read, and it starts no verify of its own.
  Esc(*w).faults().keep_field.clear();
  {
    Modals modals;
    const size_t before = Esc(*w).received().size();
    QTest::mouseClick(w->button(1008), Qt::LeftButton);  // the user's click clears the failure
    ASSERT_TRUE(w->session().status.transfer_active);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->status_line()->toolTip().toStdString() == kVerifiedText; }, 20000));
    QTest::qWait(300);
    EXPECT_TRUE(modals.boxes.isEmpty());
    EXPECT_EQ(CountByte(Esc(*w).received(), before, VirtualEsc::kReadBlock), 1u);
    EXPECT_FALSE(w->verifier()->pending());
  }
  Screenshot(*w, "verify_after_sending.png");
  w->close();
}

TEST_F(VerifyAfterSending, TheV1DialogsSendIsReadBackToo) {
  QSettings("tesselarc", "tesselarc").setValue(kVerifySettingKey, true);
  auto w = MakeWindow(EscVariant::kV1);
  ASSERT_TRUE(WaitRead(*w));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->v1_dialog()->isVisible(); }, 5000));
  Esc(*w).faults().keep_field = "v1_motor_timing";
  QComboBox* timing = w->v1_dialog()->list(1);  // Motor Timing
  timing->setCurrentIndex(timing->currentIndex() == 0 ? 1 : 0);
  const QString sent = timing->currentText();
  Modals modals;
  QTest::mouseClick(w->v1_dialog()->send_button(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !modals.boxes.isEmpty(); }, 20000));
  EXPECT_TRUE(modals.boxes[0].contains("(v1_motor_timing): sent " + sent + ", read back "))
      << modals.boxes[0].toStdString();
  w->close();
}

TEST(CompareWithFile, ListsThePagesAgainstAFileAndExplainsABadOne) {
  QSettings("tesselarc", "tesselarc").clear();
  const test_support::ScratchFolder dir;
  EscSettingsImage other = SampleFullEscImage();
  other.drag_brake = 3;
  other.throttle_curve.y[1] = 50;
  const std::string same = dir.Write("same.DATA", EncodeSettingsFile(SampleFullEscImage()));
  const std::string different = dir.Write("other.DATA", EncodeSettingsFile(other));
  const std::string bad = dir.Write("bad.DATA", std::string(10, 'U'));

  auto w = MakeWindow();
  QAction* compare = w->command(kCompareWithFileText);
  ASSERT_NE(compare, nullptr);
  ASSERT_TRUE(WaitRead(*w));
  w->UpdateStatus();
  EXPECT_TRUE(compare->isEnabled());
  {
    Modals modals(same);
    compare->trigger();
    EXPECT_TRUE(modals.summary.startsWith(kNoDifferencesText)) << modals.summary.toStdString();
    EXPECT_TRUE(modals.rows.isEmpty());
  }
  {
    // A choice made on a page and not yet sent counts: the pages are what would be sent.
    w->session().image.run_mode = 2;
    w->RefreshPagesFromImage();
    Modals modals(different);
    compare->trigger();
    EXPECT_EQ(modals.rows,
              (QStringList{"RUN MODE|Forward/Reverse|Forward/Brake/Reverse", "DRAG BRAKE|8%|3%",
                           "THROTTLE CURVE|(0,0) (20,35) (45,60) (70,82) (100,100)|"
                           "(0,0) (20,50) (45,60) (70,82) (100,100)"}));
    EXPECT_TRUE(modals.summary.contains("3 differences")) << modals.summary.toStdString();
    EXPECT_EQ(Esc(*w).image().run_mode, SampleFullEscImage().run_mode);  // nothing was sent
  }
  {
    Modals modals(bad);
    compare->trigger();
    ASSERT_EQ(modals.boxes.size(), 1);
    EXPECT_TRUE(modals.boxes[0].startsWith(QString(kCompareCaption) + "|Import file error!|"))
        << modals.boxes[0].toStdString();
    EXPECT_TRUE(modals.boxes[0].contains("shorter than 800 bytes")) << modals.boxes[0].toStdString();
    EXPECT_TRUE(modals.summary.isEmpty());
    EXPECT_TRUE(w->status_line()->toolTip().startsWith("Compare failed: "));
  }
  {
    // The run mode chosen above was never sent: quitting asks first.
    ModalReplies quit;
    w->close();
    ASSERT_EQ(quit.boxes.size(), 1);
    EXPECT_EQ(quit.boxes[0].toStdString(),
              "Unsent changes|1 change has not been sent to the ESC. Quit anyway?|Apply sends "
              "them; Quit drops them.");
  }
  QSettings("tesselarc", "tesselarc").clear();
}

TEST(CompareWithFile, TakesTheSetupLinkOnTheClipboard) {
  QSettings("tesselarc", "tesselarc").clear();
  EscSettingsImage other = SampleFullEscImage();
  other.drag_brake = 3;
  QGuiApplication::clipboard()->setText(
      QString::fromStdString(SetupLink("http://127.0.0.1:8018/", other, kDeviceFull, false)));

  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  w->UpdateStatus();
  {
    Modals modals;
    modals.button = QMessageBox::Yes;  // "Compare with Link"
    w->command(kCompareWithFileText)->trigger();
    ASSERT_EQ(modals.boxes.size(), 1);
    EXPECT_EQ(modals.boxes[0], QString(kCompareCaption) + "|" + kCompareLinkQuestion + "|");
    EXPECT_TRUE(modals.dialogs.isEmpty());  // no file dialog
    EXPECT_EQ(modals.rows, QStringList{"DRAG BRAKE|8%|3%"});
    EXPECT_TRUE(modals.summary.contains("against the setup link: 1 difference"))
        << modals.summary.toStdString();
    EXPECT_EQ(Esc(*w).image().drag_brake, SampleFullEscImage().drag_brake);  // nothing sent
  }
  QGuiApplication::clipboard()->clear();
  w->close();
  QSettings("tesselarc", "tesselarc").clear();
}

}  // namespace
}  // namespace tessel::test
