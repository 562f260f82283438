#include "core/model/curve_model.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/model/curve_chart.h"

namespace tessel {
namespace {

using Points = std::vector<CurvePoint>;

Points Working(const CurveModel& m) {
  return Points(m.points.begin(), m.points.begin() + m.point_count);
}

// Stores the points into the bound curve (zeroing the rest) and loads them.
void Load(CurveModel& m, std::initializer_list<CurvePoint> pts) {
  CurveData& c = m.curve();
  c.x.fill(0);
  c.y.fill(0);
  size_t i = 0;
  for (CurvePoint p : pts) {
    c.x[i] = static_cast<uint8_t>(p.x);
    c.y[i] = static_cast<uint8_t>(p.y);
    ++i;
  }
  m.LoadCurve();
}

// A full curve of 40 points: (0,0), then x = 2, 4, ... 76 at y 50, then (100,100).
void LoadFull(CurveModel& m) {
  CurveData& c = m.curve();
  c.x.fill(0);
  c.y.fill(0);
  for (int i = 1; i < 39; ++i) {
    c.x[i] = static_cast<uint8_t>(2 * i);
    c.y[i] = 50;
  }
  c.x[39] = 100;
  c.y[39] = 100;
  m.LoadCurve();
  ASSERT_EQ(m.point_count, 40u);
}

class ThrottleCurve : public ::testing::Test {
 protected:
  void SetUp() override { m.Initialise(); }
  EscSettingsImage image;
  CurveModel m{CurveKind::kThrottle, image};
};

TEST_F(ThrottleCurve, ClickNearAnEndPointNeitherGrabsNorAdds) {
  m.LeftDown(1, 1);  // squared distance 2 from (0, 0)
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
  EXPECT_FALSE(m.dragging);
  EXPECT_EQ(m.selected, 0u);

  m.LeftDown(2, 1);  // squared distance 5: a new point, dragged at once
  EXPECT_EQ(Working(m), (Points{{0, 0}, {2, 1}, {100, 100}}));
  EXPECT_EQ(m.selected, 1u);
  EXPECT_TRUE(m.dragging);
}

TEST_F(ThrottleCurve, GrabsWithinSquaredDistanceTwoAndAddsFromFour) {
  Load(m, {{0, 0}, {50, 50}, {100, 100}});
  m.LeftDown(51, 51);  // squared distance 2: grab and move
  EXPECT_EQ(Working(m), (Points{{0, 0}, {51, 51}, {100, 100}}));
  EXPECT_EQ(m.selected, 1u);
  EXPECT_TRUE(m.dragging);
  m.LeftUp();
  EXPECT_FALSE(m.dragging);

  m.LeftDown(53, 51);  // squared distance 4: the curve is not full, so a point is added
  EXPECT_EQ(Working(m), (Points{{0, 0}, {51, 51}, {53, 51}, {100, 100}}));
  EXPECT_EQ(m.selected, 2u);
}

TEST_F(ThrottleCurve, NewPointGoesBeforeTheFirstPointNotLeftOfTheClick) {
  Load(m, {{0, 0}, {30, 30}, {60, 60}, {100, 100}});
  m.LeftDown(30, 70);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {30, 70}, {30, 30}, {60, 60}, {100, 100}}));
  EXPECT_EQ(m.selected, 1u);
}

TEST_F(ThrottleCurve, TiesGoToKThenToKPlusOne) {
  // k is the first point at or right of the click.
  Load(m, {{0, 0}, {18, 50}, {20, 50}, {100, 100}});
  m.LeftDown(19, 50);  // k = (20,50) and k-1 = (18,50) both at 1: k wins
  EXPECT_EQ(m.selected, 2u);
  EXPECT_EQ(Working(m)[2], (CurvePoint{19, 50}));
  m.LeftUp();

  Load(m, {{0, 0}, {40, 50}, {41, 40}, {42, 50}, {100, 100}});
  m.LeftDown(41, 50);  // k = (41,40) is far; k+1 and k-1 both at 1: k+1 wins
  EXPECT_EQ(m.selected, 3u);
  EXPECT_EQ(Working(m)[3], (CurvePoint{41, 50}));
}

