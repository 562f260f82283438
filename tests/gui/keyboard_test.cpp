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

// The nine buttons left to right, the page's value boxes top to bottom, then `rest`.
template <typename Box>
Widgets ReadingOrder(CCorvaneDlg& w, const QList<Box*>& boxes, const Widgets& rest) {
  Widgets page;
  for (Box* b : boxes) {
    if (b->isVisible() && b->isEnabled()) page.push_back(b);
  }
  std::stable_sort(page.begin(), page.end(),
                   [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
  Widgets all;
  for (int id = 1000; id <= 1008; ++id) all.push_back(w.button(id));
  all.insert(all.end(), page.begin(), page.end());
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

TEST(Keyboard, TabReachesEveryControlOfEveryPageInReadingOrder) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  for (int32_t id : {kPageGeneral, kPageThrottle, kPageBrake, kPageBoost, kPageTurbo}) {
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 999 + id));
    CSettingsPage* page = w->page(id);
    EXPECT_EQ(TabCycle(w->button(1000)),
              ReadingOrder(*w, page->findChildren<ValueBox*>(), {page->help_box()}))
        << page->objectName().toStdString();
  }
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1006));
  CData* data = w->data_page();
  EXPECT_EQ(TabCycle(w->button(1000)),
            ReadingOrder(*w, data->findChildren<ValueBox*>(), {data->findChild<QTextEdit*>()}));
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1000));
  CFirmware* info = w->info_page();
  EXPECT_EQ(TabCycle(w->button(1000)), ReadingOrder(*w, info->findChildren<ValueBox*>(),
                                                    {info->updata_button(), info->help_box()}));

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

TEST(Keyboard, AValueBoxOpensPicksAndClosesWithKeysAlone) {
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

  // Tab brings the keyboard to the box without opening its list.
  w->button(1008)->setFocus(Qt::TabFocusReason);
  while (Focus() != box) ASSERT_NO_FATAL_FAILURE(Press(Qt::Key_Tab));
  EXPECT_EQ(page->open_list(), -1);

  // Alt+Down opens it on the choice; the arrows move; Escape leaves the choice as it was.
  Press(Qt::Key_Down, Qt::AltModifier);
  ASSERT_EQ(Focus(), list);
  EXPECT_EQ(list->currentRow(), before);
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), before + 2);
  Press(Qt::Key_Escape);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(selected(), before);
  EXPECT_EQ(Focus(), box);

  // Space opens it again on the choice; Home and a typed digit move; Enter chooses.
  Press(Qt::Key_Space);
  EXPECT_EQ(list->currentRow(), before);
  Press(Qt::Key_Home);
  QTest::keyClicks(list, "2");
  Press(Qt::Key_Down);
  Press(Qt::Key_Return);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(selected(), 2);
  EXPECT_EQ(box->text(), "3");
  EXPECT_EQ(Focus(), box);
  // Kept by the box, the keyboard opens the list again, and so does a click; Tab closes it.
  Press(Qt::Key_Return);
  Press(Qt::Key_Escape);
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(page->open_list(), punch);
  Press(Qt::Key_Tab);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(Focus(), page->value_box(punch + 1));
}

struct ShowCount : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Show;
    return false;
  }
};

TEST(Keyboard, TheKeyboardIsBackWhereItWasAfterTheProgressWindow) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1001));
  ShowCount shown;
  w->progress()->installEventFilter(&shown);
  w->button(1007)->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Return);  // Apply
  ASSERT_TRUE(WaitIdle(*w));
  ASSERT_GE(shown.count, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->progress()->isVisible(); }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Focus() == w->button(1007); }));
}

TEST(Keyboard, EveryMenuItemHasALetterOfItsOwnAndKeepsItsWords) {
  auto w = MakeWindow();
  QStringList shown;
  for (QAction* title : w->menuBar()->actions()) {
    QString letters;
    for (QAction* a : title->menu()->actions()) {
      if (a->isSeparator()) continue;
      const QString text = a->text();
      ASSERT_EQ(text.count('&'), 1) << text.toStdString();
      const QChar letter = text.at(text.indexOf('&') + 1).toLower();
      EXPECT_FALSE(letters.contains(letter)) << text.toStdString();
      letters += letter;
      shown << QString(text).remove('&');
    }
  }
  // The ampersand only adds the underline.
  EXPECT_TRUE(shown.contains("Inport ESC Data"));
  EXPECT_TRUE(shown.contains("Exit"));
}

QString Name(QWidget* w) {
  return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

TEST(ScreenReader, ButtonsAndLampsSayWhatTheyAreAndTheStatusLineIsReadOut) {
  // What a screen reader is told: each name change or alert, with the words it carries then.
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

  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QAccessibleInterface* general = QAccessible::queryAccessibleInterface(w->button(1001));
  EXPECT_EQ(general->text(QAccessible::Name), "General page");
  EXPECT_EQ(general->role(), QAccessible::PageTab);
  EXPECT_FALSE(general->state().selected);
  QAccessibleInterface* apply = QAccessible::queryAccessibleInterface(w->button(1007));
  EXPECT_EQ(apply->text(QAccessible::Name) + ", " + apply->text(QAccessible::Description),
            "Apply, sends the pages to the ESC");
  EXPECT_EQ(Name(w->button(1104)), "ESC connected");
  EXPECT_EQ(Name(w->button(1105)), "USB adapter connected");

  // A screen reader's press opens the page, whose tab is then the selected one.
  general->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(w->session().status.shown_page, kPageGeneral);
  EXPECT_TRUE(general->state().selected);

  // The status line is read out whole when it changes; a lamp when its state does.
  const QString text = "Wire trace saved to /tmp/a rather long folder name/trace.txt";
  w->ReportOutcome(text.toStdString());
  EXPECT_TRUE(said(w->status_line(), text));
  w->session().status.esc_state = 0;
  w->button(1104)->repaint();
  EXPECT_TRUE(said(w->button(1104), "ESC not connected"));
}

}  // namespace
}  // namespace tessel::test
