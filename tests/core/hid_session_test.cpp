// The HID link and the HID session engine against the virtual HID adapter on a virtual clock,
// asserting the reports that crossed the cable.
#include "core/engine/hid_engine.h"
#include "core/link/esc_replies.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <tuple>
#include <vector>

#include "core/model/page_rules.h"
#include "tests/support/hid_world.h"
#include "tests/support/worked_esc.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

// A device that hands out whatever input reports the test queues, for the link's own rules.
class ScriptedHid : public HidDevice {
 public:
  uint32_t DeviceCount(uint16_t, uint16_t) override { return 1; }
  int DevicePath(uint32_t, uint16_t, uint16_t, std::string* p) override {
    *p = "scripted";
    return kHidSuccess;
  }
  int Open(uint32_t, uint16_t, uint16_t, uint32_t) override {
    open = true;
    return kHidSuccess;
  }
  bool IsOpened() const override { return open; }
  uint16_t ReportLength() const override { return 64; }
  int SetTimeouts(uint32_t, uint32_t) override { return kHidSuccess; }
  int SendControlReport(const uint8_t*, size_t) override { return kHidSuccess; }
  int SendInterruptReport(const uint8_t* r, size_t n) override {
    sent.emplace_back(r, r + n);
    return kHidSuccess;
  }
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override {
    *returned = 0;
    while (count-- > 0 && !queued.empty() && *returned + 64 <= size) {
      std::copy(queued.front().begin(), queued.front().end(), buffer + *returned);
      *returned += 64;
      queued.pop_front();
    }
    return queued.empty() ? kHidTransferTimeout : kHidSuccess;
  }
  uint32_t MaxReportRequest() const override { return 4; }
  int OpenPath(std::string* p) const override {
    *p = "scripted";
    return kHidSuccess;
  }
  void Close() override { open = false; }

  void Queue(Bytes data, int count_byte = -1) {
    Bytes r(64, 0);
    r[0] = 2;
    r[1] = static_cast<uint8_t>(count_byte >= 0 ? count_byte : static_cast<int>(data.size()));
    std::copy(data.begin(), data.end(), r.begin() + 2);
    queued.push_back(r);
  }

  bool open = true;
  std::vector<Bytes> sent;
  std::deque<Bytes> queued;
};

TEST(HidLinkTest, CutsSendsIntoReportsAndJoinsFetchesWithoutLosingBytes) {
  ManualClock clock;
  ScriptedHid dev;
  HidLink link(dev, clock);
  Bytes bytes(120);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(link.HidSend(bytes.data(), bytes.size()));
  ASSERT_EQ(dev.sent.size(), 3u);
  EXPECT_EQ(dev.sent[0][1], 59);
  EXPECT_EQ(dev.sent[1][1], 59);
  EXPECT_EQ(dev.sent[2][1], 2);
  EXPECT_EQ(dev.sent[2][2], 118);
  EXPECT_EQ(dev.sent[2][3], 119);
  dev.sent.clear();
  EXPECT_TRUE(link.HidSend(bytes.data(), 0));
  EXPECT_TRUE(dev.sent.empty());

  dev.Queue({1, 2});
  dev.Queue({3, 4, 5, 6, 7});
  uint8_t out[200];
  size_t n = 0;
  ASSERT_TRUE(link.HidReceive(out, sizeof out, link.FetchSize(), &n));
  EXPECT_EQ(Bytes(out, out + n), (Bytes{1, 2, 3, 4, 5, 6, 7}));

  // A count byte past the report's end is cut at the report; what does not fit the caller's
  // array comes on the next call.
  dev.Queue(Bytes(62, 9), 200);
  ASSERT_TRUE(link.HidReceive(out, 40, link.FetchSize(), &n));
  EXPECT_EQ(n, 40u);
  ASSERT_TRUE(link.HidReceive(out, 40, link.FetchSize(), &n));
  EXPECT_EQ(n, 22u);
  EXPECT_FALSE(link.HidReceive(out, 40, 58, &n)) << "a request below one report fails";
}

