// The Turbo page: turbo timing, its activation method, delay, start rpm and slopes. Only the
// settings that matter for the chosen method can be edited.
#pragma once

#include "gui/pages/settings_page.h"

namespace tessel {

class CTurbo : public CSettingsPage {
  Q_OBJECT
 public:
  CTurbo(PageContext context, QWidget* parent);
};

}  // namespace tessel
