// tesselarc-skins: draws every picture of the desktop tool.
//
//   tesselarc-skins <skin folder> <image folder> <qrc file> [expected image file ...]
//
// The skin files ("Back.bmp", the page pictures, "LB.bmp", "V1.bmp") go into the skin folder,
// which is the folder of the tesselarc binary. The button and indicator images and the chart grid
// go into the image folder as PNG, and a .qrc naming them ":/img/<image id>.png" is written for
// rcc. The build passes the image file names it expects; a mismatch with what was drawn fails
// the run, so the build rules cannot drift from the image table.
//
// Every rectangle comes from the layout data the windows use (gui/app/layout.h and the page
// definitions in core/model/pages.h).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QtMath>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/model/data_page.h"
#include "core/model/pages.h"
#include "gui/app/layout.h"

namespace tessel {
namespace {

// Palette.
const QColor kBgTop(0x1f, 0x23, 0x28);
const QColor kBgBottom(0x26, 0x2b, 0x31);
const QColor kPanel(0x2b, 0x31, 0x38);
const QColor kHairline(0x3b, 0x43, 0x4c);
const QColor kWell(0xe9, 0xee, 0xf3);
const QColor kWellBorder(0x98, 0xa4, 0xb0);
const QColor kLabel(0xd3, 0xda, 0xe1);
const QColor kAccent(0x36, 0xc2, 0xb0);
const QColor kHelpInset(0x16, 0x19, 0x1c);
const QColor kMuted(0x7f, 0x8a, 0x95);
const QColor kDetected(0x3d, 0xdc, 0x84);
const QColor kAbsent(0x5d, 0x65, 0x6e);
const QColor kLcd(0xf5, 0xa6, 0x23);
const QColor kAdapterOpen(0x4a, 0xa3, 0xff);
const QColor kInk(0x1f, 0x23, 0x28);  // dark text on accent and state colours

// The sizes the icon theme gets besides the scalable one.
constexpr int kThemeIconSizes[] = {16, 32, 48, 64, 128, 256};

QString g_condensed_family = QStringLiteral("DejaVu Sans Condensed");
QString g_sans_family = QStringLiteral("DejaVu Sans");

QString Q(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QRect R(const PxRect& r) {
  return QRect(r.x, r.y, r.w, r.h);
}

// The fonts are registered from their files so that the pictures do not depend on what the
// platform plugin's font database happens to list.
void LoadFonts() {
  const char* kDirs[] = {"/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/dejavu/",
                         "/usr/share/fonts/TTF/"};
  for (const char* dir : kDirs) {
    const QString condensed = QString::fromLatin1(dir) + "DejaVuSansCondensed-Bold.ttf";
    const QString sans = QString::fromLatin1(dir) + "DejaVuSans-Bold.ttf";
    if (!QFileInfo::exists(condensed)) continue;
    const int c = QFontDatabase::addApplicationFont(condensed);
    const int s = QFontDatabase::addApplicationFont(sans);
    if (c >= 0 && !QFontDatabase::applicationFontFamilies(c).isEmpty()) {
      g_condensed_family = QFontDatabase::applicationFontFamilies(c).first();
    }
    if (s >= 0 && !QFontDatabase::applicationFontFamilies(s).isEmpty()) {
      g_sans_family = QFontDatabase::applicationFontFamilies(s).first();
    }
    return;
  }
  std::fprintf(stderr, "tesselarc-skins: DejaVu fonts not found, using the default font\n");
}

QFont CondensedBold(int pixel_size) {
  QFont f(g_condensed_family);
  f.setPixelSize(pixel_size);
  f.setBold(true);
  f.setStretch(QFont::Condensed);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

QFont SansBold(int pixel_size) {
  QFont f(g_sans_family);
  f.setPixelSize(pixel_size);
  f.setBold(true);
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

// The background gradient runs over the main window's height; a picture shown at `top` pixels
// down the window takes its own stretch of it, so no seam shows at its edges.
QImage Canvas(int w, int h, int top = 0) {
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  const int window_h = DluToPx(MainWindow().client).h;
  QLinearGradient g(0, -top, 0, window_h - top);
  g.setColorAt(0, kBgTop);
  g.setColorAt(1, kBgBottom);
  p.fillRect(img.rect(), g);
  return img;
}

int PageTop() {
  return DluToPx(MainWindow().page_area).y;
}

void Prepare(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
}

// A panel or section frame; `r` is its outer edge.
void Panel(QPainter& p, const QRect& r, const QColor& fill = kPanel) {
  p.save();
  p.setPen(QPen(kHairline, 1));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
  p.restore();
}

// The light well under a value box: 2 px larger than the box all round.
QRect WellRect(const PxRect& box) {
  return R(box).adjusted(-2, -2, 2, 2);
}

void Well(QPainter& p, const PxRect& box) {
  p.save();
  p.setPen(QPen(kWellBorder, 1));
  p.setBrush(kWell);
  p.drawRoundedRect(QRectF(WellRect(box)).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  p.restore();
}

// A recess under a control that draws an image (button or indicator). The images have
// window-coloured corners; the recess gives them the same colour wherever they sit.
void Socket(QPainter& p, const PxRect& control) {
  p.save();
  p.setPen(Qt::NoPen);
  p.setBrush(kBgTop);
  p.drawRoundedRect(QRectF(R(control)).adjusted(-3, -3, 3, 3), 6, 6);
  p.restore();
}

// A label right-aligned 8 px left of the well, vertically centred on it.
void Label(QPainter& p, const PxRect& box, const QString& text) {
  const QRect well = WellRect(box);
  p.save();
  p.setFont(CondensedBold(11));
  p.setPen(kLabel);
  p.drawText(QRect(0, well.y(), well.x() - 8, well.height()), Qt::AlignRight | Qt::AlignVCenter,
             text.toUpper());
  p.restore();
}

// Page title top-left with a short accent rule under it.
void Title(QPainter& p, const QString& text) {
  p.save();
  p.setFont(SansBold(13));
  p.setPen(kAccent);
  p.drawText(QPoint(14, 16), text);
  const int w = QFontMetrics(p.font()).horizontalAdvance(text);
  p.fillRect(QRect(14, 20, std::min(w, 24), 2), kAccent);
  p.restore();
}

// The inset the help box's white text lies on, with its caption above it.
void HelpArea(QPainter& p, const PxRect& help) {
  p.save();
  const QRect r = R(help);
  p.fillRect(r, kHelpInset);
  p.fillRect(QRect(r.x(), r.y(), r.width(), 1), kAccent);
  p.setPen(QPen(kHairline, 1));
  p.drawLine(r.left(), r.top() + 1, r.left(), r.bottom());
  p.drawLine(r.right(), r.top() + 1, r.right(), r.bottom());
  p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  p.setFont(CondensedBold(10));
  p.setPen(kMuted);
  p.drawText(QRect(r.x(), r.y() - 15, r.width(), 13), Qt::AlignLeft | Qt::AlignBottom,
             QStringLiteral("HELP"));
  p.restore();
}

// The frame around a page's column of labels and value wells. It starts a little left of the
// widest label but never reaches the page's status indicators in the lower left corner.
struct Field {
  PxRect box;
  QString label;
};

void SettingsPanel(QPainter& p, const std::vector<Field>& fields, const std::vector<PxRect>& extra,
                   int min_left) {
  if (fields.empty()) return;
  const QFontMetrics fm(CondensedBold(11));
  int top = fields.front().box.y, bottom = fields.front().box.bottom(), right = 0;
  int left = fields.front().box.x;
  for (const PxRect& r : extra) {
    bottom = std::max(bottom, r.bottom());
    right = std::max(right, r.right());
  }
  for (const Field& f : fields) {
    const QRect well = WellRect(f.box);
    top = std::min(top, well.y());
    bottom = std::max(bottom, well.y() + well.height());
    right = std::max(right, well.x() + well.width());
    left = std::min(left, well.x() - 8 - fm.horizontalAdvance(f.label.toUpper()));
  }
  const PxRect help = DluToPx(kHelpBoxRect);
  left = std::max(left - 14, min_left);
  right = std::min(right + 14, help.x - 12);
  Panel(p, QRect(left, top - 10, right - left, bottom - top + 20));
}

bool SaveBmp(const QImage& img, const QString& path) {
  // Qt writes 24 bits per pixel for images without a palette.
  if (!img.convertToFormat(QImage::Format_RGB32).save(path, "BMP")) {
    std::fprintf(stderr, "tesselarc-skins: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Page pictures.

// `indicators` are the page's own status indicators (lower left), which the frame keeps clear of.
// `extra` are further controls (the "UpData" button) the frame takes in.
QImage PagePicture(const QString& title, const std::vector<Field>& fields,
                   const std::vector<DluRect>& indicators, const std::vector<PxRect>& extra = {}) {
  const PxRect page = DluToPx(kPageRect);
  QImage img = Canvas(page.w, page.h, PageTop());
  QPainter p(&img);
  Prepare(p);
  Title(p, title);
  int min_left = 8;
  for (const DluRect& r : indicators) min_left = std::max(min_left, DluToPx(r).right() + 8);
  SettingsPanel(p, fields, extra, min_left);
  for (const PxRect& r : extra) Socket(p, r);
  for (const DluRect& r : indicators) Socket(p, DluToPx(r));
  for (const Field& f : fields) {
    Label(p, f.box, f.label);
    Well(p, f.box);
  }
  HelpArea(p, DluToPx(kHelpBoxRect));
  return img;
}

QImage EditingPagePicture(const PageDef& page) {
  std::vector<Field> fields;
  for (const SettingDef& s : page.settings) {
    fields.push_back({DluToPx(OnValueColumn(s.value_box)), Q(s.caption)});
  }
  return PagePicture(Q(page.title), fields, {kPageEscLamp, kPageAdapterLamp});
}

QImage DataPagePicture() {
  std::vector<Field> fields;
  for (const DataFieldDef& f : DataFields()) {
    fields.push_back({DluToPx(OnValueColumn(f.value_box)), Q(f.caption)});
  }
  return PagePicture(QStringLiteral("DATA"), fields, {kPageEscLamp, kPageAdapterLamp});
}

// "b3.bmp" for an ESC, "b2.bmp" for the LCD program box (no software field).
QImage InfoPagePicture(bool lcd_box) {
  const InfoPageLayout& info = InfoPage();
  std::vector<Field> fields = {{DluToPx(info.device.rect), QStringLiteral("DEVICE")},
                               {DluToPx(info.hardware.rect), QStringLiteral("HARDWARE")}};
  if (!lcd_box) fields.push_back({DluToPx(info.software.rect), QStringLiteral("SOFTWARE")});
  // The page's indicators are hidden.
  return PagePicture(QStringLiteral("INFORMATION"), fields, {}, {DluToPx(info.updata.rect)});
}

// ---------------------------------------------------------------------------------------------
// Main window backgrounds.

enum class MenuSkin { kStart, kFullEsc, kV1 };

void StatusInset(QPainter& p, const PxRect& line) {
  p.save();
  const QRectF r = QRectF(R(line)).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(QPen(kHairline, 1));
  p.setBrush(kHelpInset);
  p.drawRoundedRect(r, 3, 3);
  // A short accent mark at its left end, where the text starts.
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  p.drawRoundedRect(QRectF(line.x + 3, line.y + 5, 3, line.h - 10), 1.5, 1.5);
  p.restore();
}

QImage MenuPicture(MenuSkin skin) {
  const MainWindowLayout& m = MainWindow();
  const PxRect client = DluToPx(m.client);
  QImage img = Canvas(client.w, client.h);
  QPainter p(&img);
  Prepare(p);
  const PxRect page = DluToPx(m.page_area);
  const PxRect v1 = DluToPx(m.v1_area);

  if (skin == MenuSkin::kV1) {
    Panel(p, R(v1).adjusted(-4, -4, 4, 4), kBgTop);
  } else {
    // Rule under the row of page buttons and indicators.
    const PxRect first = DluToPx(m.page_buttons.front().rect);
    const PxRect usb = DluToPx(m.usb_indicator.rect);
    const int rule_y = (first.bottom() + page.y) / 2;
    p.fillRect(QRect(first.x, rule_y, usb.right() - first.x, 1), kHairline);

    // The page area, seen before a page is opened. Its text follows the tool's state, so the
    // window draws it; the picture only has the panel.
    const QRect area = R(page);
    Panel(p, area, QColor(0x1b, 0x1f, 0x23));
    if (skin == MenuSkin::kFullEsc) {
      // A small accent mark over the hint: the ESC is there.
      const QPoint c = area.center();
      p.setPen(QPen(kAccent, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      QPainterPath tick;
      tick.moveTo(c.x() - 9, c.y() - 30);
      tick.lineTo(c.x() - 2, c.y() - 23);
      tick.lineTo(c.x() + 10, c.y() - 37);
      p.drawPath(tick);
    }
  }
  // The status line's inset under the page area: its text is white.
  StatusInset(p, DluToPx(m.status_line));
  return img;
}

// ---------------------------------------------------------------------------------------------
// Curve editor and V1 dialog backgrounds.

void Caption(QPainter& p, const QRect& above, const QString& text) {
  p.save();
  p.setFont(CondensedBold(10));
  p.setPen(kMuted);
  p.drawText(QRect(above.x(), above.y() - 15, above.width(), 13), Qt::AlignLeft | Qt::AlignBottom,
             text);
  p.restore();
}

QImage CurveEditorPicture() {
  const CurveEditorLayout& e = CurveEditorWindow(CurveEditorKind::kThrottle);
  const PxRect client = DluToPx(e.client);
  QImage img = Canvas(client.w, client.h, PageTop());
  QPainter p(&img);
  Prepare(p);
  // The editor writes its own heading (which curve) over this rule.
  p.fillRect(QRect(14, 20, 24, 2), kAccent);

  // Left column with the two readouts (drawn black by the editor, white text).
  const QRect count = R(DluToPx(e.count_readout.rect));
  const QRect point = R(DluToPx(e.point_readout.rect));
  Panel(p,
        QRect(count.x() - 8, count.y() - 24, count.width() + 16, point.bottom() - count.y() + 34));
  Caption(p, count, QStringLiteral("POINTS"));
  Caption(p, point, QStringLiteral("POSITION"));
  p.fillRect(count, Qt::black);
  p.fillRect(point, Qt::black);

  for (const ControlRect* c : {&e.reset, &e.cancel, &e.ok}) Socket(p, DluToPx(c->rect));

  // A frame just outside the chart; the chart draws itself inside.
  const QRect chart = R(DluToPx(e.chart.rect));
  p.setPen(QPen(kHairline, 1));
  p.setBrush(Qt::black);
  p.drawRect(QRectF(chart).adjusted(-1.5, -1.5, 0.5, 0.5));
  return img;
}

QImage V1Picture() {
  const V1DialogLayout& v = V1Dialog();
  const PxRect client = DluToPx(v.client);
  QImage img = Canvas(client.w, client.h, DluToPx(MainWindow().v1_area).y);
  QPainter p(&img);
  Prepare(p);

  // Three bands of the same width: Running Mode, BEC and Connection on top; the grid of nine
  // settings; Settings Control with the buttons and the status line.
  auto px = [](const ControlRect& c) { return R(DluToPx(c.rect)); };
  auto with = [&](QRect r, const V1SettingLayout& s) {
    return r.united(px(s.label)).united(px(s.list));
  };
  QRect top = px(v.connection).united(px(v.esc_indicator)).united(px(v.usb_indicator));
  top = with(with(top, v.settings.front()), v.settings.back());
  QRect grid;
  for (size_t i = 1; i + 1 < v.settings.size(); ++i) grid = with(grid, v.settings[i]);
  const QRect controls =
      px(v.control_label).united(px(v.read)).united(px(v.update)).united(px(v.status));
  const int left = std::min({top.left(), grid.left(), controls.left()}) - 14;
  const int right = std::max({top.right(), grid.right(), controls.right()}) + 14;
  auto band = [&](const QRect& r) {
    Panel(p, QRect(QPoint(left, r.top() - 6), QPoint(right, r.bottom() + 6)));
  };
  band(top);
  band(grid);
  band(controls);
  for (const ControlRect* c : {&v.read, &v.send, &v.update, &v.esc_indicator, &v.usb_indicator}) {
    Socket(p, DluToPx(c->rect));
  }
  Well(p, DluToPx(v.status.rect));  // the status line is drawn black
  return img;
}

// ---------------------------------------------------------------------------------------------
// Button and indicator images.

QPen GlyphPen(const QColor& c, qreal w = 2.6) {
  return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

enum class Glyph { kInfo, kGeneral, kThrottle, kBrake, kBoost, kTurbo, kData, kApply, kDefault };

// A line glyph in a 32 x 32 box centred on `c`.
void DrawGlyph(QPainter& p, Glyph g, QPointF c, const QColor& ink, const QColor& tile) {
  p.save();
  p.setPen(GlyphPen(ink));
  p.setBrush(Qt::NoBrush);
  const qreal x = c.x(), y = c.y();
  switch (g) {
    case Glyph::kInfo:
      p.drawEllipse(c, 13, 13);
      p.setBrush(ink);
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(x, y - 6.5), 1.9, 1.9);
      p.setPen(GlyphPen(ink, 3));
      p.drawLine(QPointF(x, y - 1), QPointF(x, y + 7.5));
      break;
    case Glyph::kGeneral: {
      const qreal knobs[3] = {5, -6, 2};
      for (int i = 0; i < 3; ++i) {
        const qreal ly = y - 9 + 9 * i;
        p.setPen(GlyphPen(ink));
        p.drawLine(QPointF(x - 13, ly), QPointF(x + 13, ly));
        p.setBrush(tile);
        p.drawEllipse(QPointF(x + knobs[i], ly), 3.4, 3.4);
        p.setBrush(Qt::NoBrush);
      }
      break;
    }
    case Glyph::kThrottle: {
      const QRectF arc(x - 14, y - 11, 28, 28);
      p.drawArc(arc, -30 * 16, 240 * 16);
      const QPointF hub(x, y + 3);
      p.drawLine(hub, QPointF(x + 8, y - 5));
      p.setBrush(ink);
      p.drawEllipse(hub, 2.2, 2.2);
      break;
    }
    case Glyph::kBrake:
      p.drawEllipse(c, 11.5, 11.5);
      p.drawEllipse(c, 3.5, 3.5);
      p.setPen(GlyphPen(ink, 5));
      p.drawArc(QRectF(x - 15.5, y - 15.5, 31, 31), -40 * 16, 80 * 16);
      break;
    case Glyph::kBoost: {
      for (int i = 0; i < 2; ++i) {
        const qreal top = y - 9 + 9 * i;
        QPainterPath chevron;
        chevron.moveTo(x - 11, top + 9);
        chevron.lineTo(x, top);
        chevron.lineTo(x + 11, top + 9);
        p.drawPath(chevron);
      }
      break;
    }
    case Glyph::kTurbo: {
      QPainterPath bolt;
      bolt.moveTo(x + 3, y - 14);
      bolt.lineTo(x - 8, y + 2);
      bolt.lineTo(x, y + 2);
      bolt.lineTo(x - 3, y + 14);
      bolt.lineTo(x + 8, y - 3);
      bolt.lineTo(x, y - 3);
      bolt.closeSubpath();
      p.setPen(GlyphPen(ink, 2.2));
      p.drawPath(bolt);
      break;
    }
    case Glyph::kData: {
      p.drawLine(QPointF(x - 13, y - 13), QPointF(x - 13, y + 12));
      p.drawLine(QPointF(x - 13, y + 12), QPointF(x + 14, y + 12));
      const qreal heights[3] = {9, 15, 21};
      for (int i = 0; i < 3; ++i) {
        const qreal bx = x - 6 + 8 * i;
        p.setPen(GlyphPen(ink, 4.5));
        p.drawLine(QPointF(bx, y + 7), QPointF(bx, y + 7 - heights[i] + 6));
      }
      break;
    }
    case Glyph::kApply: {
      p.setPen(GlyphPen(ink, 3.4));
      QPainterPath tick;
      tick.moveTo(x - 12, y + 1);
      tick.lineTo(x - 4, y + 9);
      tick.lineTo(x + 13, y - 9);
      p.drawPath(tick);
      break;
    }
    case Glyph::kDefault: {
      // A circle open at the top right, with an arrow head at its end pointing on round.
      constexpr qreal kR = 11.5;
      constexpr qreal kStart = 100, kSpan = 290;  // degrees, counter-clockwise
      p.setPen(GlyphPen(ink, 3));
      p.drawArc(QRectF(x - kR, y - kR, 2 * kR, 2 * kR), static_cast<int>(kStart * 16),
                static_cast<int>(kSpan * 16));
      const qreal a = qDegreesToRadians(kStart + kSpan);
      const QPointF tip(x + kR * std::cos(a), y - kR * std::sin(a));
      const QPointF ahead(-std::sin(a), -std::cos(a));  // direction of travel on screen
      auto wing = [&](qreal turn) {
        const qreal t = qDegreesToRadians(turn);
        const QPointF back(-ahead.x(), -ahead.y());
        const QPointF d(back.x() * std::cos(t) - back.y() * std::sin(t),
                        back.x() * std::sin(t) + back.y() * std::cos(t));
        return tip + d * 7.5;
      };
      p.setBrush(ink);
      p.setPen(GlyphPen(ink, 1.5));
      p.drawPolygon(QPolygonF({tip + ahead * 3.0, wing(40), wing(-40)}));
      break;
    }
  }
  p.restore();
}

// The caption font of the page buttons: the smallest size whose capitals stand at least
// kMinCaptionCap pixels tall where the window shows the button (it squeezes the 66 x 74 image
// into a smaller rectangle), so that the captions read at 100 % scale.
constexpr double kMinCaptionCap = 9.0;
constexpr int kPageButtonW = 66;
constexpr int kPageButtonH = 74;

QFont CaptionFont() {
  const double shown_h = DluToPx(MainWindow().page_buttons.front().rect).h;
  const double scale = shown_h / kPageButtonH;
  for (int px = 11; px < 30; ++px) {
    const QFont f = CondensedBold(px);
    // Cap height from the outline: the hinted metric rounds it.
    QPainterPath path;
    path.addText(0, 0, f, QStringLiteral("H"));
    if (-path.boundingRect().top() * scale >= kMinCaptionCap) return f;
  }
  return CondensedBold(30);
}

// Page buttons are tabs: a tile, the glyph, the name under it; the selected page is filled
// with the accent. Apply and Default are actions and look like buttons, not tabs: no tile,
// a round accent badge with the glyph and the name in the accent (filled while their send
// runs).
QImage PageButton(Glyph glyph, const QString& name, bool selected, bool action) {
  QImage img(kPageButtonW, kPageButtonH, QImage::Format_RGB32);
  img.fill(kBgTop);
  QPainter p(&img);
  Prepare(p);
  const QPointF glyph_at(33, 26);
  QColor ink;
  QColor tile;
  if (action) {
    tile = selected ? kAccent : kBgTop;
    ink = selected ? kInk : kAccent;
    p.setPen(QPen(kAccent, 2.2));
    p.setBrush(tile);
    p.drawEllipse(glyph_at, 21, 21);
  } else {
    tile = selected ? kAccent : kPanel;
    ink = selected ? kInk : kLabel;
    p.setPen(selected ? QPen(kAccent, 1) : QPen(kHairline, 1));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1.5, 1.5, 63, 71), 7, 7);
  }
  p.save();
  if (action) {
    // The glyphs are drawn for a 32 px box; the badge is a little smaller.
    p.translate(glyph_at);
    p.scale(0.85, 0.85);
    p.translate(-glyph_at);
  }
  DrawGlyph(p, glyph, glyph_at, ink, tile);
  p.restore();
  p.setFont(CaptionFont());
  p.setPen(action ? kAccent : (selected ? kInk : kLabel));
  p.drawText(QRect(1, 49, 64, 22), Qt::AlignHCenter | Qt::AlignVCenter, name);
  return img;
}

QImage Indicator(int size, const QColor& fill, const QString& text, bool dark_text) {
  QImage img(size, size, QImage::Format_RGB32);
  img.fill(kBgTop);
  QPainter p(&img);
  Prepare(p);
  const QPointF c(size / 2.0, size / 2.0);
  const qreal r = size / 2.0 - 1.5;
  // A dim halo ring, then the lamp.
  QColor halo = fill;
  halo.setAlpha(70);
  p.setPen(Qt::NoPen);
  p.setBrush(halo);
  p.drawEllipse(c, r, r);
  p.setBrush(fill);
  p.drawEllipse(c, r - 3, r - 3);
  p.setFont(CondensedBold(size >= 40 ? 13 : 10));
  p.setPen(dark_text ? kInk : kLabel);
  p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, text);
  return img;
}

QImage FlatButton(int w, int h, const QString& text, bool accent) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kBgTop);
  QPainter p(&img);
  Prepare(p);
  p.setPen(QPen(accent ? kAccent : kHairline, 1));
  p.setBrush(accent ? kAccent : kPanel);
  p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 5, 5);
  p.setFont(CondensedBold(13));
  p.setPen(accent ? kInk : kLabel);
  p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, text);
  return img;
}

QImage LanguageTab(int w, int h, const QString& text) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kBgTop);
  QPainter p(&img);
  Prepare(p);
  p.setPen(QPen(kHairline, 1));
  p.setBrush(kPanel);
  p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 4, 4);
  p.translate(w / 2.0, h / 2.0);
  p.rotate(-90);
  p.setFont(CondensedBold(11));
  p.setPen(kLabel);
  p.drawText(QRectF(-h / 2.0, -w / 2.0, h, w), Qt::AlignCenter, text);
  return img;
}

// The application icon, drawn on a 256-unit square: a rounded tile, a gauge arc and a bolt
// (speed control). The window icon, the icon theme's pictures and its SVG all come from these
// numbers.
constexpr double kIconTile = 8;          // tile inset
constexpr double kIconTileRadius = 48;
constexpr double kIconArcCx = 128, kIconArcCy = 132, kIconArcR = 80;
constexpr double kIconArcStart = -40, kIconArcSpan = 260;  // degrees, counter-clockwise
constexpr double kIconArcWidth = 20;
constexpr double kIconBolt[][2] = {{140, 74}, {96, 140}, {126, 140}, {114, 190}, {162, 118},
                                   {132, 118}};
const QColor kIconTileTop(0x2b, 0x31, 0x38);

void DrawAppIcon(QPainter& p) {
  QLinearGradient g(0, 0, 0, 256);
  g.setColorAt(0, kIconTileTop);
  g.setColorAt(1, kBgTop);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(kIconTile, kIconTile, 256 - 2 * kIconTile, 256 - 2 * kIconTile),
                    kIconTileRadius, kIconTileRadius);
  p.setPen(QPen(kAccent, kIconArcWidth, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(kIconArcCx - kIconArcR, kIconArcCy - kIconArcR, 2 * kIconArcR, 2 * kIconArcR),
            static_cast<int>(kIconArcStart * 16), static_cast<int>(kIconArcSpan * 16));
  QPainterPath bolt;
  bolt.moveTo(kIconBolt[0][0], kIconBolt[0][1]);
  for (size_t i = 1; i < std::size(kIconBolt); ++i) bolt.lineTo(kIconBolt[i][0], kIconBolt[i][1]);
  bolt.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kLabel);
  p.drawPath(bolt);
}

