// Where the keyboard was before a dialog, a file chooser or the progress window came up, so
// that it goes back there once they have gone. The widget may be greyed while a transfer runs
// (Qt then moves the keyboard on); it gets the keyboard back as soon as it can take it again.
#pragma once

#include <QPointer>
#include <QWidget>

namespace tessel {

class FocusReturn {
 public:
  // Keeps the widget that has the keyboard now, unless one is kept already.
  void Keep() { Keep(CurrentFocus()); }
  void Keep(QWidget* widget);
  // Gives the keyboard back if the kept widget can take it now. True when nothing is left
  // to give back.
  bool GiveBack();
  // The user moved on; nothing goes back.
  void Forget() { widget_.clear(); }
  QWidget* kept() const { return widget_.data(); }

  // The widget with the keyboard, in an application window (not a menu).
  static QWidget* CurrentFocus();

 private:
  QPointer<QWidget> widget_;
};

// A modal step (a message box, a file dialog, a menu command's window): the keyboard goes
// back where it was when the step ends.
class FocusReturnScope {
 public:
  explicit FocusReturnScope(FocusReturn& keeper)
      : keeper_(keeper), widget_(FocusReturn::CurrentFocus()) {}
  ~FocusReturnScope() {
    keeper_.Keep(widget_);
    keeper_.GiveBack();
  }
  FocusReturnScope(const FocusReturnScope&) = delete;
  FocusReturnScope& operator=(const FocusReturnScope&) = delete;

 private:
  FocusReturn& keeper_;
  QPointer<QWidget> widget_;
};

}  // namespace tessel
