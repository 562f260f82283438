// The desktop tool on the virtual HID adapter: the read fills the pages, the LCD program box
// mode switches, the V1 dialog reads and sends through the HID engine, and both update
// buttons run the HID firmware update.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <filesystem>
#include <fstream>

#include "core/engine/hid_update.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/update_support.h"
#include "tests/gui/window_support.h"

namespace tessel {
namespace {

using namespace tessel::test;

QAction* MenuAction(CCorvaneDlg& w, const QString& text) {
  for (QAction* a : w.menuBar()->findChildren<QAction*>()) {
    if (QString(a->text()).remove('&') == text) return a;  // the menus underline a letter
  }
  return nullptr;
}

TEST(HidWindowTest, ReadsTheFullEscAndSendsAChangeBack) {
  auto w = MakeHidWindow(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(w->ok());
  ASSERT_TRUE(WaitHidRead(*w));
  VirtualHidAdapter& adapter = *w->virtual_hid();
  EXPECT_EQ(w->session().image.run_mode, adapter.image().run_mode);
  EXPECT_EQ(w->windowTitle(), "Tessel Arc USB V1.0 - DEMO");
  w->session().image.run_mode = adapter.image().run_mode == 0 ? 1 : 0;
  // Apply takes the pages first; change the page's own choice the way the page would.
  w->RefreshPagesFromImage();
  ASSERT_TRUE(w->session().Apply());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->session().status.transfer_active; }, 20000));
  EXPECT_EQ(adapter.image().run_mode, w->session().image.run_mode);
  EXPECT_EQ(adapter.received_curves().size(), 3u);
}

// The adapter pulled out during a send and plugged in again: the reason stays through the
// read that follows, in a box that stops nothing too, until the user's next click.
TEST(HidWindowTest, ASendThatBrokeOffStaysOnTheLineUntilTheUserActs) {
  auto w = MakeHidWindow(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(WaitHidRead(*w));
  const SessionStatus& s = w->session().status;
  ASSERT_TRUE(w->session().Apply());
  ASSERT_TRUE(QTest::qWaitFor([&] { return s.send_in_progress && s.progress > 40; }, 20000));
  w->virtual_hid()->SetPlugged(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->failure_notice() != nullptr; }, 5000));
  const QString reason = w->status_line()->toolTip();
  EXPECT_EQ(w->failure_notice()->text(), reason);
  EXPECT_FALSE(w->failure_notice()->isModal());
  w->virtual_hid()->SetPlugged(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return s.link_kind == kLinkHid; }, 5000));
  ASSERT_TRUE(WaitHidRead(*w));
  EXPECT_EQ(w->status_line()->toolTip(), reason);
  QTest::mouseClick(w->button(1001), Qt::LeftButton);
  EXPECT_EQ(w->status_line()->toolTip(), "ESC ready");
}

TEST(HidWindowTest, LcdProgramBoxModeShowsTheAdapterOnTheInformationPage) {
  auto w = MakeHidWindow(HidDeviceKind::kLcdBox);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->session().last_transfer().outcome == TransferOutcome::kEscLost; }, 20000));
  QAction* lcd = MenuAction(*w, "LCD Program Box");
  QAction* esc = MenuAction(*w, "ESC Speed Controller");
  ASSERT_TRUE(lcd && esc);
  lcd->trigger();
  CFirmware* info = w->info_page();
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(info->device_box()->text(), "LCD PROGRAM");
  EXPECT_EQ(info->hardware_box()->text(), "V1.05_12037");
  EXPECT_FALSE(info->software_box()->isVisible());
  EXPECT_EQ(w->esc_label()->text(), "LCD");
  EXPECT_FALSE(w->button(1001)->isVisible()) << "no settings pages for the box";
  // Leaving the mode needs an ESC behind the box.
  esc->trigger();
  EXPECT_TRUE(w->session().status.lcd_box_connected);
  w->virtual_hid()->ReplaceDevice(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->hid().CanEnterEscMode(); }, 20000));
  esc->trigger();
  EXPECT_FALSE(w->session().status.lcd_box_connected);
  EXPECT_EQ(info->hardware_box()->text(), "TURBO");
  EXPECT_EQ(w->esc_label()->text(), "ESC");
}

TEST(HidWindowTest, TheV1DialogReadsAndSendsOverHid) {
  auto w = MakeHidWindow(HidDeviceKind::kV1EscBec);
  ASSERT_TRUE(WaitHidRead(*w));
  CV1Dlg* dlg = w->v1_dialog();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isVisible(); }, 5000));
  VirtualHidAdapter& adapter = *w->virtual_hid();
  QComboBox* cutoff = dlg->list(9);
  cutoff->setCurrentIndex(5);
  QTest::mouseClick(dlg->send_button(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->status_text() == "Send Ok"; }, 20000));
  EXPECT_EQ(adapter.image().v1_cutoff_voltage, 5);
  // The ESC changes behind the tool's back; Read Settings shows it.
  adapter.image().v1_running_mode = 2;
  QTest::mouseClick(dlg->read_button(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->status_text() == "Read Ok"; }, 20000));
  EXPECT_EQ(w->session().image.v1_running_mode, 2);
}

