#include "gui/pages/throttle_page.h"

namespace tessel {

CThrottle::CThrottle(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageThrottle), std::move(context), parent) {
  line_ = new CThrottleLine(EditorContext(CurveKind::kThrottle), this);
  SetEditor(line_);
}

}  // namespace tessel
