// Device › "Verify after sending" (remembered, reads back after a send, catches a field the
// ESC kept, stays silent when off) and File › "Compare with File…".
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/session/settings_file.h"
#include "gui/app/compare_dlg.h"
#include "gui/app/send_verifier.h"
#include "gui/pages/settings_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/window_support.h"

namespace tessel::test {
namespace {

// Answers whatever modal window opens: the file dialog with `file`, a message box with OK,
// the compare dialog with Close; what they showed is kept.
struct Modals {
  explicit Modals(std::string file = {}) : file(std::move(file)) {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(this->file));
        static_cast<QDialog*>(dialog)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back(box->windowTitle() + "|" + box->text() + "|" + box->informativeText());
        box->button(QMessageBox::Ok)->click();
      } else if (auto* compare = qobject_cast<CCompareDlg*>(modal)) {
        summary = compare->summary()->text();
        for (int r = 0; r < compare->table()->rowCount(); ++r) {
          rows.push_back(compare->table()->item(r, 0)->text() + "|" +
                         compare->table()->item(r, 1)->text() + "|" +
                         compare->table()->item(r, 2)->text());
        }
        Screenshot(*compare, "compare_with_file.png");
        compare->reject();
      }
    });
    timer.start(10);
  }
  std::string file;
  QTimer timer;
  QStringList boxes;
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
    ASSERT_TRUE(w->session().Default());
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
  EXPECT_EQ(w->status_line()->toolTip(), "Verify failed: 1 setting read back other than sent");
  w->close();
}

TEST(CompareWithFile, ListsThePagesAgainstAFileAndExplainsABadOne) {
  QSettings("tesselarc", "tesselarc").clear();
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                    ("tesselarc_compare_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    return path;
  };
  EscSettingsImage other = SampleFullEscImage();
  other.drag_brake = 3;
  other.throttle_curve.y[1] = 50;
  const std::string same = write("same.DATA", EncodeSettingsFile(SampleFullEscImage()));
  const std::string different = write("other.DATA", EncodeSettingsFile(other));
  const std::string bad = write("bad.DATA", std::vector<uint8_t>(10, 0x55));

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
  w->close();
  std::filesystem::remove_all(dir);
  QSettings("tesselarc", "tesselarc").clear();
}

}  // namespace
}  // namespace tessel::test
