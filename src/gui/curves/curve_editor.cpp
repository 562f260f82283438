#include "gui/curves/curve_editor.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <optional>

#include "gui/app/skin.h"
#include "gui/app/text_fit.h"

namespace tessel {

namespace {

// The grid picture is drawn for curve units: a major cell is 55 px and 12.5 units across,
// 55 px and 25 units up, and curve y = 0 lies on its row 240 (x = 0 on its column 0).
constexpr double kGridPxPerUnitX = 55.0 / 12.5;
constexpr double kGridPxPerUnitY = 55.0 / 25.0;
constexpr double kGridOriginRow = 240.0;

const QColor kLineColour(0, 250, 0);
const QColor kAccent(0x36, 0xc2, 0xb0);
const QColor kHintColour(0x9a, 0xa5, 0xb0);

const QString kEditHint = QString::fromStdString(CurveEditHint(false));

QString HeadingFor(CurveEditorKind kind) {
  switch (kind) {
    case CurveEditorKind::kThrottle:
      return "THROTTLE CURVE";
    case CurveEditorKind::kBrake:
      return "BRAKE CURVE";
    case CurveEditorKind::kBoost:
      break;
  }
  return "BOOST CURVE";
}
const QColor kPointColour(0, 0, 250);

QFont LabelFont(int pixel_size, bool bold) {
  QFont font("DejaVu Sans");
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

QLabel* StaticText(QWidget* parent, const ControlRect& c, Qt::Alignment align) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString("static_%1").arg(c.id));
  label->setGeometry(ToQRect(c.rect));
  label->setAlignment(align);
  label->setFont(LabelFont(11, false));
  label->setStyleSheet("QLabel { color: rgb(255, 255, 255); background: transparent; }");
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

CCurveChart::CCurveChart(const CCurveEditor& editor, QWidget* parent)
    : QWidget(parent), editor_(editor), grid_(QString::fromStdString(ChartGridResource())) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CCurveChart::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  const ChartGeometry g = editor_.chart_geometry();
  const CurveScale scale = ScaleFor(editor_.kind());
  // Stretch the grid so that its lines fall on the same curve units as the points: the
  // chart's lower-left pixel is curve (0, 0), and `scale` units span g.width x g.height px.
  if (!grid_.isNull() && g.width > 0 && g.height > 0) {
    const double sx = g.width / (scale.across * kGridPxPerUnitX);
    const double sy = g.height / (scale.up * kGridPxPerUnitY);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(0, g.height - kGridOriginRow * sy);
    p.scale(sx, sy);
    p.drawImage(0, 0, grid_);
    p.restore();
  }
  const CurveModel& m = editor_.model();
  const auto& pts = editor_.chart_points();
  const uint32_t n = std::min<uint32_t>(m.point_count, static_cast<uint32_t>(pts.size()));
  // Squares on the interior points, then the line through every point over them.
  for (uint32_t i = 1; i + 1 < n; ++i) {
    p.fillRect(QRect(pts[i].x - 3, pts[i].y - 3, 6, 6), kPointColour);
  }
  if (n >= 2) {
    QPolygon line;
    for (uint32_t i = 0; i < n; ++i) line << QPoint(pts[i].x, pts[i].y);
    p.setPen(QPen(kLineColour, 1));
    p.drawPolyline(line);
  }
  if (editor_.hasFocus() && m.selected < n) {
    const CurvePoint& at = pts[m.selected];
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(at.x - 5, at.y - 5, 10, 10));
  }
}

