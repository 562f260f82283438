#include "gui/curves/curve_page.h"

#include <QPaintEvent>

namespace tessel {

CCurvePage::CCurvePage(const PageDef& def, PageContext context, QWidget* parent)
    : CSettingsPage(def, std::move(context), parent), editor_def_(EditorOfPage(def.page_id)) {}

CurveEditorContext CCurvePage::EditorContext(CurveKind kind) {
  return CurveEditorContext{tool(), kind, context().is_busy(), context().skin_folder};
}

void CCurvePage::SetEditor(CCurveEditor* editor) {
  editor_ = editor;
  editor_->move(0, 0);
  editor_->hide();
}

EditorState CCurvePage::state() const {
  return context().tool.session().status.*(editor_def_->state);
}

bool CCurvePage::EditorOpen() const {
  return state() == EditorState::kOpen;
}

void CCurvePage::Render() {
  CSettingsPage::Render();
  if (editor_ == nullptr) return;
  if (state() == EditorState::kOpen && !editor_->isVisible()) OpenEditor();
  // Showing and hiding widgets does not belong inside a paint event: a closed editor is
  // taken back straight after the next one.
  if (state() == EditorState::kClosed) update();
}

void CCurvePage::OpenEditor() {
  HideAllControls();
  editor_->show();
  editor_->raise();
  editor_->RefreshChartPoints();
  editor_->setFocus(Qt::OtherFocusReason);
}

void CCurvePage::TakeBackEditor() {
  if (state() != EditorState::kClosed) return;
  tool().TakeBackEditor(editor_def_->kind);
  editor_->hide();
  if (status().page_shown) {
    ShowValueBoxes();
    // The keyboard goes back to the curve's value box, where it was when the editor opened.
    const int mode = IndexOf(editor_def_->mode_field);
    QWidget* back = mode >= 0 ? static_cast<QWidget*>(value_box(mode)) : focus_sink();
    if (!back->isEnabled()) back = focus_sink();
    back->setFocus(Qt::OtherFocusReason);
  } else {
    hide();
  }
}

void CCurvePage::paintEvent(QPaintEvent* event) {
  CSettingsPage::paintEvent(event);
  if (state() == EditorState::kClosed) {
    QMetaObject::invokeMethod(
        this, [this] { TakeBackEditor(); }, Qt::QueuedConnection);
  }
}

}  // namespace tessel
