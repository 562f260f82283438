#include "gui/curves/curve_page.h"

#include <QPaintEvent>

namespace tessel {

CCurvePage::CCurvePage(const PageDef& def, PageContext context, QWidget* parent)
    : CSettingsPage(def, std::move(context), parent) {}

CurveEditorContext CCurvePage::EditorContext(CurveModel& model, EditorState SessionStatus::*state) {
  return CurveEditorContext{model, status(), state, context().is_busy, context().skin_folder};
}

void CCurvePage::SetEditor(CCurveEditor* editor, ImageField mode_field,
                           EditorState SessionStatus::*state) {
  editor_ = editor;
  mode_index_ = IndexOf(mode_field);
  state_ = state;
  editor_->move(0, 0);
  editor_->hide();
}

bool CCurvePage::EditorOpen() const {
  return context().session.status.*state_ == EditorState::kOpen;
}

bool CCurvePage::ChoseCustom(int index) const {
  if (index != mode_index_) return false;
  const int row = selection(index);
  const auto& options = settings_[static_cast<size_t>(index)].def->options;
  return row >= 0 && static_cast<size_t>(row) < options.size() &&
         options[static_cast<size_t>(row)] == "Custom";
}

void CCurvePage::OpenEditor() {
  editor_->BeginEdit();
  status().*state_ = EditorState::kOpen;
  status().curve_editor_open = true;
  HideAllControls();
  editor_->show();
  editor_->raise();
  editor_->RefreshChartPoints();
  editor_->setFocus(Qt::OtherFocusReason);
}

void CCurvePage::DropCustomCurve() {
  image().*(settings_[static_cast<size_t>(mode_index_)].def->field) = 0;
  SetDefaultIndex(mode_index_, 0);
  editor_->ResetCurve();
  RefreshFromImage();
}

void CCurvePage::TakeBackEditor() {
  if (status().*state_ != EditorState::kClosed) return;
  status().*state_ = EditorState::kIdle;
  editor_->hide();
  if (status().page_shown) {
    ShowValueBoxes();
    focus_sink()->setFocus(Qt::OtherFocusReason);
  } else {
    hide();
  }
}

void CCurvePage::paintEvent(QPaintEvent* event) {
  CSettingsPage::paintEvent(event);
  // Showing and hiding widgets does not belong inside a paint event: take the editor back
  // straight after it.
  if (status().*state_ == EditorState::kClosed) {
    QMetaObject::invokeMethod(
        this, [this] { TakeBackEditor(); }, Qt::QueuedConnection);
  }
}

}  // namespace tessel
