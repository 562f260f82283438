// The desktop tool as a newcomer meets it: every value text and list entry whole, a status
// line that follows what the tool does and says what it did, commands greyed when they cannot
// act, and nothing lost without a question (closing during a send, cancelling a curve edit).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "gui/app/help_dlg.h"
#include "gui/curves/curve_lines.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/pages/boost_page.h"
#include "gui/pages/brake_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/settings_page.h"
#include "gui/pages/throttle_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/curve_test_world.h"
#include "tests/gui/update_support.h"
#include "tests/gui/window_support.h"

namespace tessel {
namespace {

using namespace tessel::test;
using testing::ChooseOption;
using testing::Pump;

bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
  return QTest::qWaitFor(done, ms);
}

void OpenPage(CCorvaneDlg& w, int button, int32_t page) {
  QTest::mouseClick(w.button(button), Qt::LeftButton);
  Pump();
  ASSERT_EQ(w.session().status.shown_page, page);
}

// A line edit shows its whole text: the text's width fits between the edit's contents
// margins (QLineEdit keeps 2 px free on either side).
::testing::AssertionResult ShowsWhole(QLineEdit* box) {
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
  const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
  const QMargins m = box->textMargins();
  const int room = contents.width() - m.left() - m.right() - 4;
  const int text = QFontMetrics(box->font()).horizontalAdvance(box->text());
  if (text <= room) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << box->objectName().toStdString() << " cuts \""
                                       << box->text().toStdString() << "\" (" << text
                                       << " px text, " << room << " px room)";
}

// An open list: no sideways scrolling, every entry as wide as its text, whole rows.
void ExpectWholeList(QListWidget* list) {
  const std::string name = list->objectName().toStdString();
  ASSERT_TRUE(list->isVisible()) << name;
  EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0) << name << " scrolls sideways";
  const QFontMetrics fm(list->font());
  const int row = list->sizeHintForRow(0);
  ASSERT_GT(row, 0);
  EXPECT_EQ(list->viewport()->height() % row, 0) << name << " shows part of a row";
  const int shown = list->viewport()->height() / row;
  if (!list->verticalScrollBar()->isVisible()) {
    EXPECT_EQ(shown, list->count()) << name << " hides rows without a scroll bar";
  }
  for (int i = 0; i < list->count(); ++i) {
    const QString text = list->item(i)->text();
    EXPECT_LE(fm.horizontalAdvance(text) + 4, list->viewport()->width())
        << name << " cuts \"" << text.toStdString() << "\"";
  }
}

TEST(TextsFit, EveryValueAndEveryListEntryOnEveryPageIsWhole) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  const std::pair<int, int32_t> pages[] = {{1001, kPageGeneral},
                                           {1002, kPageThrottle},
                                           {1003, kPageBrake},
                                           {1004, kPageBoost},
                                           {1005, kPageTurbo}};
  for (auto [button, id] : pages) {
    ASSERT_NO_FATAL_FAILURE(OpenPage(*w, button, id));
    CSettingsPage* page = w->page(id);
    for (int i = 0; i < page->setting_count(); ++i) {
      ValueBox* box = page->value_box(i);
      QListWidget* list = page->drop_list(i);
      // Every option in the box, as a choice would show it.
      for (int row = 0; row < list->count(); ++row) {
        box->setText(list->item(row)->text());
        EXPECT_TRUE(ShowsWhole(box));
      }
      page->Render();
      if (!box->isEnabled() || !box->isVisible()) continue;
      QTest::mouseClick(box, Qt::LeftButton);
      ExpectWholeList(list);
      QTest::keyClick(list, Qt::Key_Escape);
      Pump();
    }
  }

  // The Data page with the widest values its fields can hold.
  EscSettingsImage& image = w->session().image;
  image.log_batt_min_voltage = 255;
  image.log_esc_max_temp = 255;
  image.log_motor_max_temp = 255;
  image.log_motor_max_rpm = 65535;
  w->data_page()->ShowLoggedData();
  ASSERT_NO_FATAL_FAILURE(OpenPage(*w, 1006, kPageData));
  for (QLineEdit* box : w->data_page()->findChildren<QLineEdit*>()) {
    if (!box->text().isEmpty()) {
      EXPECT_TRUE(ShowsWhole(box));
    }
  }
}

