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

std::string UsbIds(uint16_t vendor_id, uint16_t product_id) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", static_cast<unsigned>(vendor_id),
                static_cast<unsigned>(product_id));
  return ids;
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

std::vector<std::string> PortColumns(const PortListing& entry) {
  const PortInfo& info = entry.info;
  const std::string ids =
      info.has_usb_ids ? UsbIds(info.vendor_id, info.product_id) : std::string("----:----");
  return {Printable(info.device), ids, Printable(info.product), Printable(info.serial_number),
          entry.accepted ? "accepted" : "-"};
}

std::string FormatPortLine(const PortListing& entry) {
  std::string line;
  for (const std::string& column : PortColumns(entry)) line += (line.empty() ? "" : "  ") + column;
  return line;
}

std::vector<HidDeviceInfo> ListHidAdapters() {
  return HidapiDevice::Enumerate(kHidVendorId, kHidProductId);
}

std::vector<std::string> HidColumns(const HidDeviceInfo& entry) {
  return {Printable(entry.path), UsbIds(entry.vendor_id, entry.product_id),
          Printable(entry.product), Printable(entry.serial_number), "hid"};
}

std::string FormatHidLine(const HidDeviceInfo& entry) {
  std::string line;
  for (const std::string& column : HidColumns(entry)) line += (line.empty() ? "" : "  ") + column;
  return line;
}

}  // namespace tessel
