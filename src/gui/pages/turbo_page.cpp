#include "gui/pages/turbo_page.h"

namespace tessel {

CTurbo::CTurbo(PageContext context, QWidget* parent)
    : CSettingsPage(*FindPage(kPageTurbo), std::move(context), parent) {}

void CTurbo::OnChosen(int index) {
  // The timing and the activation method decide what else can be edited, so they reach the
  // image at once; the others wait for the next collect.
  if (index == IndexOf(&EscSettingsImage::turbo_timing)) {
    image().turbo_timing = selection(index);
    CollectSelections();
  } else if (index == IndexOf(&EscSettingsImage::turbo_activation)) {
    image().turbo_activation = selection(index);
    CollectSelections();
  }
}

}  // namespace tessel
