// A small world for the curve editor and curve page widget tests: a session on the virtual
// ESC (virtual clock, scripted dialogs), a shown and active host window standing in for the
// main window's page area, and the mouse steps a user takes on the pages and the charts.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QTest>
#include <QWidget>

#include "core/app/tool.h"
#include "gui/curves/curve_editor.h"
#include "gui/pages/settings_page.h"
#include "sim/virtual_esc_port.h"

namespace tessel::testing {

struct CurveWorld : ToolHost {
  ManualClock clock;
  VirtualEscPort port{clock};
  TimerLoop timers{clock};
  Tool tool{*this, clock, timers, port, nullptr, nullptr};
  Session& session = tool.session();
  QWidget host;

  // The pages as created (the tool is not started: no session runs).
  CurveWorld() {
    host.resize(700, 420);
    tool.pages().Start();
  }

  Answer Ask(const Question&) override { return Answer::kCancel; }
  std::optional<std::string> ChooseOpenFile(const std::string&) override { return {}; }
  std::optional<std::string> ChooseSaveFile(const std::string&) override { return {}; }

  PageContext Context() { return PageContext{tool, TESSEL_SKIN_DIR}; }
  CurveEditorContext EditorContext(CurveKind kind) {
    return CurveEditorContext{tool, kind, [this] { return tool.IsBusy(); }, TESSEL_SKIN_DIR};
  }
  // Shows the host with `child` in it and waits until it takes keyboard focus.
  void Show(QWidget* child) {
    child->show();
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
  }
};

// Lets queued calls and paint events run (the pages take their editors back when they paint).
inline void Pump() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(1);
  }
}

// The user's way to pick an option: click the value box, then the entry of the list it opens.
inline void ChooseOption(CSettingsPage* page, int setting, int row) {
  // Another top-level window (the progress window) may have taken the activation.
  // (qWaitForWindowActive does not wait for that on the offscreen platform.)
  if (!page->window()->isActiveWindow()) {
    page->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([page] { return page->window()->isActiveWindow(); }, 2000));
  }
  ValueBox* box = page->value_box(setting);
  ASSERT_TRUE(box->isEnabled()) << "setting " << setting << " is disabled";
  QTest::mouseClick(box, Qt::LeftButton);
  QListWidget* list = page->drop_list(setting);
  ASSERT_TRUE(list->isVisible()) << "setting " << setting << " did not open its list";
  QListWidgetItem* item = list->item(row);
  ASSERT_NE(item, nullptr);
  list->scrollToItem(item);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  // The page hands focus back to its sink, so that the same box can be clicked again.
  Pump();
}

inline void ChooseOption(CSettingsPage* page, ImageField field, int row) {
  const int setting = page->IndexOf(field);
  ASSERT_GE(setting, 0);
  ChooseOption(page, setting, row);
}

// The window pixel of curve position (x, y), worked out from the chart control's rectangle:
// its lower-left pixel is curve (0, 0), and `across` x `up` curve units stretch from its first
// to its last column and from its last to its first row.
inline QPoint ChartPixel(const CCurveEditor& editor, int x, int y) {
  const QRect r = editor.chart()->geometry();
  const bool boost = editor.kind() == CurveKind::kBoost;
  const double across = boost ? 103.0 : 100.0;
  const double up = boost ? 110.0 : 100.0;
  return QPoint(r.left() + static_cast<int>(std::lround(x * (r.width() - 1) / across)),
                r.bottom() - static_cast<int>(std::lround(y * (r.height() - 1) / up)));
}

inline void ClickAt(CCurveEditor* editor, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
  QTest::mouseClick(editor, button, {}, ChartPixel(*editor, x, y));
}

// Press on (x0, y0), move to (x1, y1) with the button held, release there.
inline void DragTo(CCurveEditor* editor, int x0, int y0, int x1, int y1) {
  QTest::mousePress(editor, Qt::LeftButton, {}, ChartPixel(*editor, x0, y0));
  QTest::mouseMove(editor, ChartPixel(*editor, (x0 + x1) / 2, (y0 + y1) / 2));
  QTest::mouseMove(editor, ChartPixel(*editor, x1, y1));
  QTest::mouseRelease(editor, Qt::LeftButton, {}, ChartPixel(*editor, x1, y1));
}

inline std::vector<CurvePoint> Points(const CurveModel& m) {
  return std::vector<CurvePoint>(m.points.begin(), m.points.begin() + m.point_count);
}

}  // namespace tessel::testing
