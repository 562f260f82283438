// The virtual devices a face can start instead of a USB adapter (DemoMode, --demo=KIND, the
// web page's ?demo=KIND), and what a face says about a kind it does not know.
#pragma once

#include <string>
#include <vector>

namespace tessel {

struct DemoKind {
  const char* name;   // "full", "hid-lcd", ...
  const char* title;  // the DemoMode menu's item
  bool hid;           // behind the virtual HID adapter
};

const std::vector<DemoKind>& DemoKinds();
const DemoKind* FindDemoKind(const std::string& name);
// 'No DemoMode "foo". The virtual devices: full, v1, ...'
std::string UnknownDemoText(const std::string& name);

}  // namespace tessel