TEST(HidLinkTest, FindsTheAdapterAtTheHighestIndex) {
  ManualClock clock;
  VirtualHidAdapter adapter;
  adapter.AddExtraAdapter("virtual-hid-older");
  HidLink link(adapter, clock);
  EXPECT_EQ(link.HidFindPath(), "virtual-hid-0");
  EXPECT_EQ(link.HidFindIndex("virtual-hid-older"), 0u);
  EXPECT_EQ(link.HidFindIndex("virtual-hid-0"), 1u);
  EXPECT_FALSE(link.HidFindIndex("gone"));
}

TEST(HidVersionTextTest, FormatsGreetingAndEscAnswer) {
  const uint8_t greeting[8] = {0xD7, 1, 0, 5, 0, 12, 3, 7};
  EXPECT_EQ(AdapterVersionText(greeting), "V1.05_12037");
  const uint8_t answer[7] = {0x00, 0x00, 0xDD, 5, 12, 3, 7};
  EXPECT_EQ(EscVersionText(answer), "V1.05_120307");
}

using namespace test_support;  // the HID world, the worked example and the wire helpers

class HidSessionTest : public ::testing::Test, public HidWorld {};

TEST_F(HidSessionTest, ReadsTheFullEscWithItsCurvesAndVersions) {
  Build(HidDeviceKind::kFullEsc);
  adapter->image().brake_curve_mode = 1;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(status().link_kind, kLinkHid);
  EXPECT_EQ(status().device_class, kDeviceFull);
  EXPECT_EQ(adapter->hello_count(), 1);
  EXPECT_EQ(AdapterVersion(), "V1.05_12037");
  EXPECT_EQ(session->VersionText(), "V1.05_120307");
  for (const ParamField& f : FullEscFields()) {
    EXPECT_EQ(session->image.*(f.field), adapter->image().*(f.field)) << f.name;
  }
  EXPECT_EQ(session->image.brake_curve.x, adapter->image().brake_curve.x);
  EXPECT_EQ(session->image.brake_curve.table, adapter->image().brake_curve.table);
  const Bytes commands = Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(Bytes(commands.begin(), commands.begin() + 6),
            (Bytes{0xD5, 0xD7, 0xD8, 0xDE, 0xDB, 0xD9}));
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_FALSE(ui.progress_visible);
}

TEST_F(HidSessionTest, ACurveWithAWrongCheckValueFallsBackToDefaultPoints) {
  Build(HidDeviceKind::kFullEsc);
  adapter->faults().bad_curve_check[kThrottleCurve] = true;
  const CurveData defaults = session->image.throttle_curve;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session->image.throttle_curve.x, defaults.x);
  EXPECT_EQ(session->image.throttle_curve.y, defaults.y);
  EXPECT_EQ(session->image.boost_curve.table, adapter->image().boost_curve.table);
  // Said after the read, and a send that would write the defaults over the ESC's own asks.
  EXPECT_EQ(DamagedCurves(), (std::array<bool, 3>{false, false, true}));
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_NE(ui.questions[0].find("throttle curve arrived damaged"), std::string::npos)
      << ui.questions[0];
  session->image.throttle_curve_mode = 1;
  ui.answers = {Answer::kCancel};
  adapter->ClearReports();
  EXPECT_FALSE(session->Apply());
  EXPECT_TRUE(Sent().empty()) << "nothing sent after Cancel";
}

