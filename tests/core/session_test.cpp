// The session engine against the virtual ESC on a virtual clock, asserting the bytes on the
// wire.
#include "core/engine/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/model/pages.h"
#include "core/model/setup_compare.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/expected_wire.h"
#include "tests/support/recording_ui.h"
#include "tests/support/tap_port.h"
#include "tests/support/worked_esc.h"

namespace tessel {
namespace {

using namespace test_support;  // the worked example and the wire helpers

class SessionTest : public ::testing::Test {
 protected:
  void Build(EscVariant variant) {
    port = std::make_unique<VirtualEscPort>(clock, variant);
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    tap = std::make_unique<TapPort>(*port);
    session = std::make_unique<Session>(*tap, ports.get(), clock, loop, ui);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
  }
  VirtualEsc& esc() { return port->esc(); }
  SessionStatus& status() { return session->status; }

  bool RunUntil(const std::function<bool()>& done, uint64_t ms = 60000) {
    return loop.RunUntil(done, ms);
  }
  bool Idle() { return !status().transfer_active && status().esc_state == 2; }
  bool ReadFully() {
    return RunUntil([&] { return (ui.reads_finished > 0 || ui.v1_reads > 0) && Idle(); });
  }
  bool SendFully() {
    return RunUntil([&] { return !status().transfer_active; });
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<TapPort> tap;
  std::unique_ptr<Session> session;
};

// ---------------------------------------------------------------------------------------------
// Worked examples: one chosen ESC, and the bytes each sequence carries for it, written out.

TEST_F(SessionTest, WorkedFullRead) {
  Build(EscVariant::kFull);
  esc().image() = ChosenEsc();
  esc().set_version_text("ESC0131");
  ASSERT_TRUE(ReadFully());
  // Two probes, identification three times, the block, the version, the three curves.
  EXPECT_EQ(esc().received(), Hex("F9 F9 D5 D5 D5 D8 D7 DE DB D9"));
  // What came back: every byte's echo, then the ESC's answer.
  const Bytes replies = Cat({Hex("F9 D5 41  F9 D5 41  D5 2A D5 2A D5 2A  D8"), kParamBlock,
                             Hex("D7 45 53 43 30 31 33 31"),         // "ESC0131"
                             Hex("DE 80"), kBoostWire, kBoostCheck,  //
                             Hex("DB 80"), kBrakeWire, kBrakeCheck,  //
                             Hex("D9 80"), kThrottleWire, kThrottleCheck, Hex("00 00")});
  EXPECT_EQ(tap->read, replies);

  EscSettingsImage want = ChosenEsc();
  want.brake_curve_mode = 1;  // a custom curve whose check value matched
  EXPECT_TRUE(CompareSetups(want, session->image, CompareScope::kFile).empty());
  EXPECT_EQ(session->image.brake_curve_mode, 1);
  EXPECT_EQ(session->image.log_batt_min_voltage, 74);
  EXPECT_EQ(session->image.log_esc_max_temp, 65);
  EXPECT_EQ(session->image.log_motor_max_temp, 58);
  EXPECT_EQ(session->image.log_motor_max_rpm, 45);
  EXPECT_EQ(session->image.esc_out, 0);
  EXPECT_EQ(test_support::CurveWire(session->image.boost_curve), kBoostWire);
  EXPECT_EQ(test_support::CurveWire(session->image.brake_curve), kBrakeWire);
  EXPECT_EQ(test_support::CurveWire(session->image.throttle_curve), kThrottleWire);
  EXPECT_EQ(session->VersionText(), "ESC0131");
  EXPECT_EQ(status().device_class, kDeviceFull);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(ui.page_refreshes, 1);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(ui.captions.front(), kCaptionRead);
  EXPECT_EQ(ui.captions.back(), "Transferring.. 100% done.");
}

TEST_F(SessionTest, WorkedFullSendWithItsThreeCurves) {
  Build(EscVariant::kFull);
  esc().image() = ChosenEsc();
  ASSERT_TRUE(ReadFully());
  esc().ClearReceived();
  ASSERT_TRUE(session->Apply());
  EXPECT_EQ(status().busy_button, 8);
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(),
            Cat({kChosenPairs, Hex("AF 10 01 01 01"),                        //
                 Hex("DF"), kBoostWire, kBoostCheck, Hex("01 01 01 01 01"),  //
                 Hex("DC"), kBrakeWire, kBrakeCheck, Hex("01 01 01 01 01"),  //
                 Hex("DA"), kThrottleWire, kThrottleCheck, Hex("01 01 01 01 01 01 01 01 01 01")}));
  ASSERT_EQ(esc().received_curves().size(), 3u);
  for (const auto& c : esc().received_curves()) EXPECT_TRUE(c.check_matched);
  EXPECT_EQ(status().busy_button, 255);
  EXPECT_EQ(ui.collects, 1);
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferSend}));
}

