// The desktop tool by keyboard alone, and as a screen reader hears it.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTextEdit>
#include <algorithm>
#include <map>

#include "gui/app/announce.h"
#include "gui/app/corvane_dlg.h"
#include "gui/curves/curve_editor.h"
#include "gui/curves/curve_page.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/settings_page.h"
#include "window_support.h"

namespace tessel::test {
namespace {

QWidget* Focus() {
  return QApplication::focusWidget();
}

void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  ASSERT_NE(Focus(), nullptr);
  QTest::keyClick(Focus(), static_cast<Qt::Key>(key), mods);
}

// Every widget Tab reaches from `start` until it comes round to `start` again.
std::vector<QWidget*> TabCycle(QWidget* start) {
  start->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> seen{start};
  for (int i = 0; i < 80; ++i) {
    QTest::keyClick(Focus(), Qt::Key_Tab);
    if (Focus() == start || Focus() == nullptr) break;
    seen.push_back(Focus());
  }
  return seen;
}

// Opens a page with the keyboard: its button takes the keyboard and Space presses it.
void OpenPageByKeyboard(CCorvaneDlg& w, int button) {
  w.button(button)->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(Focus(), w.button(button));
  Press(Qt::Key_Space);
  ASSERT_EQ(w.session().status.shown_page, button - 999);
}

// The page's controls as they read: by rows, top to bottom (the page's left column).
template <typename T>
std::vector<QWidget*> ByRows(std::vector<T*> controls) {
  std::vector<QWidget*> out;
  for (T* c : controls) {
    if (c->isVisible() && c->isEnabled()) out.push_back(c);
  }
  std::stable_sort(out.begin(), out.end(), [](QWidget* a, QWidget* b) {
    return a->geometry().top() < b->geometry().top();
  });
  return out;
}

std::vector<QWidget*> ButtonRow(CCorvaneDlg& w) {
  std::vector<QWidget*> row;
  for (int id = 1000; id <= 1008; ++id) row.push_back(w.button(id));
  return row;
}

std::vector<QWidget*> Then(std::vector<QWidget*> a, const std::vector<QWidget*>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Keyboard, TabReachesEveryControlOfEveryPageInReadingOrder) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  const std::vector<QWidget*> buttons = ButtonRow(*w);

  for (int32_t id : {kPageGeneral, kPageThrottle, kPageBrake, kPageBoost, kPageTurbo}) {
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 999 + id));
    CSettingsPage* page = w->page(id);
    std::vector<ValueBox*> boxes;
    for (int i = 0; i < page->setting_count(); ++i) boxes.push_back(page->value_box(i));
    // The page buttons left to right, the value boxes top to bottom, then the help box.
    const auto expected = Then(Then(buttons, ByRows(boxes)), {page->help_box()});
    EXPECT_EQ(TabCycle(w->button(1000)), expected) << page->objectName().toStdString();
    EXPECT_GE(ByRows(boxes).size(), 4u);
  }

  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1006));
  const QList<ValueBox*> found = w->data_page()->findChildren<ValueBox*>();
  const std::vector<ValueBox*> data_boxes(found.begin(), found.end());
  ASSERT_EQ(data_boxes.size(), 4u);
  EXPECT_EQ(TabCycle(w->button(1000)),
            Then(Then(buttons, ByRows(data_boxes)), {w->data_page()->findChild<QTextEdit*>()}));

  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1000));
  CFirmware* info = w->info_page();
  EXPECT_EQ(TabCycle(w->button(1000)),
            Then(buttons, {info->device_box(), info->hardware_box(), info->software_box(),
                           info->updata_button(), info->help_box()}));

  // The Throttle curve's editor, opened from the keyboard: Tab walks the editor and its
  // three buttons in the row's order; Escape cancels and the keyboard is back on the box.
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1002));
  auto* throttle = static_cast<CCurvePage*>(w->page(kPageThrottle));
  ValueBox* mode = throttle->value_box(throttle->IndexOf(&EscSettingsImage::throttle_curve_mode));
  mode->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Return);
  Press(Qt::Key_End);  // "Custom"
  Press(Qt::Key_Return);
  CCurveEditor* editor = throttle->editor();
  ASSERT_TRUE(editor->isVisible());
  // The page buttons are greyed while the editor is open.
  EXPECT_EQ(TabCycle(editor),
            (std::vector<QWidget*>{editor, editor->reset_button(), editor->cancel_button(),
                                   editor->ok_button()}));
  editor->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Escape);
  ASSERT_TRUE(QTest::qWaitFor([&] { return mode->isVisible() && mode->hasFocus(); }));
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

  // Tab brings the keyboard to the box without opening it.
  w->button(1008)->setFocus(Qt::TabFocusReason);
  while (Focus() != box) {
    Press(Qt::Key_Tab);
    ASSERT_NE(Focus(), w->button(1008)) << "Tab never reached the value box";
  }
  EXPECT_EQ(page->open_list(), -1);

  // Alt+Down opens it on the current choice; the arrows move; Escape keeps the choice.
  Press(Qt::Key_Down, Qt::AltModifier);
  ASSERT_EQ(page->open_list(), punch);
  EXPECT_EQ(Focus(), list);
  EXPECT_EQ(list->currentRow(), before);
  Press(Qt::Key_Down);
  Press(Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), before + 2);
  EXPECT_EQ(selected(), before);
  Press(Qt::Key_Escape);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(selected(), before);
  EXPECT_EQ(Focus(), box);

  // Space opens it again on the choice; End, Home and a typed digit move; Enter chooses.
  Press(Qt::Key_Space);
  ASSERT_EQ(page->open_list(), punch);
  EXPECT_EQ(list->currentRow(), before);
  Press(Qt::Key_End);
  EXPECT_EQ(list->currentRow(), list->count() - 1);
  Press(Qt::Key_Home);
  EXPECT_EQ(list->currentRow(), 0);
  QTest::keyClicks(list, "2");
  EXPECT_EQ(list->currentItem()->text(), "2");
  Press(Qt::Key_Down);
  Press(Qt::Key_Return);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(selected(), 2);
  EXPECT_EQ(box->text(), "3");
  EXPECT_EQ(Focus(), box);
  // The same box opens again from the keyboard, and with a click.
  Press(Qt::Key_Return);
  EXPECT_EQ(page->open_list(), punch);
  Press(Qt::Key_Escape);
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(page->open_list(), punch);
  // Tab in an open list closes it and goes on from its box.
  Press(Qt::Key_Tab);
  EXPECT_EQ(page->open_list(), -1);
  EXPECT_EQ(Focus(), page->value_box(punch + 1));
  EXPECT_EQ(selected(), 2);
}