QImage AppIcon() {
  const int s = kAppIconSize;
  QImage img(s, s, QImage::Format_RGB32);
  img.fill(kBgTop);
  QPainter p(&img);
  Prepare(p);
  p.scale(s / 256.0, s / 256.0);
  DrawAppIcon(p);
  return img;
}

// For the desktop's icon theme: transparent round the tile.
QImage ThemeIcon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  Prepare(p);
  p.scale(size / 256.0, size / 256.0);
  DrawAppIcon(p);
  return img;
}

QString SvgColor(const QColor& c) { return c.name(QColor::HexRgb); }

QString ThemeIconSvg() {
  auto n = [](double v) { return QString::number(v, 'f', 2); };
  // Qt counts arc angles counter-clockwise on the screen; so does an SVG arc with sweep 0.
  const double a0 = qDegreesToRadians(kIconArcStart);
  const double a1 = qDegreesToRadians(kIconArcStart + kIconArcSpan);
  const double x0 = kIconArcCx + kIconArcR * std::cos(a0), y0 = kIconArcCy - kIconArcR * std::sin(a0);
  const double x1 = kIconArcCx + kIconArcR * std::cos(a1), y1 = kIconArcCy - kIconArcR * std::sin(a1);
  QString bolt;
  for (size_t i = 0; i < std::size(kIconBolt); ++i)
    bolt += (i ? " L " : "M ") + n(kIconBolt[i][0]) + " " + n(kIconBolt[i][1]);
  const double tile = 256 - 2 * kIconTile;
  QString svg;
  QTextStream t(&svg);
  t << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
       "viewBox=\"0 0 256 256\">\n"
    << "  <defs>\n    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"256\" "
       "gradientUnits=\"userSpaceOnUse\">\n"
    << "      <stop offset=\"0\" stop-color=\"" << SvgColor(kIconTileTop) << "\"/>\n"
    << "      <stop offset=\"1\" stop-color=\"" << SvgColor(kBgTop) << "\"/>\n"
    << "    </linearGradient>\n  </defs>\n"
    << "  <rect x=\"" << n(kIconTile) << "\" y=\"" << n(kIconTile) << "\" width=\"" << n(tile)
    << "\" height=\"" << n(tile) << "\" rx=\"" << n(kIconTileRadius) << "\" fill=\"url(#tile)\"/>\n"
    << "  <path d=\"M " << n(x0) << " " << n(y0) << " A " << n(kIconArcR) << " " << n(kIconArcR)
    << " 0 " << (kIconArcSpan > 180 ? 1 : 0) << " 0 " << n(x1) << " " << n(y1)
    << "\" fill=\"none\" stroke=\"" << SvgColor(kAccent) << "\" stroke-width=\""
    << n(kIconArcWidth) << "\" stroke-linecap=\"round\"/>\n"
    << "  <path d=\"" << bolt << " Z\" fill=\"" << SvgColor(kLabel) << "\"/>\n"
    << "</svg>\n";
  return svg;
}

