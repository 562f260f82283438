// The Throttle, Brake, Boost and Turbo pages as the user drives them with the mouse: opening
// and taking back the curve editors, the boost rpm and enabling rules, the turbo enabling
// table, the Data page texts; then the whole road on the virtual ESC through the main window,
// with screenshots of every page and editor for people to look at.

#include <QDir>
#include <QElapsedTimer>

#include "gui/app/corvane_dlg.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/pages/boost_page.h"
#include "gui/pages/brake_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/throttle_page.h"
#include "gui/pages/turbo_page.h"
#include "tests/gui/curve_test_world.h"

namespace tessel {
namespace {

using testing::ChooseOption;
using testing::ClickAt;
using testing::CurveWorld;
using testing::Points;
using testing::Pump;

template <typename Page>
class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = new Page(world.Context(), &world.host);
    world.session.status.page_shown = true;
    world.Show(page);
  }
  Session& session() { return world.session; }
  EscSettingsImage& image() { return world.session.image; }
  bool AllValueBoxesVisible() const {
    for (int i = 0; i < page->setting_count(); ++i) {
      if (!page->value_box(i)->isVisible()) return false;
    }
    return true;
  }
  bool AnyValueBoxVisible() const {
    for (int i = 0; i < page->setting_count(); ++i) {
      if (page->value_box(i)->isVisible()) return true;
    }
    return false;
  }
  QString Text(ImageField field) const { return page->value_box(page->IndexOf(field))->text(); }
  bool Enabled(ImageField field) const {
    return page->value_box(page->IndexOf(field))->isEnabled();
  }

  CurveWorld world;
  Page* page = nullptr;
};

using ThrottlePage = PageTest<CThrottle>;
using BrakePage = PageTest<CBrake>;
using BoostPage = PageTest<CBoost>;
using TurboPage = PageTest<CTurbo>;

TEST_F(ThrottlePage, CustomOpensTheEditorAndOkGivesThePageBack) {
  ChooseOption(page, &EscSettingsImage::punch_rate1, 29);
  EXPECT_EQ(image().punch_rate1, 29);
  EXPECT_EQ(Text(&EscSettingsImage::punch_rate1), "30");

  ChooseOption(page, &EscSettingsImage::throttle_curve_mode, 1);
  CThrottleLine* editor = page->throttle_line();
  EXPECT_EQ(image().throttle_curve_mode, 1);
  EXPECT_EQ(session().status.throttle_editor_state, EditorState::kOpen);
  EXPECT_TRUE(session().status.curve_editor_open);
  EXPECT_TRUE(page->EditorOpen());
  EXPECT_TRUE(editor->isVisible());
  EXPECT_FALSE(AnyValueBoxVisible());
  EXPECT_FALSE(page->help_box()->isVisible());
  EXPECT_EQ(page->open_list(), -1);

  ClickAt(editor, 40, 70);
  QTest::mouseClick(editor->ok_button(), Qt::LeftButton);
  Pump();
  EXPECT_EQ(session().status.throttle_editor_state, EditorState::kIdle);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_TRUE(AllValueBoxesVisible());
  EXPECT_TRUE(page->help_box()->isVisible());
  EXPECT_EQ(Text(&EscSettingsImage::throttle_curve_mode), "Custom");
  EXPECT_EQ(image().throttle_curve.x[1], 40);

  // "Linear(*)" drops the drawn curve.
  ChooseOption(page, &EscSettingsImage::throttle_curve_mode, 0);
  EXPECT_EQ(image().throttle_curve_mode, 0);
  EXPECT_EQ(Points(session().throttle_editor), (std::vector<CurvePoint>{{0, 0}, {100, 100}}));
  EXPECT_EQ(image().throttle_curve.x[1], 100);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_TRUE(AllValueBoxesVisible());
  // A reset keeps the curve mode at 0 as its default.
  image().throttle_curve_mode = 1;
  world.tool.pages().ResetToDefaults();
  page->Render();
  EXPECT_EQ(image().throttle_curve_mode, 0);
}

TEST_F(ThrottlePage, ClosingTheEditorAfterTheEscWasLostLeavesThePageHidden) {
  ChooseOption(page, &EscSettingsImage::throttle_curve_mode, 1);
  ASSERT_TRUE(page->EditorOpen());
  session().status.page_shown = false;
  QTest::keyClick(page->throttle_line(), Qt::Key_Escape);
  Pump();
  EXPECT_EQ(session().status.throttle_editor_state, EditorState::kIdle);
  EXPECT_FALSE(session().status.curve_editor_open);
  EXPECT_FALSE(page->isVisible());
}

