#include "platform/port_listing.h"

#include <cstdio>

#include "core/link/serial_link.h"

namespace tessel {

namespace {

std::string Printable(const std::string& text) {
  if (text.empty()) return "-";
  std::string out = text;
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '?';
  }
  return out;
}

}  // namespace

std::vector<PortListing> ListPorts(PortEnumerator& ports) {
  std::vector<PortListing> listing;
  for (PortInfo& info : ports.Ports()) {
    PortListing entry;
    entry.accepted = IsAcceptedAdapter(info);
    entry.info = std::move(info);
    listing.push_back(std::move(entry));
  }
  return listing;
}

std::string FormatPortLine(const PortListing& entry) {
  const PortInfo& info = entry.info;
  char ids[16] = "----:----";
  if (info.has_usb_ids) {
    std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(info.vendor_id),
                  static_cast<unsigned>(info.product_id));
  }
  return Printable(info.device) + "  " + ids + "  " + Printable(info.product) + "  " +
         Printable(info.serial_number) + "  " + (entry.accepted ? "accepted" : "-");
}

}  // namespace tessel
