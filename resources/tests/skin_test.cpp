// The generated pictures against the layout the windows use: sizes, the exact chart grid, light
// wells under every value box and dark ground under every white text.
#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdlib>
#include <set>
#include <utility>
#include <string>

#include "core/model/data_page.h"
#include "core/model/pages.h"
#include "core/model/v1_settings.h"
#include "gui/app/layout.h"

namespace tessel {
namespace {

QImage LoadSkin(std::string_view name) {
  return QImage(QString(TESSEL_SKIN_DIR) + '/' + QString::fromUtf8(name.data(), name.size()));
}

QPoint Centre(const PxRect& r) {
  return QPoint(r.x + r.w / 2, r.y + r.h / 2);
}

int Lightness(const QImage& img, QPoint at) {
  return QColor(img.pixel(at)).lightness();
}

bool IsLight(const QImage& img, QPoint at) {
  return Lightness(img, at) > 200;
}
bool IsDark(const QImage& img, QPoint at) {
  return Lightness(img, at) < 70;
}

// --- layout -----------------------------------------------------------------------------------

TEST(DialogUnits, ConvertEdgesWithHalvesRoundedUp) {
  EXPECT_EQ(DluToPx(MainWindow().client), (PxRect{0, 0, 665, 502}));
  EXPECT_EQ(DluToPx(kPageRect), (PxRect{0, 0, 575, 358}));
  EXPECT_EQ(DluToPx(DluRect{1, 1, 1, 1}), (PxRect{2, 2, 1, 1}));  // 1.5 -> 2, 1.625 -> 2
  EXPECT_EQ(DluToPxX(-1), -2);
  // Neighbouring rectangles stay neighbours: edges are rounded, not sizes.
  for (int x = 0; x < 40; ++x) {
    EXPECT_EQ(DluToPx(DluRect{x, x, 1, 1}).right(), DluToPx(DluRect{x + 1, x + 1, 1, 1}).x);
    EXPECT_EQ(DluToPx(DluRect{x, x, 1, 1}).bottom(), DluToPx(DluRect{x + 1, x + 1, 1, 1}).y);
  }
  // A child converted in its parent equals the same rect converted in the window, minus the
  // parent's pixel origin.
  const DluRect origin = MainWindow().page_area;
  const PxRect child = DluToPx(kHelpBoxRect, origin);
  const PxRect abs = DluToPx(DluRect{origin.x + kHelpBoxRect.x, origin.y + kHelpBoxRect.y,
                                     kHelpBoxRect.w, kHelpBoxRect.h});
  EXPECT_EQ(child.x + DluToPxX(origin.x), abs.x);
  EXPECT_EQ(child.w, abs.w);
}

bool Inside(const DluRect& r, const DluRect& outer) {
  return r.x >= outer.x && r.y >= outer.y && r.x + r.w <= outer.x + outer.w &&
         r.y + r.h <= outer.y + outer.h;
}

bool Overlap(const DluRect& a, const DluRect& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

TEST(Layout, MainWindowPlacesPagesButtonsAndIndicatorsApart) {
  const MainWindowLayout& m = MainWindow();
  EXPECT_TRUE(Inside(m.page_area, m.client));
  EXPECT_EQ(m.page_area.w, kPageRect.w);
  EXPECT_EQ(m.page_area.h, kPageRect.h);
  EXPECT_TRUE(Inside(m.v1_area, m.client));
  std::set<int> ids;
  for (const PageButtonLayout& b : m.page_buttons) {
    ids.insert(b.id);
    EXPECT_TRUE(Inside(b.rect, m.client));
    EXPECT_FALSE(Overlap(b.rect, m.page_area)) << b.id;
    EXPECT_FALSE(Overlap(b.rect, m.esc_indicator.rect)) << b.id;
    EXPECT_FALSE(Overlap(b.rect, m.usb_indicator.rect)) << b.id;
    EXPECT_NE(FindButtonImage(b.normal_image), nullptr);
    EXPECT_NE(FindButtonImage(b.selected_image), nullptr);
  }
  EXPECT_EQ(ids.size(), 9u);
  EXPECT_EQ(*ids.begin(), 1000);
  EXPECT_EQ(*ids.rbegin(), 1008);
  EXPECT_EQ(m.page_buttons[8].rect.x, 314);  // x = 26 to 314
  EXPECT_FALSE(Overlap(m.esc_indicator.rect, m.usb_indicator.rect));
  EXPECT_TRUE(Inside(m.usb_indicator.rect, m.client));
  // The status line sits under the pages and under the V1 dialog, across the page width.
  EXPECT_TRUE(Inside(m.status_line, m.client));
  EXPECT_FALSE(Overlap(m.status_line, m.page_area));
  EXPECT_FALSE(Overlap(m.status_line, m.v1_area));
  EXPECT_EQ(m.status_line.w, m.page_area.w);
}

// The page shows its editor at its own top-left corner: everything visible must lie inside the
// page, and nothing may sit on the chart.
TEST(Layout, CurveEditorControlsStayInsideThePageAndOffTheChart) {
  for (CurveEditorKind kind :
       {CurveEditorKind::kThrottle, CurveEditorKind::kBrake, CurveEditorKind::kBoost}) {
    const CurveEditorLayout& e = CurveEditorWindow(kind);
    std::vector<ControlRect> controls = {e.reset,         e.ok,     e.cancel, e.count_readout,
                                         e.point_readout, e.y_unit, e.x_unit};
    controls.insert(controls.end(), e.y_labels.begin(), e.y_labels.end());
    for (const ControlRect& c : e.x_labels) {
      if (c.id != 0) controls.push_back(c);
    }
    EXPECT_TRUE(Inside(e.chart.rect, kPageRect));
    std::set<int> ids{e.chart.id};
    for (const ControlRect& c : controls) {
      EXPECT_TRUE(Inside(c.rect, kPageRect)) << c.id;
      EXPECT_FALSE(Overlap(c.rect, e.chart.rect)) << c.id;
      EXPECT_TRUE(ids.insert(c.id).second) << "duplicate id " << c.id;
    }
  }
  EXPECT_EQ(CurveEditorWindow(CurveEditorKind::kBoost).x_labels[0].id, 1173);
  EXPECT_EQ(CurveEditorWindow(CurveEditorKind::kThrottle).x_labels[0].id, 0);
  EXPECT_EQ(CurveEditorWindow(CurveEditorKind::kBrake).chart.id, 1023);
}

TEST(Layout, V1DialogControlsFitAndDoNotOverlap) {
  const V1DialogLayout& v = V1Dialog();
  std::vector<ControlRect> controls = {
      v.read,       v.send,        v.update,      v.control_label, v.status,
      v.connection, v.esc_caption, v.usb_caption, v.esc_indicator, v.usb_indicator};
  for (const V1SettingLayout& s : v.settings) {
    controls.push_back(s.label);
    controls.push_back(s.list);
  }
  // One rect pair per setting of the dialog, in the same order and with the same ids.
  ASSERT_EQ(V1Settings().size(), v.settings.size());
  for (size_t i = 0; i < v.settings.size(); ++i) {
    EXPECT_EQ(v.settings[i].label.id, V1Settings()[i].label_id) << i;
    EXPECT_EQ(v.settings[i].list.id, V1Settings()[i].list_id) << i;
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    EXPECT_TRUE(Inside(controls[i].rect, v.client)) << controls[i].id;
    for (size_t j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(Overlap(controls[i].rect, controls[j].rect))
          << controls[i].id << " and " << controls[j].id;
    }
  }
}

// --- pictures -----------------------------------------------------------------------------------

TEST(SkinFiles, EveryFileExistsAt24BitsWithItsWindowSize) {
  ASSERT_EQ(SkinFiles().size(), 13u);
  for (const SkinFile& f : SkinFiles()) {
    const QString path = QString(TESSEL_SKIN_DIR) + '/' + QString::fromUtf8(f.name.data());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.name;
    const QByteArray header = file.read(30);
    ASSERT_EQ(header.size(), 30);
    EXPECT_EQ(header.left(2), QByteArray("BM")) << f.name;
    EXPECT_EQ(static_cast<unsigned char>(header[28]), 24) << f.name << ": bits per pixel";
    const QImage img(path);
    EXPECT_EQ(img.width(), f.width) << f.name;
    EXPECT_EQ(img.height(), f.height) << f.name;
  }
  EXPECT_EQ(LoadSkin("Back.bmp").size(), QSize(665, 502));
  EXPECT_EQ(LoadSkin("b52.bmp").size(), QSize(575, 358));
  EXPECT_EQ(LoadSkin("LB.bmp").size(), QSize(597, 362));
  EXPECT_EQ(LoadSkin("V1.bmp").size(), QSize(636, 414));
}

// Value boxes draw black text and help boxes white text on the picture.
TEST(SkinFiles, PagesAreLightUnderValueBoxesAndDarkUnderTheHelpBox) {
  const PxRect help = DluToPx(kHelpBoxRect);
  auto check_help = [&](const QImage& img, std::string_view name) {
    EXPECT_TRUE(IsDark(img, Centre(help))) << name;
    EXPECT_TRUE(IsDark(img, QPoint(help.x + 3, help.bottom() - 3))) << name;
    EXPECT_TRUE(IsDark(img, QPoint(help.right() - 3, help.y + 3))) << name;
  };
  auto check_box = [](const QImage& img, const DluRect& box, std::string_view name) {
    const PxRect px = DluToPx(box);
    EXPECT_TRUE(IsLight(img, Centre(px))) << name << " at " << box.x << "," << box.y;
    EXPECT_TRUE(IsLight(img, QPoint(px.x, px.y))) << name << " at " << box.x << "," << box.y;
    EXPECT_TRUE(IsLight(img, QPoint(px.right() - 1, px.bottom() - 1))) << name;
    // The well is 2 px larger than the box, no more.
    EXPECT_FALSE(IsLight(img, QPoint(px.x - 4, px.y + px.h / 2))) << name;
  };
  ASSERT_EQ(EditingPages().size(), 5u);
  for (const PageDef& page : EditingPages()) {
    const QImage img = LoadSkin(page.background);
    ASSERT_FALSE(img.isNull()) << page.background;
    for (const SettingDef& s : page.settings) {
      check_box(img, OnValueColumn(s.value_box), page.background);
    }
    check_help(img, page.background);
  }
  const QImage data = LoadSkin("b4.bmp");
  ASSERT_EQ(DataFields().size(), 4u);
  for (const DataFieldDef& f : DataFields()) check_box(data, OnValueColumn(f.value_box), "b4.bmp");
  check_help(data, "b4.bmp");

  // The information page: the LCD program box variant has no software field.
  const QImage esc = LoadSkin("b3.bmp");
  const QImage lcd = LoadSkin("b2.bmp");
  for (const ControlRect* c : {&InfoPage().device, &InfoPage().hardware}) {
    check_box(esc, c->rect, "b3.bmp");
    check_box(lcd, c->rect, "b2.bmp");
  }
  check_box(esc, InfoPage().software.rect, "b3.bmp");
  EXPECT_TRUE(IsDark(lcd, Centre(DluToPx(InfoPage().software.rect))));
  check_help(esc, "b3.bmp");
  check_help(lcd, "b2.bmp");
}

TEST(SkinFiles, EditorAndV1PicturesAreDarkUnderTheirWhiteTexts) {
  const QImage lb = LoadSkin("LB.bmp");
  for (CurveEditorKind kind : {CurveEditorKind::kThrottle, CurveEditorKind::kBoost}) {
    const CurveEditorLayout& e = CurveEditorWindow(kind);
    for (const ControlRect& c : e.y_labels) EXPECT_TRUE(IsDark(lb, Centre(DluToPx(c.rect))));
    for (const ControlRect& c : e.x_labels) {
      if (c.id != 0) {
        EXPECT_TRUE(IsDark(lb, Centre(DluToPx(c.rect)))) << c.id;
      }
    }
    EXPECT_TRUE(IsDark(lb, Centre(DluToPx(e.x_unit.rect))));
    EXPECT_TRUE(IsDark(lb, Centre(DluToPx(e.y_unit.rect))));
    EXPECT_TRUE(IsDark(lb, Centre(DluToPx(e.count_readout.rect))));
    EXPECT_TRUE(IsDark(lb, Centre(DluToPx(e.point_readout.rect))));
  }
  const QImage v1 = LoadSkin("V1.bmp");
  const V1DialogLayout& v = V1Dialog();
  for (const V1SettingLayout& s : v.settings) {
    EXPECT_TRUE(IsDark(v1, Centre(DluToPx(s.label.rect)))) << s.label.id;
  }
  for (const ControlRect* c : {&v.control_label, &v.connection, &v.esc_caption, &v.usb_caption}) {
    EXPECT_TRUE(IsDark(v1, Centre(DluToPx(c->rect)))) << c->id;
  }
  // The status line draws black text.
  EXPECT_TRUE(IsLight(v1, Centre(DluToPx(v.status.rect))));
}

TEST(ButtonImages, EveryImageIsAResourceOfItsSize) {
  ASSERT_EQ(ButtonImages().size(), 36u);
  for (const ButtonImage& b : ButtonImages()) {
    const QImage img(QString::fromStdString(ImageResource(b.id)));
    ASSERT_FALSE(img.isNull()) << ImageResource(b.id);
    EXPECT_EQ(img.size(), QSize(b.width, b.height)) << b.id;
  }
  EXPECT_EQ(QImage(":/img/198.png").size(), QSize(35, 35));
  EXPECT_EQ(QImage(":/img/187.png").size(), QSize(26, 101));
  // Pressed and normal page buttons must differ, or the selected page would not show.
  for (const PageButtonLayout& b : MainWindow().page_buttons) {
    EXPECT_NE(QImage(QString::fromStdString(ImageResource(b.normal_image))),
              QImage(QString::fromStdString(ImageResource(b.selected_image))))
        << b.id;
  }
}

// Rows of the caption band (below the glyph) that hold ink of `ink`.
std::pair<int, int> InkRows(const QImage& img, QColor ink) {
  int top = -1, bottom = -1;
  for (int y = 46; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      const QColor c(img.pixel(x, y));
      if (std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) +
              std::abs(c.blue() - ink.blue()) < 60) {
        if (top < 0) top = y;
        bottom = y;
        break;
      }
    }
  }
  return {top, bottom};
}

TEST(ButtonImages, PageCaptionsReadAtFullScaleAndActionsAreNoTabs) {
  const PxRect shown = DluToPx(MainWindow().page_buttons.front().rect);
  const double scale = shown.h / 74.0;
  // "Data" has no ascender above its capital and no descender: its ink is the cap height.
  const QImage data(":/img/139.png");
  const auto [top, bottom] = InkRows(data, QColor(0xd3, 0xda, 0xe1));
  ASSERT_GE(top, 0);
  EXPECT_GE((bottom - top + 1) * scale, 9.0) << "caption cap height as shown";
  EXPECT_LT(bottom, 74);

  // A tab is a panel tile; an action has none around its badge, in both of its states.
  const QColor panel(0x2b, 0x31, 0x38);
  const QColor window(0x1f, 0x23, 0x28);
  for (int id : {141, 160, 137, 136, 129, 139, 162}) {
    EXPECT_EQ(QColor(QImage(QString(":/img/%1.png").arg(id)).pixel(6, 40)), panel) << id;
  }
  for (int id : {134, 167, 140, 172}) {
    EXPECT_EQ(QColor(QImage(QString(":/img/%1.png").arg(id)).pixel(6, 40)), window) << id;
  }
}

TEST(SkinFiles, MainWindowIsDarkUnderTheStatusLineAndLeavesThePageAreaText) {
  for (std::string_view name : {"Back.bmp", "V3Menu.bmp", "V1Menu.bmp"}) {
    const QImage img = LoadSkin(name);
    const PxRect line = DluToPx(MainWindow().status_line);
    for (int x = line.x + 12; x < line.right() - 4; x += 20) {
      EXPECT_TRUE(IsDark(img, QPoint(x, line.y + line.h / 2))) << name << " x " << x;
    }
  }
  // The start picture's page area is plain: the window writes what it is doing there.
  const QImage back = LoadSkin("Back.bmp");
  const PxRect area = DluToPx(MainWindow().page_area);
  const QRgb plain = back.pixel(area.x + area.w / 2, area.y + 20);
  for (int x = area.x + 10; x < area.right() - 10; ++x) {
    ASSERT_EQ(back.pixel(x, area.y + area.h / 2), plain) << x;
  }
}

// The chart grid: black, lines RGB(0, 128, 67); majors 3 px every 55 px from column 0 and from
// row 240 upwards, minors 1 px every 11 px.
TEST(ChartGrid, HasExactlyTheSpecifiedLinePixels) {
  const QImage grid(QString::fromStdString(ChartGridResource()));
  ASSERT_EQ(grid.size(), QSize(453, 242));
  const QRgb line = qRgb(0, 128, 67);
  const QRgb black = qRgb(0, 0, 0);
  auto at = [&](int x, int y) {
    return qRgb(qRed(grid.pixel(x, y)), qGreen(grid.pixel(x, y)), qBlue(grid.pixel(x, y)));
  };

  // Row 100 crosses no horizontal line: only the vertical lines show there.
  const std::set<int> major_cols = {0,   1,   2,   55,  56,  57,  110, 111, 112,
                                    165, 166, 167, 220, 221, 222, 275, 276, 277,
                                    330, 331, 332, 385, 386, 387, 440, 441, 442};
  const std::set<int> minor_cols = {11,  22,  33,  44,  66,  77,  88,  99,  121, 132, 143,
                                    154, 176, 187, 198, 209, 231, 242, 253, 264, 286, 297,
                                    308, 319, 341, 352, 363, 374, 396, 407, 418, 429, 451};
  for (int x = 0; x < 453; ++x) {
    const bool on = major_cols.count(x) || minor_cols.count(x);
    EXPECT_EQ(at(x, 100), on ? line : black) << "column " << x;
  }
  // Column 5 crosses no vertical line.
  const std::set<int> major_rows = {20, 21, 22, 75, 76, 77, 130, 131, 132, 185, 186, 187, 240, 241};
  const std::set<int> minor_rows = {9,   31,  42,  53,  64,  86,  97,  108, 119,
                                    141, 152, 163, 174, 196, 207, 218, 229};
  for (int y = 0; y < 242; ++y) {
    const bool on = major_rows.count(y) || minor_rows.count(y);
    EXPECT_EQ(at(5, y), on ? line : black) << "row " << y;
  }
  // Lines run across the whole picture, and a cell interior is black.
  EXPECT_EQ(at(452, 241), line);
  EXPECT_EQ(at(452, 0), black);
  EXPECT_EQ(at(56, 0), line);
  for (int y = 23; y < 31; ++y) {
    for (int x = 3; x < 11; ++x) EXPECT_EQ(at(x, y), black) << x << "," << y;
  }
}

}  // namespace
}  // namespace tessel