TEST_F(BrakePage, CustomThenLinerAndTheOtherListsReachTheImageAtOnce) {
  ChooseOption(page, &EscSettingsImage::drag_brake, 100);
  EXPECT_EQ(image().drag_brake, 100);
  EXPECT_EQ(Text(&EscSettingsImage::drag_brake), "100%");

  ChooseOption(page, &EscSettingsImage::brake_curve_mode, 1);
  ASSERT_TRUE(page->brake_line()->isVisible());
  EXPECT_EQ(session().status.brake_editor_state, EditorState::kOpen);
  EXPECT_FALSE(AnyValueBoxVisible());
  ClickAt(page->brake_line(), 60, 20);
  QTest::keyClick(page->brake_line(), Qt::Key_Enter);
  Pump();
  EXPECT_TRUE(AllValueBoxesVisible());
  EXPECT_EQ(image().brake_curve.x[1], 60);
  EXPECT_EQ(image().brake_curve_mode, 1);

  ChooseOption(page, &EscSettingsImage::brake_curve_mode, 0);
  EXPECT_EQ(image().brake_curve_mode, 0);
  EXPECT_EQ(Text(&EscSettingsImage::brake_curve_mode), "Liner(*)");
  EXPECT_EQ(Points(session().brake_editor), (std::vector<CurvePoint>{{0, 0}, {100, 100}}));
}

TEST_F(BoostPage, TimingZeroDisablesTheFourDependentBoxes) {
  // The factory timing is 0, and the page applies its rule as it is created.
  EXPECT_TRUE(Enabled(&EscSettingsImage::boost_timing));
  for (ImageField f : {&EscSettingsImage::boost_start_rpm, &EscSettingsImage::boost_end_rpm,
                       &EscSettingsImage::stability_assist, &EscSettingsImage::boost_slope}) {
    EXPECT_FALSE(Enabled(f));
  }
  // A disabled box opens no list.
  QTest::mouseClick(page->value_box(page->IndexOf(&EscSettingsImage::boost_slope)), Qt::LeftButton);
  EXPECT_EQ(page->open_list(), -1);

  ChooseOption(page, &EscSettingsImage::boost_timing, 1);
  EXPECT_EQ(image().boost_timing, 1);
  for (ImageField f : {&EscSettingsImage::boost_start_rpm, &EscSettingsImage::boost_end_rpm,
                       &EscSettingsImage::stability_assist, &EscSettingsImage::boost_slope}) {
    EXPECT_TRUE(Enabled(f));
  }
  ChooseOption(page, &EscSettingsImage::boost_timing, 0);
  EXPECT_FALSE(Enabled(&EscSettingsImage::boost_slope));
}

TEST_F(BoostPage, EndRpmIsKeptAboveTheStartWhenEitherIsChosen) {
  ChooseOption(page, &EscSettingsImage::boost_timing, 20);
  // Values from the ESC are shown as they are, even with the end not above the start.
  image().boost_start_rpm = 28;  // 15000 rpm
  image().boost_end_rpm = 24;    // 15000 rpm
  world.tool.pages().RefreshFromImage();
  page->Render();
  EXPECT_EQ(image().boost_end_rpm, 24);
  EXPECT_EQ(Text(&EscSettingsImage::boost_end_rpm), "15000rpm");

  ChooseOption(page, &EscSettingsImage::boost_start_rpm, 28);
  EXPECT_EQ(image().boost_end_rpm, 26);
  EXPECT_EQ(Text(&EscSettingsImage::boost_end_rpm), "16000rpm");
  ChooseOption(page, &EscSettingsImage::boost_end_rpm, 24);
  EXPECT_EQ(image().boost_end_rpm, 26);
  EXPECT_EQ(Text(&EscSettingsImage::boost_end_rpm), "16000rpm");

  // The last start rpm still finds room in the end list.
  ChooseOption(page, &EscSettingsImage::boost_start_rpm, 68);
  EXPECT_EQ(image().boost_end_rpm, 66);
  EXPECT_EQ(Text(&EscSettingsImage::boost_end_rpm), "36000rpm");

  // An end already above the start is kept.
  ChooseOption(page, &EscSettingsImage::boost_start_rpm, 0);
  ChooseOption(page, &EscSettingsImage::boost_end_rpm, 0);
  EXPECT_EQ(image().boost_start_rpm, 0);
  EXPECT_EQ(image().boost_end_rpm, 0);
  EXPECT_EQ(Text(&EscSettingsImage::boost_end_rpm), "3000rpm");
}