// The chart grid, 453 x 242 px, black with lines in RGB(0, 128, 67).
//
// The pattern repeats every 55 px and is anchored at the chart's lower-left corner, which is
// column 0 and row 240 (where curve y = 0 lies). A line's first column or row is the one its
// value maps to; major lines are 3 px wide, minor lines 1 px, every 11 px (5 divisions to a
// major cell). The pattern simply continues into the right and top margins that the boost
// scale (103 x 110 units) leaves beyond the 8 x 4 major cells.
//   major columns: 0-2, 55-57, 110-112, 165-167, 220-222, 275-277, 330-332, 385-387, 440-442
//   minor columns: every 11th column not under a major line: 11, 22, 33, 44, 66, ... 429, 451
//   major rows:    20-22, 75-77, 130-132, 185-187, 240-241 (its third row falls outside)
//   minor rows:    9, 31, 42, 53, 64, 86, ... 218, 229 (240 - 11k not under a major line)
QImage ChartGrid() {
  QImage img(kChartGridWidth, kChartGridHeight, QImage::Format_RGB32);
  img.fill(Qt::black);
  const QRgb line = qRgb(0, 128, 67);
  auto mod = [](int a, int m) { return ((a % m) + m) % m; };
  for (int y = 0; y < img.height(); ++y) {
    const int dy = mod(y - 240, 55);
    const bool row = dy <= 2 || mod(y - 240, 11) == 0;
    for (int x = 0; x < img.width(); ++x) {
      const bool column = mod(x, 55) <= 2 || mod(x, 11) == 0;
      if (row || column) img.setPixel(x, y, line);
    }
  }
  return img;
}