// The DemoMode items that carry a bullet.
QStringList CheckedDemoItems(CCorvaneDlg& w) {
  QStringList checked;
  for (QAction* menu : w.menuBar()->actions()) {
    if (menu->text().remove('&') != "DemoMode") continue;
    for (QAction* a : menu->menu()->actions()) {
      if (a->isChecked()) checked << a->text().remove('&');
    }
  }
  return checked;
}

TEST(HidWindowTest, DemoModeSwitchesBetweenTheSerialAndTheHidAdapter) {
  auto w = MakeHidWindow(HidDeviceKind::kFullEsc);
  EXPECT_EQ(CheckedDemoItems(*w), QStringList{"Virtual HID adapter with ESC"});
  ASSERT_TRUE(WaitHidRead(*w));
  w->SetDemo(EscVariant::kFull);
  ASSERT_TRUE(WaitRead(*w));
  EXPECT_EQ(CheckedDemoItems(*w), QStringList{"Virtual ESC"});
  EXPECT_EQ(w->session().status.link_kind, kLinkSerial);
  EXPECT_FALSE(w->hid_demo());
  w->SetHidDemo(HidDeviceKind::kV1Esc);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return w->session().status.device_class == kDeviceV1; }, 20000));
  EXPECT_EQ(w->session().status.link_kind, kLinkHid);
}

// A firmware file of the HID path in a folder of its own, written as given.
class HidFirmwareFile {
 public:
  HidFirmwareFile(const std::string& name, const std::string& contents) {
    dir_ = std::filesystem::path(::testing::TempDir()) /
           ("tesselarc_hidfw_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / name).string();
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~HidFirmwareFile() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

TEST(HidWindowTest, UpDataUpdatesTheLcdProgramBoxFromTheInformationPage) {
  auto w = MakeHidWindow(HidDeviceKind::kLcdBox);
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->session().last_transfer().outcome == TransferOutcome::kEscLost; }, 20000));
  MenuAction(*w, "LCD Program Box")->trigger();
  std::vector<uint8_t> image(1200);
  std::string masked(image.size(), '\0');
  for (size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<uint8_t>(i * 29 + 3);
    masked[i] = static_cast<char>(image[i] ^ 0xB6);
  }
  HidFirmwareFile file("box.xut", masked);
  CEscProcessDlg* progress = w->progress();
  ModalAnswerer answers(file.path());
  QTest::mouseClick(w->info_page()->updata_button(), Qt::LeftButton);
  EXPECT_EQ(answers.file_dialogs, 1);
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "Data Transferring.. 0% done.");
  ASSERT_TRUE(QTest::qWaitFor([&] { return answers.boxes.size() >= 2; }, 30000));
  EXPECT_EQ(answers.boxes,
            (std::vector<std::string>{"Warning!|Start update?",
                                      std::string(kLcdUpdateCaption) + "|" + kLcdUpdateText}));
  EXPECT_EQ(w->virtual_hid()->flashed_image(), image);
  EXPECT_FALSE(progress->isVisible());
}

TEST(HidWindowTest, TheV1DialogUpdatesItsEscOverHidWithTheProgressInItsStatusLine) {
  auto w = MakeHidWindow(HidDeviceKind::kV1Esc);
  ASSERT_TRUE(WaitHidRead(*w));
  CV1Dlg* dlg = w->v1_dialog();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isVisible(); }, 5000));
  // Two records of 60 bytes, upper-case hex text.
  std::string text;
  std::vector<uint8_t> image;
  for (int r = 0; r < 2; ++r) {
    for (int i = 0; i < 60; ++i)
      image.push_back(static_cast<uint8_t>(i < 2 ? (i ? 58 : 0) : r + i));
  }
  char pair[3];
  for (uint8_t b : image) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
  }
  HidFirmwareFile file("v1.xup", text + "\r\n");
  ModalAnswerer answers(file.path());
  QTest::mouseClick(dlg->update_button(), Qt::LeftButton);
  EXPECT_EQ(answers.file_dialogs, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->hid().UpdateRunning(); }, 20000));
  EXPECT_EQ(w->hid().UpdateOutcome(), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(dlg->status_text(), "Transferring.. 100% done.");
  EXPECT_EQ(w->virtual_hid()->flashed_records(), image);
  EXPECT_EQ(answers.boxes, std::vector<std::string>{"Warning!|Start update?"});
}

}  // namespace
}  // namespace tessel
