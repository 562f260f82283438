#include "gui/pages/boost_page.h"

#include <QEvent>

namespace tessel {

CBoost::CBoost(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageBoost), std::move(context), parent) {
  line_ = new CBoostLine(EditorContext(session().boost_editor, &SessionStatus::boost_editor_state),
                         this);
  SetEditor(line_, &EscSettingsImage::boost_slope, &SessionStatus::boost_editor_state);
  // A new boost timing, chosen or refreshed, leaves the help of another setting behind.
  const int timing = IndexOf(&EscSettingsImage::boost_timing);
  connect(value_box(timing), &QLineEdit::textChanged, this, [this] { ClearHelp(); });
  help_box()->installEventFilter(this);
  // With the factory timing of 0 the dependent settings start disabled.
  CollectSelections();
}

bool CBoost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == help_box() && event->type() == QEvent::FocusOut) ClearHelp();
  return CSettingsPage::eventFilter(watched, event);
}

void CBoost::OnChosen(int index) {
  const int timing = IndexOf(&EscSettingsImage::boost_timing);
  const int start = IndexOf(&EscSettingsImage::boost_start_rpm);
  const int end = IndexOf(&EscSettingsImage::boost_end_rpm);
  CollectSelections();
  if (index == timing) {
    image().boost_timing = selection(timing);
    CollectSelections();
    // The drawn curve belongs to the old timing.
    line_->ResetCurve();
    RefreshFromImage();
  } else if (index == start || index == end) {
    // The start rpm wins: a corrected end rpm shows at once.
    line_->UpdateBoostRpmRange();
    RefreshFromImage();
  } else if (index == mode_index()) {
    if (ChoseCustom(index)) {
      line_->UpdateBoostRpmRange();
      RefreshFromImage();
      OpenEditor();
    } else {
      DropCustomCurve();
    }
    TransferTexts();
  } else {
    RefreshFromImage();
  }
}

}  // namespace tessel