CCurveEditor::CCurveEditor(CurveEditorKind layout_kind, const CurveEditorContext& context,
                           QWidget* parent)
    : QWidget(parent),
      layout_(CurveEditorWindow(layout_kind)),
      tool_(context.tool),
      model_(context.tool.pages().Curve(context.kind)) {
  setFixedSize(ToQRect(layout_.client).size());
  setFocusPolicy(Qt::StrongFocus);
  background_.load(context.skin_folder + "/LB.bmp");

  chart_ = new CCurveChart(*this, this);
  chart_->setObjectName(QString("chart_%1").arg(layout_.chart.id));
  chart_->setGeometry(ToQRect(layout_.chart.rect));

  auto button = [&](const ControlRect& c, void (CCurveEditor::*action)()) {
    auto* b = new CCownerDrawBton(c.id, tool_.session().status, context.is_busy, this);
    b->setObjectName(QString("button_%1").arg(c.id));
    b->setGeometry(ToQRect(c.rect));
    connect(b, &QAbstractButton::clicked, this, action);
    return b;
  };
  reset_ = button(layout_.reset, &CCurveEditor::Reset);
  cancel_ = button(layout_.cancel, &CCurveEditor::Cancel);
  ok_ = button(layout_.ok, &CCurveEditor::Ok);
  reset_->setToolTip("RESET: back to the default curve");
  ok_->setToolTip("OK (Enter): keep the curve");
  cancel_->setToolTip("CANCEL (Esc): back to the curve as it was when the editor opened");
  for (CCownerDrawBton* b : {reset_, cancel_, ok_}) b->setFocusPolicy(Qt::StrongFocus);

  // The heading names the curve (the picture under it is shared by all three editors), and
  // a line says how points are edited.
  const QRect chart_px = ToQRect(layout_.chart.rect);
  heading_ = new QLabel(HeadingFor(layout_kind), this);
  heading_->setObjectName("heading");
  heading_->setGeometry(14, 2, 170, 18);
  heading_->setFont(LabelFont(13, true));
  heading_->setStyleSheet(
      QString("QLabel { color: %1; background: transparent; }").arg(kAccent.name()));
  heading_->setAttribute(Qt::WA_TransparentForMouseEvents);
  hint_ = new QLabel(kEditHint, this);
  hint_->setObjectName("hint");
  hint_->setGeometry(QRect(QPoint(heading_->geometry().right() + 8, 3),
                           QPoint(chart_px.right(), 19)));
  hint_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  hint_->setStyleSheet(
      QString("QLabel { color: %1; background: transparent; }").arg(kHintColour.name()));
  hint_->setAttribute(Qt::WA_TransparentForMouseEvents);
  hint_->setFont(LabelFont(FittingPixelSize(LabelFont(12, false), {kEditHint},
                                            LabelTextRoom(*hint_), 12),
                           false));
  // The keys have no room on the line; the chart itself tells them to a screen reader.
  setAccessibleDescription(kEditHint + ". " + QString::fromUtf8(kCurveKeysHint));

  auto readout = [&](const ControlRect& c) {
    QLabel* label = StaticText(this, c, Qt::AlignCenter);
    label->setFont(LabelFont(13, true));
    label->setStyleSheet("QLabel { color: rgb(255, 255, 255); background: black; }");
    return label;
  };
  count_readout_ = readout(layout_.count_readout);
  point_readout_ = readout(layout_.point_readout);

  for (size_t i = 0; i < y_labels_.size(); ++i) {
    y_labels_[i] = StaticText(this, layout_.y_labels[i], Qt::AlignRight | Qt::AlignVCenter);
  }
  for (size_t i = 0; i < x_labels_.size(); ++i) {
    if (layout_.x_labels[i].id == 0) continue;  // the origin label is the boost editor's own
    x_labels_[i] = StaticText(this, layout_.x_labels[i], Qt::AlignCenter);
  }
  y_unit_ = StaticText(this, layout_.y_unit, Qt::AlignRight | Qt::AlignVCenter);
  x_unit_ = StaticText(this, layout_.x_unit, Qt::AlignLeft | Qt::AlignVCenter);

  // The model outlives no window of ours but may be shared with a window destroyed earlier.
  QPointer<CCurveEditor> self(this);
  model_.on_changed = [self] {
    if (self) self->OnModelChanged();
  };
  hide();
}