// The information page with the longest texts it shows: the HID adapter's and the ESC's
// versions, as a read through the virtual adapter gives them.
TEST(TextsFit, TheInformationPageShowsTheHidVersionsWhole) {
  auto window = MakeHidWindow(HidDeviceKind::kFullEsc);
  CCorvaneDlg& w = *window;
  ASSERT_TRUE(WaitHidRead(w));
  ASSERT_NO_FATAL_FAILURE(OpenPage(w, 1000, kPageInformation));
  EXPECT_EQ(w.session().VersionText(), "V1.05_120307");
  for (QLineEdit* box : {w.info_page()->device_box(), w.info_page()->hardware_box(),
                         w.info_page()->software_box()}) {
    EXPECT_FALSE(box->text().isEmpty());
    EXPECT_TRUE(ShowsWhole(box));
  }
}

TEST(TextsFit, TheV1DialogShowsEveryLabelChoiceAndEntryWhole) {
  auto w = MakeWindow(EscVariant::kV1Bec);
  ASSERT_TRUE(WaitRead(*w));
  CV1Dlg* dlg = w->v1_dialog();
  ASSERT_TRUE(dlg->isVisible());
  for (int i = 0; i < static_cast<int>(kV1SettingCount); ++i) {
    QLabel* label = dlg->label(i);
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()),
              label->contentsRect().width())
        << label->text().toStdString();
    QComboBox* combo = dlg->list(i);
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    const QRect field =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo);
    const QFontMetrics fm(combo->font());
    for (int row = 0; row < combo->count(); ++row) {
      EXPECT_LE(fm.horizontalAdvance(combo->itemText(row)), field.width())
          << combo->objectName().toStdString() << " cuts " << combo->itemText(row).toStdString();
    }
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(WaitFor([&] { return view->isVisible(); }, 2000));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    for (int row = 0; row < combo->count(); ++row) {
      EXPECT_LE(QFontMetrics(view->font()).horizontalAdvance(combo->itemText(row)) + 4,
                view->viewport()->width())
          << combo->itemText(row).toStdString();
    }
    combo->hidePopup();
    Pump();
  }
}

// ---------------------------------------------------------------------------------------------
// The status line and the page area's text.

TEST(StatusModel, FollowsEveryStateAndSaysWhatHappened) {
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  CCorvaneDlg w(options);
  w.show();
  auto line = [&] { return w.status_line()->toolTip().toStdString(); };
  auto hint = [&] { return w.page_hint()->text().toStdString(); };
  // Before the first tick nothing is open yet.
  EXPECT_EQ(line(), "Searching for the adapter…");
  EXPECT_EQ(hint(), "CONNECT THE PROGRAMMING ADAPTER");
  ASSERT_TRUE(WaitFor([&] { return line() == "Reading the ESC…"; }));
  EXPECT_EQ(hint(), "READING THE ESC…");
  // The progress window says inside what its title bar says.
  ASSERT_TRUE(WaitFor([&] { return w.progress()->isVisible(); }));
  EXPECT_EQ(w.progress()->caption(), w.progress()->windowTitle());
  EXPECT_FALSE(w.progress()->caption().isEmpty());
  ASSERT_TRUE(WaitRead(w));
  EXPECT_EQ(line(), "Read OK: CAR ESC, software ESC0120");
  EXPECT_EQ(hint(), "CHOOSE A PAGE ABOVE");

  QTest::mouseClick(w.button(1007), Qt::LeftButton);  // Apply
  ASSERT_TRUE(WaitFor([&] { return line() == "Sending to the ESC…"; }));
  ASSERT_TRUE(WaitFor([&] { return line() == "Sent OK"; }));

  Esc(w).faults().silent = true;
  ASSERT_TRUE(WaitFor([&] { return line() == "Adapter found, no ESC answering"; }));
  EXPECT_EQ(hint(), "CONNECT THE ESC TO THE ADAPTER AND POWER IT");
  Esc(w).faults().silent = false;
  ASSERT_TRUE(WaitFor([&] { return line() == "Read OK: CAR ESC, software ESC0120"; }));
  ASSERT_TRUE(WaitRead(w));

  // A send cut off by the loss of the ESC says so, in the failure colour.
  QTest::mouseClick(w.button(1007), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return line() == "Sending to the ESC…"; }));
  w.SetDemo(std::nullopt);  // the virtual ESC goes away; no real adapter here
  ASSERT_TRUE(WaitFor([&] { return line().rfind("Send broke off", 0) == 0; }));
  EXPECT_TRUE(w.status_line()->styleSheet().contains("#f5a623"));
  // The reason stays while the tool searches and reads on its own; the next click clears it.
  EXPECT_EQ(hint(), "CONNECT THE PROGRAMMING ADAPTER");
  const std::string reason = line();
  w.SetDemo(EscVariant::kFull);
  ASSERT_TRUE(WaitRead(w));
  EXPECT_EQ(line(), reason);
  QTest::mouseClick(w.button(1001), Qt::LeftButton);
  EXPECT_EQ(line(), "ESC ready");
  EXPECT_FALSE(w.status_line()->styleSheet().contains("#f5a623"));
  w.close();
}

