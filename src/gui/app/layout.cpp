#include "gui/app/layout.h"

#include <algorithm>
#include <cmath>

namespace tessel {
namespace {

// v * num / den rounded to the nearest integer, halves away from zero (as the dialog manager's
// MulDiv did), for negative values too.
int ScaleRounded(int v, int num, int den) {
  const long long twice = 2LL * v * num;
  const long long q = (twice >= 0 ? twice + den : twice - den) / (2LL * den);
  return static_cast<int>(q);
}

ControlRect Control(int id, int x, int y, int w, int h) {
  return ControlRect{id, DluRect{x, y, w, h}};
}

MainWindowLayout BuildMainWindow() {
  MainWindowLayout m{};
  m.client = DluRect{0, 0, 443, 309};
  // Pages are 383 x 220 units: centred across the window and 6 units below the row of page
  // buttons. (30, 64) converts to whole pixels (45, 104), so a page child's own pixel rects
  // agree exactly with the same rects converted in window coordinates.
  m.page_area = DluRect{30, 64, 383, 220};
  // The V1 dialog (424 x 255) replaces the page buttons; it sits centred across the window
  // with its top a little below the window's top band, again on whole pixels (15, 39).
  m.v1_area = DluRect{10, 24, 424, 255};
  // Across the page area's width, in the band under it and under the V1 dialog.
  m.status_line = DluRect{30, 289, 383, 14};

  // Nine page buttons in a row, 35 x 39 units every 36 units from x 26.
  struct Row {
    int id;
    int32_t page;
    int normal;
    int selected;
  };
  constexpr Row kRow[9] = {
      {1000, kPageInformation, 162, 166},
      {1001, kPageGeneral, 141, 173},
      {1002, kPageThrottle, 160, 174},
      {1003, kPageBrake, 137, 170},
      {1004, kPageBoost, 136, 169},
      {1005, kPageTurbo, 129, 175},
      {1006, kPageData, 139, 171},
      {1007, 0, 134, 167},
      {1008, 0, 140, 172},
  };
  for (int i = 0; i < 9; ++i) {
    m.page_buttons[static_cast<size_t>(i)] =
        PageButtonLayout{kRow[i].id, kRow[i].page, kRow[i].normal, kRow[i].selected,
                         DluRect{26 + 36 * i, 19, 35, 39}};
  }

  // ESC and USB indicators at the right end of the button row, vertically centred on it.
  // 31 x 29 units is 47 x 47 px there: the images are shown at their own size.
  m.esc_indicator = Control(1104, 362, 24, 31, 29);
  m.usb_indicator = Control(1105, 398, 24, 31, 29);
  m.esc_label = Control(1131, 362, 54, 31, 8);
  m.usb_label = Control(1184, 398, 54, 31, 8);
  // Never shown; kept in the left margin beside the page area, at about their image size.
  m.english = Control(1010, 4, 70, 17, 62);
  m.chinese = Control(1012, 4, 140, 17, 62);
  return m;
}

InfoPageLayout BuildInfoPage() {
  InfoPageLayout p{};
  // On the page grid; the UpData button centred under the column.
  p.device = Control(1064, kValueColumnX, 25, kValueColumnW, 14);
  p.hardware = Control(1065, kValueColumnX, 54, kValueColumnW, 14);
  p.software = Control(1066, kValueColumnX, 81, kValueColumnW, 12);
  p.updata = Control(1034, kValueColumnX + (kValueColumnW - 64) / 2, 104, 64, 17);
  p.help_box = ControlRect{1035, kHelpBoxRect};
  return p;
}

// The chart and the controls around it. Axis labels are centred on the place where their value
// lands on the chart under the editor's own mapping: the throttle and brake editors spread 100
// curve units over the chart's width and height, the boost editor 103 across and 110 up, so its
// labels sit closer together.
CurveEditorLayout BuildCurveEditor(CurveEditorKind kind) {
  const bool boost = kind == CurveEditorKind::kBoost;
  const int chart_id = kind == CurveEditorKind::kThrottle ? 1130
                       : kind == CurveEditorKind::kBrake  ? 1023
                                                          : 1119;
  CurveEditorLayout e{};
  e.client = DluRect{0, 0, 398, 223};
  e.chart = Control(chart_id, 126, 25, 228, 124);
  const DluRect& c = e.chart.rect;
  const int chart_bottom = c.y + c.h;

  // Left column: the two readouts under small captions drawn into "LB.bmp".
  e.count_readout = Control(1129, 12, 36, 80, 12);
  e.point_readout = Control(1127, 12, 66, 80, 12);
  // Buttons along the bottom: RESET under the readouts, CANCEL and OK ending flush with the
  // chart's right edge. 80 x 18 units is about the images' own 121 x 30 px.
  e.reset = Control(1039, 12, 172, 80, 18);
  e.cancel = Control(1106, c.x + c.w - 164, 172, 80, 18);
  e.ok = Control(1107, c.x + c.w - 80, 172, 80, 18);

  const double x_units = boost ? 103.0 : 100.0;
  const double y_units = boost ? 110.0 : 100.0;
  constexpr int kYLabelW = 28;
  constexpr int kLabelH = 8;
  for (int i = 0; i < 5; ++i) {
    const double centre = chart_bottom - c.h * (25.0 * i / y_units);
    const int y = static_cast<int>(std::lround(centre)) - kLabelH / 2;
    e.y_labels[static_cast<size_t>(i)] =
        Control(1164 + i, c.x - 3 - kYLabelW, y, kYLabelW, kLabelH);
  }
  e.y_unit = Control(boost ? 1184 : 1169, c.x - 3 - kYLabelW, c.y - 13, kYLabelW, kLabelH);

  constexpr int kXLabelW = 20;
  for (int i = 0; i < 9; ++i) {
    if (i == 0 && !boost) continue;  // only the boost editor labels the origin
    const double centre = c.x + c.w * (12.5 * i / x_units);
    const int x = static_cast<int>(std::lround(centre)) - kXLabelW / 2;
    e.x_labels[static_cast<size_t>(i)] = Control(1173 + i, x, chart_bottom + 2, kXLabelW, kLabelH);
  }
  // Right of the last label, ending inside the page's 383 units.
  e.x_unit = Control(boost ? 1183 : 1182, 364, chart_bottom + 2, 18, kLabelH);
  return e;
}

V1DialogLayout BuildV1Dialog() {
  V1DialogLayout v{};
  v.client = DluRect{0, 0, 424, 255};
  constexpr int kListH = 14;  // closed combo box
  constexpr int kLabelH = 8;
  constexpr int kLabelGap = 13;  // label top above its list's top
  auto setting = [&](int label_id, int list_id, int x, int y, int w) {
    return V1SettingLayout{Control(label_id, x, y - kLabelGap, w, kLabelH),
                           Control(list_id, x, y, w, kListH)};
  };
  // Three columns of one width, centred across the dialog; every list and its label fill their
  // column. Running Mode, whose texts are the longest, spans the first two, BEC takes the third,
  // and above BEC sits the Connection group.
  constexpr int kW = 112;
  constexpr int kGap = 14;
  constexpr int kLeft = (424 - (3 * kW + 2 * kGap)) / 2;
  constexpr int kCols[3] = {kLeft, kLeft + kW + kGap, kLeft + 2 * (kW + kGap)};
  constexpr int kRows[4] = {66, 102, 138, 174};
  v.settings = {{
      setting(1199, 1158, kCols[0], kRows[0], 2 * kW + kGap),  // Running Mode
      setting(1200, 1201, kCols[0], kRows[1], kW),             // Motor Timing
      setting(1202, 1138, kCols[1], kRows[1], kW),             // Initial Acceleration
      setting(1203, 1140, kCols[2], kRows[1], kW),             // Motor Rotation
      setting(1205, 1159, kCols[0], kRows[2], kW),             // Throttle Percent Reverse
      setting(1206, 1210, kCols[1], kRows[2], kW),             // Throttle Limit
      setting(1207, 1141, kCols[2], kRows[2], kW),             // Neutral range
      setting(1208, 1143, kCols[0], kRows[3], kW),             // Percentage Braking
      setting(1211, 1144, kCols[1], kRows[3], kW),             // Percentage Drag Brake
      setting(1072, 1145, kCols[2], kRows[3], kW),             // Cut-off Voltage
      setting(1218, 1147, kCols[2], kRows[0], kW),             // BEC
  }};
  v.list_drop_height = 80;
  // One button centred in each column; 80 x 19 units is the images' 121 x 31 px. The status
  // line runs under them across the three columns.
  constexpr int kButtonW = 80;
  constexpr int kButtonY = 208;
  v.control_label = Control(1214, kCols[0], kButtonY - 10, kW, kLabelH);
  v.read = Control(1213, kCols[0] + (kW - kButtonW) / 2, kButtonY, kButtonW, 19);
  v.send = Control(1024, kCols[1] + (kW - kButtonW) / 2, kButtonY, kButtonW, 19);
  v.update = Control(1025, kCols[2] + (kW - kButtonW) / 2, kButtonY, kButtonW, 19);
  v.status = Control(1015, kCols[0], kButtonY + 26, 3 * kW + 2 * kGap, 12);
  v.connection = Control(1217, kCols[2], 8, kW, kLabelH);
  v.esc_caption = Control(1215, kCols[2], 20, 18, kLabelH);
  v.usb_caption = Control(1216, kCols[2] + 38, 20, 18, kLabelH);
  v.esc_indicator = Control(1104, kCols[2], 30, 18, 18);
  v.usb_indicator = Control(1105, kCols[2] + 38, 30, 18, 18);
  return v;
}

}  // namespace

DluRect OnValueColumn(const DluRect& box) {
  return DluRect{kValueColumnX, box.y, kValueColumnW, box.h};
}

int DluToPxX(int x) {
  return ScaleRounded(x, 3, 2);
}
int DluToPxY(int y) {
  return ScaleRounded(y, 13, 8);
}

PxRect DluToPx(const DluRect& r) {
  const int left = DluToPxX(r.x);
  const int top = DluToPxY(r.y);
  return PxRect{left, top, DluToPxX(r.x + r.w) - left, DluToPxY(r.y + r.h) - top};
}

PxRect DluToPx(const DluRect& r, const DluRect& origin) {
  const PxRect abs = DluToPx(DluRect{origin.x + r.x, origin.y + r.y, r.w, r.h});
  return PxRect{abs.x - DluToPxX(origin.x), abs.y - DluToPxY(origin.y), abs.w, abs.h};
}

const MainWindowLayout& MainWindow() {
  static const MainWindowLayout layout = BuildMainWindow();
  return layout;
}

const InfoPageLayout& InfoPage() {
  static const InfoPageLayout layout = BuildInfoPage();
  return layout;
}

const CurveEditorLayout& CurveEditorWindow(CurveEditorKind kind) {
  static const CurveEditorLayout throttle = BuildCurveEditor(CurveEditorKind::kThrottle);
  static const CurveEditorLayout brake = BuildCurveEditor(CurveEditorKind::kBrake);
  static const CurveEditorLayout boost = BuildCurveEditor(CurveEditorKind::kBoost);
  switch (kind) {
    case CurveEditorKind::kThrottle:
      return throttle;
    case CurveEditorKind::kBrake:
      return brake;
    case CurveEditorKind::kBoost:
      break;
  }
  return boost;
}

const V1DialogLayout& V1Dialog() {
  static const V1DialogLayout layout = BuildV1Dialog();
  return layout;
}

const ProgressWindowLayout& ProgressWindow() {
  static const ProgressWindowLayout layout{DluRect{0, 0, 340, 28}, Control(1163, 0, 6, 340, 14)};
  return layout;
}

const std::vector<SkinFile>& SkinFiles() {
  static const std::vector<SkinFile> files = [] {
    const PxRect window = DluToPx(MainWindow().client);
    const PxRect page = DluToPx(kPageRect);
    const PxRect editor = DluToPx(CurveEditorWindow(CurveEditorKind::kThrottle).client);
    const PxRect v1 = DluToPx(V1Dialog().client);
    std::vector<SkinFile> out;
    for (std::string_view name : {"Back.bmp", "V1Menu.bmp", "V3Menu.bmp"}) {
      out.push_back({name, window.w, window.h});
    }
    for (std::string_view name :
         {"b61.bmp", "b51.bmp", "b7.bmp", "b52.bmp", "b6.bmp", "b4.bmp", "b3.bmp", "b2.bmp"}) {
      out.push_back({name, page.w, page.h});
    }
    out.push_back({"LB.bmp", editor.w, editor.h});
    out.push_back({"V1.bmp", v1.w, v1.h});
    return out;
  }();
  return files;
}

const std::vector<ButtonImage>& ButtonImages() {
  static const std::vector<ButtonImage> images = {
      {162, 66, 74, "information page button"},
      {166, 66, 74, "information page button, selected"},
      {141, 66, 74, "General page button"},
      {173, 66, 74, "General page button, selected"},
      {160, 66, 74, "Throttle page button"},
      {174, 66, 74, "Throttle page button, selected"},
      {137, 66, 74, "Brake page button"},
      {170, 66, 74, "Brake page button, selected"},
      {136, 66, 74, "Boost page button"},
      {169, 66, 74, "Boost page button, selected"},
      {129, 66, 74, "Turbo page button"},
      {175, 66, 74, "Turbo page button, selected"},
      {139, 66, 74, "Data page button"},
      {171, 66, 74, "Data page button, selected"},
      {134, 66, 74, "Apply button"},
      {167, 66, 74, "Apply button, sending"},
      {140, 66, 74, "Default button"},
      {172, 66, 74, "Default button, sending"},
      {143, 47, 47, "ESC indicator, ESC detected"},
      {153, 47, 47, "ESC indicator, no ESC"},
      {198, 35, 35, "ESC indicator, LCD program box"},
      {196, 47, 47, "USB indicator, adapter open"},
      {197, 47, 47, "USB indicator, no adapter"},
      {154, 121, 30, "RESET"},
      {152, 121, 30, "OK"},
      {138, 121, 30, "CANCEL"},
      {176, 121, 30, "UpData"},
      {190, 121, 31, "Read Settings, pressed"},
      {191, 121, 31, "Read Settings"},
      {192, 121, 31, "Send Settings, pressed"},
      {193, 121, 31, "Send Settings"},
      {194, 121, 31, "Update Firmware, pressed"},
      {195, 121, 31, "Update Firmware"},
      {187, 26, 101, "ENGLISH"},
      {186, 25, 101, "CHINESE"},
      {kAppIconImage, kAppIconSize, kAppIconSize, "application icon"},
  };
  return images;
}

const ButtonImage* FindButtonImage(int id) {
  const auto& all = ButtonImages();
  const auto it =
      std::find_if(all.begin(), all.end(), [id](const ButtonImage& b) { return b.id == id; });
  return it == all.end() ? nullptr : &*it;
}

std::string ImageResource(int image_id) {
  return ":/img/" + std::to_string(image_id) + ".png";
}

std::string ChartGridResource() {
  return ":/img/grid.png";
}

std::vector<std::string> ResourceImageFiles() {
  std::vector<std::string> files;
  for (const ButtonImage& b : ButtonImages()) files.push_back(std::to_string(b.id) + ".png");
  files.push_back("grid.png");
  return files;
}

}  // namespace tessel
