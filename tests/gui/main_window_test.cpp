// The main window on the virtual ESC, driven through its widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/model/pages.h"
#include "gui/app/corvane_app.h"
#include "gui/app/corvane_dlg.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/pages/settings_page.h"
#include "sim/virtual_esc.h"
#include "tests/gui/window_support.h"

namespace tessel {
namespace {

using namespace tessel::test;

void ClickButton(CCorvaneDlg& w, int id) {
  QTest::mouseClick(w.button(id), Qt::LeftButton);
}

QString ValueText(CSettingsPage* page, ImageField field) {
  return page->value_box(page->IndexOf(field))->text();
}

QString Option(ImageField field, int32_t index) {
  return QString::fromStdString(OptionText(*FindSetting(field), index));
}

TEST(MainWindow, ReadsTheVirtualEscAndTheGeneralPageShowsIt) {
  auto w = MakeWindow();
  ASSERT_TRUE(w->ok());
  EXPECT_EQ(w->windowTitle(), "Tessel Arc USB V1.0 - DEMO");
  Screenshot(*w, "main_before_read.png");
  ASSERT_TRUE(WaitRead(*w));
  ClickButton(*w, 1001);
  CSettingsPage* general = w->page(kPageGeneral);
  ASSERT_TRUE(general->isVisible());
  EXPECT_EQ(w->session().status.shown_page, kPageGeneral);
  const EscSettingsImage& esc = w->virtual_port()->esc().image();
  for (ImageField f : {&EscSettingsImage::run_mode, &EscSettingsImage::voltage_cutoff,
                       &EscSettingsImage::esc_heat_protect, &EscSettingsImage::motor_rotation}) {
    EXPECT_EQ(ValueText(general, f), Option(f, esc.*f));
  }
  EXPECT_EQ(w->page_background(), "V3Menu.bmp");
  Screenshot(*w, "main_after_read_general.png");
  ClickButton(*w, 1006);
  Screenshot(*w, "main_after_read_data.png");
}

// With no adapter plugged in nothing ticks: the searching timers wait for an arrival event.
TEST(MainWindow, NothingTicksWhileNoAdapterIsPluggedIn) {
  CCorvaneDlg::Options options;
  options.skin_folder = TESSEL_SKIN_DIR;  // the real adapters, with hot-plug events
  CCorvaneDlg w(options);
  if (!w.hotplug_events()) GTEST_SKIP() << "no device events on this machine";
  auto resting = [&] {
    return !w.timers().IsArmed(kTimerSession) && !w.timers().IsArmed(kTimerHidProbe) &&
           !w.hid_poll()->isActive();
  };
  ASSERT_TRUE(QTest::qWaitFor(resting, 3000));
  w.SetDemo(EscVariant::kFull);  // a virtual ESC in and out again: the arrival re-arms
  w.SetDemo(std::nullopt);
  EXPECT_TRUE(w.timers().IsArmed(kTimerSession));
  EXPECT_TRUE(QTest::qWaitFor(resting, 3000));
}

TEST(MainWindow, PageButtonsAreIgnoredWhileBusy) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ClickButton(*w, 1001);
  ASSERT_TRUE(w->page(kPageGeneral)->isVisible());
  ClickButton(*w, 1007);  // Apply: a send starts
  ASSERT_TRUE(w->session().status.transfer_active);
  EXPECT_EQ(w->session().status.busy_button, 8);
  ClickButton(*w, 1004);
  EXPECT_EQ(w->session().status.requested_page, kPageGeneral);
  EXPECT_FALSE(w->page(kPageBoost)->isVisible());
  EXPECT_TRUE(w->page(kPageGeneral)->isVisible());
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(w->session().status.busy_button, 255);
  ClickButton(*w, 1004);
  EXPECT_TRUE(w->page(kPageBoost)->isVisible());
  EXPECT_FALSE(w->page(kPageGeneral)->isVisible());
}

TEST(MainWindow, OneDropListAtATimeAndTheSameBoxOpensAgain) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ClickButton(*w, 1001);
  CSettingsPage* page = w->page(kPageGeneral);
  QTest::mouseClick(page->value_box(1), Qt::LeftButton);
  EXPECT_EQ(page->open_list(), 1);
  QTest::mouseClick(page->value_box(2), Qt::LeftButton);
  EXPECT_EQ(page->open_list(), 2);
  EXPECT_FALSE(page->drop_list(1)->isVisible());
  // The background takes the list away; the same value box then opens it again.
  QTest::mouseClick(page, Qt::LeftButton, {}, QPoint(20, page->height() - 80));
  EXPECT_EQ(page->open_list(), -1);
  QTest::mouseClick(page->value_box(2), Qt::LeftButton);
  EXPECT_EQ(page->open_list(), 2);
  // Escape closes the list without choosing.
  const int before = page->selection(2);
  QTest::keyClick(page->drop_list(2), Qt::Key_Down);
  QTest::keyClick(page->drop_list(2), Qt::Key_Escape);
  EXPECT_EQ(page->open_list(), -1);
  page->Render();
  EXPECT_EQ(page->selection(2), before);
}

