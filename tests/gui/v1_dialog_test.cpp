// The V1 dialog inside the main window, driven through its widgets against the virtual V1
// ESCs.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>

#include "core/engine/hid_update.h"
#include "core/engine/serial_update.h"
#include "core/model/v1_settings.h"
#include "gui/app/layout.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/update_support.h"

namespace tessel {
namespace {

using namespace tessel::test;

constexpr int kMotorTiming = 1;
constexpr int kCutoff = 9;
constexpr int kBec = 10;

QString OptionText(int setting, int32_t index) {
  return QString::fromStdString(
      V1Settings()[static_cast<size_t>(setting)].options.at(static_cast<size_t>(index)));
}

std::array<int32_t, kV1SettingCount> V1Fields(const EscSettingsImage& image) {
  std::array<int32_t, kV1SettingCount> out{};
  for (size_t i = 0; i < kV1SettingCount; ++i) out[i] = image.*(V1Settings()[i].field);
  return out;
}

bool SentPair(CCorvaneDlg& w, uint8_t command, uint8_t value) {
  for (const auto& p : Esc(w).pairs()) {
    if (p[0] == command && p[1] == value) return true;
  }
  return false;
}

// A point of the dialog's background that no control covers.
QPoint Background(CV1Dlg& dlg) {
  const PxRect r = DluToPx(V1Dialog().client);
  const QPoint p(r.w / 2, r.h - 12);
  EXPECT_EQ(dlg.childAt(p), nullptr);
  return p;
}

QAction* MenuAction(CCorvaneDlg& w, const QString& text) {
  for (QAction* a : w.menuBar()->findChildren<QAction*>()) {
    if (QString(a->text()).remove('&') == text) return a;  // the menus underline a letter
  }
  return nullptr;
}

class V1DialogTest : public ::testing::Test {
 protected:
  void Open(EscVariant variant) {
    window = MakeWindow(variant);
    ASSERT_TRUE(window->ok());
    ASSERT_TRUE(WaitRead(*window));
    dlg = window->v1_dialog();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isVisible(); }, 5000));
  }
  std::unique_ptr<CCorvaneDlg> window;
  CV1Dlg* dlg = nullptr;
};

TEST_F(V1DialogTest, ReplacesThePageButtonsAndShowsWhatTheEscHolds) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  EXPECT_EQ(dlg->geometry().topLeft(),
            QPoint(DluToPx(MainWindow().v1_area).x, DluToPx(MainWindow().v1_area).y));
  for (const PageButtonLayout& b : MainWindow().page_buttons) {
    EXPECT_FALSE(window->button(b.id)->isVisible()) << b.id;
  }
  EXPECT_TRUE(dlg->has_background());
  EXPECT_EQ(dlg->status_text(), "Read Ok");
  const EscSettingsImage& esc = Esc(*window).image();
  const auto fields = V1Fields(esc);
  for (int i = 0; i < kBec; ++i) {
    EXPECT_EQ(dlg->label(i)->text(),
              QString::fromUtf8(V1Settings()[static_cast<size_t>(i)].label.data()))
        << i;
    EXPECT_TRUE(dlg->label(i)->isVisible()) << i;
    EXPECT_EQ(dlg->list(i)->currentText(), OptionText(i, fields[static_cast<size_t>(i)])) << i;
  }
  // The 14-byte block has no BEC.
  EXPECT_FALSE(dlg->label(kBec)->isVisible());
  EXPECT_FALSE(dlg->list(kBec)->isVisible());
  Screenshot(*dlg, "v1_dialog.png");
  EXPECT_EQ(dlg->esc_indicator()->last_image(), 143);
  EXPECT_EQ(dlg->usb_indicator()->last_image(), 196);
  Screenshot(*window, "v1_main_window.png");

  // The adapter goes: the dialog goes with it.
  window->session().OnSerialPortRemoved();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(window->button(1001)->isVisible());
}

TEST_F(V1DialogTest, BecShowsForTheSixteenByteBlockOnly) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1Bec));
  EXPECT_TRUE(dlg->label(kBec)->isVisible());
  EXPECT_TRUE(dlg->list(kBec)->isVisible());
  EXPECT_EQ(dlg->label(kBec)->text(), "BEC");
  EXPECT_EQ(dlg->list(kBec)->currentText(), OptionText(kBec, Esc(*window).image().v1_bec_voltage));
  Screenshot(*dlg, "v1_dialog_bec.png");

  // Another ESC with the 14-byte block takes the BEC away again.
  window->SetDemo(EscVariant::kV1);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return dlg->isVisible() && !window->session().status.transfer_active &&
               window->session().status.v1_block_variant == kV1Block14;
      },
      20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->status_text() == "Read Ok"; }, 5000));
  EXPECT_FALSE(dlg->label(kBec)->isVisible());
  EXPECT_FALSE(dlg->list(kBec)->isVisible());
}

