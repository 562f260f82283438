// Where the desktop's windows and controls sit: dialogs over the main window wherever it has
// been moved, one column and one type size per page, the lamps clear of everything, and
// pictures of each page at the current scale factor for people to look at.
#include <QComboBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
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

// The file name of a picture, with the scale factor it was taken at.
QString Layout(const QString& what) {
  return "layout-" + what + "-scale" + qEnvironmentVariable("QT_SCALE_FACTOR", "1") + ".png";
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
         << window.objectName().toStdString() << " off centre by " << off.x() << "," << off.y()
         << ", " << w.width() << " px wide over " << m.width();
}

// Runs `open` until a modal dialog shows, checks that it is centred over `main`, closes it.
void ExpectModalCentredOver(const QWidget& main, const std::function<void()>& open) {
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || seen) return;
    seen = true;
    EXPECT_TRUE(CentredOver(*modal, main));
    modal->close();
  });
  poll.start(10);
  open();
  EXPECT_TRUE(seen);
}

TEST(WindowsOpen, CentredOverTheMovedMainWindowAndNoWiderThanIt) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  w->move(w->pos() + QPoint(90, 45));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->frameGeometry().topLeft().x() >= 90; }, 2000));

  w->command("Read from ESC")->trigger();
  CEscProcessDlg* progress = w->progress();
  ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, 5000));
  EXPECT_TRUE(CentredOver(*progress, *w));
  // A picture of the screen as it stands: the window with the progress window over it.
  const QPoint corner = w->frameGeometry().bottomRight() + QPoint(40, 40);
  QPixmap screen(corner.x(), corner.y());
  screen.fill(Qt::darkGray);
  QPainter(&screen).drawPixmap(w->geometry().topLeft(), w->grab());
  QPainter(&screen).drawPixmap(progress->geometry().topLeft(), progress->grab());
  Screenshot(screen, Layout("progress-over-moved-window"));
  // It follows the window while it shows.
  w->move(w->pos() - QPoint(40, 20));
  ASSERT_TRUE(QTest::qWaitFor([&] { return CentredOver(*progress, *w); }, 2000))
      << CentredOver(*progress, *w).message();
  ASSERT_TRUE(WaitRead(*w));

  // A question, and the compare window whose table would be wider than the main window.
  ExpectModalCentredOver(*w, [&] {
    w->AskQuestion(Question{"Import file error!", "Compare", Buttons::kOk, {}, {}, {}});
  });
  EscSettingsImage other = w->session().image;
  other.run_mode = (other.run_mode + 1) % 3;
  other.punch_rate1 = (other.punch_rate1 + 1) % 10;
  ExpectModalCentredOver(*w, [&] {
    CCompareDlg(CompareSetups(w->session().image, other, CompareScope::kFile), "race.DATA", w.get())
        .exec();
  });
}

QString Describe(const QFont& f) {
  return f.family() + " " + QString::number(f.pixelSize()) + "px";
}

TEST(PageGrid, OneValueColumnAndOneTypeSizeOnEveryPageAndTheLampsClearOfEverything) {
  auto w = MakeWindow();
  ASSERT_TRUE(WaitRead(*w));
  std::map<QString, QStringList> fonts;  // font -> where it is used
  auto note = [&](const QFont& f, const QString& where) { fonts[Describe(f)] << where; };

  const QString names[] = {"information", "general", "throttle", "brake", "boost", "turbo", "data"};
  for (int button = 1000; button <= 1006; ++button) {
    const QString name = names[button - 1000];
    QWidget* page = button == 1000   ? static_cast<QWidget*>(w->info_page())
                    : button == 1006 ? static_cast<QWidget*>(w->data_page())
                                     : w->page(button - 999);
    SCOPED_TRACE(name.toStdString());
    QTest::mouseClick(w->button(button), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isVisible(); }, 2000));
    const QList<QLineEdit*> boxes =
        page->findChildren<QLineEdit*>(QRegularExpression("^value_"), Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(boxes.isEmpty());
    for (QLineEdit* box : boxes) {
      if (!box->isVisible()) continue;
      EXPECT_EQ(box->x(), boxes.front()->x()) << box->objectName().toStdString();
      EXPECT_EQ(box->width(), boxes.front()->width()) << box->objectName().toStdString();
      note(box->font(), box->objectName());
    }
    for (QListWidget* list : page->findChildren<QListWidget*>(QRegularExpression("^list_"))) {
      note(list->font(), list->objectName());
    }
    const auto children = page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (auto* lamp : page->findChildren<CCownerDrawBton*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (lamp->id() != kEscIndicatorId && lamp->id() != kAdapterIndicatorId) continue;
      for (QWidget* other : children) {
        EXPECT_TRUE(other == lamp || other->isHidden() ||
                    !lamp->geometry().intersects(other->geometry()))
            << "lamp " << lamp->id() << " overlaps " << other->objectName().toStdString();
      }
    }
    // A picture with the page's longest list open.
    auto* settings = qobject_cast<CSettingsPage*>(page);
    if (settings != nullptr) {
      int longest = 0;
      for (int i = 1; i < settings->setting_count(); ++i) {
        if (settings->drop_list(i)->count() > settings->drop_list(longest)->count()) longest = i;
      }
      if (settings->value_box(longest)->isEnabled()) {
        QTest::mouseClick(settings->value_box(longest), Qt::LeftButton);
        ASSERT_TRUE(settings->drop_list(longest)->isVisible());
      }
    }
    Screenshot(*w, Layout(name));
    if (settings != nullptr) settings->HideDropLists();
  }

  w->SetDemo(EscVariant::kV1Bec);
  ASSERT_TRUE(WaitRead(*w));
  CV1Dlg* v1 = w->v1_dialog();
  ASSERT_TRUE(v1->isVisible());
  for (int i = 0; i < static_cast<int>(kV1SettingCount); ++i) {
    note(v1->list(i)->font(), v1->list(i)->objectName());
    note(v1->list(i)->view()->font(), v1->list(i)->objectName() + " open");
  }
  Screenshot(*w, Layout("v1"));

  QString all;
  for (const auto& [font, where] : fonts) all += "\n" + font + ": " + where.join(" ");
  ASSERT_EQ(fonts.size(), 1u) << all.toStdString();
  // The size is set for scale 1; larger scale factors only make it larger on the screen.
  const QWidget* any = w->page(kPageGeneral)->value_box(0);
  if (any->devicePixelRatioF() == 1.0) {
    EXPECT_GE(QFontMetricsF(any->font()).capHeight(), 9.0) << Describe(any->font()).toStdString();
  }
}

TEST(Lamps, ShowWithTheHidAdapterBeforeAnyPageIsOpened) {
  auto window = MakeHidWindow(HidDeviceKind::kFullEsc);
  CCorvaneDlg& w = *window;
  ASSERT_TRUE(WaitHidRead(w));
  EXPECT_FALSE(w.session().status.page_shown);
  EXPECT_TRUE(w.button(kEscIndicatorId)->isVisible());
  EXPECT_TRUE(w.button(kAdapterIndicatorId)->isVisible());
}

}  // namespace
}  // namespace tessel
