// The custom-curve editor window shared by the throttle, brake and boost editors: a chart over
// the stretched grid picture with the curve's points and polyline, RESET / OK / CANCEL, the two
// readouts and the axis labels. Every rule of the points lives in the session's CurveModel;
// this window only maps mouse pixels to curve units, calls the model and draws what it holds.
#pragma once

#include <QLabel>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <functional>

#include "core/app/tool.h"
#include "core/model/curve_chart.h"
#include "core/model/curve_model.h"
#include "core/model/settings_image.h"
#include "gui/app/layout.h"
#include "gui/app/owner_draw_button.h"

namespace tessel {

class CCurveEditor;

// The chart static: it takes no mouse input (the editor receives every click) and repaints
// the grid, the interior points and the polyline from the editor's chart points.
class CCurveChart : public QWidget {
  Q_OBJECT
 public:
  CCurveChart(const CCurveEditor& editor, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const CCurveEditor& editor_;
  QImage grid_;
};

// What an editor needs from the tool around it.
struct CurveEditorContext {
  Tool& tool;
  CurveKind kind;
  std::function<bool()> is_busy;
  QString skin_folder;  // where "LB.bmp" is
};

class CCurveEditor : public QWidget {
  Q_OBJECT
 public:
  void RefreshChartPoints();
  // The three buttons, through the tool's page model.
  void Reset();
  void Ok();
  void Cancel();

  CurveModel& model() { return model_; }
  const CurveModel& model() const { return model_; }
  CurveKind kind() const { return model_.kind(); }
  // The chart in this window's pixels: its lower-left pixel, and the pixel spans the curve
  // units stretch over (first to last column, last to first row).
  ChartGeometry chart_geometry() const;
  const std::array<CurvePoint, 100>& chart_points() const { return chart_points_; }
  const CurveEditorLayout& layout() const { return layout_; }

  QWidget* chart() const { return chart_; }
  QLabel* heading() const { return heading_; }
  QLabel* hint() const { return hint_; }
  QLabel* count_readout() const { return count_readout_; }
  QLabel* point_readout() const { return point_readout_; }
  QLabel* y_label(int i) const { return y_labels_[static_cast<size_t>(i)]; }
  QLabel* x_label(int i) const { return x_labels_[static_cast<size_t>(i)]; }  // 0: boost only
  CCownerDrawBton* reset_button() const { return reset_; }
  CCownerDrawBton* ok_button() const { return ok_; }
  CCownerDrawBton* cancel_button() const { return cancel_; }

 signals:
  // OK or CANCEL hid the editor (its state is now 1).
  void closed();

 protected:
  CCurveEditor(CurveEditorKind layout_kind, const CurveEditorContext& context, QWidget* parent);

  // Readouts (and, for boost, the rpm labels) from the model.
  virtual void RefreshControls();
  // The chart height the mapping uses; the boost editor keeps the one it had at start.
  virtual int ChartHeight() const;
  void SetAxisTexts(const std::array<QString, 5>& y_texts, const QString& y_unit,
                    const std::array<QString, 9>& x_texts, const QString& x_unit);
  void SetReadoutLetterSpacing(qreal pixels);

  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The chosen point shows its frame only while the keys reach the chart.
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void OnModelChanged();
  void Close();

  const CurveEditorLayout& layout_;
  Tool& tool_;
  CurveModel& model_;
  QPixmap background_;
  std::array<CurvePoint, 100> chart_points_{};

  CCurveChart* chart_ = nullptr;
  CCownerDrawBton* reset_ = nullptr;
  CCownerDrawBton* ok_ = nullptr;
  CCownerDrawBton* cancel_ = nullptr;
  QLabel* heading_ = nullptr;
  QLabel* hint_ = nullptr;
  QLabel* count_readout_ = nullptr;
  QLabel* point_readout_ = nullptr;
  std::array<QLabel*, 5> y_labels_{};
  std::array<QLabel*, 9> x_labels_{};
  QLabel* y_unit_ = nullptr;
  QLabel* x_unit_ = nullptr;
};

}  // namespace tessel