TEST_F(V1DialogTest, AChoiceStandsOnlyUntilTheNextRefreshUnlessSent) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  QComboBox* timing = dlg->list(kMotorTiming);
  const QString stored = timing->currentText();

  // The keyboard changes the list; a click on the background puts the stored choice back.
  timing->setFocus();
  QTest::keyClick(timing, timing->currentIndex() == 0 ? Qt::Key_Down : Qt::Key_Up);
  ASSERT_NE(timing->currentText(), stored);
  QTest::mouseClick(dlg, Qt::LeftButton, {}, Background(*dlg));
  EXPECT_EQ(timing->currentText(), stored);
  EXPECT_TRUE(dlg->usb_indicator()->hasFocus());

  // "Read Settings" refreshes too, and while its read runs "Send Settings" does nothing.
  timing->setCurrentIndex(timing->currentIndex() == 0 ? 1 : 0);
  QTest::mouseClick(dlg->read_button(), Qt::LeftButton);
  EXPECT_EQ(timing->currentText(), stored);
  EXPECT_EQ(dlg->status_text(), "Esc Reading......");
  ASSERT_TRUE(window->session().status.transfer_active);
  timing->setCurrentIndex(timing->currentIndex() == 0 ? 1 : 0);
  QTest::mouseClick(dlg->send_button(), Qt::LeftButton);
  EXPECT_FALSE(window->session().status.send_in_progress);
  EXPECT_EQ(dlg->status_text(), "Esc Reading......");
  ASSERT_TRUE(WaitIdle(*window));
  EXPECT_EQ(dlg->status_text(), "Read Ok");
  EXPECT_EQ(timing->currentText(), stored);
}

TEST_F(V1DialogTest, SendSettingsTakesTheListsIntoTheImageFirst) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1Bec));
  QComboBox* cutoff = dlg->list(kCutoff);
  cutoff->setFocus();
  QTest::keyClick(cutoff, Qt::Key_End);
  ASSERT_EQ(cutoff->currentText(), "NOCut-Off");
  // Enter on the focused button sends; the choices are in the image before the first pair.
  dlg->send_button()->setFocus();
  QTest::keyClick(dlg->send_button(), Qt::Key_Return);
  EXPECT_EQ(window->session().image.v1_cutoff_voltage, 5);
  EXPECT_EQ(dlg->status_text(), "Esc Sending......");
  ASSERT_TRUE(WaitIdle(*window));
  EXPECT_EQ(dlg->status_text(), "Send Ok");
  EXPECT_TRUE(SentPair(*window, 0xEC, 47));
  EXPECT_EQ(cutoff->currentText(), "NOCut-Off");
  EXPECT_FALSE(window->progress()->isVisible());

  // Defaults touch only the dialog until "Send Settings" takes them.
  const auto image_before = V1Fields(window->session().image);
  window->tool().ui().V1LoadDefaults();  // as Reset Default begins
  EXPECT_EQ(dlg->status_text(), "Default Ok");
  EXPECT_EQ(V1Fields(window->session().image), image_before);
  Esc(*window).ClearReceived();
  QTest::mouseClick(dlg->send_button(), Qt::LeftButton);
  const std::array<int32_t, kV1SettingCount> expected{1, 2, 2, 0, 4, 0, 2, 4, 0, 2, 0};
  EXPECT_EQ(V1Fields(window->session().image), expected);
  ASSERT_TRUE(WaitIdle(*window));
  EXPECT_TRUE(SentPair(*window, 0xEC, 42));
  EXPECT_TRUE(SentPair(*window, 0xA1, 0));  // BEC 6.0V on the 16-byte block
  EXPECT_EQ(V1Fields(Esc(*window).image()), expected);
}

