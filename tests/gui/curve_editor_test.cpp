// The curve editor windows under real mouse and key events: the chart's pixel mapping, the
// editing rules as the user meets them, the buttons, and what the chart draws.

#include <QImage>
#include <QTest>

#include "gui/curves/curve_lines.h"
#include "tests/gui/curve_test_world.h"

namespace tessel {
namespace {

using testing::ChartPixel;
using testing::ClickAt;
using testing::CurveWorld;
using testing::DragTo;
using testing::Points;
using Curve = std::vector<CurvePoint>;

class ThrottleEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    editor = new CThrottleLine(
        world.EditorContext(CurveKind::kThrottle),
        &world.host);
    // As the page opens it.
    world.session.status.throttle_editor_state = EditorState::kOpen;
    world.session.status.curve_editor_open = true;
    model().BeginEdit();
    world.Show(editor);
    editor->RefreshChartPoints();
  }
  CurveModel& model() { return world.session.throttle_editor; }
  QString count() const { return editor->count_readout()->text(); }
  QString position() const { return editor->point_readout()->text(); }

  CurveWorld world;
  CThrottleLine* editor = nullptr;
};

TEST_F(ThrottleEditor, ClicksGrabWithinTwoAddFromFourAndStopAtForty) {
  EXPECT_EQ(count(), "total: 02");
  ClickAt(editor, 1, 1);  // squared distance 2 from the end point: nothing
  EXPECT_EQ(model().point_count, 2u);
  ClickAt(editor, 2, 1);  // squared distance 5: a new point
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {2, 1}, {100, 100}}));
  EXPECT_EQ(count(), "total: 03");
  EXPECT_EQ(position(), "x:02,y:01");
  ClickAt(editor, 3, 2);  // squared distance 2: grabbed and moved under the mouse
  ClickAt(editor, 5, 2);  // squared distance 4: added while there is room
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {3, 2}, {5, 2}, {100, 100}}));
  ClickAt(editor, 0, 50);  // clicks on the bounds are ignored
  ClickAt(editor, 50, 100);
  EXPECT_EQ(model().point_count, 4u);

  // Fill up to 40 points along the diagonal, 8 apart (squared).
  for (int i = 4; i <= 39; ++i) ClickAt(editor, 2 * i, 2 * i);
  ASSERT_EQ(model().point_count, 40u);
  ClickAt(editor, 50, 52);  // squared distance 4 grabs once the curve is full
  EXPECT_EQ(model().points[24], (CurvePoint{50, 52}));
  // Squared distance 5 from the nearest candidate (62, 62): nothing moves, but the position
  // readout shows that candidate.
  const Curve full = Points(model());
  ClickAt(editor, 60, 63);
  EXPECT_EQ(position(), "x:62,y:62");
  ClickAt(editor, 90, 20);
  EXPECT_EQ(Points(model()), full);
}

// The keys drive the same model as the web page's chart: choose, move, add, delete.
TEST_F(ThrottleEditor, KeysChooseMoveAddAndDeleteAPoint) {
  ClickAt(editor, 30, 40);
  ClickAt(editor, 60, 70);
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_Home);  // not an editing key: nothing changes
  QTest::keyClick(editor, Qt::Key_Left);  // from the last click's point to the one before it
  QTest::keyClick(editor, Qt::Key_Up, Qt::ShiftModifier);
  QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {31, 41}, {60, 70}, {100, 100}}));
  QTest::keyClick(editor, Qt::Key_Insert);  // halfway to the next point
  EXPECT_EQ(model().point_count, 5u);
  QTest::keyClick(editor, Qt::Key_Delete);
  QTest::keyClick(editor, Qt::Key_Delete);
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {31, 41}, {100, 100}}));
  EXPECT_EQ(count(), "total: 03");
}

TEST_F(ThrottleEditor, DragReordersAndRightClickRemovesTheLowerIndex) {
  ClickAt(editor, 30, 40);
  ClickAt(editor, 50, 60);
  DragTo(editor, 50, 60, 20, 70);  // past its left neighbour
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {20, 70}, {30, 40}, {100, 100}}));
  EXPECT_EQ(position(), "x:20,y:70");
  DragTo(editor, 20, 70, 0, 100);  // a drag reaches the bounds themselves
  EXPECT_EQ(model().points[1], (CurvePoint{0, 100}));
  QTest::mouseMove(editor, ChartPixel(*editor, 40, 40));  // button up: no longer follows
  // Held outside the chart, the point stays rather than being clamped.
  QTest::mousePress(editor, Qt::LeftButton, {}, ChartPixel(*editor, 30, 40));
  QTest::mouseMove(editor, editor->chart()->geometry().topRight() + QPoint(20, -10));
  QTest::mouseRelease(editor, Qt::LeftButton, {}, ChartPixel(*editor, 30, 40));
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {0, 100}, {30, 40}, {100, 100}}));

  ClickAt(editor, 33, 44);
  ClickAt(editor, 70, 20, Qt::RightButton);  // nothing within 4 units
  EXPECT_EQ(model().point_count, 5u);
  ClickAt(editor, 32, 42, Qt::RightButton);  // (30, 40) and (33, 44) are both within 4
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {0, 100}, {33, 44}, {100, 100}}));
  EXPECT_EQ(count(), "total: 04");
}

