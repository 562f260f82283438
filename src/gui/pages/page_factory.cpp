#include "gui/pages/page_factory.h"

#include "gui/pages/boost_page.h"
#include "gui/pages/brake_page.h"
#include "gui/pages/general_page.h"
#include "gui/pages/throttle_page.h"
#include "gui/pages/turbo_page.h"

namespace tessel {

std::vector<CSettingsPage*> CreateEditingPages(const PageContext& context, QWidget* parent) {
  std::vector<CSettingsPage*> pages;
  for (const PageDef& def : EditingPages()) {
    CSettingsPage* page = nullptr;
    switch (def.page_id) {
      case kPageGeneral:
        page = new CGeneral(context, parent);
        break;
      case kPageThrottle:
        page = new CThrottle(context, parent);
        break;
      case kPageBrake:
        page = new CBrake(context, parent);
        break;
      case kPageBoost:
        page = new CBoost(context, parent);
        break;
      case kPageTurbo:
        page = new CTurbo(context, parent);
        break;
      default:
        page = new CSettingsPage(def, context, parent);
        break;
    }
    page->hide();
    pages.push_back(page);
  }
  return pages;
}

}  // namespace tessel
