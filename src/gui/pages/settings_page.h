// The settings page pattern, implemented once: a skinned panel with a value box per setting
// that opens its drop list when it takes focus, one open list at a time, a help box for the
// setting being edited, and the operations the main window calls (refresh from the image with
// clamping, collect the selections into the image, reset to defaults). Pages with something
// of their own (the profile presets, the curve editors) derive from it.
#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/engine/session.h"
#include "core/model/pages.h"
#include "gui/app/owner_draw_button.h"

namespace tessel {

// What every page needs from the tool around it.
struct PageContext {
  Session& session;
  std::function<bool()> is_busy;
  QString skin_folder;  // where the background pictures are
};

// A value box: read-only, centred, transparent; taking focus opens its setting's list.
class ValueBox : public QLineEdit {
  Q_OBJECT
 public:
  using QLineEdit::QLineEdit;
 signals:
  void focused();

 protected:
  void focusInEvent(QFocusEvent* event) override;
};

class CSettingsPage : public QWidget {
  Q_OBJECT
 public:
  CSettingsPage(const PageDef& def, PageContext context, QWidget* parent);

  int32_t page_id() const { return def_.page_id; }
  const PageDef& def() const { return def_; }

  // The operations of the hosting contract.
  virtual void RefreshFromImage();
  virtual void CollectSelections();
  virtual void ResetToDefaults();
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
    int32_t default_index;
  };

  // After the user chose an option of setting `index` (its value text already shows it and
  // its list is closed). Pages say what follows; by default nothing until the next collect.
  virtual void OnChosen(int index);
  // Which value boxes take focus, after a collect.
  virtual void ApplyEnablingRules();
  // Shows setting `index`'s list and help text; hides the others.
  void OpenSetting(int index);
  void Select(int index, int32_t option);
  void TransferTexts();
  void SetDefaultIndex(int index, int32_t value) {
    settings_[static_cast<size_t>(index)].default_index = value;
  }
  EscSettingsImage& image() { return context_.session.image; }
  SessionStatus& status() { return context_.session.status; }
  Session& session() { return context_.session; }
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
  const PageDef& def_;
  PageContext context_;
  QPixmap background_;
  std::vector<bool> enabled_;
};

}  // namespace tessel