TEST_F(SessionTest, WorkedSendOfLinearCurvesWritesNoCurveButTakesItsTicks) {
  Build(EscVariant::kFull);
  esc().image() = ChosenEsc();
  ASSERT_TRUE(ReadFully());
  session->image.throttle_curve_mode = 0;
  session->image.brake_curve_mode = 0;
  session->image.boost_slope = 0;
  esc().ClearReceived();
  const uint64_t before = loop.dispatched();
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(), Hex(R"(
      A4 01 E8 02 EC 22 EF 00 E7 01 EA 27 E6 18 EB 1B E9 00
      E4 08 E3 07 ED 03 EE 3B A6 0E A7 0B E1 00
      E5 40 A3 0C A8 21 A9 00 AA 00
      A1 0F AB 02 A2 04 AC 11 AD 06 A5 05
      AF 10 01 01 01)"));
  // 27 pairs, the end pair, three fillers and 120 idle ticks a curve.
  EXPECT_GE(loop.dispatched() - before, 31u + 3 * 120u);
}

TEST_F(SessionTest, NonZeroCurveModeIsNormalisedAndMismatchGivesDefaultPoints) {
  Build(EscVariant::kFull);
  esc().image().brake_curve_mode = 5;
  esc().faults().bad_curve_check[kThrottleCurve] = true;
  const CurveData before = session->image.throttle_curve;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session->image.brake_curve_mode, 1);
  const CurveData& th = session->image.throttle_curve;
  EXPECT_EQ(th.x[0], 0);
  EXPECT_EQ(th.x[1], 100);
  EXPECT_EQ(th.y[1], 100);
  EXPECT_EQ(session->throttle_editor.point_count, 2u);
  // Nothing of the damaged reply entered the image, on this line as through the HID adapter.
  EXPECT_EQ(th.table, before.table);
  EXPECT_EQ(th.x, before.x);
  EXPECT_EQ(session->last_transfer().outcome, TransferOutcome::kDamagedCurves);
}

// No window has to remember to load them: the image a session starts with is the factory's.
TEST_F(SessionTest, ASessionStartsFromTheFactorySettings) {
  Build(EscVariant::kFull);
  for (const PageDef& page : EditingPages()) {
    for (const SettingDef& setting : page.settings) {
      EXPECT_EQ(session->image.*setting.field, setting.default_index) << setting.field_name;
    }
  }
}

class V1SessionTest : public SessionTest, public ::testing::WithParamInterface<EscVariant> {};

TEST_P(V1SessionTest, ReadsAndSendsWithCutOffCodes) {
  const bool bec = GetParam() == EscVariant::kV1Bec;
  Build(GetParam());
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(status().device_class, kDeviceV1);
  EXPECT_EQ(status().v1_block_variant, bec ? kV1Block16 : kV1Block14);
  EXPECT_EQ(status().requested_page, kPageV1Done);
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && !bec) continue;
    EXPECT_EQ(session->image.*(f.field), esc().image().*(f.field)) << f.name;
  }
  // A chosen V1 setup; the cut-off "3.2V/Cell" travels as its code 0x2C.
  EscSettingsImage& im = session->image;
  im.v1_running_mode = 2;
  im.v1_percentage_braking = 7;
  im.v1_drag_brake = 6;
  im.v1_motor_timing = 4;
  im.v1_initial_acceleration = 3;
  im.v1_throttle_limit = 8;
  im.v1_throttle_percent_reverse = 5;
  im.v1_neutral_range = 0;
  im.v1_motor_rotation = 1;
  im.v1_cutoff_voltage = 3;
  im.v1_bec_voltage = 1;
  esc().ClearReceived();
  ASSERT_TRUE(session->V1SendSettings());
  ASSERT_TRUE(SendFully());
  // "Send Settings" puts the running mode out at once; the ticks then send every pair. The
  // 16-byte ESC takes its BEC where the 14-byte one gets [E9, 1].
  EXPECT_EQ(esc().received(),
            Cat({Hex("E2 02  E2 02 E3 07 E4 06 E5 04 E6 03 E7 08 E8 05 EA 00 EB 01 EC 2C"),
                 bec ? Hex("A1 01") : Hex("E9 01"),  //
                 Hex("A2 01 ED 00 A3 01 A4 01 E9 01")}));
  EXPECT_EQ(esc().image().v1_cutoff_voltage, 3);
  if (bec) {
    EXPECT_EQ(esc().image().v1_bec_voltage, 1);
  }
  EXPECT_EQ(ui.v1_sends, 1);
  EXPECT_EQ(ui.v1_writes, 2);  // the button, then the first step
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferSend}));
}