TEST_F(BoostPage, CustomSlopeLabelsTheRpmAxisAndANewTimingResetsTheCurve) {
  ChooseOption(page, &EscSettingsImage::boost_timing, 32);
  ChooseOption(page, &EscSettingsImage::boost_start_rpm, 0);  // 1000 rpm
  ChooseOption(page, &EscSettingsImage::boost_end_rpm, 18);   // 12000 rpm
  ChooseOption(page, &EscSettingsImage::boost_slope, 1);
  CBoostLine* editor = page->boost_line();
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(session().status.boost_editor_state, EditorState::kOpen);
  EXPECT_EQ(editor->y_label(1)->text(), "3750");
  EXPECT_EQ(editor->y_label(4)->text(), "12000");
  // Timing 32 limits the curve to x < 50.
  EXPECT_EQ(Points(session().boost_editor),
            (std::vector<CurvePoint>{{0, 0}, {50, 100}, {100, 100}}));
  ClickAt(editor, 20, 30);
  ClickAt(editor, 70, 30);
  EXPECT_EQ(session().boost_editor.point_count, 4u);
  QTest::mouseClick(editor->ok_button(), Qt::LeftButton);
  Pump();
  ASSERT_TRUE(AllValueBoxesVisible());

  // Open the timing list (its help shows), then choose: the help clears, the drawn curve
  // gives way to the new timing's default, and the slope stays custom.
  ChooseOption(page, &EscSettingsImage::boost_timing, 16);
  EXPECT_EQ(page->help_box()->toPlainText(), " ");
  EXPECT_EQ(Points(session().boost_editor),
            (std::vector<CurvePoint>{{0, 0}, {25, 100}, {100, 100}}));
  EXPECT_EQ(image().boost_slope, 1);
  EXPECT_EQ(Text(&EscSettingsImage::boost_slope), "Custom");

  ChooseOption(page, &EscSettingsImage::boost_slope, 0);
  EXPECT_EQ(image().boost_slope, 0);
  EXPECT_FALSE(editor->isVisible());
}

TEST_F(TurboPage, ActivationMethodDecidesWhatCanBeEdited) {
  // A new page applies no rule: everything starts enabled.
  for (int i = 0; i < page->setting_count(); ++i) EXPECT_TRUE(page->value_box(i)->isEnabled());
  world.tool.pages().RefreshFromImage();
  page->Render();  // factory defaults: 10 points, "Full TH(*)"
  EXPECT_TRUE(Enabled(&EscSettingsImage::turbo_delay));
  EXPECT_FALSE(Enabled(&EscSettingsImage::turbo_start_rpm));

  ChooseOption(page, &EscSettingsImage::turbo_activation, 1);  // "RPM"
  EXPECT_EQ(image().turbo_activation, 1);
  EXPECT_FALSE(Enabled(&EscSettingsImage::turbo_delay));
  EXPECT_TRUE(Enabled(&EscSettingsImage::turbo_start_rpm));
  ChooseOption(page, &EscSettingsImage::turbo_activation, 2);  // "Full TH+RPM"
  EXPECT_TRUE(Enabled(&EscSettingsImage::turbo_delay));
  EXPECT_TRUE(Enabled(&EscSettingsImage::turbo_start_rpm));

  // Other settings wait for the next collect.
  ChooseOption(page, &EscSettingsImage::turbo_slope_on, 10);
  EXPECT_EQ(Text(&EscSettingsImage::turbo_slope_on), "Instant");
  EXPECT_EQ(image().turbo_slope_on, 4);

  ChooseOption(page, &EscSettingsImage::turbo_timing, 0);
  EXPECT_EQ(image().turbo_timing, 0);
  EXPECT_EQ(image().turbo_slope_on, 10);
  EXPECT_TRUE(Enabled(&EscSettingsImage::turbo_timing));
  for (ImageField f : {&EscSettingsImage::turbo_activation, &EscSettingsImage::turbo_delay,
                       &EscSettingsImage::turbo_start_rpm, &EscSettingsImage::turbo_slope_on,
                       &EscSettingsImage::turbo_slope_off}) {
    EXPECT_FALSE(Enabled(f));
  }
  ChooseOption(page, &EscSettingsImage::turbo_timing, 5);
  for (int i = 0; i < page->setting_count(); ++i) EXPECT_TRUE(page->value_box(i)->isEnabled());
}