// ---------------------------------------------------------------------------------------------
// Files: where the dialogs open, what they filter, what the status line and the boxes say.

class FileDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings("tesselarc", "tesselarc").clear();
    dir = std::filesystem::path(::testing::TempDir()) /
          ("tesselarc_files_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir);
    QSettings("tesselarc", "tesselarc").clear();
  }

  // Runs `command` and answers its file dialog with `file` (and OK on any message box),
  // recording where the dialog opened and what it filtered.
  void Answer(QAction* command, const std::string& file) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        opened_in = dialog->directory().absolutePath().toStdString();
        filters = dialog->nameFilters();
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(file));
        static_cast<QDialog*>(dialog)->accept();
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        box_text = box->text().toStdString();
        box_detail = box->informativeText().toStdString();
        box->button(QMessageBox::Ok)->click();
      }
    });
    poll.start(10);
    command->trigger();
    poll.stop();
  }

  std::filesystem::path dir;
  std::string opened_in, box_text, box_detail;
  QStringList filters;
};

TEST_F(FileDialogs, OpenWhereTheUserWasAndReportWhatHappened) {
  std::string first_folder;
  {
    auto w = MakeWindow();
    ASSERT_TRUE(WaitRead(*w));
    const std::string written = (dir / "race.DATA").string();
    Answer(w->command("Export Esc Data"), (dir / "race").string());
    // Never the working folder: the documents (or the home folder where there are none).
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(documents).exists()) documents = QDir::homePath();
    EXPECT_EQ(opened_in, QDir(documents).absolutePath().toStdString());
    EXPECT_EQ(filters, (QStringList{"(*.DATA)", "All File (*.*)"}));
    EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Exported to " + written);

    Answer(w->command("Inport ESC Data"), written);
    EXPECT_EQ(opened_in, dir.string());
    EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Imported " + written);

    // A damaged file: the box keeps its text and gives the reason; nothing changes.
    std::fstream f(written, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(300);
    f.put('\x55');
    f.close();
    Answer(w->command("Inport ESC Data"), written);
    EXPECT_EQ(box_text, "Import file error!");
    const std::string reason =
        "\"" + written + "\": the check value does not match the contents";
    EXPECT_EQ(box_detail, reason);
    EXPECT_EQ(w->status_line()->toolTip().toStdString(), "Import failed: " + reason);
  }
  // The next run opens where this one left off.
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  Answer(w->command("Export Esc Data"), (dir / "again").string());
  EXPECT_EQ(opened_in, dir.string());
}

// ---------------------------------------------------------------------------------------------
// Commands that cannot act, menus, keys.

