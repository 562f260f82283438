#include "gui/pages/brake_page.h"

namespace tessel {

CBrake::CBrake(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageBrake), std::move(context), parent) {
  line_ = new CBrakeLine(EditorContext(session().brake_editor, &SessionStatus::brake_editor_state),
                         this);
  SetEditor(line_, &EscSettingsImage::brake_curve_mode, &SessionStatus::brake_editor_state);
}

void CBrake::OnChosen(int index) {
  CollectSelections();
  if (index != mode_index()) return;
  if (ChoseCustom(index)) {
    OpenEditor();
  } else {
    DropCustomCurve();
  }
  TransferTexts();
}

}  // namespace tessel