TEST(MainWindow, AnImageValueBeyondTheListShowsTheLastOption) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  w->session().image.punch_rate1 = 200;  // a 30-option list
  CSettingsPage* throttle = w->page(kPageThrottle);
  w->RefreshPagesFromImage();
  EXPECT_EQ(w->session().image.punch_rate1, 29);
  EXPECT_EQ(ValueText(throttle, &EscSettingsImage::punch_rate1), "30");
}

TEST(MainWindow, ChoosingAProfileWritesThePresetAndSendsIt) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ClickButton(*w, 1001);
  CSettingsPage* general = w->page(kPageGeneral);
  const int profile = general->IndexOf(&EscSettingsImage::profile_preset);
  QTest::mouseClick(general->value_box(profile), Qt::LeftButton);
  QListWidget* list = general->drop_list(profile);
  ASSERT_TRUE(list->isVisible());
  QListWidgetItem* crawler = list->findItems("Crawler", Qt::MatchExactly).value(0);
  ASSERT_NE(crawler, nullptr);
  w->virtual_port()->esc().ClearReceived();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(crawler).center());
  const EscSettingsImage& im = w->session().image;
  EXPECT_EQ(im.profile_preset, 8);
  EXPECT_EQ(im.run_mode, 2);
  EXPECT_EQ(im.reverse_speed, 3);
  EXPECT_EQ(im.drag_brake, 100);
  // The main window's next tick refreshes every page and sends.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->session().status.transfer_active; }, 3000));
  ASSERT_TRUE(WaitIdle(*w));
  EXPECT_EQ(ValueText(w->page(kPageThrottle), &EscSettingsImage::reverse_speed), "100%");
  EXPECT_EQ(ValueText(w->page(kPageBrake), &EscSettingsImage::drag_brake), "100%");
  const EscSettingsImage& esc = w->virtual_port()->esc().image();
  EXPECT_EQ(esc.run_mode, 2);
  EXPECT_EQ(esc.reverse_speed, 3);
  EXPECT_EQ(esc.drag_brake, 100);
  EXPECT_EQ(w->virtual_port()->esc().end_of_settings_count(), 1);
}

TEST(MainWindow, ProgressWindowIsModelessDisabledAndPlaced) {
  auto w = MakeWindow();
  CEscProcessDlg* p = w->progress();
  EXPECT_FALSE(p->isModal());
  EXPECT_FALSE(p->isEnabled());
  p->SetProgress(440, 220);
  EXPECT_EQ(p->position(), 50);
  p->SetProgress(100, 100);
  EXPECT_EQ(p->position(), 100);
  ASSERT_TRUE(WaitRead(*w));
  EXPECT_FALSE(p->isVisible());
}

TEST(MainWindow, LosingTheEscHidesThePages) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ClickButton(*w, 1002);
  ASSERT_TRUE(w->page(kPageThrottle)->isVisible());
  w->virtual_port()->esc().faults().silent = true;
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->session().status.esc_state != 2; }, 5000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->button(1104)->last_image() == 153; }, 5000));
  EXPECT_FALSE(w->page(kPageThrottle)->isVisible());
  EXPECT_TRUE(w->button(1002)->isVisible());
}

TEST(MainWindow, MissingBackgroundEndsTheTool) {
  CCorvaneDlg::Options options;
  options.skin_folder = QDir::tempPath() + "/no-such-skin-folder";
  options.hotplug = false;
  testing::internal::CaptureStderr();
  CCorvaneDlg w(options);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(w.ok());
  EXPECT_NE(err.find("Back.bmp"), std::string::npos);
}

TEST(SingleInstance, ASecondStartFindsTheFirst) {
  const QString name = "tesselarc-test-" + QString::number(QCoreApplication::applicationPid());
  CCorvaneApp first;
  ASSERT_TRUE(first.ClaimInstance(name));
  CCorvaneApp second;
  EXPECT_FALSE(second.ClaimInstance(name));
}

}  // namespace
}  // namespace tessel