// ---------------------------------------------------------------------------------------------

struct Output {
  QString skin_dir;
  QString image_dir;
  QString qrc_path;
  std::vector<QString> written_images;  // file names inside image_dir
  bool ok = true;
};

void WriteSkin(Output& out, const QString& name, const QImage& img) {
  const SkinFile* expected = nullptr;
  for (const SkinFile& f : SkinFiles()) {
    if (Q(f.name) == name) expected = &f;
  }
  if (expected == nullptr || expected->width != img.width() || expected->height != img.height()) {
    std::fprintf(stderr, "tesselarc-skins: %s does not match the skin table\n", qPrintable(name));
    out.ok = false;
    return;
  }
  out.ok = SaveBmp(img, out.skin_dir + '/' + name) && out.ok;
}

void WriteImage(Output& out, const QString& file, const QImage& img) {
  // 24-bit colour, as the button images always were.
  const QString path = out.image_dir + '/' + file;
  if (!img.convertToFormat(QImage::Format_RGB888).save(path, "PNG")) {
    std::fprintf(stderr, "tesselarc-skins: cannot write %s\n", qPrintable(path));
    out.ok = false;
    return;
  }
  out.written_images.push_back(file);
}

void WriteButton(Output& out, int id, const QImage& img) {
  const ButtonImage* b = FindButtonImage(id);
  if (b == nullptr || b->width != img.width() || b->height != img.height()) {
    std::fprintf(stderr, "tesselarc-skins: image %d does not match the image table\n", id);
    out.ok = false;
    return;
  }
  WriteImage(out, QString::number(id) + ".png", img);
}

