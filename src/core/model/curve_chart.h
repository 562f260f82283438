// Pixel mapping of a curve editor's chart. The editor windows pass mouse positions in window
// pixels and get curve units back, and lay out the chart from the curve units. Throttle and
// brake charts show 100 x 100 curve units; the boost chart shows 103 x 110 so that the curve
// box leaves a margin above and to the right.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/model/curve_model.h"

namespace tessel {

struct ChartGeometry {
  // The chart's lower-left corner in the editor window's client pixels (258, 290 in the
  // designed layout).
  int32_t left = 258;
  int32_t bottom = 290;
  // The chart's client size. The height is also the chart row of curve y = 0 (240 in the
  // designed layout); the boost editor takes it once when it is initialised.
  int32_t width = 0;
  int32_t height = 240;
};

struct CurveScale {
  int32_t across;  // curve units across the chart's width
  int32_t up;      // curve units up the chart's height
};

CurveScale ScaleFor(CurveKind kind);

// Both mappings round to the nearest integer, exact halves away from zero.
// Mouse position (window pixels) to curve units; nothing while the chart has no size.
std::optional<CurvePoint> MouseToCurve(CurveKind kind, const ChartGeometry& chart, int32_t px,
                                       int32_t py);
// Curve units to chart pixels (origin at the chart's top-left corner).
CurvePoint CurveToChart(CurveKind kind, const ChartGeometry& chart, CurvePoint point);

// RefreshChartPoints: chart_points[i] for every working point i < point_count.
void RefreshChartPoints(const CurveModel& model, const ChartGeometry& chart,
                        std::array<CurvePoint, 100>& chart_points);

// The boost editor's vertical axis labels ("%0d"), bottom to top.
std::array<std::string, 5> BoostRpmLabelTexts(const std::array<uint32_t, 5>& range);

// The labels around an editor's chart: five up its left side, bottom to top, on the grid's
// major rows; nine along the bottom, left to right, on its major columns (the first is empty
// where the vertical axis already says 0); each axis with its unit.
struct CurveAxisTexts {
  std::array<std::string, 5> up;
  std::string up_unit;
  std::array<std::string, 9> across;
  std::string across_unit;
};
CurveAxisTexts AxisTextsFor(const CurveModel& model);

// The editor's one-line hint. `long_press` where a long press stands for the right button (a
// touch screen).
std::string CurveEditHint(bool long_press);
// The same for the keyboard.
inline constexpr const char* kCurveKeysHint =
    "Arrows choose a point \u00b7 Shift+arrows move it \u00b7 Insert or + adds one \u00b7 Delete "
    "removes it";

}  // namespace tessel
