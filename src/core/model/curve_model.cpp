#include "core/model/curve_model.h"

namespace tessel {

CurveModel::CurveModel(CurveKind kind, EscSettingsImage& image) : kind_(kind), image_(image) {}

CurveData& CurveModel::curve() {
  switch (kind_) {
    case CurveKind::kThrottle:
      return image_.throttle_curve;
    case CurveKind::kBrake:
      return image_.brake_curve;
    case CurveKind::kBoost:
      break;
  }
  return image_.boost_curve;
}

const CurveData& CurveModel::curve() const {
  return const_cast<CurveModel*>(this)->curve();
}

int32_t CurveModel::HorizontalLimit() const {
  if (kind_ != CurveKind::kBoost) return 100;
  // boost_timing is 0..64 once a page refresh has clamped it, but a curve may be loaded or
  // reset straight after a read, before that refresh; keep the limit inside the chart.
  const int32_t timing = image_.boost_timing;
  if (timing <= 0) return 0;
  if (timing >= 64) return 100;
  return timing * 100 / 64;
}

void CurveModel::Changed() {
  if (on_changed) on_changed();
}

void CurveModel::Initialise() {
  CurveData& c = curve();
  c.x.fill(0);
  c.y.fill(0);
  c.table.fill(0);
  c.x[1] = 100;
  c.y[1] = 100;
  LoadCurve();
  selected = 0;
}

void CurveModel::LoadCurve() {
  CurveData& c = curve();
  uint32_t n = 0;
  while (n < 40 && !(c.x[n] == 100 && c.y[n] == 100)) ++n;
  point_count = n + 1;  // 41 when none of the first 40 entries is the end marker
  if (point_count <= 2) {
    ResetCurve();
  } else {
    for (uint32_t i = 0; i < point_count; ++i) points[i] = {c.x[i], c.y[i]};
  }
  saved_point_count = point_count;
  SampleCurve(c, point_count);
  // A curve read while the editor is open is what CANCEL must come back to.
  if (edit_start_) edit_start_ = Snapshot();
  Changed();
}

void CurveModel::ResetCurve() {
  CurveData& c = curve();
  const int32_t limit = HorizontalLimit();
  // Boost: the curve rises to the top at the timing limit, unless that limit is the chart's
  // edge (64 points), where the default is the straight line.
  if (kind_ == CurveKind::kBoost && limit < 100) {
    point_count = 3;
    points[0] = {0, 0};
    points[1] = {limit, 100};
    points[2] = {100, 100};
  } else {
    point_count = 2;
    points[0] = {0, 0};
    points[1] = {100, 100};
  }
  // Only x and y take the default at once; the table follows at the next apply or load.
  for (uint32_t i = 0; i < point_count; ++i) {
    c.x[i] = static_cast<uint8_t>(points[i].x);
    c.y[i] = static_cast<uint8_t>(points[i].y);
  }
  saved_point_count = point_count;
  Changed();
}

void CurveModel::ApplyCurve() {
  CurveData& c = curve();
  c.x.fill(0);
  c.y.fill(0);
  for (uint32_t i = 0; i < point_count && i < c.x.size(); ++i) {
    c.x[i] = static_cast<uint8_t>(points[i].x & 0xFF);
    c.y[i] = static_cast<uint8_t>(points[i].y & 0xFF);
  }
  saved_point_count = point_count;
  SampleCurve(c, point_count);
  Changed();
}

CurveModel::EditStart CurveModel::Snapshot() const {
  return EditStart{curve(), points, point_count, saved_point_count, selected};
}

void CurveModel::BeginEdit() {
  edit_start_ = Snapshot();
}

void CurveModel::CancelEdit() {
  dragging = false;
  if (edit_start_) {
    const EditStart start = *edit_start_;
    edit_start_.reset();
    curve() = start.curve;
    points = start.points;
    point_count = start.point_count;
    saved_point_count = start.saved_point_count;
    selected = start.selected;
    Changed();
    return;
  }
  const CurveData& c = curve();
  for (uint32_t i = 0; i < saved_point_count && i < c.x.size(); ++i) points[i] = {c.x[i], c.y[i]};
  point_count = saved_point_count;
  Changed();
}

}  // namespace tessel