TEST_F(HidSessionTest, WorkedFullSendGoesOutInItsReports) {
  Build(HidDeviceKind::kFullEsc);
  adapter->image() = ChosenEsc();
  ASSERT_TRUE(ReadFully());
  adapter->ClearReports();
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(RunUntil([&] { return !status().transfer_active; }));
  // The first pair alone, then the 64-byte packet in two reports, then each curve: its write
  // command, then 120 bytes, check value and twelve bytes of 1 in three chunks.
  const auto sent = Sent();
  std::vector<size_t> sizes;
  for (const Bytes& b : sent) sizes.push_back(b.size());
  ASSERT_EQ(sizes, (std::vector<size_t>{2, 32, 32, 1, 42, 42, 50, 1, 42, 42, 50, 1, 42, 42, 50}));
  EXPECT_EQ(sent[0], Hex("A4 01"));
  // Bytes 62 and 63 of the packet are whatever the buffer held.
  const Bytes packet = Cat({sent[1], sent[2]});
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 62),
            Cat({kChosenPairs, Hex("E0 00 AF 01 01 01 01 01")}));
  const Bytes ones(12, 1);
  auto curve = [&](size_t first) {
    return Cat({sent[first], sent[first + 1], sent[first + 2], sent[first + 3]});
  };
  EXPECT_EQ(curve(3), Cat({Hex("DF"), kBoostWire, kBoostCheck, ones}));
  EXPECT_EQ(curve(7), Cat({Hex("DC"), kBrakeWire, kBrakeCheck, ones}));
  EXPECT_EQ(curve(11), Cat({Hex("DA"), kThrottleWire, kThrottleCheck, ones}));
  ASSERT_EQ(adapter->received_curves().size(), 3u);
  for (const ReceivedCurve& c : adapter->received_curves()) EXPECT_TRUE(c.check_matched);
  EXPECT_FALSE(status().send_in_progress);
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferSend}));
}

TEST_F(HidSessionTest, AProfileChangeSendsThePresetPacket) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(ReadFully());
  adapter->ClearReports();
  session->image.profile_preset = 3;
  ASSERT_TRUE(RunUntil([&] { return Sent().size() >= 3; }));
  const auto sent = Sent();
  EXPECT_EQ(sent[2][54 - 32], 0xAF);
  EXPECT_EQ(Bytes(sent[2].begin() + 55 - 32, sent[2].begin() + 60 - 32), Bytes(5, 1));
}

TEST_F(HidSessionTest, V1EscWithBecReadsAndSendsItsPairs) {
  Build(HidDeviceKind::kV1EscBec);
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(status().device_class, kDeviceV1);
  EXPECT_EQ(status().v1_block_variant, kV1Block16);
  EXPECT_EQ(session->image.v1_bec_voltage, adapter->image().v1_bec_voltage);
  session->image.v1_running_mode = 1;
  session->image.v1_bec_voltage = 2;
  session->image.v1_cutoff_voltage = 0;
  adapter->ClearReports();
  ASSERT_TRUE(session->V1SendSettings());
  ASSERT_TRUE(RunUntil([&] { return ui.v1_sends > 0; }));
  Bytes pairs;
  for (const Bytes& b : Sent()) pairs.insert(pairs.end(), b.begin(), b.end());
  ASSERT_EQ(pairs.size(), 29u) << "14 pairs and the closing 0xE0";
  EXPECT_EQ(Bytes(pairs.begin(), pairs.begin() + 2), (Bytes{0xE2, 1}));
  EXPECT_EQ(Bytes(pairs.begin() + 18, pairs.begin() + 26),
            (Bytes{0xA1, 2, 0xA1, 2, 0xA1, 2, 0xA1, 2}));
  EXPECT_EQ(Bytes(pairs.begin() + 26, pairs.end()), (Bytes{0xEC, 38, 0xE0}));
  EXPECT_EQ(adapter->image().v1_running_mode, 1);
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferSend}));
}

TEST_F(HidSessionTest, EveryV1BlockLengthIsReadWithinItsBounds) {
  for (size_t length : {12u, 14u, 15u, 18u}) {
    SCOPED_TRACE(length);
    Build(HidDeviceKind::kV1Esc, length);
    ASSERT_TRUE(ReadFully());
    EXPECT_EQ(EscType(), static_cast<int32_t>(length));
    EXPECT_EQ(session->image.v1_running_mode, adapter->image().v1_running_mode);
  }
}

TEST_F(HidSessionTest, LongAndSplitAnswersStayInBounds) {
  Build(HidDeviceKind::kFullEsc);
  adapter->faults().long_answer_command = 0xD8;
  adapter->faults().long_answer_extra = 300;
  adapter->faults().split_answer_at = 20;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session->image.run_mode, adapter->image().run_mode);
}

