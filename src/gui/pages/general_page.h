// The General page: running mode, cut-off, heat protection, rotation, BEC output, and the
// profile list, whose choice writes a whole preset into the image at once.
#pragma once

#include "gui/pages/settings_page.h"

namespace tessel {

class CGeneral : public CSettingsPage {
  Q_OBJECT
 public:
  CGeneral(PageContext context, QWidget* parent);
};

}  // namespace tessel