TEST_F(ThrottleCurve, FullCurveGrabsAtFourAndIgnoresFartherClicks) {
  LoadFull(m);
  const Points before = Working(m);
  m.LeftDown(20, 52);  // squared distance 4 from (20,50): grabbed because no point can be added
  EXPECT_EQ(m.point_count, 40u);
  EXPECT_EQ(m.selected, 10u);
  EXPECT_EQ(Working(m)[10], (CurvePoint{20, 52}));
  EXPECT_TRUE(m.dragging);

  LoadFull(m);
  m.LeftDown(30, 80);  // far from every point: nothing changes, but the readout moves
  EXPECT_EQ(Working(m), before);
  EXPECT_FALSE(m.dragging);
  EXPECT_EQ(m.selected, 15u);  // (30,50) is k
  EXPECT_EQ(m.PositionReadout(), "x:30,y:50");
}

TEST_F(ThrottleCurve, DragReordersAndSelectionFollowsThePoint) {
  Load(m, {{0, 0}, {30, 30}, {60, 60}, {80, 80}, {100, 100}});
  m.LeftDown(30, 30);
  m.MouseMove(70, 20);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {60, 60}, {70, 20}, {80, 80}, {100, 100}}));
  EXPECT_EQ(m.selected, 2u);
  EXPECT_EQ(m.PositionReadout(), "x:70,y:20");
  m.MouseMove(5, 100);  // back past both neighbours, to the top edge
  EXPECT_EQ(Working(m), (Points{{0, 0}, {5, 100}, {60, 60}, {80, 80}, {100, 100}}));
  EXPECT_EQ(m.selected, 1u);
  // The edges are reachable by a drag; beyond them the move is ignored.
  m.MouseMove(100, 0);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {60, 60}, {80, 80}, {100, 0}, {100, 100}}));
  EXPECT_EQ(m.selected, 3u);
  m.MouseMove(101, 50);
  m.MouseMove(50, -1);
  EXPECT_EQ(Working(m)[3], (CurvePoint{100, 0}));
  // Without a grab nothing follows the mouse.
  m.LeftUp();
  m.MouseMove(40, 40);
  EXPECT_EQ(Working(m)[3], (CurvePoint{100, 0}));
}

TEST_F(ThrottleCurve, ClicksOnTheBoundsAreIgnored) {
  // Each click would grab, add or remove a point if it were accepted.
  Load(m, {{0, 0}, {2, 50}, {50, 98}, {100, 100}});
  const Points before = Working(m);
  m.LeftDown(0, 50);
  m.LeftDown(50, 100);
  m.LeftDown(100, 60);
  m.LeftDown(50, 0);
  m.RightDown(0, 50);
  m.RightDown(50, 100);
  EXPECT_EQ(Working(m), before);
  EXPECT_FALSE(m.dragging);
}

TEST_F(ThrottleCurve, GrabKeepsTheXOrder) {
  // The click at (10,50) grabs (11,50) at squared distance 1, which would put it left of (11,0).
  Load(m, {{0, 0}, {11, 0}, {11, 50}, {100, 100}});
  m.LeftDown(10, 50);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {10, 50}, {11, 0}, {100, 100}}));
  EXPECT_EQ(m.selected, 1u);
}

TEST_F(ThrottleCurve, RightClickRemovesTheFirstInteriorPointWithinFour) {
  Load(m, {{0, 0}, {3, 3}, {40, 40}, {43, 43}, {100, 100}});
  m.RightDown(42, 42);  // within 4 of (40,40) and (43,43): the lower index goes
  EXPECT_EQ(Working(m), (Points{{0, 0}, {3, 3}, {43, 43}, {100, 100}}));
  EXPECT_EQ(m.selected, 2u);
  m.RightDown(48, 42);  // 5 units across: nothing
  EXPECT_EQ(m.point_count, 4u);
  m.RightDown(1, 1);  // near the end point (0,0) and (3,3): only the interior one goes
  m.RightDown(1, 1);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {43, 43}, {100, 100}}));
  m.RightDown(43, 43);
  m.RightDown(99, 99);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
}

