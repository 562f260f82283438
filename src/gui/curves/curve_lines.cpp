#include "gui/curves/curve_lines.h"

namespace tessel {

namespace {

// The core's texts for this editor's axes.
template <size_t N>
std::array<QString, N> Q(const std::array<std::string, N>& texts) {
  std::array<QString, N> out;
  for (size_t i = 0; i < N; ++i) out[i] = QString::fromStdString(texts[i]);
  return out;
}

}  // namespace

CThrottleLine::CThrottleLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kThrottle, context, parent) {
  setObjectName("ThrottleLine");
  const CurveAxisTexts axes = AxisTextsFor(model());
  SetAxisTexts(Q(axes.up), QString::fromStdString(axes.up_unit), Q(axes.across),
               QString::fromStdString(axes.across_unit));
  SetReadoutLetterSpacing(1);
  RefreshControls();
}

CBrakeLine::CBrakeLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kBrake, context, parent) {
  setObjectName("BrakeLine");
  const CurveAxisTexts axes = AxisTextsFor(model());
  SetAxisTexts(Q(axes.up), QString::fromStdString(axes.up_unit), Q(axes.across),
               QString::fromStdString(axes.across_unit));
  RefreshControls();
}

CBoostLine::CBoostLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kBoost, context, parent) {
  setObjectName("BoostLine");
  chart_height_ = chart()->height();
  const CurveAxisTexts axes = AxisTextsFor(model());
  SetAxisTexts(Q(axes.up), QString::fromStdString(axes.up_unit), Q(axes.across),
               QString::fromStdString(axes.across_unit));
  RefreshControls();
}

void CBoostLine::RefreshControls() {
  CCurveEditor::RefreshControls();
  const auto texts = Q(AxisTextsFor(model()).up);
  for (int i = 0; i < 5; ++i) y_label(i)->setText(texts[static_cast<size_t>(i)]);
}

}  // namespace tessel
