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

}  // namespace tessel