struct ShowCount : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) ++count;
    return false;
  }
};

TEST(Keyboard, TheKeyboardIsBackWhereItWasAfterTheProgressWindow) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(*w, 1001));
  CCownerDrawBton* apply = w->button(1007);
  apply->setFocus(Qt::TabFocusReason);
  Press(Qt::Key_Return);
  ASSERT_TRUE(w->session().status.transfer_active);
  ShowCount shown;
  w->progress()->installEventFilter(&shown);
  ASSERT_TRUE(WaitIdle(*w));
  ASSERT_GE(shown.count, 1);
  // The progress window has gone and the keyboard is on the button again, not nowhere.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->progress()->isVisible(); }));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Focus() == apply; }));
}

TEST(Keyboard, EveryMenuItemHasALetterOfItsOwnAndItsTextAsBefore) {
  auto w = MakeWindow();
  std::map<QString, QString> texts;  // as shown, with the letter marked
  for (QAction* title : w->menuBar()->actions()) {
    QMenu* menu = title->menu();
    ASSERT_NE(menu, nullptr);
    QString letters;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      const QString text = a->text();
      const int amp = static_cast<int>(text.indexOf('&'));
      ASSERT_GE(amp, 0) << text.toStdString();
      EXPECT_EQ(text.indexOf('&', amp + 1), -1) << text.toStdString();
      const QChar letter = text.at(amp + 1).toLower();
      EXPECT_FALSE(letters.contains(letter)) << text.toStdString();
      letters += letter;
      texts[QString(text).remove('&')] = text;
    }
  }
  // The ampersand adds the underline only; the words stay as they are.
  for (const char* text : {"Inport ESC Data", "Export Esc Data", "Exit", "Reset Default",
                           "ESC Speed Controller", "LCD Program Box", "help"}) {
    EXPECT_EQ(texts.count(text), 1u) << text;
  }
}

// What a screen reader is told: each name change or alert with the words it carries then.
using Heard = std::vector<std::pair<QObject*, QString>>;
void Hear(Heard& heard, QAccessibleEvent& event) {
  if (event.type() != QAccessible::NameChanged && event.type() != QAccessible::Alert) return;
  QAccessibleInterface* iface = event.accessibleInterface();
  heard.emplace_back(event.object(), iface ? iface->text(QAccessible::Name) : QString());
}

QString Name(QWidget* w) {
  return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

TEST(ScreenReader, ButtonsAndLampsSayWhatTheyAreAndTheStatusLineIsReadOut) {
  Heard heard;
  SetAccessibleListener([&heard](QAccessibleEvent& event) { Hear(heard, event); });
  struct Restore {
    ~Restore() { SetAccessibleListener(nullptr); }
  } restore;

  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QAccessibleInterface* general = QAccessible::queryAccessibleInterface(w->button(1001));
  ASSERT_NE(general, nullptr);
  EXPECT_EQ(general->text(QAccessible::Name), "General page");
  EXPECT_EQ(general->role(), QAccessible::PageTab);
  EXPECT_FALSE(general->state().selected);
  QAccessibleInterface* apply = QAccessible::queryAccessibleInterface(w->button(1007));
  EXPECT_EQ(apply->text(QAccessible::Name) + ", " + apply->text(QAccessible::Description),
            "Apply, sends the pages to the ESC");
  EXPECT_EQ(apply->role(), QAccessible::Button);
  EXPECT_EQ(Name(w->button(1104)), "ESC connected");
  EXPECT_EQ(Name(w->button(1105)), "USB adapter connected");

  // The page asked for is the selected tab; a screen reader's press opens it.
  general->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(w->session().status.shown_page, kPageGeneral);
  EXPECT_TRUE(general->state().selected);
  CSettingsPage* page = w->page(kPageGeneral);
  EXPECT_EQ(Name(page->value_box(page->IndexOf(&EscSettingsImage::run_mode))), "RUN MODE");

  // A greyed button says so.
  w->session().status.curve_editor_open = true;
  w->UpdateStatus();
  EXPECT_TRUE(apply->state().disabled);
  w->session().status.curve_editor_open = false;
  w->UpdateStatus();

  // The status line is read out whole when it changes; the lamp when the ESC goes.
  heard.clear();
  w->ReportOutcome("Wire trace saved to /tmp/a rather long folder name/trace.txt");
  const auto said = [&](QObject* o, const QString& text) {
    return std::find(heard.begin(), heard.end(), std::make_pair(o, text)) != heard.end();
  };
  EXPECT_TRUE(
      said(w->status_line(), "Wire trace saved to /tmp/a rather long folder name/trace.txt"));
  w->session().status.esc_state = 0;
  w->button(1104)->repaint();
  EXPECT_TRUE(said(w->button(1104), "ESC not connected"));
}

}  // namespace
}  // namespace tessel::test
