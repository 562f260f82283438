// The desktop says what the tool says: the same three actions the web page's browser test
// runs (a send, a send that breaks off, a refused firmware file), with the unsent changes on
// the line and in the title. Screenshots of each land beside the web page's.
#include "gui/firmware/firmware_page.h"
#include "tests/gui/curve_test_world.h"
#include "tests/gui/update_support.h"
#include "tests/gui/window_support.h"

namespace tessel::test {
namespace {

using tessel::testing::ChooseOption;

QString Line(CCorvaneDlg& w) {
  return w.status_line()->toolTip();
}

TEST(DesktopFace, ASendABrokenSendAndARefusedFileReadAsTheToolSaysThem) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QTest::mouseClick(w->button(1001), Qt::LeftButton);
  CSettingsPage* general = w->page(kPageGeneral);
  const int run_mode = general->IndexOf(&EscSettingsImage::run_mode);
  ChooseOption(general, run_mode, 2);
  EXPECT_EQ(Line(*w), "Apply sends 1 change");
  EXPECT_TRUE(w->windowTitle().endsWith(" ●")) << w->windowTitle().toStdString();

  QTest::mouseClick(w->button(1007), Qt::LeftButton);
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(Line(*w), "Sent OK");
  EXPECT_FALSE(w->windowTitle().contains("●"));
  Screenshot(*w, "faces_1_sent.png");

  // The ESC falls silent part way: the engine asks, Cancel ends the send, and the line says
  // how much of it the ESC took.
  ChooseOption(general, run_mode, 1);
  {
    ModalAnswerer answers("");
    answers.answers = {QMessageBox::Cancel};
    QTest::mouseClick(w->button(1007), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->session().status.progress > 20; }, 20000));
    Esc(*w).faults().silent = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.boxes.empty(); }, 20000));
    EXPECT_EQ(answers.boxes[0], "confirm!|Error!YES continue,NO next,CANCEL exit");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Line(*w).startsWith("Send stopped"); }, 20000))
        << Line(*w).toStdString();
  }
  Screenshot(*w, "faces_2_send_broke_off.png");
  Esc(*w).faults().silent = false;
  // The ESC holds a mix now; the user reads it again.
  w->command("Read from ESC")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Line(*w).startsWith("Read OK"); }, 20000));
  ASSERT_TRUE(WaitRead(*w));

  // A damaged firmware file is refused before any question about starting.
  FirmwareFile damaged("ESC0130.xup", Join({Record(3, 1), Bytes{0x00, 0x05, 1, 2, 3}}));
  QTest::mouseClick(w->button(1000), Qt::LeftButton);
  {
    ModalAnswerer answers(damaged.path());
    QTest::mouseClick(w->info_page()->updata_button(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.boxes.empty(); }, 5000));
    EXPECT_NE(answers.boxes[0].find("ESC0130.xup\" was not sent to the ESC"), std::string::npos)
        << answers.boxes[0];
  }
  EXPECT_EQ(Line(*w), "Firmware file refused; nothing was sent to the ESC");
  EXPECT_FALSE(Esc(*w).in_loader());
  Screenshot(*w, "faces_3_firmware_refused.png");
  w->close();
}

}  // namespace
}  // namespace tessel::test
