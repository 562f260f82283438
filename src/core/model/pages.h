// What the settings pages show: every setting's caption, image field, option texts, default,
// help text and the place of its value box and drop list (dialog units), as data that the
// desktop pages, the skin generator, the command line and the tests all read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

// A rectangle in dialog units (1 unit = 1.5 px across, 1.625 px down).
struct DluRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
};

struct SettingDef {
  std::string_view caption;  // the setting's caption, e.g. "RUN MODE"
  std::string_view field_name;
  ImageField field;
  std::vector<std::string> options;  // texts exactly as shown, "(*)" marks included
  int32_t default_index;             // the option whose text contains "*", else 0
  std::string help;                  // with "\r\n" line breaks
  int value_box_id;
  DluRect value_box;
  int drop_list_id;
  DluRect drop_list;
  int max_text = 30;  // value box text limit
};

struct PageDef {
  int32_t page_id;              // PageId
  std::string_view name;        // "General", ...
  std::string_view title;       // "GENERAL", ... (drawn into the background)
  std::string_view background;  // "b61.bmp", ...
  std::vector<SettingDef> settings;
  int help_box_id = 0;        // at kHelpBoxRect on every page
  DluRect esc_indicator;      // control 1104
  DluRect adapter_indicator;  // control 1105, also the page's focus sink
};

// Every page is a 383 x 220 panel with its help box in the same place.
constexpr DluRect kPageRect{0, 0, 383, 220};
constexpr DluRect kHelpBoxRect{234, 26, 138, 176};
constexpr int kEscIndicatorId = 1104;
constexpr int kAdapterIndicatorId = 1105;
constexpr int kValueTextLimit = 30;
constexpr int kProfileTextLimit = 50;

// The five editing pages in page-id order: General, Throttle, Brake, Boost, Turbo.
const std::vector<PageDef>& EditingPages();
const PageDef* FindPage(int32_t page_id);
const SettingDef* FindSetting(ImageField field);
const SettingDef* FindSettingByName(std::string_view field_name);

// The index a refresh shows and stores: a value not below the option count becomes the last
// index. The comparison is unsigned, so a negative value counts as too large.
int32_t ClampToOptions(int32_t value, size_t option_count);

// The option text a refresh shows for an image value (clamped as above).
const std::string& OptionText(const SettingDef& setting, int32_t value);

}  // namespace tessel
