// Creates the five editing pages, each with what it has of its own.
#pragma once

#include <vector>

#include "gui/pages/settings_page.h"

namespace tessel {

// General, Throttle, Brake, Boost, Turbo, in page-id order, hidden children of `parent`.
std::vector<CSettingsPage*> CreateEditingPages(const PageContext& context, QWidget* parent);

}  // namespace tessel
