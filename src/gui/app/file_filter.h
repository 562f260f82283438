// File dialog filters as the tool writes them ("label|pattern|label|pattern||") turned into
// the form Qt's file dialogs take ("label (pattern);;label (pattern)").
#pragma once

#include <QString>
#include <string>

namespace tessel {

QString QtFileFilter(const std::string& filter);

}  // namespace tessel
