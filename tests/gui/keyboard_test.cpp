// The desktop tool by keyboard alone, and as a screen reader hears it.
#include <QAccessibleInterface>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <algorithm>

#include "gui/app/announce.h"
#include "gui/curves/curve_editor.h"
#include "gui/curves/curve_page.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/settings_page.h"
#include "window_support.h"

namespace tessel::test {
namespace {

using Widgets = std::vector<QWidget*>;

QWidget* Focus() {
  return QApplication::focusWidget();
}

void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  ASSERT_NE(Focus(), nullptr);
  QTest::keyClick(Focus(), static_cast<Qt::Key>(key), mods);
}

// Every widget Tab reaches from `start` until it comes round to `start` again.
Widgets TabCycle(QWidget* start) {
  start->setFocus(Qt::TabFocusReason);
  Widgets seen{start};
  for (int i = 0; i < 80; ++i) {
    QTest::keyClick(Focus(), Qt::Key_Tab);
    if (Focus() == start || Focus() == nullptr) break;
    seen.push_back(Focus());
  }
  return seen;
}

// The page button takes the keyboard and Space presses it.
void OpenPageByKeyboard(CCorvaneDlg& w, int button) {
  w.button(button)->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Space);
  ASSERT_EQ(w.session().status.shown_page, button - 999);
}

TEST(Keyboard, TabReachesEveryControlOfEveryPageInReadingOrder) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  // Each page by its button, with what Tab reaches after the value boxes.
  std::vector<std::tuple<int, QWidget*, Widgets>> pages;
  for (int32_t id : {kPageGeneral, kPageThrottle, kPageBrake, kPageBoost, kPageTurbo}) {
    pages.emplace_back(999 + id, w->page(id), Widgets{w->page(id)->help_box()});
  }
  pages.emplace_back(1006, w->data_page(), Widgets{w->data_page()->findChild<QTextEdit*>()});
  CFirmware* info = w->info_page();
  pages.emplace_back(1000, info, Widgets{info->updata_button(), info->help_box()});
  for (const auto& [button, page, rest] : pages) {
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, button));
    // The nine buttons left to right, the page's value boxes top to bottom, then the rest.
    Widgets boxes;
    for (ValueBox* b : page->findChildren<ValueBox*>()) {
      if (b->isVisible() && b->isEnabled()) boxes.push_back(b);
    }
    std::stable_sort(boxes.begin(), boxes.end(),
                     [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    Widgets want;
    for (int id = 1000; id <= 1008; ++id) want.push_back(w->button(id));
    want.insert(want.end(), boxes.begin(), boxes.end());
    want.insert(want.end(), rest.begin(), rest.end());
    EXPECT_EQ(TabCycle(w->button(1000)), want) << page->objectName().toStdString();
  }

  // The throttle curve's editor, opened from the keyboard, has the keyboard to itself (the
  // page buttons are greyed); Escape cancels it and the keyboard is back on the curve's box.
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1002));
  auto* throttle = static_cast<CCurvePage*>(w->page(kPageThrottle));
  ValueBox* mode = throttle->value_box(throttle->IndexOf(&EscSettingsImage::throttle_curve_mode));
  mode->setFocus(Qt::TabFocusReason);
  for (int key : {Qt::Key_Return, Qt::Key_End, Qt::Key_Return}) Press(key);  // "Custom"
  CCurveEditor* editor = throttle->editor();
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(TabCycle(editor), (Widgets{editor, editor->reset_button(), editor->cancel_button(),
                                       editor->ok_button()}));
  editor->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return mode->isVisible() && mode->hasFocus(); }));
}

struct ShowCount : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    count += e->type() == QEvent::Show;
    return false;
  }
};

