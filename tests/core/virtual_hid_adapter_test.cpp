#include "sim/virtual_hid_adapter.h"

#include <gtest/gtest.h>

#include <numeric>

#include "core/link/hid_link.h"
#include "core/link/clock.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using Report = std::array<uint8_t, 64>;

Report DataReport(const Bytes& data) {
  Report r{};
  r[0] = 2;
  r[1] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), r.begin() + 2);
  return r;
}

Report Hello() {
  Report r{};
  r[0] = 0xFD;
  std::copy_n("CONN", 4, r.begin() + 1);
  return r;
}

// The host side, straight on the HidDevice interface: one output report per Send.
class HidAdapterTest : public ::testing::Test {
 protected:
  void Connect(VirtualHidAdapter& a) {
    ASSERT_EQ(
        a.Open(a.DeviceCount(kHidVendorId, kHidProductId) - 1, kHidVendorId, kHidProductId, 512),
        kHidSuccess);
    const Report hello = Hello();
    ASSERT_EQ(a.SendControlReport(hello.data(), hello.size()), kHidSuccess);
    ASSERT_EQ(Fetch(a), (std::vector<Bytes>{{0xD7, 1, 0, 5, 0, 12, 3, 7}}));
  }
  int Send(VirtualHidAdapter& a, const Bytes& data) {
    const Report r = DataReport(data);
    return a.SendInterruptReport(r.data(), r.size());
  }
  // The data of every buffered report, one entry per report.
  std::vector<Bytes> Fetch(VirtualHidAdapter& a) {
    std::vector<Bytes> all;
    for (;;) {
      std::array<uint8_t, 8 * 64> buffer{};
      uint32_t returned = 0;
      const int status = a.ReadInputReports(buffer.data(), buffer.size(), 8, &returned);
      EXPECT_TRUE(status == kHidSuccess || status == kHidTransferTimeout) << status;
      for (uint32_t at = 0; at < returned; at += 64) {
        all.emplace_back(buffer.begin() + at + 2, buffer.begin() + at + 2 + buffer[at + 1]);
      }
      if (returned == 0) return all;
    }
  }
  // Everything the next answers carry, end to end.
  Bytes Answer(VirtualHidAdapter& a, const Bytes& data) {
    EXPECT_EQ(Send(a, data), kHidSuccess);
    Bytes joined;
    for (const Bytes& r : Fetch(a)) joined.insert(joined.end(), r.begin(), r.end());
    return joined;
  }
  // A curve's 120 wire bytes and its two check bytes (the first spoiled unless `good`).
  static Bytes WireAndCheck(const CurveData& curve, bool good = true) {
    Bytes b;
    for (int pos = 0; pos < kCurveWireBytes; ++pos) b.push_back(CurveWireByte(curve, pos));
    auto check = CurveCheckBytes(curve);
    if (!good) check[0] ^= 1;
    b.insert(b.end(), check.begin(), check.end());
    return b;
  }
};

TEST_F(HidAdapterTest, EnumeratesOpensAndGreetsAfterEachHello) {
  VirtualHidAdapter a;
  EXPECT_EQ(a.DeviceCount(kHidVendorId, 0x1234), 0u);
  std::string path;
  EXPECT_EQ(a.DevicePath(1, kHidVendorId, kHidProductId, &path), kHidDeviceNotFound);
  ASSERT_EQ(a.DevicePath(0, kHidVendorId, kHidProductId, &path), kHidSuccess);
  EXPECT_EQ(path, "virtual-hid-0");
  EXPECT_EQ(Send(a, {0xD5}), kHidDeviceNotOpened);

  a.set_adapter_version({2, 0, 7, 0, 11, 4, 9});
  ASSERT_EQ(a.Open(0, kHidVendorId, kHidProductId, 512), kHidSuccess);
  const Report hello = Hello();
  ASSERT_EQ(a.SendControlReport(hello.data(), hello.size()), kHidSuccess);
  Report not_hello = hello;
  not_hello[4] = 'X';
  ASSERT_EQ(a.SendControlReport(not_hello.data(), not_hello.size()), kHidSuccess);
  EXPECT_EQ(a.SendControlReport(hello.data(), 63), kHidInvalidBuffer);
  EXPECT_EQ(a.hello_count(), 1);

  // The exact reports both ways: only the real hello was greeted.
  ASSERT_EQ(a.reports().size(), 3u);
  EXPECT_EQ(a.reports()[0].kind, HidReportKind::kControl);
  EXPECT_EQ(a.reports()[0].bytes, hello);
  EXPECT_EQ(a.reports()[1].kind, HidReportKind::kInput);
  EXPECT_EQ(a.reports()[1].bytes, DataReport({0xD7, 2, 0, 7, 0, 11, 4, 9}));
  EXPECT_EQ(a.reports()[2].kind, HidReportKind::kControl);
  EXPECT_EQ(Fetch(a), (std::vector<Bytes>{{0xD7, 2, 0, 7, 0, 11, 4, 9}}));
}

