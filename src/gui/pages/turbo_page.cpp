#include "gui/pages/turbo_page.h"

namespace tessel {

CTurbo::CTurbo(PageContext context, QWidget* parent)
    : CSettingsPage(*FindPage(kPageTurbo), std::move(context), parent) {}

}  // namespace tessel
