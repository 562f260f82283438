// The editing rules of the curve editors (click, drag, delete, readouts, the boost rpm axis)
// and the pixel mapping of their charts.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/model/curve_chart.h"
#include "core/model/curve_model.h"
#include "core/model/page_rules.h"

namespace tessel {
namespace {

constexpr uint32_t kMaxEditPoints = 40;
constexpr uint64_t kGrabRadius2 = 2;      // always grabs
constexpr uint64_t kFullGrabRadius2 = 4;  // grabs only when no point can be added
constexpr int32_t kDeleteRadius = 4;      // on each axis

uint64_t Distance2(const CurvePoint& p, int32_t x, int32_t y) {
  const int64_t dx = static_cast<int64_t>(p.x) - x;
  const int64_t dy = static_cast<int64_t>(p.y) - y;
  return static_cast<uint64_t>(dx * dx + dy * dy);
}

// num / den rounded to nearest, halves away from zero; den > 0.
int32_t RoundDiv(int64_t num, int64_t den) {
  if (num >= 0) return static_cast<int32_t>((2 * num + den) / (2 * den));
  return -static_cast<int32_t>((-2 * num + den) / (2 * den));
}

bool IsInterior(const CurveModel& m, uint32_t index) {
  return index >= 1 && index + 1 < m.point_count;
}

// Puts the selected interior point at (x, y), walking it past neighbours so that x never
// decreases along the list; `selected` follows the point.
void PlaceSelected(CurveModel& m, int32_t x, int32_t y) {
  while (m.selected > 1 && m.points[m.selected - 1].x > x) {
    m.points[m.selected] = m.points[m.selected - 1];
    --m.selected;
  }
  while (m.selected + 2 < m.point_count && m.points[m.selected + 1].x < x) {
    m.points[m.selected] = m.points[m.selected + 1];
    ++m.selected;
  }
  m.points[m.selected] = {x, y};
}

}  // namespace

void CurveModel::LeftDown(int32_t x, int32_t y) {
  const int32_t limit = HorizontalLimit();
  if (!(x > 0 && x < limit && y > 0 && y < 100) || point_count < 2 ||
      point_count > points.size() - 1) {
    dragging = false;
    Changed();
    return;
  }

  // The first point at or right of the click (the end point when there is none).
  uint32_t k = point_count - 1;
  for (uint32_t i = 1; i < point_count; ++i) {
    if (points[i].x >= x) {
      k = i;
      break;
    }
  }

  // Nearest of k, k + 1 and k - 1: k wins every tie, k + 1 wins a tie against k - 1.
  const uint64_t d_k = Distance2(points[k], x, y);
  const uint64_t d_prev = Distance2(points[k - 1], x, y);
  uint32_t chosen;
  uint64_t best;
  const bool has_next = k + 1 < point_count;
  const uint64_t d_next = has_next ? Distance2(points[k + 1], x, y) : 0;
  if (!has_next || d_k <= d_next) {
    chosen = d_k > d_prev ? k - 1 : k;
    best = d_k > d_prev ? d_prev : d_k;
  } else {
    chosen = d_next > d_prev ? k - 1 : k + 1;
    best = d_next > d_prev ? d_prev : d_next;
  }
  selected = chosen;

  if (best <= kFullGrabRadius2 && (best <= kGrabRadius2 || point_count >= kMaxEditPoints)) {
    if (IsInterior(*this, chosen)) {
      // A grab can land a point just past its neighbour's x; the drag walk keeps the order.
      PlaceSelected(*this, x, y);
      dragging = true;
    } else {
      dragging = false;  // end points stay where they are
    }
  } else if (point_count < kMaxEditPoints) {
    for (uint32_t i = point_count; i > k; --i) points[i] = points[i - 1];
    points[k] = {x, y};
    ++point_count;
    selected = k;
    dragging = true;
  } else {
    dragging = false;
  }
  Changed();
}

void CurveModel::MouseMove(int32_t x, int32_t y) {
  if (!dragging) return;
  if (!(x >= 0 && x <= HorizontalLimit() && y >= 0 && y <= 100)) return;
  // A curve loaded with 41 points follows no drag until a point is deleted. A right click
  // during a drag can leave `selected` on an end point, which must not move.
  if (point_count <= kMaxEditPoints && IsInterior(*this, selected)) PlaceSelected(*this, x, y);
  Changed();
}

void CurveModel::LeftUp() {
  dragging = false;
  Changed();
}

void CurveModel::RightDown(int32_t x, int32_t y) {
  if (!(x > 0 && x < HorizontalLimit() && y > 0 && y < 100)) return;
  for (uint32_t i = 1; i + 1 < point_count; ++i) {
    if (std::abs(points[i].x - x) <= kDeleteRadius && std::abs(points[i].y - y) <= kDeleteRadius) {
      selected = i;
      for (uint32_t j = i; j + 1 < point_count; ++j) points[j] = points[j + 1];
      --point_count;
      break;
    }
  }
  Changed();
}

void CurveModel::SelectStep(int step) {
  if (point_count == 0) return;
  const int64_t last = static_cast<int64_t>(std::min<uint32_t>(point_count, points.size())) - 1;
  selected = static_cast<uint32_t>(std::clamp<int64_t>(static_cast<int64_t>(selected) + step, 0, last));
  Changed();
}

void CurveModel::MoveSelected(int32_t dx, int32_t dy) {
  if (!IsInterior(*this, selected)) return;
  const CurvePoint p = points[selected];
  const bool was_dragging = dragging;
  dragging = true;
  MouseMove(p.x + dx, p.y + dy);
  dragging = was_dragging;
}

bool CurveModel::AddAfterSelected() {
  if (point_count < 2 || point_count >= kMaxEditPoints) return false;
  // After the last point there is nothing to halve: the point goes before it.
  const uint32_t from = std::min(selected, point_count - 2);
  const CurvePoint a = points[from];
  const CurvePoint b = points[from + 1];
  const CurvePoint mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
  // Where a click may add a point, and never on top of a neighbour.
  if (!(mid.x > 0 && mid.x < HorizontalLimit() && mid.y > 0 && mid.y < 100)) return false;
  if (mid == a || mid == b) return false;
  const uint32_t k = from + 1;
  for (uint32_t i = point_count; i > k; --i) points[i] = points[i - 1];
  points[k] = mid;
  ++point_count;
  selected = k;
  Changed();
  return true;
}

bool CurveModel::DeleteSelected() {
  if (!IsInterior(*this, selected)) return false;
  for (uint32_t j = selected; j + 1 < point_count; ++j) points[j] = points[j + 1];
  --point_count;
  Changed();
  return true;
}

std::string CurveModel::CountReadout() const {
  // "%.2d" prints as "%0.2d" does: at least two digits, zero-padded (the 0 flag is ignored
  // when a precision is given).
  char text[33];
  std::snprintf(text, sizeof text, "total: %.2d", static_cast<int>(point_count));
  return text;
}

std::string CurveModel::PositionReadout() const {
  const CurvePoint p = selected < points.size() ? points[selected] : CurvePoint{};
  char text[33];
  std::snprintf(text, sizeof text, "x:%.2d,y:%.2d", static_cast<int>(p.x), static_cast<int>(p.y));
  return text;
}

void CurveModel::UpdateBoostRpmRange() {
  CorrectBoostEndRpm(image_);
  boost_rpm_range = BoostRpmLabels(image_);
  Changed();
}

CurveScale ScaleFor(CurveKind kind) {
  return kind == CurveKind::kBoost ? CurveScale{103, 110} : CurveScale{100, 100};
}

std::optional<CurvePoint> MouseToCurve(CurveKind kind, const ChartGeometry& chart, int32_t px,
                                       int32_t py) {
  if (chart.width <= 0 || chart.height <= 0) return std::nullopt;
  const CurveScale scale = ScaleFor(kind);
  return CurvePoint{RoundDiv((static_cast<int64_t>(px) - chart.left) * scale.across, chart.width),
                    RoundDiv((static_cast<int64_t>(chart.bottom) - py) * scale.up, chart.height)};
}

CurvePoint CurveToChart(CurveKind kind, const ChartGeometry& chart, CurvePoint point) {
  const CurveScale scale = ScaleFor(kind);
  const int64_t h = chart.height;
  return CurvePoint{RoundDiv(static_cast<int64_t>(point.x) * chart.width, scale.across),
                    RoundDiv(h * scale.up - static_cast<int64_t>(point.y) * h, scale.up)};
}

void RefreshChartPoints(const CurveModel& model, const ChartGeometry& chart,
                        std::array<CurvePoint, 100>& chart_points) {
  for (uint32_t i = 0; i < model.point_count && i < chart_points.size(); ++i) {
    chart_points[i] = CurveToChart(model.kind(), chart, model.points[i]);
  }
}

std::array<std::string, 5> BoostRpmLabelTexts(const std::array<uint32_t, 5>& range) {
  std::array<std::string, 5> texts;
  for (size_t i = 0; i < range.size(); ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%0d", static_cast<int>(range[i]));
    texts[i] = text;
  }
  return texts;
}

CurveAxisTexts AxisTextsFor(const CurveModel& model) {
  if (model.kind() == CurveKind::kBoost) {
    return {BoostRpmLabelTexts(model.boost_rpm_range), "rpm",
            {"0", "8", "16", "24", "32", "40", "48", "56", "64"}, "DEG"};
  }
  return {{"0", "25", "50", "75", "100"},
          "(%)",
          {"", "12.5", "25", "37.5", "50", "62.5", "75", "87.5", "100"},
          "(%)"};
}

std::string CurveEditHint(bool long_press) {
  return std::string("Click adds a point \u00b7 drag moves it \u00b7 right click ") +
         (long_press ? "or long press " : "") + "deletes it";
}

}  // namespace tessel