// A value no option names shows as an empty list and goes back to the ESC as it came,
// not as -1 (0xFF).
TEST_F(V1DialogTest, AValueBeyondTheListIsAnUnrecognisedReplyNeverSentBack) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  const int shown = dlg->list(kMotorTiming)->currentIndex();
  Esc(*window).image().v1_motor_timing = 9;
  {
    ModalAnswerer answers("");
    QTest::mouseClick(dlg->read_button(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_EQ(answers.boxes,
              std::vector<std::string>{std::string(kReadCaption) + "|" + kUnrecognisedReplyText});
  }
  EXPECT_NE(dlg->status_text(), "Read Ok");
  EXPECT_EQ(dlg->list(kMotorTiming)->currentIndex(), shown);  // nothing of the block taken
  Esc(*window).ClearReceived();
  QTest::mouseClick(dlg->send_button(), Qt::LeftButton);
  ASSERT_TRUE(WaitIdle(*window));
  EXPECT_TRUE(SentBeyondProbes(Esc(*window)).empty());
  EXPECT_EQ(Esc(*window).image().v1_motor_timing, 9);
}

TEST_F(V1DialogTest, ResetDefaultFromTheMenuSendsTheDefaults) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  QAction* reset = MenuAction(*window, "Reset Default");
  ASSERT_NE(reset, nullptr);
  reset->trigger();
  EXPECT_EQ(dlg->status_text(), "Esc Sending......");
  ASSERT_TRUE(WaitIdle(*window));
  EXPECT_EQ(dlg->status_text(), "Send Ok");
  const auto defaults = V1DefaultSelections();
  const auto esc = V1Fields(Esc(*window).image());
  // The BEC field is not sent to a 14-byte ESC.
  for (int i = 0; i < kBec; ++i)
    EXPECT_EQ(esc[static_cast<size_t>(i)], defaults[static_cast<size_t>(i)]) << i;
}

TEST_F(V1DialogTest, UpdateFirmwareFlashesTheFileAndDetectsTheEscAfresh) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  const Bytes image = Join({Record(98, 1), Record(248, 2), Record(398, 3), Record(248, 4)});
  FirmwareFile file("V1E0106.xup", image);
  Esc(*window).faults().loader_verdicts = {0x00, 0x11};  // the first record goes out twice
  QStringList statuses;
  auto* line = dlg->findChild<QLineEdit*>("status_1015");
  ASSERT_NE(line, nullptr);
  QObject::connect(line, &QLineEdit::textChanged, [&](const QString& t) { statuses << t; });
  // The list's choice is not kept by an update.
  QComboBox* timing = dlg->list(kMotorTiming);
  const QString stored = timing->currentText();
  timing->setCurrentIndex(timing->currentIndex() == 0 ? 1 : 0);

  ModalAnswerer answers(file.path());
  QTest::mouseClick(dlg->update_button(), Qt::LeftButton);

  EXPECT_EQ(answers.file_dialogs, 1);
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"Warning!|Start update?"});
  EXPECT_EQ(Esc(*window).flashed(), image);
  EXPECT_EQ(Esc(*window).record_attempts(), 5);
  EXPECT_EQ(dlg->status_text(), kUpdateV1Done);
  EXPECT_TRUE(statuses.contains("Transferring.. 0% done."));
  EXPECT_TRUE(statuses.contains("Transferring.. 35% done."));
  EXPECT_FALSE(window->progress()->isVisible());
  EXPECT_EQ(timing->currentText(), stored);
  const SessionStatus& s = window->session().status;
  EXPECT_FALSE(s.update_running);
  EXPECT_EQ(s.esc_state, 0);
  EXPECT_EQ(s.adapter_state, 0);
  // The session finds the ESC again and reads it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->status_text() == "Read Ok"; }, 20000));
  EXPECT_FALSE(Esc(*window).in_loader());
}

TEST_F(V1DialogTest, UpdateFirmwareSendsNothingFromADamagedFileAndNeverReportsSuccess) {
  ASSERT_NO_FATAL_FAILURE(Open(EscVariant::kV1));
  // The last record says 200 bytes but only 10 follow.
  Bytes image = Join({Record(98, 1), Record(10, 2)});
  image[100] = 0;
  image[101] = 200;
  FirmwareFile file("V1E0106.xup", image);
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(dlg->update_button(), Qt::LeftButton);
    // The file is refused before anyone is asked to start the update.
    ASSERT_EQ(answers.boxes.size(), 1u);
    EXPECT_EQ(answers.boxes[0].rfind(std::string(kFirmwareFileCaption) + "|", 0), 0u)
        << answers.boxes[0];
  }
  EXPECT_NE(dlg->status_text(), kUpdateV1Done);
  EXPECT_EQ(Esc(*window).record_attempts(), 0);
  EXPECT_FALSE(Esc(*window).in_loader());
  EXPECT_FALSE(window->session().status.update_running);
  EXPECT_EQ(window->session().status.esc_state, 2);

  // On the HID adapter the dialog hands over to the HID engine, which finds no HID device
  // ready here and says so.
  window->session().status.link_kind = kLinkHid;
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(dlg->update_button(), Qt::LeftButton);
    EXPECT_EQ(answers.file_dialogs, 0);
    EXPECT_EQ(answers.boxes, std::vector<std::string>{std::string(kHidUpdateCaption) + "|" +
                                                      kHidUpdateNotReadyText});
  }
  window->session().status.link_kind = kLinkSerial;
  EXPECT_EQ(Esc(*window).record_attempts(), 0);
}

}  // namespace
}  // namespace tessel
