// What the page operations do to the settings image, apart from the controls: the clamp of a
// refresh and each page's extra refresh rule, resets to defaults, the factory defaults that
// creating the pages loads, and the enabling rules that decide which value boxes take focus.
// The desktop pages and the command line call these so that both show the same image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/pages.h"

namespace tessel {

// A page's RefreshFromImage as far as the image goes: every field of the page clamped to its
// option list (ClampToOptions); a boost_slope above 1 thus becomes 1 ("Custom"), since any
// non-zero slope means the custom curve. Unknown page ids change nothing. The collect that follows a refresh
// stores the same indices back, so it is a no-op on the image.
void RefreshPageFromImage(int32_t page_id, EscSettingsImage& image);

// The main window's refresh of the five editing pages (after a read, an import or a preset).
void RefreshAllPagesFromImage(EscSettingsImage& image);

// A page field whose value lies beyond its option list, and the index a refresh takes instead.
struct ClampedField {
  const SettingDef* setting;
  int32_t stored;
  int32_t used;
};
// The fields RefreshAllPagesFromImage would change, in page order; the image is not touched.
std::vector<ClampedField> FieldsBeyondOptions(const EscSettingsImage& image);

// A page's ResetToDefaults: every field to its default index and the curve mode to 0, then the
// refresh above.
void ResetPageToDefaults(int32_t page_id, EscSettingsImage& image);
void ResetAllPagesToDefaults(EscSettingsImage& image);

// What creating the pages does to the image: every page field to its default index (the
// profile to 0 "Modify") and last_profile_preset to 0. Curves and V1 fields are not touched.
void LoadFactoryDefaults(EscSettingsImage& image);

// The curve-mode settings: choosing their first option or a reset stores 0.
bool IsCurveModeField(ImageField field);

// The Boost page's consistency rule, run when the user chooses a start rpm, an end rpm or
// "Custom": an end rpm not above the start rpm becomes the index 1000 rpm above it. Returns
// true when boost_end_rpm was changed. (The boost editor's UpdateBoostRpmRange applies the same
// rule while it computes its axis labels.)
bool CorrectBoostEndRpm(EscSettingsImage& image);

// The five rpm values, bottom to top, that label the boost editor's vertical axis: the start
// rpm, three steps of a quarter of the range (integer division) and the end rpm (taken as
// 1000 rpm above the start when it is not above it).
std::array<uint32_t, 5> BoostRpmLabels(const EscSettingsImage& image);

// Enabling rules. One flag per setting of the page, in the page's order; "TURBO TIMING" and
// "BOOST TIMING" are always enabled, and pages without a rule enable everything.
//  - Boost: boost_timing 0 disables START RPM, END RPM, STABLITY ASSSIST and SLOPE.
//  - Turbo: turbo_timing 0 disables the five others; otherwise the activation method and both
//    slopes are enabled, and turbo_activation 0/1/2 enables TURBO DELAY and START RPM as
//    delay only / start rpm only / both. Any other activation value leaves those two boxes as
//    they were in `previous` (so the rule needs the boxes' current state).
// `previous` is the current state of the boxes; an empty or short vector counts as enabled.
std::vector<bool> EnabledSettings(const PageDef& page, const EscSettingsImage& image,
                                  const std::vector<bool>& previous);

// Why a setting's value box is greyed, in words for its hover text ("Greyed while BOOST TIMING
// is 0deg: choose a boost timing above 0deg to use it"), or "" when no rule greys it. Follows
// the rules above for the image as it stands.
std::string GreyedReason(const PageDef& page, const EscSettingsImage& image, size_t setting);

// Every value box enabled: the state of a page just created (the Boost page then collects at
// once, which applies its rule; the Turbo page waits for its first collect).
std::vector<bool> AllEnabled(const PageDef& page);

}  // namespace tessel
