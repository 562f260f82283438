// The settings page pattern, drawn once: a skinned panel with a value box per setting that
// opens its drop list when it takes focus, one open list at a time, and a help box for the
// setting being edited. What the page holds and what a choice does live in the tool's page
// model; the page draws it (Render) and passes the user's clicks in. The curve pages derive
// from it for their editors.
#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/app/tool.h"
#include "core/model/pages.h"
#include "gui/app/owner_draw_button.h"

namespace tessel {

// What every page needs from the tool around it.
struct PageContext {
  Tool& tool;
  QString skin_folder;  // where the background pictures are
  std::function<bool()> is_busy() const {
    Tool* t = &tool;
    return [t] { return t->IsBusy(); };
  }
};

// A value box: read-only, centred, transparent. A click opens its setting's list; so do Enter,
// Space, Alt+Down and F4 once Tab has brought the keyboard to it.
class ValueBox : public QLineEdit {
  Q_OBJECT
 public:
  using QLineEdit::QLineEdit;
 signals:
  // Any focus, for boxes that only show their help.
  void focused();
  // The user asked for the list: a click, or an opening key.
  void openRequested();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// Whether `event` asks a closed value box for its list.
bool IsOpenListKey(const QKeyEvent& event);
// A focus frame in the accent colour around `area`, drawn by the parent under the control.
void PaintFocusFrame(QWidget& parent, const QRect& area);

class CSettingsPage : public QWidget {
  Q_OBJECT
 public:
  CSettingsPage(const PageDef& def, PageContext context, QWidget* parent);

  int32_t page_id() const { return def_.page_id; }
  const PageDef& def() const { return def_; }

  // Draws the page model: every list's row and value text, which boxes take a click, the
  // open list and the help text.
  virtual void Render();
  void HideDropLists();
  virtual void ShowValueBoxes();
  virtual void HideAllControls();
  void ClearHelp();  // a single blank, as after a page switch
  // The page's curve editor is open (its controls stay hidden on a page switch).
  virtual bool EditorOpen() const { return false; }

  // For tests and the main window.
  int setting_count() const { return static_cast<int>(settings_.size()); }
  ValueBox* value_box(int i) const { return settings_[static_cast<size_t>(i)].value_box; }
  QListWidget* drop_list(int i) const { return settings_[static_cast<size_t>(i)].drop_list; }
  int selection(int i) const { return settings_[static_cast<size_t>(i)].drop_list->currentRow(); }
  int IndexOf(ImageField field) const;
  QTextEdit* help_box() const { return help_; }
  CCownerDrawBton* focus_sink() const { return adapter_indicator_; }
  void RedrawIndicators();
  int open_list() const;  // index of the visible drop list, or -1

 protected:
  struct Setting {
    const SettingDef* def;
    ValueBox* value_box;
    QListWidget* drop_list;
  };

  // Shows setting `index`'s list and help text; hides the others.
  void OpenSetting(int index);
  const PageState& state() const { return *context_.tool.pages().page(def_.page_id); }
  SessionStatus& status() { return context_.tool.session().status; }
  Session& session() { return context_.tool.session(); }
  Tool& tool() { return context_.tool; }
  const PageContext& context() const { return context_; }

  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::vector<Setting> settings_;
  QTextEdit* help_ = nullptr;
  CCownerDrawBton* esc_indicator_ = nullptr;
  CCownerDrawBton* adapter_indicator_ = nullptr;

 private:
  void Choose(int index, int row);
  // Closes the open list and gives the keyboard back to its value box.
  void CloseList(int index);
  int ListIndex(QObject* list) const;
  const PageDef& def_;
  PageContext context_;
  QPixmap background_;
  int shown_help_ = -2;  // the help text on show, so that a redraw keeps its scroll place
  // The selections last drawn: an open list keeps the row the keyboard moved to until the
  // model's own selection changes.
  std::vector<int32_t> shown_rows_;
};

}  // namespace tessel