TEST_F(HidAdapterTest, HidLinkPicksThisAdapterBehindAnExtraOneAndTalksThroughIt) {
  VirtualHidAdapter a;
  a.AddExtraAdapter("other-hid");
  ManualClock clock;
  HidLink link(a, clock);
  link.hid_path = link.HidFindPath();
  EXPECT_EQ(link.hid_path, "virtual-hid-0");
  EXPECT_EQ(a.Open(0, kHidVendorId, kHidProductId, 512), kHidDeviceNotFound);  // enumerates only
  ASSERT_TRUE(link.HidOpenAndGreet());
  EXPECT_EQ(a.read_timeout_ms(), 0u);
  EXPECT_EQ(a.write_timeout_ms(), 1000u);

  uint8_t rx[200];
  size_t n = 0;
  ASSERT_TRUE(link.HidReceive(rx, sizeof rx, link.FetchSize(), &n));
  EXPECT_EQ(Bytes(rx, rx + n), (Bytes{0xD7, 1, 0, 5, 0, 12, 3, 7}));
  const uint8_t presence = 0xD5;
  ASSERT_TRUE(link.HidSend(&presence, 1));
  ASSERT_TRUE(link.HidReceive(rx, sizeof rx, link.FetchSize(), &n));
  EXPECT_EQ(Bytes(rx, rx + n), Bytes{0x2A});
}

TEST_F(HidAdapterTest, EachDeviceAnswersPresenceVersionAndSettings) {
  VirtualHidAdapter full;
  Connect(full);
  EXPECT_EQ(Answer(full, {0xD5}), Bytes{0x2A});
  EXPECT_EQ(Answer(full, {0xD7}), (Bytes{0x00, 0x00, 0xDD, 5, 12, 3, 7}));
  EXPECT_EQ(Answer(full, {0xD8}), (Bytes{1,  2,  34, 2, 1, 39, 24, 27, 1,  8, 7, 2,  59, 14, 11, 1,
                                         24, 12, 33, 1, 1, 15, 2,  4,  17, 6, 2, 74, 65, 58, 45}));
  EXPECT_TRUE(Answer(full, {0xD4}).empty());
  full.set_esc_version({0, 0, 2, 1, 9, 9, 9});
  full.set_presence_answer(0x27);
  EXPECT_EQ(Answer(full, {0xD5, 0xD7}), (Bytes{0x27, 0, 0, 2, 1, 9, 9, 9}));

  VirtualHidAdapter v1(HidDeviceKind::kV1Esc);
  Connect(v1);
  EXPECT_EQ(Answer(v1, {0xD5}), Bytes{0x2C});
  VirtualHidAdapter bec(HidDeviceKind::kV1EscBec);
  Connect(bec);
  EXPECT_EQ(Answer(bec, {0xD5}), Bytes{0x2B});

  // The LCD box alone only greets.
  VirtualHidAdapter lcd(HidDeviceKind::kLcdBox);
  Connect(lcd);
  EXPECT_TRUE(Answer(lcd, {0xD5, 0xD7, 0xD8, 0xDE}).empty());
  EXPECT_EQ(lcd.presence_queries(), 1);
}

