#include "core/model/page_rules.h"

namespace tessel {
namespace {

constexpr int32_t kBoostStartRpmBase = 1000;
constexpr int32_t kBoostEndRpmBase = 3000;
constexpr int32_t kBoostRpmStep = 500;

struct BoostRpm {
  int32_t bottom;
  int32_t top;
};

// The start and end rpm as the page shows them: judging clamped indices keeps a stray value
// from pushing a corrected end outside its list.
BoostRpm BoostRpmOf(const EscSettingsImage& image) {
  static const size_t start_count = FindSetting(&EscSettingsImage::boost_start_rpm)->options.size();
  static const size_t end_count = FindSetting(&EscSettingsImage::boost_end_rpm)->options.size();
  const int32_t start = ClampToOptions(image.boost_start_rpm, start_count);
  const int32_t end = ClampToOptions(image.boost_end_rpm, end_count);
  return {start * kBoostRpmStep + kBoostStartRpmBase, end * kBoostRpmStep + kBoostEndRpmBase};
}

void ClampPage(const PageDef& page, EscSettingsImage& image) {
  for (const SettingDef& s : page.settings) {
    image.*s.field = ClampToOptions(image.*s.field, s.options.size());
  }
}

size_t IndexOf(const PageDef& page, ImageField field) {
  for (size_t i = 0; i < page.settings.size(); ++i) {
    if (page.settings[i].field == field) return i;
  }
  return page.settings.size();
}

void Set(std::vector<bool>& flags, const PageDef& page, ImageField field, bool enabled) {
  const size_t i = IndexOf(page, field);
  if (i < flags.size()) flags[i] = enabled;
}

}  // namespace

bool IsCurveModeField(ImageField field) {
  return field == &EscSettingsImage::throttle_curve_mode ||
         field == &EscSettingsImage::brake_curve_mode || field == &EscSettingsImage::boost_slope;
}

void RefreshPageFromImage(int32_t page_id, EscSettingsImage& image) {
  const PageDef* page = FindPage(page_id);
  if (page == nullptr) return;
  // A boost slope out of range clamps like every other setting: any non-zero slope means the
  // custom curve, so 5 becomes 1 ("Custom").
  ClampPage(*page, image);
}

void RefreshAllPagesFromImage(EscSettingsImage& image) {
  for (const PageDef& page : EditingPages()) RefreshPageFromImage(page.page_id, image);
}

std::vector<ClampedField> FieldsBeyondOptions(const EscSettingsImage& image) {
  std::vector<ClampedField> out;
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& s : page.settings) {
      const int32_t stored = image.*s.field;
      const int32_t used = ClampToOptions(stored, s.options.size());
      if (used != stored) out.push_back({&s, stored, used});
    }
  }
  return out;
}

void ResetPageToDefaults(int32_t page_id, EscSettingsImage& image) {
  const PageDef* page = FindPage(page_id);
  if (page == nullptr) return;
  for (const SettingDef& s : page->settings) {
    image.*s.field = IsCurveModeField(s.field) ? 0 : s.default_index;
  }
  RefreshPageFromImage(page_id, image);
}

void ResetAllPagesToDefaults(EscSettingsImage& image) {
  for (const PageDef& page : EditingPages()) ResetPageToDefaults(page.page_id, image);
}

void LoadFactoryDefaults(EscSettingsImage& image) {
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& s : page.settings) image.*s.field = s.default_index;
  }
  image.last_profile_preset = 0;
}

bool CorrectBoostEndRpm(EscSettingsImage& image) {
  const BoostRpm rpm = BoostRpmOf(image);
  if (rpm.top > rpm.bottom) return false;
  image.boost_end_rpm = (rpm.bottom + 1000 - kBoostEndRpmBase) / kBoostRpmStep;
  return true;
}

std::array<uint32_t, 5> BoostRpmLabels(const EscSettingsImage& image) {
  BoostRpm rpm = BoostRpmOf(image);
  if (rpm.top <= rpm.bottom) rpm.top = rpm.bottom + 1000;
  const int32_t step = (rpm.top - rpm.bottom) / 4;
  std::array<uint32_t, 5> labels{};
  for (int i = 0; i < 4; ++i)
    labels[static_cast<size_t>(i)] = static_cast<uint32_t>(rpm.bottom + i * step);
  labels[4] = static_cast<uint32_t>(rpm.top);
  return labels;
}

