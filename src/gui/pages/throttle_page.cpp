#include "gui/pages/throttle_page.h"

namespace tessel {

CThrottle::CThrottle(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageThrottle), std::move(context), parent) {
  line_ = new CThrottleLine(
      EditorContext(session().throttle_editor, &SessionStatus::throttle_editor_state), this);
  SetEditor(line_, &EscSettingsImage::throttle_curve_mode, &SessionStatus::throttle_editor_state);
}

void CThrottle::OnChosen(int index) {
  // Every choice reaches the image at once.
  CollectSelections();
  if (index != mode_index()) return;
  if (ChoseCustom(index)) {
    HideDropLists();
    OpenEditor();
  } else {
    DropCustomCurve();
  }
  TransferTexts();
}

}  // namespace tessel
