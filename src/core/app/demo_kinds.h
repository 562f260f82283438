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
// The kind's place among the virtual devices of its adapter, from 0: the order in which the
// virtual ESC and the virtual HID adapter number their variants.
int DemoKindPlace(const DemoKind& kind);
// "full|v1|...|hid-lcd", for a usage line.
std::string DemoKindNames(const char* separator);
// 'No DemoMode "foo". The virtual devices: full, v1, ...'
std::string UnknownDemoText(const std::string& name);

}  // namespace tessel