void WriteAllSkins(Output& out) {
  WriteSkin(out, "Back.bmp", MenuPicture(MenuSkin::kStart));
  WriteSkin(out, "V3Menu.bmp", MenuPicture(MenuSkin::kFullEsc));
  WriteSkin(out, "V1Menu.bmp", MenuPicture(MenuSkin::kV1));
  for (const PageDef& page : EditingPages()) {
    WriteSkin(out, Q(page.background), EditingPagePicture(page));
  }
  WriteSkin(out, Q(kDataPageBackground), DataPagePicture());
  WriteSkin(out, "b3.bmp", InfoPagePicture(false));
  WriteSkin(out, "b2.bmp", InfoPagePicture(true));
  WriteSkin(out, "LB.bmp", CurveEditorPicture());
  WriteSkin(out, "V1.bmp", V1Picture());
}

void WriteAllImages(Output& out) {
  struct PageImages {
    int normal;
    int selected;
    Glyph glyph;
    const char* name;
    bool action;
  };
  const PageImages kPages[] = {
      {162, 166, Glyph::kInfo, "Info", false},
      {141, 173, Glyph::kGeneral, "General", false},
      {160, 174, Glyph::kThrottle, "Throttle", false},
      {137, 170, Glyph::kBrake, "Brake", false},
      {136, 169, Glyph::kBoost, "Boost", false},
      {129, 175, Glyph::kTurbo, "Turbo", false},
      {139, 171, Glyph::kData, "Data", false},
      {134, 167, Glyph::kApply, "Apply", true},
      {140, 172, Glyph::kDefault, "Default", true},
  };
  for (const PageImages& b : kPages) {
    WriteButton(out, b.normal, PageButton(b.glyph, b.name, false, b.action));
    WriteButton(out, b.selected, PageButton(b.glyph, b.name, true, b.action));
  }
  WriteButton(out, 143, Indicator(47, kDetected, "ESC", true));
  WriteButton(out, 153, Indicator(47, kAbsent, "ESC", false));
  WriteButton(out, 198, Indicator(35, kLcd, "LCD", true));
  WriteButton(out, 196, Indicator(47, kAdapterOpen, "USB", true));
  WriteButton(out, 197, Indicator(47, kAbsent, "USB", false));
  WriteButton(out, 154, FlatButton(121, 30, "RESET", false));
  WriteButton(out, 152, FlatButton(121, 30, "OK", true));
  WriteButton(out, 138, FlatButton(121, 30, "CANCEL", false));
  WriteButton(out, 176, FlatButton(121, 30, "UpData", true));
  WriteButton(out, 190, FlatButton(121, 31, "Read Settings", true));
  WriteButton(out, 191, FlatButton(121, 31, "Read Settings", false));
  WriteButton(out, 192, FlatButton(121, 31, "Send Settings", true));
  WriteButton(out, 193, FlatButton(121, 31, "Send Settings", false));
  WriteButton(out, 194, FlatButton(121, 31, "Update Firmware", true));
  WriteButton(out, 195, FlatButton(121, 31, "Update Firmware", false));
  WriteButton(out, 187, LanguageTab(26, 101, "ENGLISH"));
  WriteButton(out, 186, LanguageTab(25, 101, "CHINESE"));
  WriteButton(out, kAppIconImage, AppIcon());
  WriteImage(out, "grid.png", ChartGrid());
}

