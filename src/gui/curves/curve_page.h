// What the Throttle, Brake and Boost pages share: a curve editor, created hidden as a child
// of the page at its top-left corner, shown while the page model says it is open and taken
// back by the page when it next paints after OK or CANCEL.
#pragma once

#include "gui/curves/curve_lines.h"
#include "gui/pages/settings_page.h"

namespace tessel {

class CCurvePage : public CSettingsPage {
  Q_OBJECT
 public:
  bool EditorOpen() const override;
  CCurveEditor* editor() const { return editor_; }
  // The page, then its editor: opens it when the model opened it.
  void Render() override;

 protected:
  CCurvePage(const PageDef& def, PageContext context, QWidget* parent);

  // Binds the page's editor.
  void SetEditor(CCurveEditor* editor);
  CurveEditorContext EditorContext(CurveKind kind);
  // The page's controls go, the editor shows and lays out.
  void OpenEditor();
  // Closed -> idle: the editor hides; the page's controls come back if a page is shown,
  // otherwise the page hides itself as well.
  void TakeBackEditor();

  void paintEvent(QPaintEvent* event) override;

 private:
  EditorState state() const;
  CCurveEditor* editor_ = nullptr;
  const EditorDef* editor_def_ = nullptr;
};

}  // namespace tessel