TEST_F(ThrottleCurve, EndPointNeverFollowsADragAfterARightClick) {
  Load(m, {{0, 0}, {90, 90}, {100, 100}});
  m.LeftDown(90, 90);
  ASSERT_TRUE(m.dragging);
  m.RightDown(90, 90);  // deletes the dragged point; `selected` now names the end point
  EXPECT_EQ(m.selected, 1u);
  m.MouseMove(50, 20);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
}

TEST_F(ThrottleCurve, ResetThenCancelGivesBackTheCurveTheEditorOpenedWith) {
  Load(m, {{0, 0}, {30, 60}, {100, 100}});
  const CurveData read_from_esc = m.curve();
  m.BeginEdit();
  m.LeftDown(50, 20);
  m.ResetCurve();  // writes the default points into the curve at once
  ASSERT_EQ(m.curve().x[1], 100);
  m.CancelEdit();
  EXPECT_EQ(Working(m), (Points{{0, 0}, {30, 60}, {100, 100}}));
  EXPECT_EQ(m.curve().x, read_from_esc.x);
  EXPECT_EQ(m.curve().y, read_from_esc.y);
  EXPECT_EQ(m.curve().table, read_from_esc.table);
  EXPECT_FALSE(m.editing());

  // CANCEL without RESET goes back to the points the editor opened with, too.
  m.BeginEdit();
  m.LeftDown(70, 20);
  m.CancelEdit();
  EXPECT_EQ(Working(m), (Points{{0, 0}, {30, 60}, {100, 100}}));

  // OK keeps the edit; a later CANCEL of a new edit returns to what OK stored.
  m.BeginEdit();
  m.LeftDown(70, 20);
  m.ApplyCurve();
  m.EndEdit();
  m.BeginEdit();
  m.ResetCurve();
  m.CancelEdit();
  EXPECT_EQ(Working(m), (Points{{0, 0}, {30, 60}, {70, 20}, {100, 100}}));
}

TEST_F(ThrottleCurve, ACurveReadWhileTheEditorIsOpenIsWhatCancelReturnsTo) {
  Load(m, {{0, 0}, {30, 60}, {100, 100}});
  m.BeginEdit();
  m.ResetCurve();
  Load(m, {{0, 0}, {10, 80}, {100, 100}});  // the ESC was read again meanwhile
  m.LeftDown(60, 20);
  m.CancelEdit();
  EXPECT_EQ(Working(m), (Points{{0, 0}, {10, 80}, {100, 100}}));
}

TEST_F(ThrottleCurve, ApplyWritesPointsAndTableAndZeroesTheTail) {
  Load(m, {{0, 0}, {20, 10}, {40, 60}, {60, 70}, {100, 100}});
  m.RightDown(40, 60);
  m.ApplyCurve();
  const CurveData& c = m.curve();
  EXPECT_EQ(c.x[1], 20);
  EXPECT_EQ(c.y[2], 70);
  EXPECT_EQ(c.x[3], 100);
  EXPECT_EQ(c.y[3], 100);
  for (int i = 4; i < 100; ++i) {
    EXPECT_EQ(c.x[i], 0) << i;
    EXPECT_EQ(c.y[i], 0) << i;
  }
  EXPECT_EQ(m.saved_point_count, 4u);
  EXPECT_EQ(c.table[3], 5);  // x = 10 lies halfway to (20,10)
  EXPECT_EQ(c.table[39], 100);
}