TEST_F(HidSessionTest, AnEscThatStopsAnsweringIsReportedLostOnce) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(ReadFully());
  adapter->faults().never_answer_presence = true;
  const int queries = adapter->presence_queries();
  ASSERT_TRUE(RunUntil([&] { return EscLossReported(); }));
  EXPECT_EQ(adapter->presence_queries() - queries, 5);
  EXPECT_EQ(status().esc_state, kEscNone);
  const int hidden = ui.indicators_hidden;
  RunUntil([] { return false; }, 10000);
  EXPECT_EQ(ui.indicators_hidden, hidden) << "reported once";
  EXPECT_GT(adapter->presence_queries() - queries, 20) << "still asking";
  // It comes back and is read again.
  adapter->faults().never_answer_presence = false;
  ui.reads_finished = 0;
  ASSERT_TRUE(ReadFully());
}

TEST_F(HidSessionTest, NoVersionAnswerEndsWithTheMessageAfter21Tries) {
  Build(HidDeviceKind::kFullEsc);
  adapter->faults().silent_version = true;
  ASSERT_TRUE(RunUntil([&] { return !ui.questions.empty(); }));
  EXPECT_EQ(ui.questions[0], "Warning|Failed to get ESC Version");
  int versions = 0;
  for (const Bytes& b : Sent()) versions += b == Bytes{0xD7};
  EXPECT_EQ(versions, 21);
  EXPECT_EQ(Sent().back(), Bytes{0xD4}) << "back to idle polling after the message";
  RunUntil([] { return false; }, 300);
  EXPECT_EQ(ui.questions.size(), 1u);
}

TEST_F(HidSessionTest, RemovingTheOpenAdapterStopsTheEngineAndAReplugReadsAgain) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(ReadFully());
  adapter->SetPlugged(false);
  DeliverDeviceEvents();
  EXPECT_EQ(status().link_kind, kLinkNone);
  EXPECT_EQ(status().adapter_state, kAdapterNone);
  EXPECT_FALSE(loop.IsArmed(kTimerHidSession));
  EXPECT_FALSE(adapter->IsOpened());
  adapter->SetPlugged(true);
  DeliverDeviceEvents();
  ui.reads_finished = 0;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(adapter->hello_count(), 2);
}

TEST_F(HidSessionTest, PullingTheAdapterMidSendLeavesNoTickRunningOnIt) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(ReadFully());
  adapter->faults().unplug_after_bytes = static_cast<long>(adapter->received().size()) + 40;
  session->image.throttle_curve_mode = 1;
  ASSERT_TRUE(session->Apply());
  RunUntil([&] { return !adapter->plugged(); });
  DeliverDeviceEvents();
  EXPECT_FALSE(status().transfer_active);
  EXPECT_FALSE(status().send_in_progress);
  EXPECT_FALSE(loop.IsArmed(kTimerHidSession));
}

TEST_F(HidSessionTest, ADroppedAcknowledgementIsRepeatedAndASilentEscEndsTheSend) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(ReadFully());
  adapter->faults().drop_ack = adapter->acks() + 1;
  session->image.run_mode = 2;
  adapter->ClearReports();
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(RunUntil([&] { return !status().transfer_active; }));
  EXPECT_EQ(Sent()[0], (Bytes{0xA4, 2}));
  EXPECT_EQ(Sent()[1], (Bytes{0xA4, 2})) << "the first pair again after six quiet ticks";
  EXPECT_EQ(adapter->image().run_mode, 2);
  EXPECT_EQ(adapter->received_curves().size(), 3u);

  // The ESC vanishes from behind the adapter while the curves go out.
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(RunUntil([&] { return SendingCurves(); }));
  adapter->ReplaceDevice(HidDeviceKind::kLcdBox);
  const uint64_t start = clock.NowMs();
  ASSERT_TRUE(RunUntil([&] { return !status().send_in_progress; }));
  EXPECT_LE(clock.NowMs() - start, 6000u);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(status().esc_state, kEscNone);
  EXPECT_TRUE(EscLossReported());
}

