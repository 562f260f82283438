// The hidapi back-end on this machine, which has no adapter attached, and the HID lines of
// the command line's port listing.
#include "platform/hidapi_device.h"

#include <gtest/gtest.h>

#include "platform/port_listing.h"

namespace tessel {
namespace {

TEST(HidapiDevice, WithoutAnAdapterEveryCallFailsCleanly) {
  HidapiDevice device;
  const uint32_t count = device.DeviceCount(kHidVendorId, kHidProductId);
  EXPECT_EQ(count, ListHidAdapters().size());
  EXPECT_EQ(count, HidapiDevice::Paths(kHidVendorId, kHidProductId).size());
  if (count > 0) GTEST_SKIP() << "an adapter is attached here";

  std::string path = "unchanged";
  EXPECT_EQ(device.DevicePath(0, kHidVendorId, kHidProductId, &path), kHidDeviceNotFound);
  EXPECT_EQ(path, "unchanged");
  EXPECT_EQ(device.Open(0, kHidVendorId, kHidProductId, 512), kHidDeviceNotFound);
  EXPECT_FALSE(device.IsOpened());
  EXPECT_EQ(device.OpenPath(&path), kHidDeviceNotOpened);
  EXPECT_EQ(device.SetTimeouts(0, 1000), kHidDeviceNotOpened);
  uint8_t report[64] = {0xFD, 'C', 'O', 'N', 'N'};
  EXPECT_EQ(device.SendControlReport(report, sizeof report), kHidDeviceNotOpened);
  EXPECT_EQ(device.SendInterruptReport(report, sizeof report), kHidDeviceNotOpened);
  uint32_t returned = 99;
  EXPECT_EQ(device.ReadInputReports(report, sizeof report, 1, &returned), kHidDeviceNotOpened);
  EXPECT_EQ(returned, 0u);
  device.Close();  // closing what is not open is harmless
  EXPECT_EQ(device.ReportLength(), 64);
}

TEST(PortListing, HidAdapterLinesShowIdsAndSafeTexts) {
  EXPECT_EQ(FormatHidLine({"/dev/hidraw3", 0x10C4, 0x8468, "USB HID \x1b]0;x\x07Link", "A1"}),
            "/dev/hidraw3  10c4:8468  USB HID ?]0;x?Link  A1  hid");
  EXPECT_EQ(FormatHidLine({"/dev/hidraw0", 0x10C4, 0x8468, "", ""}),
            "/dev/hidraw0  10c4:8468  -  -  hid");
}

}  // namespace
}  // namespace tessel