bool WriteQrc(const Output& out) {
  const QDir qrc_dir = QFileInfo(out.qrc_path).absoluteDir();
  QSaveFile file(out.qrc_path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  QTextStream s(&file);
  s << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
  for (const QString& name : out.written_images) {
    const QString path = qrc_dir.relativeFilePath(QDir(out.image_dir).absoluteFilePath(name));
    s << "  <file alias=\"img/" << name << "\">" << path << "</file>\n";
  }
  s << "</qresource>\n</RCC>\n";
  s.flush();
  return file.commit();
}

// The build lists the image files it expects; they must be exactly the ones drawn.
bool CheckExpected(const Output& out, const QStringList& expected) {
  const std::set<QString> want(expected.begin(), expected.end());
  const std::set<QString> have(out.written_images.begin(), out.written_images.end());
  bool ok = true;
  for (const QString& w : want) {
    if (!have.count(w)) {
      std::fprintf(stderr, "tesselarc-skins: the build expects %s, which is not drawn\n",
                   qPrintable(w));
      ok = false;
    }
  }
  for (const QString& h : have) {
    if (!want.count(h)) {
      std::fprintf(stderr, "tesselarc-skins: %s is drawn but the build does not list it\n",
                   qPrintable(h));
      ok = false;
    }
  }
  return ok;
}

// The icon theme's pictures: <folder>/<n>x<n>/apps/tesselarc.png and
// <folder>/scalable/apps/tesselarc.svg, laid out as hicolor wants them.
bool WriteThemeIcons(const QString& folder) {
  bool ok = true;
  for (int size : kThemeIconSizes) {
    const QString dir = QString("%1/%2x%2/apps").arg(folder).arg(size);
    if (!QDir().mkpath(dir) || !ThemeIcon(size).save(dir + "/tesselarc.png", "PNG")) {
      std::fprintf(stderr, "tesselarc-skins: cannot write the %d px icon\n", size);
      ok = false;
    }
  }
  const QString dir = folder + "/scalable/apps";
  QSaveFile svg(dir + "/tesselarc.svg");
  if (!QDir().mkpath(dir) || !svg.open(QIODevice::WriteOnly) ||
      svg.write(ThemeIconSvg().toUtf8()) < 0 || !svg.commit()) {
    std::fprintf(stderr, "tesselarc-skins: cannot write the scalable icon\n");
    ok = false;
  }
  return ok;
}

}  // namespace
}  // namespace tessel

