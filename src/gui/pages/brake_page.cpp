#include "gui/pages/brake_page.h"

namespace tessel {

CBrake::CBrake(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageBrake), std::move(context), parent) {
  line_ = new CBrakeLine(EditorContext(CurveKind::kBrake), this);
  SetEditor(line_);
}

}  // namespace tessel
