#include "gui/curves/curve_lines.h"

namespace tessel {

namespace {

const std::array<QString, 5> kPercentUp{"0", "25", "50", "75", "100"};
const std::array<QString, 9> kPercentAcross{"",     "12.5", "25",   "37.5", "50",
                                            "62.5", "75",   "87.5", "100"};
const std::array<QString, 9> kDegreesAcross{"0", "8", "16", "24", "32", "40", "48", "56", "64"};

std::array<QString, 5> RpmTexts(const std::array<uint32_t, 5>& range) {
  const auto texts = BoostRpmLabelTexts(range);
  std::array<QString, 5> out;
  for (size_t i = 0; i < texts.size(); ++i) out[i] = QString::fromStdString(texts[i]);
  return out;
}

}  // namespace

CThrottleLine::CThrottleLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kThrottle, context, parent) {
  setObjectName("ThrottleLine");
  SetAxisTexts(kPercentUp, "(%)", kPercentAcross, "(%)");
  SetReadoutLetterSpacing(1);
  RefreshControls();
}

CBrakeLine::CBrakeLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kBrake, context, parent) {
  setObjectName("BrakeLine");
  SetAxisTexts(kPercentUp, "(%)", kPercentAcross, "(%)");
  RefreshControls();
}

CBoostLine::CBoostLine(const CurveEditorContext& context, QWidget* parent)
    : CCurveEditor(CurveEditorKind::kBoost, context, parent) {
  setObjectName("BoostLine");
  chart_height_ = chart()->height();
  SetAxisTexts(RpmTexts(model().boost_rpm_range), "rpm", kDegreesAcross, "DEG");
  RefreshControls();
}

void CBoostLine::RefreshControls() {
  CCurveEditor::RefreshControls();
  const auto texts = RpmTexts(model().boost_rpm_range);
  for (int i = 0; i < 5; ++i) y_label(i)->setText(texts[static_cast<size_t>(i)]);
}

}  // namespace tessel
