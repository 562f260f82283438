// The information page inside the main window, against the virtual ESC and its loader.
#include "gui/firmware/firmware_page.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTextEdit>

#include "core/engine/hid_update.h"
#include "core/engine/serial_update.h"
#include "gui/firmware/esc_process_dlg.h"
#include "tests/gui/update_support.h"

namespace tessel {
namespace {

using namespace tessel::test;

class InformationPageTest : public ::testing::Test {
 protected:
  void Open() {
    window = MakeWindow(EscVariant::kFull);
    ASSERT_TRUE(window->ok());
    ASSERT_TRUE(WaitRead(*window));
    QTest::mouseClick(window->button(1000), Qt::LeftButton);
    page = window->info_page();
    ASSERT_TRUE(page->isVisible());
  }
  std::unique_ptr<CCorvaneDlg> window;
  CFirmware* page = nullptr;
};

TEST_F(InformationPageTest, ShowsTheDeviceAndTheHelpOfTheFocusedField) {
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(window->session().status.shown_page, kPageInformation);
  EXPECT_EQ(page->device_box()->text(), "CAR ESC");
  EXPECT_EQ(page->hardware_box()->text(), "TURBO");
  EXPECT_EQ(page->software_box()->text(), QString::fromStdString(Esc(*window).version_text()));
  EXPECT_TRUE(page->software_box()->isVisible());
  EXPECT_TRUE(page->updata_button()->isVisible());
  EXPECT_EQ(page->background_file(), "b3.bmp");
  EXPECT_EQ(page->version_list()->count(), 7);
  EXPECT_FALSE(page->version_list()->isVisible());
  EXPECT_TRUE(page->help_box()->toPlainText().isEmpty());
  Screenshot(*page, "information_page.png");

  QTest::mouseClick(page->hardware_box(), Qt::LeftButton);
  EXPECT_EQ(page->help_box()->toPlainText(), "Hardware Version");
  // Tab walks on to the next field.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(page->help_box()->toPlainText(), "Software Version");
  QTest::mouseClick(page->device_box(), Qt::LeftButton);
  EXPECT_EQ(page->help_box()->toPlainText(), "Device Type");
  Screenshot(*window, "information_main_window.png");

  // The ESC comes back with new firmware: its version shows as soon as the read has it.
  Esc(*window).set_version_text("ESC0131");
  window->session().status.esc_state = 1;
  ASSERT_TRUE(QTest::qWaitFor([&] { return page->software_box()->text() == "ESC0131"; }, 20000));
}

TEST_F(InformationPageTest, LcdProgramBoxViewAndBack) {
  ASSERT_NO_FATAL_FAILURE(Open());
  SessionStatus& s = window->session().status;
  s.lcd_box_connected = true;
  page->RefreshDeviceView();
  EXPECT_EQ(page->device_box()->text(), "LCD PROGRAM");
  EXPECT_FALSE(page->software_box()->isVisible());
  EXPECT_EQ(page->background_file(), "b2.bmp");

  // The switch back hides the fields first, then shows them again.
  s.lcd_box_connected = false;
  page->HideVersionFields();
  EXPECT_FALSE(page->device_box()->isVisible());
  EXPECT_FALSE(page->hardware_box()->isVisible());
  page->RefreshDeviceView();
  EXPECT_EQ(page->device_box()->text(), "CAR ESC");
  EXPECT_EQ(page->hardware_box()->text(), "TURBO");
  EXPECT_TRUE(page->device_box()->isVisible());
  EXPECT_TRUE(page->software_box()->isVisible());
  EXPECT_EQ(page->background_file(), "b3.bmp");
}

TEST(InformationPage, AMissingPictureKeepsTheOneItHad) {
  const auto dir = std::filesystem::path(::testing::TempDir()) /
                   ("tesselarc_skin_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(std::filesystem::path(TESSEL_SKIN_DIR) / "b3.bmp", dir / "b3.bmp",
                             std::filesystem::copy_options::overwrite_existing);
  auto window = MakeWindow(EscVariant::kFull);
  CFirmware page(window->tool(), QString::fromStdString(dir.string()), nullptr);
  EXPECT_EQ(page.background_file(), "b3.bmp");
  window->session().status.lcd_box_connected = true;
  page.RefreshDeviceView();
  EXPECT_EQ(page.device_box()->text(), "LCD PROGRAM");
  EXPECT_EQ(page.background_file(), "b3.bmp");
  window->session().status.lcd_box_connected = false;
  std::filesystem::remove_all(dir);
}

TEST_F(InformationPageTest, UpDataFlashesTheFileWithTheProgressWindow) {
  ASSERT_NO_FATAL_FAILURE(Open());
  // Older than the ESC's "ESC0120": the tool warns, the user goes on anyway.
  const Bytes image = Join({Record(98, 1), Record(248, 2), Record(398, 3), Record(248, 4)});
  FirmwareFile file("ESC0110.xup", image);
  QStringList captions;
  QObject::connect(window->progress(), &QWidget::windowTitleChanged,
                   [&](const QString& t) { captions << t; });
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(page->updata_button(), Qt::LeftButton);
    EXPECT_EQ(answers.boxes, std::vector<std::string>{"Warning!|version old"});
  }
  EXPECT_EQ(Esc(*window).flashed(), image);
  EXPECT_TRUE(captions.contains(kUpdateProcessCaption));
  EXPECT_TRUE(captions.contains("Transferring.. 75% done."));
  EXPECT_FALSE(captions.contains("Transferring.. 100% done."));
  EXPECT_FALSE(window->progress()->isVisible());
  EXPECT_FALSE(window->session().status.update_running);
  // The information page's update leaves the connection as it is.
  EXPECT_EQ(window->session().status.esc_state, 2);
}

// Closing the window mid-update must neither end the update nor pause it: the notice needs
// no answer, and the records keep going out while it shows.
TEST_F(InformationPageTest, ClosingDuringAnUpdateIsRefusedWithoutPausingIt) {
  ASSERT_NO_FATAL_FAILURE(Open());
  const Bytes image = Join({Record(98, 1), Record(98, 2), Record(98, 3), Record(98, 4)});
  FirmwareFile file("ESC0130.xup", image);
  QStringList captions;
  bool closed_at_25 = false;
  QObject::connect(window->progress(), &QWidget::windowTitleChanged, [&](const QString& t) {
    captions << t;
    if (t == "Transferring.. 25% done." && !closed_at_25) {
      closed_at_25 = true;
      EXPECT_FALSE(window->close());
    }
  });
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(page->updata_button(), Qt::LeftButton);
    EXPECT_EQ(answers.boxes, std::vector<std::string>{"Warning!|Start update?"});
  }
  EXPECT_TRUE(closed_at_25);
  ASSERT_NE(window->close_notice(), nullptr);
  EXPECT_TRUE(window->close_notice()->isVisible());
  EXPECT_FALSE(window->close_notice()->isModal());
  EXPECT_TRUE(captions.indexOf("Transferring.. 75% done.") > captions.indexOf("Transferring.. 25% done."));
  EXPECT_EQ(Esc(*window).flashed(), image);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->session().status.update_running);
}

