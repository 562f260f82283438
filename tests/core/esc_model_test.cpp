// The one ESC model behind both virtual devices: the serial line and the HID adapter answer
// from the same rules, and a device swapped in behind the adapter starts as a fresh ESC.
#include "sim/esc_model.h"

#include <gtest/gtest.h>

#include "core/link/clock.h"
#include "core/link/hid_link.h"
#include "sim/virtual_esc.h"
#include "sim/virtual_hid_adapter.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

// The host on the HID adapter: each call sends one report and returns the whole answer.
class HidHost {
 public:
  explicit HidHost(VirtualHidAdapter& adapter) : link_(adapter, clock_) {
    link_.hid_path = link_.HidFindPath();
    EXPECT_TRUE(link_.HidOpenAndGreet());
    Ask({});  // the greeting
  }
  Bytes Ask(const Bytes& data) {
    if (!data.empty()) {
      EXPECT_TRUE(link_.HidSend(data.data(), data.size()));
    }
    uint8_t rx[256];
    size_t n = 0;
    if (!link_.HidReceive(rx, sizeof rx, link_.FetchSize(), &n)) return {};
    return Bytes(rx, rx + n);
  }

 private:
  ManualClock clock_;
  HidLink link_;
};

// What the serial ESC answers, the echo of each of the host's bytes taken off.
Bytes SerialAsk(VirtualEsc& esc, const Bytes& data) {
  Bytes answer;
  for (uint8_t b : data) {
    const Bytes out = esc.Feed(b, 1200);
    answer.insert(answer.end(), out.begin() + 1, out.end());
  }
  return answer;
}

TEST(EscModel, SerialAndHidAnswerAndTakeSettingsAlike) {
  // A V1-series ESC with the BEC setting, its 16-byte block on both lines, the same fault.
  VirtualEsc serial(EscVariant::kV1Bec);
  VirtualHidAdapter adapter(HidDeviceKind::kV1EscBec, 16);
  for (EscSettingsImage* im : {&serial.image(), &adapter.image()}) {
    im->v1_cutoff_voltage = 5;  // code 47
    im->v1_bec_voltage = 2;
  }
  serial.faults().keep_field = "v1_drag_brake";
  adapter.faults().keep_field = "v1_drag_brake";
  HidHost host(adapter);

  const Bytes block{47, 0, 2, 6, 3, 1, 3, 2, 7, 0, 4, 1, 0, 0, 2, 0};
  EXPECT_EQ(SerialAsk(serial, {0xD8}), block);
  EXPECT_EQ(host.Ask({0xD8}), block);

  // Cut-off code 0x2A (index 2), drag brake kept as it was, BEC 0: each pair answered 0x01.
  const Bytes pairs{0xEC, 0x2A, 0xE4, 5, 0xA1, 0};
  EXPECT_EQ(SerialAsk(serial, pairs), (Bytes{1, 1, 1}));
  EXPECT_EQ(host.Ask(pairs), (Bytes{1, 1, 1}));
  for (const EscSettingsImage* im : {&serial.image(), &adapter.image()}) {
    EXPECT_EQ(im->v1_cutoff_voltage, 2);
    EXPECT_EQ(im->v1_drag_brake, SampleV1EscImage().v1_drag_brake);
    EXPECT_EQ(im->v1_bec_voltage, 0);
  }
}

TEST(EscModel, DeviceSwappedBehindTheAdapterIsFreshButKeepsTheSetVersion) {
  VirtualHidAdapter adapter;
  adapter.set_esc_version({0, 0, 2, 1, 9, 9, 9});
  HidHost host(adapter);
  ASSERT_EQ(host.Ask({0xD6}), Bytes{0xD7});  // the record loader
  EXPECT_EQ(host.Ask({0x00, 0x02, 0xAA, 0xBB}), Bytes{0x11});
  EXPECT_EQ(adapter.record_attempts(), 1);

  adapter.ReplaceDevice(HidDeviceKind::kV1Esc);
  EXPECT_EQ(adapter.record_attempts(), 0);
  EXPECT_TRUE(adapter.flashed_records().empty());
  EXPECT_EQ(host.Ask({0xD5}), Bytes{0x2C});
  // The version answer is the adapter's setting, not the old device's.
  EXPECT_EQ(host.Ask({0xD7}), (Bytes{0, 0, 2, 1, 9, 9, 9}));
}

}  // namespace
}  // namespace tessel