std::vector<bool> AllEnabled(const PageDef& page) {
  return std::vector<bool>(page.settings.size(), true);
}

std::vector<bool> EnabledSettings(const PageDef& page, const EscSettingsImage& image,
                                  const std::vector<bool>& previous) {
  std::vector<bool> flags = AllEnabled(page);
  for (size_t i = 0; i < flags.size() && i < previous.size(); ++i) flags[i] = previous[i];

  if (page.page_id == kPageBoost) {
    const bool on = image.boost_timing != 0;
    for (ImageField f : {&EscSettingsImage::boost_start_rpm, &EscSettingsImage::boost_end_rpm,
                         &EscSettingsImage::stability_assist, &EscSettingsImage::boost_slope}) {
      Set(flags, page, f, on);
    }
    Set(flags, page, &EscSettingsImage::boost_timing, true);
  } else if (page.page_id == kPageTurbo) {
    Set(flags, page, &EscSettingsImage::turbo_timing, true);
    if (image.turbo_timing == 0) {
      for (ImageField f : {&EscSettingsImage::turbo_activation, &EscSettingsImage::turbo_delay,
                           &EscSettingsImage::turbo_start_rpm, &EscSettingsImage::turbo_slope_on,
                           &EscSettingsImage::turbo_slope_off}) {
        Set(flags, page, f, false);
      }
    } else {
      for (ImageField f : {&EscSettingsImage::turbo_activation, &EscSettingsImage::turbo_slope_on,
                           &EscSettingsImage::turbo_slope_off}) {
        Set(flags, page, f, true);
      }
      switch (image.turbo_activation) {
        case 0:
          Set(flags, page, &EscSettingsImage::turbo_delay, true);
          Set(flags, page, &EscSettingsImage::turbo_start_rpm, false);
          break;
        case 1:
          Set(flags, page, &EscSettingsImage::turbo_delay, false);
          Set(flags, page, &EscSettingsImage::turbo_start_rpm, true);
          break;
        case 2:
          Set(flags, page, &EscSettingsImage::turbo_delay, true);
          Set(flags, page, &EscSettingsImage::turbo_start_rpm, true);
          break;
        default:
          break;  // the two boxes keep their state
      }
    }
  } else {
    flags = AllEnabled(page);
  }
  return flags;
}

std::string GreyedReason(const PageDef& page, const EscSettingsImage& image, size_t setting) {
  if (setting >= page.settings.size()) return "";
  const ImageField field = page.settings[setting].field;
  // The option as its box shows it, without the factory mark.
  auto shown = [&](ImageField f) {
    const size_t i = IndexOf(page, f);
    if (i >= page.settings.size()) return std::string();
    const SettingDef& s = page.settings[i];
    const int32_t row = ClampToOptions(image.*f, s.options.size());
    std::string text = s.options[static_cast<size_t>(row)];
    if (const size_t mark = text.find("(*)"); mark != std::string::npos) text.erase(mark, 3);
    return text;
  };
  auto caption = [&](ImageField f) { return std::string(page.settings[IndexOf(page, f)].caption); };
  const std::vector<bool> enabled = EnabledSettings(page, image, {});
  if (enabled[setting]) return "";
  if (page.page_id == kPageBoost) {
    return "Greyed while " + caption(&EscSettingsImage::boost_timing) + " is " +
           shown(&EscSettingsImage::boost_timing) + ": choose a boost timing above it to use it";
  }
  if (page.page_id == kPageTurbo) {
    if (image.turbo_timing == 0) {
      return "Greyed while " + caption(&EscSettingsImage::turbo_timing) + " is " +
             shown(&EscSettingsImage::turbo_timing) + ": choose a turbo timing above it to use it";
    }
    const ImageField method = &EscSettingsImage::turbo_activation;
    return "Greyed while " + caption(method) + " is " + shown(method) + ": that method does not use " +
           caption(field);
  }
  return "";
}

}  // namespace tessel
