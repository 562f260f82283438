#include "gui/pages/general_page.h"

#include "core/model/presets.h"

namespace tessel {

CGeneral::CGeneral(PageContext context, QWidget* parent)
    : CSettingsPage(*FindPage(kPageGeneral), std::move(context), parent) {
  image().last_profile_preset = 0;
}

void CGeneral::OnChosen(int index) {
  // Only a profile takes effect at once; other choices wait for the next collect.
  if (index != IndexOf(&EscSettingsImage::profile_preset)) return;
  CollectSelections();
  ApplyProfilePreset(image());
  TransferTexts();
}

}  // namespace tessel
