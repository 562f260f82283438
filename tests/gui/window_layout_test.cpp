// Where the desktop's windows and controls sit: dialogs over the main window wherever it has
// been moved, one column and one type size per page, the lamps clear of everything, and
// pictures of each page at the current scale factor for people to look at.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>

#include "core/model/setup_compare.h"
#include "gui/app/compare_dlg.h"
#include "gui/firmware/esc_process_dlg.h"
#include "gui/firmware/firmware_page.h"
#include "gui/pages/data_page.h"
#include "gui/pages/settings_page.h"
#include "gui/simple/v1_dlg.h"
#include "tests/gui/window_support.h"

namespace tessel {
namespace {

using namespace tessel::test;

QString ScaleName() {
  return "scale" + qEnvironmentVariable("QT_SCALE_FACTOR", "1");
}

// `window` sits centred over `main` (within a pixel) and is no wider than it.
::testing::AssertionResult CentredOver(const QWidget& window, const QWidget& main) {
  const QRect w = window.frameGeometry();
  const QRect m = main.frameGeometry();
  const QPoint off = w.center() - m.center();
  if (std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1 && w.width() <= m.width()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << window.objectName().toStdString() << " at " << w.x() << "," << w.y() << " "
         << w.width() << "x" << w.height() << " over the window at " << m.x() << "," << m.y()
         << " " << m.width() << "x" << m.height();
}

// Runs `open` and hands the first modal dialog that shows to `look`, then closes it.
void WhenItShows(const std::function<void()>& open, const std::function<void(QWidget&)>& look) {
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || seen) return;
    seen = true;
    look(*modal);
    modal->close();
  });
  poll.start(10);
  open();
  poll.stop();
  EXPECT_TRUE(seen);
}

TEST(WindowsOpen, CentredOverTheMovedMainWindowAndNoWiderThanIt) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  w->move(w->pos() + QPoint(90, 45));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->frameGeometry().topLeft().x() >= 90; }, 2000));

  // The progress window of the next read.
  w->command("Read from ESC")->trigger();
  CEscProcessDlg* progress = w->progress();
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, 5000));
  EXPECT_TRUE(CentredOver(*progress, *w));
  // A picture of the screen as it stands: the window with the progress window over it.
  const QPoint corner = w->frameGeometry().bottomRight() + QPoint(40, 40);
  QImage screen(QSize(corner.x(), corner.y()), QImage::Format_RGB32);
  screen.fill(Qt::darkGray);
  {
    QPainter painter(&screen);
    painter.drawPixmap(w->geometry().topLeft(), w->grab());
    painter.drawPixmap(progress->geometry().topLeft(), progress->grab());
  }
  const QString dir = QString(TESSEL_BUILD_DIR) + "/screenshots";
  QDir().mkpath(dir);
  screen.save(dir + "/layout-progress-over-moved-window-" + ScaleName() + ".png");
  // It follows the window while it shows.
  w->move(w->pos() - QPoint(40, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return CentredOver(*progress, *w); }, 2000))
      << CentredOver(*progress, *w).message();
  ASSERT_TRUE(WaitRead(*w));

  // A question, and the compare window whose table would be wider than the main window.
  WhenItShows([&] { w->AskQuestion(Question{"Import file error!", "Compare", Buttons::kOk, {}, {}, {}}); },
              [&](QWidget& box) {
                EXPECT_NE(qobject_cast<QMessageBox*>(&box), nullptr);
                EXPECT_TRUE(CentredOver(box, *w));
              });
  EscSettingsImage other = w->session().image;
  other.run_mode = (other.run_mode + 1) % 3;
  other.punch_rate1 = (other.punch_rate1 + 1) % 10;
  const auto differences = CompareSetups(w->session().image, other, CompareScope::kFile);
  ASSERT_FALSE(differences.empty());
  WhenItShows(
      [&] {
        CCompareDlg compare(differences, "race.DATA", w.get());
        compare.exec();
      },
      [&](QWidget& dialog) { EXPECT_TRUE(CentredOver(dialog, *w)); });
}

// Every settings page, the Data page and the information page, in button order.
struct PageView {
  int button;
  int32_t id;
  QWidget* widget;
  const char* name;
};

std::vector<PageView> Pages(CCorvaneDlg& w) {
  return {{1000, kPageInformation, w.info_page(), "information"},
          {1001, kPageGeneral, w.page(kPageGeneral), "general"},
          {1002, kPageThrottle, w.page(kPageThrottle), "throttle"},
          {1003, kPageBrake, w.page(kPageBrake), "brake"},
          {1004, kPageBoost, w.page(kPageBoost), "boost"},
          {1005, kPageTurbo, w.page(kPageTurbo), "turbo"},
          {1006, kPageData, w.data_page(), "data"}};
}

