// The Boost page: boost timing over an rpm range, stability assist and the slope, linear or
// drawn in the boost curve editor (the page model keeps the end rpm above the start rpm,
// disables the dependent settings while the timing is 0, and brings back a new timing's
// default boost curve).
#pragma once

#include "gui/curves/curve_page.h"

namespace tessel {

class CBoost : public CCurvePage {
  Q_OBJECT
 public:
  CBoost(PageContext context, QWidget* parent);
  CBoostLine* boost_line() const { return line_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CBoostLine* line_ = nullptr;
};

}  // namespace tessel