TEST(Commands, AreGreyedWhileTheyCannotActAndTheUsualKeysWork) {
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  CCorvaneDlg w(options);
  w.show();
  auto enabled = [&](const char* text) { return w.command(text)->isEnabled(); };
  // No ESC yet: nothing to import into, export, read, and no page to open.
  EXPECT_FALSE(enabled("Inport ESC Data"));
  EXPECT_FALSE(enabled("Export Esc Data"));
  EXPECT_FALSE(enabled("Read from ESC"));
  for (int id = 1000; id <= 1008; ++id) EXPECT_FALSE(w.button(id)->isEnabled()) << id;

  ASSERT_TRUE(WaitRead(w));
  EXPECT_TRUE(enabled("Inport ESC Data"));
  EXPECT_TRUE(enabled("Export Esc Data"));
  EXPECT_TRUE(enabled("Read from ESC"));
  for (int id = 1000; id <= 1008; ++id) EXPECT_TRUE(w.button(id)->isEnabled()) << id;

  // Titles with mnemonics, the usual shortcuts.
  QStringList titles;
  for (QAction* a : w.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"&File", "&Device", "Demo&Mode", "&Help"}));
  EXPECT_EQ(w.command("Inport ESC Data")->shortcut(), QKeySequence("Ctrl+O"));
  EXPECT_EQ(w.command("Export Esc Data")->shortcut(), QKeySequence("Ctrl+S"));
  EXPECT_EQ(w.command("Read from ESC")->shortcut(), QKeySequence("F5"));
  EXPECT_EQ(w.command("E&xit")->shortcut(), QKeySequence("Ctrl+Q"));

  // F5 reads the ESC again.
  Esc(w).image().punch_rate1 = 7;
  QTest::keyClick(&w, Qt::Key_F5);
  EXPECT_TRUE(w.session().status.transfer_active);
  ASSERT_TRUE(WaitRead(w));
  EXPECT_EQ(w.session().image.punch_rate1, 7);

  // An open curve editor keeps the image as it is: no file, no read, no page switch.
  ASSERT_NO_FATAL_FAILURE(OpenPage(w, 1002, kPageThrottle));
  auto* throttle = static_cast<CThrottle*>(w.page(kPageThrottle));
  ChooseOption(throttle, &EscSettingsImage::throttle_curve_mode, 1);
  ASSERT_TRUE(throttle->throttle_line()->isVisible());
  w.UpdateStatus();
  EXPECT_FALSE(enabled("Inport ESC Data"));
  EXPECT_FALSE(enabled("Export Esc Data"));
  EXPECT_FALSE(enabled("Read from ESC"));
  for (int id = 1000; id <= 1008; ++id) EXPECT_FALSE(w.button(id)->isEnabled()) << id;
  bool dialog = false;
  QTimer::singleShot(200, [&] {
    if (QWidget* m = QApplication::activeModalWidget()) {
      dialog = true;
      m->close();
    }
  });
  QTest::keyClick(throttle->throttle_line(), Qt::Key_S, Qt::ControlModifier);
  QTest::qWait(300);
  EXPECT_FALSE(dialog) << "a greyed command ran from its shortcut";
  QTest::mouseClick(throttle->throttle_line()->cancel_button(), Qt::LeftButton);
  Pump();
  w.UpdateStatus();
  EXPECT_TRUE(enabled("Export Esc Data"));
  EXPECT_TRUE(w.button(1003)->isEnabled());

  // A V1-series ESC has no settings file.
  w.SetDemo(EscVariant::kV1);
  ASSERT_TRUE(WaitRead(w));
  EXPECT_FALSE(enabled("Inport ESC Data"));
  EXPECT_FALSE(enabled("Export Esc Data"));
  EXPECT_TRUE(enabled("Read from ESC"));
  w.close();
}

TEST(Commands, HelpExplainsTheToolInOnePage) {
  const QString html = CHelpDlg::HelpHtml();
  for (const char* topic : {"Reading the ESC", "Pages", "Profile presets", "Custom curves",
                            "Right click", "Settings files", "Firmware", "DemoMode",
                            "tesselarc-cli"}) {
    EXPECT_TRUE(html.contains(topic)) << topic;
  }
  auto w = MakeWindow();
  // Every command is named as its menu shows it, so a reader finds it by the words on screen.
  QTextDocument doc;
  doc.setHtml(html);
  const QString text = doc.toPlainText().simplified();
  for (QAction* menu : w->menuBar()->actions()) {
    const QString title = menu->text().remove('&');
    EXPECT_TRUE(text.contains(title)) << title.toStdString();
    if (title == "DemoMode") continue;  // its virtual devices are told in a sentence
    for (QAction* a : menu->menu()->actions()) {
      if (a->isSeparator() || a == w->command("help")) continue;
      const QString named = title + " › " + a->text().remove('&');
      EXPECT_TRUE(text.contains(named)) << named.toStdString();
    }
  }
  bool shown = false;
  QTimer::singleShot(100, [&] {
    if (auto* d = qobject_cast<CHelpDlg*>(QApplication::activeModalWidget())) {
      shown = d->browser()->toPlainText().contains("Click on the chart to add a point");
      d->reject();
    }
  });
  w->command("help")->trigger();
  EXPECT_TRUE(shown);
}

// ---------------------------------------------------------------------------------------------
// Nothing lost without a question.

// Answers the next message box by the text of one of its buttons, keeping its text.
struct BoxAnswer {
  explicit BoxAnswer(QString button) : button_(std::move(button)) {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      text = box->text().toStdString();
      default_button = box->defaultButton() ? box->defaultButton()->text() : QString();
      for (QAbstractButton* b : box->buttons()) {
        if (b->text() == button_) {
          b->click();
          return;
        }
      }
      box->reject();
    });
    poll_.start(10);
  }
  std::string text;
  QString default_button;

 private:
  QString button_;
  QTimer poll_;
};