int main(int argc, char** argv) {
  using namespace tessel;
  QGuiApplication app(argc, argv);
  QStringList args = QCoreApplication::arguments();
  QString icon_dir;
  if (args.size() > 2 && args[1] == "--icons") {
    icon_dir = args[2];
    args.remove(1, 2);
  }
  if (args.size() < 4) {
    std::fprintf(stderr,
                 "usage: tesselarc-skins [--icons <icon theme folder>] <skin folder> "
                 "<image folder> <qrc file> [expected image file ...]\n");
    return 2;
  }
  Output out;
  out.skin_dir = args[1];
  out.image_dir = args[2];
  out.qrc_path = args[3];
  if (!QDir().mkpath(out.skin_dir) || !QDir().mkpath(out.image_dir) ||
      !QDir().mkpath(QFileInfo(out.qrc_path).absolutePath())) {
    std::fprintf(stderr, "tesselarc-skins: cannot create the output folders\n");
    return 1;
  }
  LoadFonts();
  WriteAllSkins(out);
  WriteAllImages(out);
  if (!icon_dir.isEmpty() && !WriteThemeIcons(icon_dir)) out.ok = false;
  if (args.size() > 4 && !CheckExpected(out, args.mid(4))) out.ok = false;
  if (out.ok && !WriteQrc(out)) {
    std::fprintf(stderr, "tesselarc-skins: cannot write %s\n", qPrintable(out.qrc_path));
    out.ok = false;
  }
  return out.ok ? 0 : 1;
}
