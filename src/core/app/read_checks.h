// What a finished read says about itself beyond its outcome: the curves that arrived with a
// wrong check value (their default points stand in the image). Every face names them the same.
#pragma once

#include <string>
#include <vector>

#include "core/engine/session.h"

namespace tessel {

// The names of the curves the last read got damaged ("throttle_curve", ...), in the curve
// table's order; empty when every curve arrived whole.
std::vector<std::string> DamagedCurveNames(const Session& session);

// "damaged curve (wrong check value): boost_curve", or empty when every curve arrived whole.
std::string DamagedReadText(const Session& session);

}  // namespace tessel
