// The Throttle page: punch rates with their switch point, reverse power, and the throttle
// curve, linear or drawn in the throttle curve editor.
#pragma once

#include "gui/curves/curve_page.h"

namespace tessel {

class CThrottle : public CCurvePage {
  Q_OBJECT
 public:
  CThrottle(PageContext context, QWidget* parent);
  CThrottleLine* throttle_line() const { return line_; }

 private:
  CThrottleLine* line_ = nullptr;
};

}  // namespace tessel