TEST_F(ThrottleCurve, LoadCurveFindsTheEndMarker) {
  Load(m, {{0, 0}, {30, 60}, {100, 100}});
  EXPECT_EQ(Working(m), (Points{{0, 0}, {30, 60}, {100, 100}}));
  EXPECT_EQ(m.saved_point_count, 3u);

  Load(m, {{0, 0}, {100, 100}, {50, 50}});
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));

  // No (100,100) among the first 40 entries: 41 points, the last from entry 40.
  CurveData& c = m.curve();
  for (int i = 0; i < 100; ++i) {
    c.x[i] = static_cast<uint8_t>(i < 41 ? 2 * i : 0);
    c.y[i] = 10;
  }
  m.LoadCurve();
  EXPECT_EQ(m.point_count, 41u);
  EXPECT_EQ(Working(m)[40], (CurvePoint{80, 10}));
}

TEST_F(ThrottleCurve, CurveOf41PointsTakesNoPointsAndFollowsNoDrag) {
  CurveData& c = m.curve();
  for (int i = 0; i < 41; ++i) {
    c.x[i] = static_cast<uint8_t>(2 * i);
    c.y[i] = 10;
  }
  m.LoadCurve();
  ASSERT_EQ(m.point_count, 41u);
  m.LeftDown(20, 60);  // far: nothing added
  EXPECT_EQ(m.point_count, 41u);
  EXPECT_FALSE(m.dragging);
  m.LeftDown(20, 12);  // squared distance 4 from (20,10): set to the click
  EXPECT_EQ(Working(m)[10], (CurvePoint{20, 12}));
  m.MouseMove(21, 30);
  EXPECT_EQ(Working(m)[10], (CurvePoint{20, 12}));
  m.RightDown(30, 10);  // one point less: drags work again
  m.LeftDown(20, 12);
  m.MouseMove(21, 30);
  EXPECT_EQ(Working(m)[10], (CurvePoint{21, 30}));
}

TEST_F(ThrottleCurve, ReadoutsPrintAtLeastTwoDigits) {
  Load(m, {{0, 0}, {7, 30}, {20, 40}, {30, 50}, {100, 100}});
  EXPECT_EQ(m.CountReadout(), "total: 05");
  m.selected = 4;
  EXPECT_EQ(m.PositionReadout(), "x:100,y:100");
  m.selected = 1;
  EXPECT_EQ(m.PositionReadout(), "x:07,y:30");
}

// The keyboard's worked example: choose, move, add, delete, all under the mouse's rules.
TEST_F(ThrottleCurve, KeysChooseMoveAddAndDeleteUnderTheMouseRules) {
  Load(m, {{0, 0}, {30, 60}, {40, 70}, {100, 100}});
  m.selected = 0;
  m.MoveSelected(1, 1);  // an end point stays where it is
  EXPECT_EQ(Working(m)[0], (CurvePoint{0, 0}));
  EXPECT_FALSE(m.DeleteSelected());
  m.SelectStep(-1);  // no point before the first
  EXPECT_EQ(m.selected, 0u);
  m.SelectStep(1);
  m.MoveSelected(0, -1);
  EXPECT_EQ(Working(m)[1], (CurvePoint{30, 59}));
  EXPECT_EQ(m.PositionReadout(), "x:30,y:59");
  EXPECT_FALSE(m.dragging);

  // Moved right past its neighbour, the point walks along the list as a drag walks it.
  for (int i = 0; i < 11; ++i) m.MoveSelected(1, 0);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {40, 70}, {41, 59}, {100, 100}}));
  EXPECT_EQ(m.selected, 2u);

  // Added halfway to the next point, and chosen; after the last point it goes before it.
  EXPECT_TRUE(m.AddAfterSelected());
  EXPECT_EQ(Working(m), (Points{{0, 0}, {40, 70}, {41, 59}, {70, 79}, {100, 100}}));
  EXPECT_EQ(m.selected, 3u);
  m.SelectStep(5);
  EXPECT_EQ(m.selected, 4u);
  EXPECT_TRUE(m.AddAfterSelected());
  EXPECT_EQ(Working(m)[4], (CurvePoint{85, 89}));

  // Between two points one unit apart there is no room; a point on the top edge is beyond a
  // click's reach, and the drag bounds hold the chosen point in the chart.
  Load(m, {{0, 0}, {40, 70}, {41, 70}, {100, 100}});
  m.selected = 1;
  EXPECT_FALSE(m.AddAfterSelected());
  Load(m, {{0, 0}, {50, 100}, {100, 100}});
  m.selected = 1;
  EXPECT_FALSE(m.AddAfterSelected());
  m.MoveSelected(0, 1);
  EXPECT_EQ(Working(m)[1], (CurvePoint{50, 100}));

  EXPECT_TRUE(m.DeleteSelected());
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
  EXPECT_FALSE(m.DeleteSelected());  // two points always remain

  LoadFull(m);
  m.selected = 5;
  EXPECT_FALSE(m.AddAfterSelected());  // 40 points take no more
  EXPECT_EQ(m.point_count, 40u);
}