TEST(Closing, DuringASendAsksFirstAndOtherwiseClosesAtOnce) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  QTest::mouseClick(w->button(1007), Qt::LeftButton);
  ASSERT_TRUE(w->session().status.transfer_active);
  {
    BoxAnswer keep("Keep sending");
    w->close();
    EXPECT_EQ(keep.text,
              "A transfer is running. Closing now leaves the ESC with part of the new settings.");
    EXPECT_EQ(keep.default_button, "Keep sending") << "Enter must not cut the send short";
  }
  EXPECT_TRUE(w->isVisible());
  ASSERT_TRUE(WaitFor([&] { return w->status_line()->toolTip() == "Sent OK"; }));

  QTest::mouseClick(w->button(1007), Qt::LeftButton);
  ASSERT_TRUE(w->session().status.transfer_active);
  {
    BoxAnswer close("Close anyway");
    w->close();
    EXPECT_FALSE(close.text.empty());
  }
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->timers().IsArmed(kTimerSession));
  EXPECT_FALSE(w->progress()->isVisible());

  // Left unanswered, the question goes away when the send ends, and the window closes as asked.
  auto waiting = MakeWindow();
  ASSERT_TRUE(WaitRead(*waiting));
  QTest::mouseClick(waiting->button(1007), Qt::LeftButton);
  ASSERT_TRUE(waiting->session().status.transfer_active);
  QString asked;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      asked = box->text();
    }
  });
  look.start(10);
  // A question that never lapses must not hang the test.
  bool forced = false;
  QTimer::singleShot(30000, waiting.get(), [&forced] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      forced = true;
      modal->close();
    }
  });
  waiting->close();
  look.stop();
  EXPECT_FALSE(asked.isEmpty());
  EXPECT_FALSE(forced) << "the question stayed up after the send ended";
  EXPECT_FALSE(waiting->isVisible());
  EXPECT_EQ(Esc(*waiting).image().run_mode, waiting->session().image.run_mode);

  // Idle (or reading): no question.
  auto idle = MakeWindow();
  ASSERT_TRUE(WaitRead(*idle));
  BoxAnswer none("Close anyway");
  idle->close();
  EXPECT_TRUE(none.text.empty());
  EXPECT_FALSE(idle->isVisible());
}

TEST(Firmware, EnterOnVersionOldNeverDowngrades) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  ASSERT_NO_FATAL_FAILURE(OpenPage(*w, 1000, kPageInformation));
  FirmwareFile file("ESC0110.xup", Join({Record(98, 1), Record(98, 2)}));  // older than ESC0120
  std::string question, detail;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(file.path()));
      static_cast<QDialog*>(dialog)->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      question = box->text().toStdString();
      detail = box->informativeText().toStdString();
      QTest::keyClick(box, Qt::Key_Return);  // what a hurried user does
    }
  });
  poll.start(10);
  QTest::mouseClick(w->info_page()->updata_button(), Qt::LeftButton);
  poll.stop();
  EXPECT_EQ(question, "version old");
  // Under the question: the file, and how its version stands to the ESC's.
  EXPECT_NE(detail.find("ESC0110.xup\nESC0110 is older than ESC0120"), std::string::npos) << detail;
  EXPECT_EQ(Esc(*w).record_attempts(), 0);
  EXPECT_FALSE(Esc(*w).in_loader());
  EXPECT_EQ(w->status_line()->toolTip(), "Firmware update cancelled; nothing was sent");
}

TEST(CurveEditors, NameTheirCurveAndCancelKeepsTheCurveReadFromTheEsc) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  const CurveData from_esc = w->session().image.throttle_curve;
  ASSERT_NO_FATAL_FAILURE(OpenPage(*w, 1002, kPageThrottle));
  auto* throttle = static_cast<CThrottle*>(w->page(kPageThrottle));
  ChooseOption(throttle, &EscSettingsImage::throttle_curve_mode, 1);
  CThrottleLine* editor = throttle->throttle_line();
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->heading()->text(), "THROTTLE CURVE");
  EXPECT_EQ(editor->hint()->text(), "Click adds a point · drag moves it · right click deletes it");
  EXPECT_LE(QFontMetrics(editor->hint()->font()).horizontalAdvance(editor->hint()->text()),
            editor->hint()->width());
  QTest::mouseClick(editor->reset_button(), Qt::LeftButton);
  testing::ClickAt(editor, 40, 70);
  QTest::mouseClick(editor->cancel_button(), Qt::LeftButton);
  Pump();
  EXPECT_EQ(w->session().image.throttle_curve.x, from_esc.x);
  EXPECT_EQ(w->session().image.throttle_curve.y, from_esc.y);
  EXPECT_EQ(w->session().image.throttle_curve.table, from_esc.table);

  EXPECT_EQ(static_cast<CBrake*>(w->page(kPageBrake))->brake_line()->heading()->text(),
            "BRAKE CURVE");
  EXPECT_EQ(static_cast<CBoost*>(w->page(kPageBoost))->boost_line()->heading()->text(),
            "BOOST CURVE");
}

}  // namespace
}  // namespace tessel