TEST(DataPageTexts, ShowTheLoggedValuesInTheirFormats) {
  CurveWorld world;
  auto* page = new CData(world.Context(), &world.host);
  world.session.image.log_batt_min_voltage = 1000;  // wider than "%5.2f", nothing is cut
  world.session.image.log_esc_max_temp = 65;
  world.session.image.log_motor_max_rpm = 255;
  page->ShowLoggedData();
  EXPECT_EQ(page->value_text(0), "100.00V");
  EXPECT_EQ(page->value_text(1), "65degree celsius");
  EXPECT_EQ(page->value_text(2), "0degree celsius");
  EXPECT_EQ(page->value_text(3), "255000rpm");
}

// ---------------------------------------------------------------------------------------------
// The main window on the virtual ESC.

class MainWindowOnVirtualEsc : public ::testing::Test {
 protected:
  void SetUp() override {
    CCorvaneDlg::Options options;
    options.demo = EscVariant::kFull;
    options.skin_folder = TESSEL_SKIN_DIR;
    options.hotplug = false;
    window = std::make_unique<CCorvaneDlg>(options);
    ASSERT_TRUE(window->ok());
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ASSERT_TRUE(PumpUntil([&] { return Idle() && s().device_class == kDeviceFull; }, 60000))
        << "the first read did not finish";
  }
  SessionStatus& s() { return window->session().status; }
  bool Idle() {
    return s().adapter_state == 2 && s().esc_state == 2 && !s().transfer_active &&
           !window->progress()->isVisible();
  }
  static bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
      if (timer.elapsed() > timeout_ms) return false;
      QTest::qWait(10);
    }
    return true;
  }
  void OpenPage(int button_id, int32_t page_id) {
    QTest::mouseClick(window->button(button_id), Qt::LeftButton);
    Pump();
    ASSERT_EQ(s().shown_page, page_id);
  }
  void Shot(const QString& name) {
    Pump();
    const QString folder = QString(TESSEL_BUILD_DIR) + "/screenshots";
    QDir().mkpath(folder);
    EXPECT_TRUE(window->grab().save(folder + "/" + name + ".png")) << name.toStdString();
  }

  std::unique_ptr<CCorvaneDlg> window;
};

TEST_F(MainWindowOnVirtualEsc, DrawnThrottleCurveReachesTheEsc) {
  OpenPage(1002, kPageThrottle);
  auto* page = qobject_cast<CThrottle*>(window->page(kPageThrottle));
  ASSERT_NE(page, nullptr) << window->page(kPageThrottle)->metaObject()->className();
  ASSERT_TRUE(page->isVisible());
  ChooseOption(page, &EscSettingsImage::throttle_curve_mode, 1);
  CThrottleLine* editor = page->throttle_line();
  ASSERT_TRUE(editor->isVisible());
  // No page switch while the editor is open.
  QTest::mouseClick(window->button(1003), Qt::LeftButton);
  Pump();
  EXPECT_EQ(s().shown_page, kPageThrottle);

  // The ESC's own custom curve shows first; start from the straight line.
  EXPECT_GT(window->session().throttle_editor.point_count, 2u);
  QTest::mouseClick(editor->reset_button(), Qt::LeftButton);
  ClickAt(editor, 20, 45);
  ClickAt(editor, 50, 60);
  ClickAt(editor, 80, 90);
  testing::DragTo(editor, 50, 60, 55, 70);
  QTest::mouseClick(editor->ok_button(), Qt::LeftButton);
  Pump();
  ASSERT_FALSE(s().curve_editor_open);
  ASSERT_TRUE(page->value_box(0)->isVisible());

  VirtualEsc& esc = window->virtual_port()->esc();
  const size_t before = esc.received_curves().size();
  QTest::mouseClick(window->button(1007), Qt::LeftButton);
  ASSERT_TRUE(s().transfer_active);
  ASSERT_TRUE(PumpUntil([&] { return Idle(); }, 60000)) << "the send did not finish";

  CurveData expected{};
  const uint8_t xs[] = {0, 20, 55, 80, 100};
  const uint8_t ys[] = {0, 45, 70, 90, 100};
  for (size_t i = 0; i < 5; ++i) {
    expected.x[i] = xs[i];
    expected.y[i] = ys[i];
  }
  SampleCurve(expected, 5);

  // The virtual ESC keeps all three curves custom; the throttle curve goes once per send.
  std::vector<ReceivedCurve> throttle;
  for (size_t i = before; i < esc.received_curves().size(); ++i) {
    if (esc.received_curves()[i].which == kThrottleCurve)
      throttle.push_back(esc.received_curves()[i]);
  }
  ASSERT_EQ(throttle.size(), 1u);
  const ReceivedCurve& got = throttle.front();
  EXPECT_TRUE(got.check_matched);
  EXPECT_EQ(got.check, CurveCheckBytes(expected));
  for (int pos = 0; pos < 120; ++pos) {
    EXPECT_EQ(CurveWireByte(got.wire, pos), CurveWireByte(expected, pos)) << "byte " << pos;
  }
  EXPECT_EQ(esc.image().throttle_curve_mode, 1);
}