TEST_F(ThrottleEditor, ResetThenCancelGivesBackTheOpeningCurveAndOkWritesTheCurve) {
  ClickAt(editor, 25, 60);
  model().ApplyCurve();  // a custom curve kept earlier (or read from the ESC)
  model().EndEdit();
  const CurveData kept = world.session.image.throttle_curve;
  model().BeginEdit();  // the page opens the editor on it
  ClickAt(editor, 70, 30);
  QTest::mouseClick(editor->reset_button(), Qt::LeftButton);
  EXPECT_TRUE(editor->isVisible());
  EXPECT_EQ(count(), "total: 02");
  QTest::mouseClick(editor->cancel_button(), Qt::LeftButton);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(world.session.status.throttle_editor_state, EditorState::kClosed);
  EXPECT_FALSE(world.session.status.curve_editor_open);
  EXPECT_EQ(Points(model()), (Curve{{0, 0}, {25, 60}, {100, 100}}));
  EXPECT_EQ(world.session.image.throttle_curve.x, kept.x);
  EXPECT_EQ(world.session.image.throttle_curve.y, kept.y);
  EXPECT_EQ(world.session.image.throttle_curve.table, kept.table);
  EXPECT_EQ(count(), "total: 03");

  CurveData& c = world.session.image.throttle_curve;
  c.x.fill(7);  // left-overs of an older curve
  c.y.fill(9);
  world.session.status.throttle_editor_state = EditorState::kOpen;
  editor->show();
  QTest::mouseClick(editor->reset_button(), Qt::LeftButton);  // from the straight line
  ClickAt(editor, 20, 50);
  ClickAt(editor, 60, 70);
  DragTo(editor, 20, 50, 25, 55);
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(world.session.status.throttle_editor_state, EditorState::kClosed);

  CurveData expected{};
  const uint8_t xs[] = {0, 25, 60, 100}, ys[] = {0, 55, 70, 100};
  std::copy(std::begin(xs), std::end(xs), expected.x.begin());
  std::copy(std::begin(ys), std::end(ys), expected.y.begin());
  SampleCurve(expected, 4);
  EXPECT_EQ(c.x, expected.x);
  EXPECT_EQ(c.y, expected.y);
  EXPECT_TRUE(std::equal(c.table.begin(), c.table.begin() + 40, expected.table.begin()));
}

TEST_F(ThrottleEditor, ChartDrawsSquaresOnInteriorPointsAndTheLineThroughAll) {
  ClickAt(editor, 30, 70);
  const QImage chart = editor->chart()->grab().toImage();
  // Under a desktop scale factor the grab has more pixels than the widget has units.
  const qreal scale = chart.devicePixelRatio();
  auto pixel = [&](int x, int y, QPoint offset) {
    const QPoint p = ChartPixel(*editor, x, y) - editor->chart()->pos() + offset;
    return QColor(chart.pixel((QPointF(p) * scale).toPoint()));
  };
  // The square sits where the click was (beside the line's corner); the end point has none.
  EXPECT_EQ(pixel(30, 70, QPoint(2, 2)), QColor(0, 0, 250));
  EXPECT_NE(pixel(0, 0, QPoint(2, -2)), QColor(0, 0, 250));
  // From (30, 70) to (100, 100) the line passes (65, 85).
  bool green = false;
  for (int dy = -1; dy <= 1; ++dy) green |= pixel(65, 85, QPoint(0, dy)) == QColor(0, 250, 0);
  EXPECT_TRUE(green);
}

TEST(BoostEditor, TimingLimitsTheClicksOnItsOwnScale) {
  CurveWorld world;
  CurveModel& model = world.session.boost_editor;
  auto* editor =
      new CBoostLine(world.EditorContext(CurveKind::kBoost), &world.host);
  world.Show(editor);

  // Timing 0: no click is taken, and the default rises at once.
  world.session.image.boost_timing = 0;
  model.ResetCurve();
  ClickAt(editor, 1, 50);
  ClickAt(editor, 50, 50, Qt::RightButton);
  EXPECT_EQ(Points(model), (Curve{{0, 0}, {0, 100}, {100, 100}}));

  // Timing 64: the whole curve box, which ends left of and below the chart's edges.
  world.session.image.boost_timing = 64;
  model.ResetCurve();
  ClickAt(editor, 99, 50);
  ClickAt(editor, 40, 99);
  ClickAt(editor, 102, 50);
  ClickAt(editor, 50, 108);
  EXPECT_EQ(Points(model), (Curve{{0, 0}, {40, 99}, {99, 50}, {100, 100}}));
  const QRect chart = editor->chart()->geometry();
  EXPECT_LT(ChartPixel(*editor, 100, 100).x(), chart.right() - 5);
  EXPECT_GT(ChartPixel(*editor, 100, 100).y(), chart.top() + 10);
  EXPECT_EQ(editor->x_label(0)->text(), "0");
  EXPECT_EQ(editor->x_label(8)->text(), "64");
}

}  // namespace
}  // namespace tessel
