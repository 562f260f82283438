#include "gui/pages/boost_page.h"

#include <QEvent>

namespace tessel {

CBoost::CBoost(PageContext context, QWidget* parent)
    : CCurvePage(*FindPage(kPageBoost), std::move(context), parent) {
  line_ = new CBoostLine(EditorContext(CurveKind::kBoost), this);
  SetEditor(line_);
  help_box()->installEventFilter(this);
}

bool CBoost::eventFilter(QObject* watched, QEvent* event) {
  if (watched == help_box() && event->type() == QEvent::FocusOut) {
    tool().pages().ClearHelp(kPageBoost);
    Render();
  }
  return CSettingsPage::eventFilter(watched, event);
}

}  // namespace tessel