// A page button greyed by a tick that saw the tool busy takes the click that comes before the
// next tick: straight after an editor's CANCEL, and after any busy moment that has passed.
TEST_F(MainWindowOnVirtualEsc, AClickStraightAfterABusyMomentIsNotLost) {
  OpenPage(1004, kPageBoost);
  auto* boost = static_cast<CBoost*>(window->page(kPageBoost));
  ChooseOption(boost, &EscSettingsImage::boost_slope, 1);
  ASSERT_TRUE(s().curve_editor_open);
  window->UpdateStatus();  // as a tick does while the editor is open
  ASSERT_FALSE(window->button(1003)->isEnabled());
  QTest::mouseClick(boost->boost_line()->cancel_button(), Qt::LeftButton);
  QTest::mouseClick(window->button(1003), Qt::LeftButton);
  EXPECT_EQ(s().shown_page, kPageBrake);

  s().curve_editor_open = true;  // a moment the last tick saw, over before the click
  window->UpdateStatus();
  s().curve_editor_open = false;
  ASSERT_FALSE(window->button(1005)->isEnabled());
  QTest::mouseClick(window->button(1005), Qt::LeftButton);
  EXPECT_EQ(s().shown_page, kPageTurbo);
}

TEST_F(MainWindowOnVirtualEsc, ScreenshotsOfThePagesAndTheEditors) {
  const struct {
    int button;
    int32_t page;
    const char* name;
  } pages[] = {{1001, kPageGeneral, "general"}, {1002, kPageThrottle, "throttle"},
               {1003, kPageBrake, "brake"},     {1004, kPageBoost, "boost"},
               {1005, kPageTurbo, "turbo"},     {1006, kPageData, "data"}};
  for (const auto& p : pages) {
    OpenPage(p.button, p.page);
    Shot(QString("page_") + p.name);
  }

  OpenPage(1004, kPageBoost);
  auto* boost = static_cast<CBoost*>(window->page(kPageBoost));
  ChooseOption(boost, &EscSettingsImage::boost_timing, 48);
  ChooseOption(boost, &EscSettingsImage::boost_slope, 1);
  ClickAt(boost->boost_line(), 15, 10);
  ClickAt(boost->boost_line(), 40, 55);
  Shot("editor_boost");
  QTest::mouseClick(boost->boost_line()->cancel_button(), Qt::LeftButton);
  Pump();

  OpenPage(1003, kPageBrake);
  auto* brake = static_cast<CBrake*>(window->page(kPageBrake));
  ChooseOption(brake, &EscSettingsImage::brake_curve_mode, 1);
  ClickAt(brake->brake_line(), 25, 50);
  ClickAt(brake->brake_line(), 60, 75);
  Shot("editor_brake");
  QTest::mouseClick(brake->brake_line()->cancel_button(), Qt::LeftButton);
  Pump();

  OpenPage(1002, kPageThrottle);
  auto* throttle = static_cast<CThrottle*>(window->page(kPageThrottle));
  ChooseOption(throttle, &EscSettingsImage::throttle_curve_mode, 1);
  for (auto [x, y] : {std::pair{10, 30}, {30, 55}, {60, 75}, {85, 92}}) {
    ClickAt(throttle->throttle_line(), x, y);
  }
  Shot("editor_throttle");
  QTest::mouseClick(throttle->throttle_line()->cancel_button(), Qt::LeftButton);
  Pump();
  EXPECT_FALSE(s().curve_editor_open);
}

}  // namespace
}  // namespace tessel