TEST_F(HidAdapterTest, V1SettingsBlockInEveryLength) {
  const Bytes head{0x2C, 0, 2, 6, 3, 1, 3, 2, 7, 0, 4, 1};  // SampleV1EscImage, cut-off code 44
  struct Case {
    HidDeviceKind kind;
    size_t length;
    Bytes tail;
  };
  for (const Case& c : {Case{HidDeviceKind::kV1Esc, 12, {}}, Case{HidDeviceKind::kV1Esc, 0, {0, 0}},
                        Case{HidDeviceKind::kV1Esc, 15, {0, 0, 0}},  // no BEC byte without BEC
                        Case{HidDeviceKind::kV1EscBec, 15, {0, 0, 1}},
                        Case{HidDeviceKind::kV1EscBec, 0, {0, 0, 1, 0, 0, 0}}}) {
    VirtualHidAdapter a(c.kind, c.length);
    Connect(a);
    Bytes expected = head;
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(Answer(a, {0xD8}), expected) << "length " << c.length;
  }
}

TEST_F(HidAdapterTest, CurveAnswerIsSplitAt59BytesPerReport) {
  VirtualHidAdapter a;
  Connect(a);
  ASSERT_EQ(Send(a, {0xDE}), kHidSuccess);
  const auto reports = Fetch(a);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].size(), 59u);
  EXPECT_EQ(reports[1].size(), 59u);
  EXPECT_EQ(reports[2].size(), 5u);
  Bytes expected{0x80};
  const Bytes curve = WireAndCheck(a.image().boost_curve);
  expected.insert(expected.end(), curve.begin(), curve.end());
  Bytes joined;
  for (const Bytes& r : reports) joined.insert(joined.end(), r.begin(), r.end());
  EXPECT_EQ(joined, expected);

  // The brake curve read with a wrong check value: the same data, another check.
  a.faults().bad_curve_check[kBrakeCurve] = true;
  const Bytes bad = Answer(a, {0xDB});
  const Bytes good = WireAndCheck(a.image().brake_curve);
  ASSERT_EQ(bad.size(), 123u);
  EXPECT_TRUE(std::equal(good.begin(), good.begin() + 120, bad.begin() + 1));
  EXPECT_NE(Bytes(bad.end() - 2, bad.end()), Bytes(good.end() - 2, good.end()));
  EXPECT_EQ(Answer(a, {0xD9}).size(), 123u);  // two check bytes for every curve
}

TEST_F(HidAdapterTest, FullEscTakesTheSettingsPacketAndAcknowledgesEachReportOfPairs) {
  VirtualHidAdapter a;
  Connect(a);
  Bytes packet;
  for (const ParamField& f : FullEscFields()) {
    if (f.set_command) packet.insert(packet.end(), {*f.set_command, uint8_t(f.read_index + 3)});
  }
  packet.insert(packet.end(), {0xE0, 1, 0xAF, 1, 1, 1, 1, 1});
  packet.insert(packet.end(), {0x00, 0xA4});  // padding that happens to end in a command byte
  ASSERT_EQ(packet.size(), 64u);

  EXPECT_EQ(Answer(a, {packet[0], packet[1]}), Bytes{0x01});
  EXPECT_EQ(Answer(a, Bytes(packet.begin(), packet.begin() + 32)), Bytes{0x01});
  EXPECT_EQ(Answer(a, Bytes(packet.begin() + 32, packet.end())), Bytes{0x01});
  EXPECT_TRUE(Answer(a, {0x01, 0x00, 0x01}).empty());  // fillers complete no pair
  // The stray 0xA4 did not swallow the next report's curve command.
  EXPECT_EQ(Answer(a, {0xDF}), Bytes{0x80});

  ASSERT_EQ(a.pairs().size(), 30u);
  EXPECT_EQ(a.pairs()[0], (std::array<uint8_t, 2>{0xA4, 3}));
  EXPECT_EQ(a.pairs()[27], (std::array<uint8_t, 2>{0xA5, 29}));
  EXPECT_EQ(a.pairs()[28], (std::array<uint8_t, 2>{0xE0, 1}));
  EXPECT_EQ(a.pairs()[29], (std::array<uint8_t, 2>{0xAF, 1}));
  EXPECT_EQ(a.end_of_settings_count(), 1);
  EXPECT_EQ(a.image().run_mode, 3);
  EXPECT_EQ(a.image().throttle_curve_mode, 11);
  EXPECT_EQ(a.image().turbo_slope_off, 29);
  EXPECT_EQ(a.image().esc_out, 1);
  EXPECT_EQ(a.image().log_batt_min_voltage, 74);  // read-only fields stay
}

