// The three curve editors. Throttle and brake differ only in their chart id and bound curve
// (and the throttle readouts' letter spacing); the boost editor labels its rpm axis from the
// boost settings and keeps the chart height it was created with.
#pragma once

#include "gui/curves/curve_editor.h"

namespace tessel {

class CThrottleLine : public CCurveEditor {
  Q_OBJECT
 public:
  CThrottleLine(const CurveEditorContext& context, QWidget* parent);
};

class CBrakeLine : public CCurveEditor {
  Q_OBJECT
 public:
  CBrakeLine(const CurveEditorContext& context, QWidget* parent);
};

class CBoostLine : public CCurveEditor {
  Q_OBJECT
 public:
  CBoostLine(const CurveEditorContext& context, QWidget* parent);

  // Recomputes the rpm labels from the start and end rpm (and may correct the end rpm).
  void UpdateBoostRpmRange() { model().UpdateBoostRpmRange(); }

 protected:
  void RefreshControls() override;
  int ChartHeight() const override { return chart_height_; }

 private:
  int chart_height_ = 0;
};

}  // namespace tessel