INSTANTIATE_TEST_SUITE_P(Variants, V1SessionTest,
                         ::testing::Values(EscVariant::kV1, EscVariant::kV1Bec));

TEST_F(SessionTest, V1SendWaitsForTheReadyByte) {
  Build(EscVariant::kV1);
  ASSERT_TRUE(ReadFully());
  ASSERT_TRUE(session->V1SendSettings());
  // The ESC stops answering: at most the pair whose ready byte had already come goes out, and
  // every later tick just tries once more.
  esc().faults().silent = true;
  for (int i = 0; i < 50; ++i) loop.RunOne();
  EXPECT_LE(status().send_step, 1);
  EXPECT_TRUE(status().transfer_active);
  EXPECT_TRUE(status().send_in_progress);
}

TEST_F(SessionTest, TransferErrorAnswers) {
  Build(EscVariant::kFull);
  // Make the ESC go quiet just before it is asked for its version: the missing echo fails
  // the step.
  ASSERT_TRUE(RunUntil([&] { return status().read_step == 6; }));
  esc().faults().silent = true;
  ui.answers = {Answer::kYes};
  loop.RunOne();
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions.at(0), "confirm!|Error!YES continue,NO next,CANCEL exit");
  EXPECT_EQ(status().read_step, 6);  // Yes repeats the step
  ui.answers = {Answer::kNo};
  loop.RunOne();
  EXPECT_EQ(status().read_step, 7);  // No skips it
  EXPECT_TRUE(status().read_in_progress);
  ui.answers = {Answer::kCancel};
  loop.RunOne();
  EXPECT_FALSE(status().transfer_active);
  EXPECT_FALSE(status().read_in_progress);
  EXPECT_EQ(status().read_step, 0);
  EXPECT_EQ(status().progress, 0);
  EXPECT_FALSE(ui.progress_visible);
}

TEST_F(SessionTest, PresenceReplies) {
  Build(EscVariant::kFull);
  esc().faults().presence_reply = {0xD5, 0x42};
  RunUntil([&] { return status().esc_state == 1 && status().adapter_state == 2; }, 5000);
  EXPECT_EQ(status().esc_state, 1);
  EXPECT_EQ(status().adapter_state, 2);
  esc().faults().presence_reply = {0xD6, 0x00};
  ASSERT_TRUE(ReadFully());
}

TEST_F(SessionTest, NoIdentificationReplyMeansV1) {
  Build(EscVariant::kFull);
  esc().faults().silent_identify = true;
  ASSERT_TRUE(RunUntil([&] { return status().read_step == 3; }));
  EXPECT_EQ(status().device_class, kDeviceV1);
  EXPECT_EQ(status().v1_block_variant, kV1Block14);
}

TEST_F(SessionTest, ParameterBytesThatDoNotComeRestartIdentification) {
  Build(EscVariant::kFull);
  esc().faults().param_block_limit = 10;
  ASSERT_TRUE(RunUntil([&] { return status().read_step == 4; }));
  esc().ClearReceived();
  ASSERT_TRUE(RunUntil([&] { return status().read_step == 0; }));
  EXPECT_EQ(session->serial().read_failures(), 6);
  EXPECT_EQ(status().read_step, 0);
  EXPECT_TRUE(ui.questions.empty());  // no message for this
  // The next tick identifies again.
  esc().faults().param_block_limit = -1;
  ASSERT_TRUE(ReadFully());
  EXPECT_FALSE(status().read_in_progress);
  for (const CurveField& c : CurveFields()) {
    EXPECT_EQ(CurveCheckSum(session->image.*(c.curve)), CurveCheckSum(esc().image().*(c.curve)));
  }
  EXPECT_EQ(esc().received().front(), 0xD5);
}