TEST_F(HidAdapterTest, CurveWriteIsTakenOnlyWithAMatchingCheckValue) {
  VirtualHidAdapter a;
  Connect(a);
  const CurveData boost_before = a.image().boost_curve;
  const CurveData brake_before = a.image().brake_curve;
  const CurveData fresh = a.image().throttle_curve;  // different points from the other two

  for (uint8_t command : {0xDF, 0xDC}) {
    const bool good = command == 0xDF;
    Bytes data = WireAndCheck(fresh, good);
    data.insert(data.end(), 12, 1);
    ASSERT_EQ(data.size(), 134u);
    EXPECT_EQ(Answer(a, {command}), Bytes{0x80});
    EXPECT_TRUE(Answer(a, Bytes(data.begin(), data.begin() + 42)).empty());
    EXPECT_TRUE(Answer(a, Bytes(data.begin() + 42, data.begin() + 84)).empty());
    EXPECT_EQ(Answer(a, Bytes(data.begin() + 84, data.end())), Bytes{0x01});
  }

  ASSERT_EQ(a.received_curves().size(), 2u);
  const ReceivedCurve& boost = a.received_curves()[0];
  EXPECT_EQ(boost.which, kBoostCurve);
  EXPECT_TRUE(boost.check_matched);
  EXPECT_EQ(WireAndCheck(boost.wire), WireAndCheck(fresh));
  EXPECT_EQ(WireAndCheck(a.image().boost_curve), WireAndCheck(fresh));
  EXPECT_NE(WireAndCheck(a.image().boost_curve), WireAndCheck(boost_before));

  const ReceivedCurve& brake = a.received_curves()[1];
  EXPECT_EQ(brake.which, kBrakeCurve);
  EXPECT_FALSE(brake.check_matched);
  EXPECT_EQ(WireAndCheck(a.image().brake_curve), WireAndCheck(brake_before));
  EXPECT_EQ(a.acks(), 4);
}

TEST_F(HidAdapterTest, V1EscAcknowledgesEveryPairAndTheClosingE0Silently) {
  VirtualHidAdapter bec(HidDeviceKind::kV1EscBec);
  Connect(bec);
  EXPECT_EQ(Answer(bec, {0xE2, 1}), Bytes{0x01});
  EXPECT_EQ(Answer(bec, {0xA1, 2}), Bytes{0x01});
  EXPECT_EQ(Answer(bec, {0xEC, 0x2E}), Bytes{0x01});
  EXPECT_EQ(Answer(bec, {0xEC, 45}), Bytes{0x01});  // unknown code: setting kept
  EXPECT_TRUE(Answer(bec, {0xE0}).empty());
  EXPECT_EQ(bec.end_of_settings_count(), 1);
  EXPECT_EQ(bec.image().v1_running_mode, 1);
  EXPECT_EQ(bec.image().v1_bec_voltage, 2);
  EXPECT_EQ(bec.image().v1_cutoff_voltage, 4);
  EXPECT_EQ(bec.pairs().size(), 4u);

  VirtualHidAdapter v1(HidDeviceKind::kV1Esc);
  Connect(v1);
  EXPECT_EQ(Answer(v1, {0xA1, 2}), Bytes{0x01});  // acknowledged, but it has no BEC
  EXPECT_EQ(v1.image().v1_bec_voltage, SampleV1EscImage().v1_bec_voltage);
  EXPECT_TRUE(Answer(v1, {0xDE}).empty());  // no curves on a V1 ESC
}

