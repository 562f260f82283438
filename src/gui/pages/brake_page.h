// The Brake page: initial, drag and overall brake, two brake rates with their switch point,
// and the brake curve, linear or drawn in the brake curve editor.
#pragma once

#include "gui/curves/curve_page.h"

namespace tessel {

class CBrake : public CCurvePage {
  Q_OBJECT
 public:
  CBrake(PageContext context, QWidget* parent);
  CBrakeLine* brake_line() const { return line_; }

 private:
  CBrakeLine* line_ = nullptr;
};

}  // namespace tessel
