#include "core/app/demo_kinds.h"

namespace tessel {

const std::vector<DemoKind>& DemoKinds() {
  static const std::vector<DemoKind> kinds{
      {"full", "Virtual ESC", false},
      {"v1", "Virtual V1-series ESC", false},
      {"v1-bec", "Virtual V1-series ESC with BEC", false},
      {"hid-full", "Virtual HID adapter with ESC", true},
      {"hid-v1", "Virtual HID adapter with V1-series ESC", true},
      {"hid-v1-bec", "Virtual HID adapter with V1-series ESC with BEC", true},
      {"hid-lcd", "Virtual HID adapter with LCD program box", true},
  };
  return kinds;
}

const DemoKind* FindDemoKind(const std::string& name) {
  for (const DemoKind& k : DemoKinds()) {
    if (name == k.name) return &k;
  }
  return nullptr;
}

int DemoKindPlace(const DemoKind& kind) {
  int place = 0;
  for (const DemoKind& k : DemoKinds()) {
    if (&k == &kind) return place;
    if (k.hid == kind.hid) ++place;
  }
  return -1;
}

std::string DemoKindNames(const char* separator) {
  std::string names;
  for (const DemoKind& k : DemoKinds()) {
    if (!names.empty()) names += separator;
    names += k.name;
  }
  return names;
}

std::string UnknownDemoText(const std::string& name) {
  // The name came from a link anyone can write: it is quoted short and with its controls out.
  std::string shown;
  for (char c : name.substr(0, 40)) shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  return "No DemoMode \"" + shown + "\". The virtual devices: " + DemoKindNames(", ") + ".";
}

}  // namespace tessel