TEST_F(HidAdapterTest, AnswerFaults) {
  VirtualHidAdapter a(HidDeviceKind::kV1Esc);
  Connect(a);
  a.faults().silent_presence = 2;
  EXPECT_TRUE(Answer(a, {0xD5}).empty());
  EXPECT_TRUE(Answer(a, {0xD5}).empty());
  EXPECT_EQ(Answer(a, {0xD5}), Bytes{0x2C});
  a.faults().never_answer_presence = true;
  EXPECT_TRUE(Answer(a, {0xD5}).empty());

  a.faults().silent_version = true;
  EXPECT_TRUE(Answer(a, {0xD7}).empty());
  a.faults().silent_version = false;
  a.faults().long_answer_command = 0xD7;
  a.faults().long_answer_extra = 3;
  EXPECT_EQ(Answer(a, {0xD7}), (Bytes{0x00, 0x00, 0xDD, 5, 12, 3, 7, 0, 0, 0}));

  a.faults().drop_ack = 2;
  EXPECT_EQ(Answer(a, {0xE2, 1}), Bytes{0x01});
  EXPECT_TRUE(Answer(a, {0xE3, 2}).empty());
  EXPECT_EQ(Answer(a, {0xE4, 3}), Bytes{0x01});
  EXPECT_EQ(a.acks(), 3);
  EXPECT_EQ(a.image().v1_percentage_braking, 2);  // taken in, only the answer was lost
}

TEST_F(HidAdapterTest, LostReportAndAnEscGoneBehindTheAdapter) {
  VirtualHidAdapter a(HidDeviceKind::kV1Esc);
  a.faults().drop_report = 2;  // the greeting is the first
  Connect(a);
  EXPECT_TRUE(Answer(a, {0xD5}).empty());
  EXPECT_EQ(Answer(a, {0xD5}), Bytes{0x2C});
  // Two bytes so far; the third is the last the ESC takes: the pair is cut in half.
  const int32_t braking = a.image().v1_percentage_braking;
  a.faults().esc_gone_after_bytes = 3;
  EXPECT_TRUE(Answer(a, {0xE3, static_cast<uint8_t>(braking + 1)}).empty());
  EXPECT_TRUE(Answer(a, {0xD5}).empty());
  EXPECT_EQ(a.image().v1_percentage_braking, braking);
  // The adapter itself still greets.
  const Report hello = Hello();
  ASSERT_EQ(a.SendControlReport(hello.data(), hello.size()), kHidSuccess);
  EXPECT_EQ(Fetch(a).size(), 1u);
}

TEST_F(HidAdapterTest, AnswersHeldBackOrRationedOverSeveralFetches) {
  VirtualHidAdapter a;
  Connect(a);
  std::array<uint8_t, 8 * 64> buffer{};
  uint32_t returned = 0;

  // A 31-byte block cut after 10 bytes: the rest only after the next fetch has returned.
  a.faults().split_answer_at = 10;
  ASSERT_EQ(Send(a, {0xD8}), kHidSuccess);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 8, &returned), kHidTransferTimeout);
  ASSERT_EQ(returned, 64u);
  EXPECT_EQ(buffer[1], 10);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 8, &returned), kHidTransferTimeout);
  ASSERT_EQ(returned, 64u);
  EXPECT_EQ(buffer[1], 21);
  EXPECT_EQ(buffer[2 + 20], 45);  // last byte of the block
  a.faults().split_answer_at = 0;

  // One report per fetch: a curve takes three.
  a.faults().reports_per_fetch = 1;
  ASSERT_EQ(Send(a, {0xD9}), kHidSuccess);
  for (uint8_t expected : {59, 59, 5}) {
    EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 2, &returned), kHidTransferTimeout);
    ASSERT_EQ(returned, 64u);
    EXPECT_EQ(buffer[1], expected);
  }
  ASSERT_EQ(Send(a, {0xD5}), kHidSuccess);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 1, &returned), kHidSuccess);
}

