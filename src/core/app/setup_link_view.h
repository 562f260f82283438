// Opening a setup link on a face: the link's setup beside what the ESC holds (the compare
// view), and Apply, which takes the setup the way an import takes a file and sends it through
// the tool's usual send. Nothing goes out for a link that is damaged or for another kind of ESC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app/tool.h"
#include "core/model/setup_compare.h"

namespace tessel {

constexpr const char* kCompareLinkCaption = "Setup link";

struct LinkComparison {
  // Why the link cannot be compared (or applied): damaged, for another kind of ESC, no ESC.
  // Empty when it can.
  std::string refusal;
  int32_t device_class = kDeviceUnknown;
  // From what the ESC holds (as the pages show it) to what the link holds.
  std::vector<SetupDifference> differences;
  // "No differences: ..." or "This ESC against the setup link: 3 differences."
  std::string summary;
};

// File › Share Setup: the link at `base` to the setup the connected ESC's pages hold (a full
// ESC's pages collected as Apply would send them; a V1-series ESC's choices as its view shows
// them). Empty when no ESC is connected.
std::string ShareSetupLink(Tool& tool, const std::string& base);

// Compares the setup `link` carries with the connected ESC. A full ESC's pages count as they
// stand (collected into the image, as Apply would send them), so that a choice not yet sent
// shows as what the link would change.
LinkComparison CompareSetupLink(Tool& tool, const std::string& link);

// Takes the link's setup and starts its send: a full ESC's settings file through the import
// and Apply, a V1-series ESC's choices through the V1 view and its send. False when the tool is
// busy, no ESC is connected or the link is refused (the refusal is asked and goes on the status
// line); nothing is sent then.
bool ApplySetupLink(Tool& tool, const std::string& link);

}  // namespace tessel