// A choice made with keys alone, sent with Apply; the keyboard is back on Apply afterwards.
TEST(Keyboard, AValueIsChosenAndSentWithKeysAlone) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1002));
  CSettingsPage* page = w->page(kPageThrottle);
  const int punch = page->IndexOf(&EscSettingsImage::punch_rate1);  // "1" to "30"
  auto selected = [&] { return w->tool().pages().page(kPageThrottle)->selected[punch]; };
  const int before = selected();
  ASSERT_GE(before, 3);
  ValueBox* box = page->value_box(punch);
  QListWidget* list = page->drop_list(punch);

  w->button(1008)->setFocus(Qt::TabFocusReason);
  while (Focus() != box) ASSERT_NO_FATAL_FAILURE(Press(Qt::Key_Tab));
  EXPECT_EQ(page->open_list(), -1);

  // Alt+Down opens the list on the choice, the arrows move, Escape leaves the choice.
  Press(Qt::Key_Down, Qt::AltModifier);
  ASSERT_EQ(Focus(), list);
  EXPECT_EQ(list->currentRow(), before);
  for (int key : {Qt::Key_Down, Qt::Key_Down}) Press(key);
  EXPECT_EQ(list->currentRow(), before + 2);
  Press(Qt::Key_Escape);
  EXPECT_EQ(std::tuple(page->open_list(), selected(), Focus()), std::tuple(-1, before, box));

  // Space opens it on the choice; Home, a typed digit and Down move; Enter chooses.
  Press(Qt::Key_Space);
  EXPECT_EQ(list->currentRow(), before);
  Press(Qt::Key_Home);
  QTest::keyClicks(list, "2");
  for (int key : {Qt::Key_Down, Qt::Key_Return}) Press(key);
  EXPECT_EQ(std::tuple(page->open_list(), selected(), Focus()), std::tuple(-1, 2, box));
  EXPECT_EQ(box->text(), "3");
  // A click opens the list too; Tab closes it and goes on.
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(page->open_list(), punch);
  Press(Qt::Key_Tab);
  EXPECT_EQ(std::tuple(page->open_list(), Focus()), std::tuple(-1, page->value_box(punch + 1)));

  ShowCount shown;
  w->progress()->installEventFilter(&shown);
  w->button(1007)->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Return);
  ASSERT_TRUE(WaitIdle(*w));
  ASSERT_GE(shown.count, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->progress()->isVisible(); }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Focus() == w->button(1007); }));
}

TEST(ScreenReader, ButtonsLampsAndMenusSayWhatTheyAreAndTheStatusLineIsReadOut) {
  // Each name change or alert a screen reader is told, with the words it carries then.
  std::vector<std::pair<QObject*, QString>> heard;
  SetAccessibleListener([&heard](QAccessibleEvent& e) {
    if (e.type() == QAccessible::NameChanged || e.type() == QAccessible::Alert) {
      heard.emplace_back(e.object(), e.accessibleInterface()->text(QAccessible::Name));
    }
  });
  struct Restore {
    ~Restore() { SetAccessibleListener(nullptr); }
  } restore;
  auto said = [&](QObject* o, const QString& text) {
    return std::find(heard.begin(), heard.end(), std::make_pair(o, text)) != heard.end();
  };
  auto name = [](QWidget* x) {
    return QAccessible::queryAccessibleInterface(x)->text(QAccessible::Name);
  };

  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QAccessibleInterface* general = QAccessible::queryAccessibleInterface(w->button(1001));
  EXPECT_EQ(general->text(QAccessible::Name), "General page");
  EXPECT_EQ(general->role(), QAccessible::PageTab);
  EXPECT_FALSE(general->state().selected);
  QAccessibleInterface* apply = QAccessible::queryAccessibleInterface(w->button(1007));
  EXPECT_EQ(apply->text(QAccessible::Name) + ", " + apply->text(QAccessible::Description),
            "Apply, sends the pages to the ESC");
  EXPECT_EQ(name(w->button(1104)), "ESC connected");
  EXPECT_EQ(name(w->button(1105)), "USB adapter connected");

  general->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(w->session().status.shown_page, kPageGeneral);
  EXPECT_TRUE(general->state().selected);

  const QString text = "Wire trace saved to /tmp/a rather long folder name/trace.txt";
  w->ReportOutcome(text.toStdString());
  EXPECT_TRUE(said(w->status_line(), text));
  w->session().status.esc_state = 0;
  w->button(1104)->repaint();
  EXPECT_TRUE(said(w->button(1104), "ESC not connected"));

  // Each menu item underlines a letter no other item of its menu has; the words stay.
  QStringList shown;
  for (QAction* title : w->menuBar()->actions()) {
    QString letters;
    for (QAction* a : title->menu()->actions()) {
      if (a->isSeparator()) continue;
      const QString item = a->text();
      ASSERT_EQ(item.count('&'), 1) << item.toStdString();
      const QChar letter = item.at(item.indexOf('&') + 1).toLower();
      EXPECT_FALSE(letters.contains(letter)) << item.toStdString();
      letters += letter;
      shown << QString(item).remove('&');
    }
  }
  EXPECT_TRUE(shown.contains("Inport ESC Data") && shown.contains("Exit"))
      << shown.join("|").toStdString();
}

}  // namespace
}  // namespace tessel::test