QString Describe(const QFont& f) {
  return f.family() + " " + QString::number(f.pixelSize()) + "px";
}

TEST(PageGrid, OneValueColumnAndOneTypeSizeOnEveryPageAndTheLampsClearOfEverything) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  const QString dir = QString(TESSEL_BUILD_DIR) + "/screenshots";
  QDir().mkpath(dir);
  std::map<QString, QStringList> fonts;  // font -> where it is used
  auto note = [&](const QFont& f, const QString& where) { fonts[Describe(f)] << where; };

  for (const PageView& p : Pages(*w)) {
    SCOPED_TRACE(p.name);
    QTest::mouseClick(w->button(p.button), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.widget->isVisible(); }, 2000));
    // One column: every value box with the first one's left edge and width.
    const QList<QLineEdit*> boxes = p.widget->findChildren<QLineEdit*>(
        QRegularExpression("^value_"), Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(boxes.isEmpty());
    for (QLineEdit* box : boxes) {
      if (!box->isVisible()) continue;
      EXPECT_EQ(box->x(), boxes.front()->x()) << box->objectName().toStdString();
      EXPECT_EQ(box->width(), boxes.front()->width()) << box->objectName().toStdString();
      note(box->font(), box->objectName());
    }
    for (QListWidget* list : p.widget->findChildren<QListWidget*>(QRegularExpression("^list_"))) {
      note(list->font(), list->objectName());
    }
    // No lamp overlaps another control of its page (nor the other lamp).
    for (CCownerDrawBton* lamp : p.widget->findChildren<CCownerDrawBton*>(
             QString(), Qt::FindDirectChildrenOnly)) {
      if (lamp->id() != kEscIndicatorId && lamp->id() != kAdapterIndicatorId) continue;
      for (QWidget* other : p.widget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (other == lamp || other->isHidden()) continue;
        EXPECT_FALSE(lamp->geometry().intersects(other->geometry()))
            << "lamp " << lamp->id() << " overlaps " << other->objectName().toStdString();
      }
    }
    // A picture with the page's longest list open.
    if (auto* page = qobject_cast<CSettingsPage*>(p.widget)) {
      int longest = 0;
      for (int i = 1; i < page->setting_count(); ++i) {
        if (page->drop_list(i)->count() > page->drop_list(longest)->count()) longest = i;
      }
      if (page->value_box(longest)->isEnabled()) {
        QTest::mouseClick(page->value_box(longest), Qt::LeftButton);
        ASSERT_TRUE(page->drop_list(longest)->isVisible());
      }
    }
    w->grab().save(dir + "/layout-" + p.name + "-" + ScaleName() + ".png");
    if (auto* page = qobject_cast<CSettingsPage*>(p.widget)) page->HideDropLists();
  }

  // The V1 dialog's lists too.
  w->SetDemo(EscVariant::kV1Bec);
  ASSERT_TRUE(WaitRead(*w));
  CV1Dlg* v1 = w->v1_dialog();
  ASSERT_TRUE(v1->isVisible());
  for (int i = 0; i < static_cast<int>(kV1SettingCount); ++i) {
    note(v1->list(i)->font(), v1->list(i)->objectName());
    note(v1->list(i)->view()->font(), v1->list(i)->objectName() + " open");
  }
  w->grab().save(dir + "/layout-v1-" + ScaleName() + ".png");

  // One type size for values and lists, with capitals at least 9 px high.
  ASSERT_EQ(fonts.size(), 1u) << [&] {
    std::string all;
    for (const auto& [font, where] : fonts) {
      all += "\n" + font.toStdString() + ": " + where.join(" ").toStdString();
    }
    return all;
  }();
  // The size is set for scale 1; larger scale factors only make it larger on the screen.
  const QWidget* any = w->page(kPageGeneral)->value_box(0);
  if (any->devicePixelRatioF() == 1.0) {
    EXPECT_GE(QFontMetricsF(any->font()).capHeight(), 9.0) << Describe(any->font()).toStdString();
  }
}

// With the HID adapter the main window's lamps show as soon as the ESC is read, before any
// page is opened.
TEST(Lamps, ShowWithTheHidAdapterBeforeAnyPageIsOpened) {
  CCorvaneDlg::Options options;
  options.hid_demo = HidDeviceKind::kFullEsc;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  CCorvaneDlg w(options);
  w.show();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const SessionStatus& s = w.session().status;
        return s.link_kind == kLinkHid && !s.transfer_active && w.hid().EscIdentified();
      },
      20000));
  EXPECT_FALSE(w.session().status.page_shown);
  EXPECT_TRUE(w.button(kEscIndicatorId)->isVisible());
  EXPECT_TRUE(w.button(kAdapterIndicatorId)->isVisible());
}

}  // namespace
}  // namespace tessel
