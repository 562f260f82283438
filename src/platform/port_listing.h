// The port list as the command line shows it ("tesselarc-cli ports"): every serial port with
// its USB identity and whether the serial link would take it as a programming adapter, then
// the HID adapters.
#pragma once

#include <string>
#include <vector>

#include "core/link/serial_port.h"
#include "platform/hidapi_device.h"

namespace tessel {

struct PortListing {
  PortInfo info;
  bool accepted = false;  // IsAcceptedAdapter
};

std::vector<PortListing> ListPorts(PortEnumerator& ports);

// "device  vvvv:pppp  product  serial  accepted" (or "-" at the end when not accepted). Ports
// without USB ids show "----:----", empty texts "-". Texts come from the device itself, so
// control characters are shown as '?' rather than sent to the terminal.
std::string FormatPortLine(const PortListing& entry);
// The same five texts one by one, for a table with headings.
std::vector<std::string> PortColumns(const PortListing& entry);

// The attached HID adapters (kHidVendorId:kHidProductId), as hidapi enumerates them.
std::vector<HidDeviceInfo> ListHidAdapters();

// "path  vvvv:pppp  product  serial  hid", with the same rules for empty and unsafe texts.
std::string FormatHidLine(const HidDeviceInfo& entry);
std::vector<std::string> HidColumns(const HidDeviceInfo& entry);

}  // namespace tessel