TEST_F(SessionTest, EscLostAndBack) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  esc().faults().silent = true;
  ASSERT_TRUE(RunUntil([&] { return status().esc_state != 2; }, 5000));
  EXPECT_EQ(status().requested_page, kPageNone);
  EXPECT_EQ(status().shown_page, kPageLost);
  EXPECT_TRUE(session->IsBusy());
  esc().faults().silent = false;
  esc().image().punch_rate1 = 3;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session->image.punch_rate1, 3);
  EXPECT_FALSE(session->IsBusy());
}

TEST_F(SessionTest, AdapterUnpluggedMidSendAndBackStartsAFreshRead) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(RunUntil([&] { return status().send_step == 33; }));
  port->SetPlugged(false);
  session->OnSerialPortRemoved();
  RunUntil([&] { return false; }, 2000);
  EXPECT_EQ(status().adapter_state, 0);
  EXPECT_EQ(status().link_kind, kLinkNone);
  EXPECT_FALSE(status().transfer_active);
  const int reads_before = ui.reads_finished;
  esc().image().punch_rate2 = 4;
  port->SetPlugged(true);
  session->OnSerialPortArrived();
  ASSERT_TRUE(RunUntil([&] { return ui.reads_finished > reads_before && Idle(); }));
  EXPECT_EQ(session->image.punch_rate2, 4);
  EXPECT_EQ(status().adapter_state, 2);
}

TEST_F(SessionTest, LineSpeedAlternatesUntilTheEscAnswers) {
  Build(EscVariant::kFull);
  esc().faults().answer_at = SpeedPolicy::kOnly19200;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(port->baud_rate(), kBaudFast);
}

TEST_F(SessionTest, ProfilePresetChangeRefreshesAndSends) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  const int refreshes = ui.page_refreshes;
  session->image.profile_preset = 8;
  esc().ClearReceived();
  loop.RunOne();
  EXPECT_EQ(session->image.last_profile_preset, 8);
  EXPECT_EQ(ui.page_refreshes, refreshes + 1);
  EXPECT_TRUE(status().send_in_progress);
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(), ExpectedFullSend(session->image));
}

TEST_F(SessionTest, ButtonsAreIgnoredWhileBusy) {
  Build(EscVariant::kFull);
  EXPECT_FALSE(session->Apply());  // nothing detected yet
  ASSERT_TRUE(ReadFully());
  status().curve_editor_open = true;
  EXPECT_FALSE(session->Apply());
  EXPECT_FALSE(session->Default());
  status().curve_editor_open = false;
  ASSERT_TRUE(session->Default());
  EXPECT_EQ(ui.resets, 1);
  ASSERT_TRUE(SendFully());
}

TEST_F(SessionTest, ResetDefaultNeedsAPageForAFullEsc) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  EXPECT_FALSE(session->ResetDefault());  // no page requested yet
  EXPECT_EQ(ui.resets, 0);
  status().requested_page = kPageGeneral;
  esc().ClearReceived();
  ASSERT_TRUE(session->ResetDefault());
  EXPECT_EQ(ui.resets, 1);
  ASSERT_TRUE(SendFully());
  // The running-mode pair goes out at once, then the whole image.
  const Bytes& wire = esc().received();
  ASSERT_GE(wire.size(), 2u);
  EXPECT_EQ(wire[0], 0xE2);
  const Bytes rest(wire.begin() + 2, wire.end());
  EXPECT_EQ(rest, ExpectedFullSend(session->image));
}

TEST_F(SessionTest, ResetDefaultOnAV1EscLoadsTheDialogDefaults) {
  Build(EscVariant::kV1);
  ASSERT_TRUE(ReadFully());
  esc().ClearReceived();
  ASSERT_TRUE(session->ResetDefault());
  EXPECT_EQ(ui.v1_defaults, 1);
  EXPECT_EQ(ui.statuses.back(), "Esc Sending......");
  // The running mode goes out at once; the ticks then wait for the ESC's ready byte.
  EXPECT_EQ(esc().received(), (Bytes{0xE2, static_cast<uint8_t>(session->image.v1_running_mode)}));
  EXPECT_TRUE(status().send_in_progress);
  EXPECT_EQ(status().transfer_direction, 2);
}

}  // namespace
}  // namespace tessel