TEST_F(InformationPageTest, UpDataThatIsDeclinedOrRefusedEndsCleanly) {
  ASSERT_NO_FATAL_FAILURE(Open());
  const Bytes image = Join({Record(98, 1), Record(98, 2)});
  FirmwareFile file("ESC0130.xup", image);
  {
    ModalAnswerer answers(file.path());
    answers.answers = {QMessageBox::Cancel};
    QTest::mouseClick(page->updata_button(), Qt::LeftButton);
    EXPECT_EQ(answers.boxes, std::vector<std::string>{"Warning!|Start update?"});
  }
  EXPECT_EQ(Esc(*window).record_attempts(), 0);
  EXPECT_FALSE(Esc(*window).in_loader());

  // The loader refuses the first record: one attempt, the error box, no repeat.
  Esc(*window).faults().loader_verdicts = {0x12};
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(page->updata_button(), Qt::LeftButton);
    EXPECT_EQ(answers.boxes, (std::vector<std::string>{
                                 "Warning!|Start update?",
                                 std::string(kUpdateRefusedCaption) + "|" + kUpdateErrorText}));
  }
  EXPECT_EQ(Esc(*window).record_attempts(), 1);
  EXPECT_TRUE(Esc(*window).accepted_records().empty());
  EXPECT_FALSE(window->session().status.update_running);

  // On the HID adapter the page hands over to the HID engine, which finds no HID device
  // ready here: it says so, asks for no file and sends nothing.
  Esc(*window).ClearReceived();
  window->session().status.link_kind = kLinkHid;
  {
    ModalAnswerer answers(file.path());
    QTest::mouseClick(page->updata_button(), Qt::LeftButton);
    EXPECT_EQ(answers.file_dialogs, 0);
    EXPECT_EQ(answers.boxes, std::vector<std::string>{std::string(kHidUpdateCaption) + "|" +
                                                      kHidUpdateNotReadyText});
  }
  window->session().status.link_kind = kLinkSerial;
  EXPECT_TRUE(SentBeyondProbes(Esc(*window)).empty());
}

}  // namespace
}  // namespace tessel
