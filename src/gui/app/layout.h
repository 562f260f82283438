// Where every control of the desktop windows sits, in dialog units, and the names and sizes of
// the pictures the windows draw. (The settings pages and the Data page keep their own layout
// with their settings in core/settings.) The windows place their controls from this data and the
// skin generator draws its pictures from the same data, so a picture can never drift from the
// controls it sits under.
//
// A dialog unit is 1.5 px across and 1.625 px down. Every window converts with DluToPx, which
// rounds both edges of a rectangle (not its size), so rectangles that touch in dialog units
// touch in pixels too.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/pages.h"

namespace tessel {

struct PxRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;

  int right() const { return x + w; }   // one past the last column
  int bottom() const { return y + h; }  // one past the last row
  bool operator==(const PxRect&) const = default;
};

// Dialog units to pixels: x * 3 / 2 and y * 13 / 8, halves rounded up.
int DluToPxX(int x);
int DluToPxY(int y);
PxRect DluToPx(const DluRect& rect);
// The same rectangle seen from a parent whose origin lies at `origin` (dialog units).
PxRect DluToPx(const DluRect& rect, const DluRect& origin);

struct ControlRect {
  int id = 0;
  DluRect rect;
};

// ---------------------------------------------------------------------------------------------
// Main window (client area, below the menu bar).

struct PageButtonLayout {
  int id;              // 1000 .. 1008
  int32_t page_id;     // PageId, 0 for Apply and Default
  int normal_image;    // shown while the page is not requested
  int selected_image;  // shown while pressed or requested
  DluRect rect;
};

struct MainWindowLayout {
  DluRect client;     // 443 x 309 units = 665 x 502 px
  DluRect page_area;  // where every page (and the information page) sits
  DluRect v1_area;    // where the V1 dialog sits; it covers the row of page buttons
  DluRect status_line;  // one line under the page area: what the tool does and did
  std::array<PageButtonLayout, 9> page_buttons;
  ControlRect esc_indicator;  // 1104
  ControlRect usb_indicator;  // 1105
  ControlRect esc_label;      // 1131 "ESC", hidden
  ControlRect usb_label;      // 1184 "USB", hidden
  ControlRect english;        // 1010, created hidden and never shown
  ControlRect chinese;        // 1012, created hidden and never shown
};

const MainWindowLayout& MainWindow();

// ---------------------------------------------------------------------------------------------
// The page grid. Every settings page, the Data page and the information page put their value
// boxes in one column: the same left edge and width everywhere, wide enough for the longest
// option text in the value font (text_fit.h); each row keeps the height the page gives it. A
// drop list opens under its box (above it where the page ends first) at the box's width. The
// two lamps sit side by side in the lower left corner, clear of every row's label.

constexpr int kValueColumnX = 120;
constexpr int kValueColumnW = 102;
constexpr DluRect kPageEscLamp{5, 201, 15, 15};      // 1104
constexpr DluRect kPageAdapterLamp{23, 201, 15, 15};  // 1105, the page's focus sink

// A value box of the page data moved onto the column.
DluRect OnValueColumn(const DluRect& box);

// ---------------------------------------------------------------------------------------------
// Information page (383 x 220, placed at MainWindow().page_area like the settings pages).

struct InfoPageLayout {
  ControlRect device;    // 1064, value box
  ControlRect hardware;  // 1065, value box
  ControlRect software;  // 1066, value box, hidden in LCD program box mode
  ControlRect updata;    // 1034 "UpData"
  ControlRect help_box;  // 1035
};

const InfoPageLayout& InfoPage();

// ---------------------------------------------------------------------------------------------
// Curve editor windows (398 x 223 units). The page shows its editor at its own top-left corner,
// so only the part inside the page (383 x 220) is ever seen: every visible control lies there.

enum class CurveEditorKind { kThrottle, kBrake, kBoost };

struct CurveEditorLayout {
  DluRect client;  // 398 x 223
  ControlRect chart;
  ControlRect reset;          // 1039
  ControlRect ok;             // 1107
  ControlRect cancel;         // 1106
  ControlRect count_readout;  // 1129 "total: 05"
  ControlRect point_readout;  // 1127 "x:07,y:100"
  // Vertical axis, bottom to top (1164 .. 1168), centred on the major grid rows.
  std::array<ControlRect, 5> y_labels;
  ControlRect y_unit;  // 1169 "(%)", or 1184 "rpm" on the boost editor
  // Horizontal axis, left to right, centred on the major grid columns. Entry 0 (1173, "0")
  // exists on the boost editor only; the other editors have id 0 there.
  std::array<ControlRect, 9> x_labels;
  ControlRect x_unit;  // 1182 "(%)", or 1183 "DEG" on the boost editor
};

const CurveEditorLayout& CurveEditorWindow(CurveEditorKind kind);

// ---------------------------------------------------------------------------------------------
// V1 simple dialog (424 x 255 units), shown at MainWindow().v1_area.

struct V1SettingLayout {
  ControlRect label;
  ControlRect list;  // closed height; the list drops below it
};

struct V1DialogLayout {
  DluRect client;
  // In the order of the settings table: Running Mode, Motor Timing, Initial Acceleration,
  // Motor Rotation, Throttle Percent Reverse, Throttle Limit, Neutral range, Percentage Braking,
  // Percentage Drag Brake, Cut-off Voltage, BEC.
  std::array<V1SettingLayout, 11> settings;
  int list_drop_height;       // dialog units the open list takes below its box
  ControlRect read;           // 1213
  ControlRect send;           // 1024
  ControlRect update;         // 1025
  ControlRect control_label;  // 1214 "Settings Control"
  ControlRect status;         // 1015, black text: lies on a light well
  ControlRect connection;     // 1217 "Connection"
  ControlRect esc_caption;    // 1215 "ESC"
  ControlRect usb_caption;    // 1216 "USB"
  ControlRect esc_indicator;  // 1104
  ControlRect usb_indicator;  // 1105
};

const V1DialogLayout& V1Dialog();

// ---------------------------------------------------------------------------------------------
// Progress window.

// It opens centred over the main window, whose width it never exceeds (gui/app/window_place.h).
struct ProgressWindowLayout {
  DluRect client;   // 340 x 28, caption "Esc Process......"
  ControlRect bar;  // 1163
};

const ProgressWindowLayout& ProgressWindow();

// ---------------------------------------------------------------------------------------------
// Pictures.

// The skin files the generator writes beside the program, with their size in pixels.
struct SkinFile {
  std::string_view name;  // "Back.bmp", ...
  int width;
  int height;
};

const std::vector<SkinFile>& SkinFiles();

// The button and indicator images, compiled in as Qt resources and named by their image id.
struct ButtonImage {
  int id;
  int width;
  int height;
  std::string_view what;
};

const std::vector<ButtonImage>& ButtonImages();
const ButtonImage* FindButtonImage(int id);

constexpr int kAppIconImage = 128;  // the window icon, 256 x 256
constexpr int kAppIconSize = 256;
constexpr int kChartGridWidth = 453;  // the curve editors' chart grid
constexpr int kChartGridHeight = 242;

// ":/img/143.png"; the resource file name inside the generated .qrc is "img/143.png".
std::string ImageResource(int image_id);
// ":/img/grid.png", the chart grid (it has no image id of its own).
std::string ChartGridResource();
// File names (without folder) of every resource image the generator writes.
std::vector<std::string> ResourceImageFiles();

}  // namespace tessel
