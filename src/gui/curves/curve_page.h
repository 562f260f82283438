// What the Throttle, Brake and Boost pages share: a curve editor, created hidden as a child
// of the page at its top-left corner, opened by the page's "Custom" option and taken back by
// the page when it next paints after OK or CANCEL.
#pragma once

#include "gui/curves/curve_lines.h"
#include "gui/pages/settings_page.h"

namespace tessel {

class CCurvePage : public CSettingsPage {
  Q_OBJECT
 public:
  bool EditorOpen() const override;
  CCurveEditor* editor() const { return editor_; }

 protected:
  CCurvePage(const PageDef& def, PageContext context, QWidget* parent);

  // Binds the page's editor, its curve-mode setting and its state value.
  void SetEditor(CCurveEditor* editor, ImageField mode_field, EditorState SessionStatus::*state);
  CurveEditorContext EditorContext(CurveModel& model, EditorState SessionStatus::*state);
  int mode_index() const { return mode_index_; }
  bool ChoseCustom(int index) const;
  // State 2 and curve_editor_open; the page's controls go, the editor shows and lays out.
  void OpenEditor();
  // The non-custom option: the mode (and its default) back to 0 and the default points.
  void DropCustomCurve();
  // State 1 -> 0: the editor hides; the page's controls come back if a page is shown,
  // otherwise the page hides itself as well.
  void TakeBackEditor();

  void paintEvent(QPaintEvent* event) override;

 private:
  CCurveEditor* editor_ = nullptr;
  int mode_index_ = -1;
  EditorState SessionStatus::*state_ = nullptr;
};

}  // namespace tessel