TEST_F(HidSessionTest, ASendCutOffByThePulledAdapterIsNoSuccessAndSaysWhatTheEscTook) {
  // Pulled a few bytes into the packet (full ESC) or the third pair (V1) and plugged back at
  // once: the fresh read that follows must not finish the send.
  for (const auto& [kind, after, account] :
       {std::tuple{HidDeviceKind::kV1Esc, 5L, "2 of 10 settings"},
        std::tuple{HidDeviceKind::kFullEsc, 7L, "1 of 27 settings and 0 of 3 curves"}}) {
    Build(kind);
    ASSERT_TRUE(ReadFully());
    adapter->faults().unplug_after_bytes = static_cast<long>(adapter->received().size()) + after;
    ASSERT_TRUE(kind == HidDeviceKind::kFullEsc ? session->Apply() : session->V1SendSettings());
    ASSERT_TRUE(RunUntil([&] { return !adapter->plugged(); }));
    adapter->SetPlugged(true);
    DeliverDeviceEvents();
    EXPECT_EQ(status().busy_button, kBusyNone) << "Apply stays drawn pressed";
    ui.reads_finished = ui.v1_reads = 0;
    ASSERT_TRUE(ReadFully());
    EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferRead}));
    ASSERT_EQ(ui.outcomes.size(), 3u);
    EXPECT_EQ(ui.outcomes[1], "failed: Send broke off (the adapter was lost) after " +
                                  std::string(account) +
                                  "; the ESC holds a mix: read it and send again");
  }

  // Counted by the ESC's answers: the first pair, the packet's two reports, then marker and
  // data answer of the boost and the brake curve, whose data answer is dropped.
  adapter->faults().drop_ack = adapter->acks() + 7;
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(RunUntil([&] { return !SendRunning(); }));
  EXPECT_EQ(ui.outcomes.back(),
            "failed: Send broke off (the ESC stopped answering) after 27 of 27 settings and 1 of 3 "
            "curves; the ESC holds a mix: read it and send again");
}

TEST_F(HidSessionTest, AV1BlockOutsideTheV1ListsIsRefused) {
  Build(HidDeviceKind::kV1Esc);
  adapter->image().v1_motor_timing = 9;  // no such option
  const int32_t before = session->image.v1_running_mode;
  ASSERT_TRUE(RunUntil([&] { return ReplyRefused(); }));
  RunUntil([] { return false; }, 3000);
  EXPECT_EQ(ui.questions,
            std::vector<std::string>{std::string(kReadCaption) + "|" + kUnrecognisedReplyText});
  EXPECT_EQ(ui.v1_reads, 0);
  EXPECT_EQ(session->image.v1_running_mode, before);
  EXPECT_FALSE(session->V1SendSettings());
}

// Both engines judge a block by this rule: a value beyond its list refuses the block, an
// unknown cut-off code only leaves that one setting as it was.
TEST(V1BlockRule, AnUnknownCutOffCodeIsTakenAsNoChangeAndAValueBeyondItsListRefuses) {
  std::array<uint8_t, 16> block{};
  for (const V1Field& f : V1Fields()) {
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) block[f.block_byte] = 45;
  }
  EXPECT_TRUE(V1BlockFitsLists(block, kV1Block16));
  for (const V1Field& f : V1Fields()) {
    if (f.field == &EscSettingsImage::v1_motor_timing) block[f.block_byte] = 9;
  }
  EXPECT_FALSE(V1BlockFitsLists(block, kV1Block16));
}

TEST_F(HidSessionTest, LcdBoxModeSwitchesFollowTheirConditions) {
  Build(HidDeviceKind::kLcdBox);
  ASSERT_TRUE(RunUntil([&] { return EscLossReported(); }));
  EXPECT_FALSE(CanEnterEscMode());
  ASSERT_TRUE(EnterLcdMode());
  EXPECT_TRUE(status().lcd_box_connected);
  EXPECT_EQ(status().device_class, kDeviceFull);
  EXPECT_EQ(ui.hardware, "V1.05_12037");
  EXPECT_EQ(ui.label, "LCD");
  EXPECT_EQ(status().requested_page, kPageInformation);
  EXPECT_FALSE(EnterEscMode()) << "no ESC answers";
  // An ESC behind the box answers: back to ESC mode.
  adapter->ReplaceDevice(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(RunUntil([&] { return CanEnterEscMode(); }));
  ASSERT_TRUE(EnterEscMode());
  EXPECT_FALSE(status().lcd_box_connected);
  EXPECT_EQ(ui.hardware, "TURBO");
  EXPECT_EQ(ui.label, "ESC");
}

}  // namespace
}  // namespace tessel