TEST(BoostCurve, TimingLimitsClicksDragsAndTheDefault) {
  EscSettingsImage image;
  CurveModel m(CurveKind::kBoost, image);
  image.boost_timing = 0;
  m.Initialise();
  EXPECT_EQ(m.HorizontalLimit(), 0);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {0, 100}, {100, 100}}));
  m.LeftDown(1, 50);
  m.RightDown(1, 99);
  EXPECT_EQ(m.point_count, 3u);
  EXPECT_FALSE(m.dragging);

  image.boost_timing = 64;
  m.ResetCurve();
  EXPECT_EQ(m.HorizontalLimit(), 100);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
  m.LeftDown(99, 50);
  EXPECT_EQ(m.point_count, 3u);

  image.boost_timing = 32;  // L = 50
  m.ResetCurve();
  EXPECT_EQ(Working(m), (Points{{0, 0}, {50, 100}, {100, 100}}));
  m.LeftDown(50, 20);  // x = L is outside for a click
  EXPECT_EQ(m.point_count, 3u);
  m.LeftDown(49, 20);
  ASSERT_EQ(m.point_count, 4u);
  m.MouseMove(51, 20);  // beyond L for a drag
  EXPECT_EQ(Working(m)[1], (CurvePoint{49, 20}));
  m.MouseMove(50, 30);  // x = L is allowed for a drag
  EXPECT_EQ(Working(m)[1], (CurvePoint{50, 30}));

  // A stored boost curve of two points loads the timing's default.
  image.boost_timing = 16;
  Load(m, {{0, 0}, {100, 100}});
  EXPECT_EQ(Working(m), (Points{{0, 0}, {25, 100}, {100, 100}}));
  EXPECT_EQ(m.curve().x[1], 25);

  // The keyboard keeps to the timing's limit too: no point added beyond it, none moved past it.
  Load(m, {{0, 0}, {10, 20}, {20, 30}, {100, 100}});
  m.selected = 2;
  EXPECT_FALSE(m.AddAfterSelected());  // halfway to the end point is x 60, beyond L 25
  for (int i = 0; i < 10; ++i) m.MoveSelected(1, 0);
  EXPECT_EQ(Working(m)[2], (CurvePoint{25, 30}));
}

TEST(BoostCurve, TimingOutsideItsListKeepsTheDefaultInsideTheChart) {
  EscSettingsImage image;
  CurveModel m(CurveKind::kBoost, image);
  image.boost_timing = 200;  // straight from a foreign ESC, before any page refresh
  m.Initialise();
  EXPECT_EQ(m.HorizontalLimit(), 100);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {100, 100}}));
  image.boost_timing = -5;
  m.ResetCurve();
  EXPECT_EQ(m.HorizontalLimit(), 0);
  EXPECT_EQ(Working(m), (Points{{0, 0}, {0, 100}, {100, 100}}));
  EXPECT_EQ(m.curve().x[1], 0);
}