TEST_F(HidAdapterTest, TransferStatusesAndBounds) {
  VirtualHidAdapter a;
  std::array<uint8_t, 9 * 64> buffer{};
  uint32_t returned = 7;
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 1, &returned), kHidDeviceNotOpened);
  EXPECT_EQ(returned, 0u);
  ASSERT_EQ(a.Open(0, kHidVendorId, kHidProductId, 2), kHidSuccess);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 3, &returned), kHidTransferTimeout);
  EXPECT_EQ(returned, 0u);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 9, &returned), kHidInvalidBuffer);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), 2 * 64 - 1, 2, &returned), kHidInvalidBuffer);

  // Three answers into two input buffers: the oldest gives way.
  EXPECT_EQ(Answer(a, {}), Bytes{});
  for (uint8_t query : {0xD5, 0xD7, 0xD4, 0xD8}) ASSERT_EQ(Send(a, {query}), kHidSuccess);
  EXPECT_EQ(a.overflowed_reports(), 1u);
  EXPECT_EQ(a.ReadInputReports(buffer.data(), buffer.size(), 3, &returned), kHidTransferTimeout);
  EXPECT_EQ(returned, 128u);
  EXPECT_EQ(buffer[1], 7);    // the version answer
  EXPECT_EQ(buffer[65], 31);  // the settings block

  // A report the adapter cannot read as data goes through but reaches nobody.
  Report odd = DataReport({0xD5});
  odd[0] = 3;
  EXPECT_EQ(a.SendInterruptReport(odd.data(), odd.size()), kHidSuccess);
  odd = DataReport({0xD5});
  odd[1] = 60;
  EXPECT_EQ(a.SendInterruptReport(odd.data(), odd.size()), kHidSuccess);
  EXPECT_EQ(a.malformed_reports(), 2);
  EXPECT_EQ(a.pending_reports(), 0u);
  EXPECT_EQ(a.presence_queries(), 1);
}

TEST_F(HidAdapterTest, PulledOutMidTransferLeavesAStaleHandleUntilReopened) {
  VirtualHidAdapter a;
  Connect(a);
  a.faults().unplug_after_bytes = 3;
  EXPECT_EQ(Answer(a, {0xA4, 3}), Bytes{0x01});
  EXPECT_EQ(Send(a, {0xE8, 4}), kHidSuccess);  // its first byte is the third: then it is gone
  EXPECT_EQ(a.received().back(), 0xE8);
  EXPECT_EQ(a.pairs().size(), 1u);
  EXPECT_EQ(a.faults().unplug_after_bytes, -1);
  ASSERT_EQ(a.TakeEvents().size(), 1u);

  EXPECT_FALSE(a.plugged());
  EXPECT_EQ(a.DeviceCount(kHidVendorId, kHidProductId), 0u);
  EXPECT_TRUE(a.IsOpened());
  std::string path;
  EXPECT_EQ(a.OpenPath(&path), kHidSuccess);  // the host compares it with the removal event
  EXPECT_EQ(path, "virtual-hid-0");
  for (int status : {Send(a, {0xD5}), a.SendControlReport(Hello().data(), 64)}) {
    EXPECT_NE(status, kHidSuccess);
    EXPECT_NE(status, kHidTransferTimeout);
  }
  std::array<uint8_t, 64> buffer{};
  uint32_t returned = 0;
  const int read = a.ReadInputReports(buffer.data(), buffer.size(), 1, &returned);
  EXPECT_TRUE(read != kHidSuccess && read != kHidTransferTimeout);

  // Back in, the old handle stays dead until the host closes and opens again.
  a.SetPlugged(true);
  const auto events = a.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].arrived);
  EXPECT_EQ(events[0].path, "virtual-hid-0");
  EXPECT_EQ(Send(a, {0xD5}), kHidDeviceIoFailed);
  a.Close();
  EXPECT_FALSE(a.IsOpened());
  Connect(a);
  EXPECT_EQ(Answer(a, {0xE8, 4}), Bytes{0x01});  // no half pair left over from before
  EXPECT_EQ(a.image().run_mode, 3);
  EXPECT_EQ(a.image().reverse_speed, 4);
  EXPECT_EQ(a.open_count(), 2);
}

}  // namespace
}  // namespace tessel