void CCurveEditor::SetAxisTexts(const std::array<QString, 5>& y_texts, const QString& y_unit,
                                const std::array<QString, 9>& x_texts, const QString& x_unit) {
  for (size_t i = 0; i < y_labels_.size(); ++i) y_labels_[i]->setText(y_texts[i]);
  for (size_t i = 0; i < x_labels_.size(); ++i) {
    if (x_labels_[i]) x_labels_[i]->setText(x_texts[i]);
  }
  y_unit_->setText(y_unit);
  x_unit_->setText(x_unit);
}

void CCurveEditor::SetReadoutLetterSpacing(qreal pixels) {
  for (QLabel* label : {count_readout_, point_readout_}) {
    QFont font = label->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, pixels);
    label->setFont(font);
  }
}

int CCurveEditor::ChartHeight() const {
  return chart_->height();
}

ChartGeometry CCurveEditor::chart_geometry() const {
  const QRect r = chart_->geometry();
  ChartGeometry g;
  g.left = r.x();
  g.bottom = r.y() + r.height() - 1;
  g.width = r.width() - 1;
  g.height = ChartHeight() - 1;
  return g;
}

void CCurveEditor::RefreshChartPoints() {
  tessel::RefreshChartPoints(model_, chart_geometry(), chart_points_);
  chart_->update();
}

void CCurveEditor::RefreshControls() {
  count_readout_->setText(QString::fromStdString(model_.CountReadout()));
  point_readout_->setText(QString::fromStdString(model_.PositionReadout()));
}

void CCurveEditor::OnModelChanged() {
  RefreshChartPoints();
  RefreshControls();
  update();
}

void CCurveEditor::Reset() {
  tool_.EditorReset();
}

void CCurveEditor::Ok() {
  tool_.EditorOk();
  Close();
}

void CCurveEditor::Cancel() {
  tool_.EditorCancel();
  Close();
}

void CCurveEditor::Close() {
  RefreshControls();
  hide();
  emit closed();
}

void CCurveEditor::paintEvent(QPaintEvent*) {
  QPainter p(this);
  PaintSkin(p, rect(), background_, SkinFit::kUnscaled);
}

void CCurveEditor::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const auto at = MouseToCurve(kind(), chart_geometry(), pos.x(), pos.y());
  if (event->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    if (at) model_.LeftDown(at->x, at->y);
  } else if (event->button() == Qt::RightButton) {
    if (at) model_.RightDown(at->x, at->y);
  }
  event->accept();
}

void CCurveEditor::mouseMoveEvent(QMouseEvent* event) {
  if (!model_.dragging || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint pos = event->position().toPoint();
  if (const auto at = MouseToCurve(kind(), chart_geometry(), pos.x(), pos.y())) {
    model_.MouseMove(at->x, at->y);
  }
}

void CCurveEditor::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) model_.LeftUp();
}

void CCurveEditor::keyPressEvent(QKeyEvent* event) {
  using Key = PageModel::Key;
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  std::optional<Key> key;
  switch (event->key()) {
    case Qt::Key_Escape:
      Cancel();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Ok();
      return;
    // Arrows choose a point along the curve; with Shift they move it one unit.
    case Qt::Key_Left:
      key = shift ? Key::kLeft : Key::kPrevious;
      break;
    case Qt::Key_Right:
      key = shift ? Key::kRight : Key::kNext;
      break;
    case Qt::Key_Up:
      key = shift ? Key::kUp : Key::kNext;
      break;
    case Qt::Key_Down:
      key = shift ? Key::kDown : Key::kPrevious;
      break;
    case Qt::Key_Insert:
    case Qt::Key_Plus:
      key = Key::kAdd;
      break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
      key = Key::kDelete;
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  tool_.EditorKey(*key);
  chart_->update();
}

void CCurveEditor::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  chart_->update();
}

void CCurveEditor::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  chart_->update();
}

}  // namespace tessel