TEST(BoostCurve, UpdateBoostRpmRangeLabelsAndCorrectsTheEnd) {
  EscSettingsImage image;
  CurveModel m(CurveKind::kBoost, image);
  EXPECT_EQ(m.boost_rpm_range, (std::array<uint32_t, 5>{2000, 4500, 7000, 9500, 12000}));

  image.boost_start_rpm = 0;
  image.boost_end_rpm = 18;
  m.UpdateBoostRpmRange();
  EXPECT_EQ(m.boost_rpm_range, (std::array<uint32_t, 5>{1000, 3750, 6500, 9250, 12000}));
  EXPECT_EQ(image.boost_end_rpm, 18);

  image.boost_start_rpm = 22;  // 12000 rpm
  image.boost_end_rpm = 10;    // 8000 rpm
  m.UpdateBoostRpmRange();
  EXPECT_EQ(image.boost_end_rpm, 20);  // 13000 rpm
  EXPECT_EQ(m.boost_rpm_range, (std::array<uint32_t, 5>{12000, 12250, 12500, 12750, 13000}));
  EXPECT_EQ(BoostRpmLabelTexts(m.boost_rpm_range)[4], "13000");

  // Equal start and end (15000 rpm) is corrected too; the last start still fits the end list.
  image.boost_start_rpm = 28;
  image.boost_end_rpm = 24;
  m.UpdateBoostRpmRange();
  EXPECT_EQ(image.boost_end_rpm, 26);
  image.boost_start_rpm = 68;
  image.boost_end_rpm = 0;
  m.UpdateBoostRpmRange();
  EXPECT_EQ(image.boost_end_rpm, 66);
}

TEST(CurveChart, MapsBothWaysWithHalvesAwayFromZero) {
  const ChartGeometry chart{258, 290, 200, 240};
  EXPECT_EQ(MouseToCurve(CurveKind::kThrottle, chart, 258, 290), (CurvePoint{0, 0}));
  EXPECT_EQ(MouseToCurve(CurveKind::kThrottle, chart, 458, 50), (CurvePoint{100, 100}));
  EXPECT_EQ(MouseToCurve(CurveKind::kThrottle, chart, 259, 290), (CurvePoint{1, 0}));  // 0.5
  EXPECT_EQ(MouseToCurve(CurveKind::kThrottle, chart, 257, 291), (CurvePoint{-1, 0}));
  EXPECT_EQ(MouseToCurve(CurveKind::kThrottle, chart, 358, 170), (CurvePoint{50, 50}));
  EXPECT_EQ(CurveToChart(CurveKind::kThrottle, chart, {0, 0}), (CurvePoint{0, 240}));
  EXPECT_EQ(CurveToChart(CurveKind::kThrottle, chart, {100, 100}), (CurvePoint{200, 0}));
  EXPECT_EQ(CurveToChart(CurveKind::kBrake, chart, {1, 1}), (CurvePoint{2, 238}));  // 2.4 up

  const ChartGeometry boost{258, 290, 309, 220};
  EXPECT_EQ(MouseToCurve(CurveKind::kBoost, boost, 258 + 309, 70), (CurvePoint{103, 110}));
  EXPECT_EQ(CurveToChart(CurveKind::kBoost, boost, {100, 100}), (CurvePoint{300, 20}));
  EXPECT_EQ(CurveToChart(CurveKind::kBoost, boost, {0, 0}), (CurvePoint{0, 220}));

  EXPECT_FALSE(
      MouseToCurve(CurveKind::kThrottle, ChartGeometry{258, 290, 0, 240}, 300, 200).has_value());
}

TEST(CurveChart, RefreshChartPointsCoversTheWorkingPoints) {
  EscSettingsImage image;
  CurveModel m(CurveKind::kThrottle, image);
  m.Initialise();
  m.LeftDown(50, 25);
  std::array<CurvePoint, 100> chart_points{};
  chart_points[3] = {7, 7};
  RefreshChartPoints(m, ChartGeometry{258, 290, 400, 200}, chart_points);
  EXPECT_EQ(chart_points[0], (CurvePoint{0, 200}));
  EXPECT_EQ(chart_points[1], (CurvePoint{200, 150}));
  EXPECT_EQ(chart_points[2], (CurvePoint{400, 0}));
  EXPECT_EQ(chart_points[3], (CurvePoint{7, 7}));
}

}  // namespace
}  // namespace tessel
