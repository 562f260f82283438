#include "gui/pages/general_page.h"

namespace tessel {

CGeneral::CGeneral(PageContext context, QWidget* parent)
    : CSettingsPage(*FindPage(kPageGeneral), std::move(context), parent) {}

}  // namespace tessel
