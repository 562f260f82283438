#include "gui/pages/page_factory.h"

#include "gui/pages/general_page.h"

namespace tessel {

std::vector<CSettingsPage*> CreateEditingPages(const PageContext& context, QWidget* parent) {
  std::vector<CSettingsPage*> pages;
  for (const PageDef& def : EditingPages()) {
    CSettingsPage* page = nullptr;
    if (def.page_id == kPageGeneral) {
      page = new CGeneral(context, parent);
    } else {
      page = new CSettingsPage(def, context, parent);
    }
    page->hide();
    pages.push_back(page);
  }
  return pages;
}

}  // namespace tessel
