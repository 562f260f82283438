// The session engine against the virtual ESC on a virtual clock, asserting the bytes on the
// wire.
#include "core/engine/session.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/virtual_esc_port.h"
#include "tests/support/expected_wire.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;

class SessionTest : public ::testing::Test {
 protected:
  void Build(EscVariant variant) {
    port = std::make_unique<VirtualEscPort>(clock, variant);
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    session = std::make_unique<Session>(*port, ports.get(), clock, loop, ui);
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
  // What the host sent after the last presence probe that preceded the transfer.
  Bytes SentSinceClear() { return esc().received(); }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<Session> session;
};

Bytes ExpectedFullSend(const EscSettingsImage& im, bool curves) {
  EscSettingsImage copy = im;
  if (!curves) copy.throttle_curve_mode = copy.brake_curve_mode = copy.boost_slope = 0;
  return test_support::ExpectedFullSend(copy);
}

TEST_F(SessionTest, ReadsTheWholeFullEsc) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  const EscSettingsImage& want = esc().image();
  for (const ParamField& f : FullEscFields()) {
    EXPECT_EQ(session->image.*(f.field), want.*(f.field)) << f.name;
  }
  EXPECT_EQ(session->image.esc_out, 0);
  EXPECT_EQ(status().device_class, kDeviceFull);
  EXPECT_EQ(session->VersionText(), "ESC0120");
  // Custom curves whose check values matched come over whole and stay custom (mode 1).
  for (const CurveField& c : CurveFields()) {
    const CurveData& got = session->image.*(c.curve);
    const CurveData& sent = want.*(c.curve);
    for (int pos = 40; pos < kCurveWireBytes; ++pos) {
      ASSERT_EQ(CurveWireByte(got, pos), CurveWireByte(sent, pos)) << c.name << " " << pos;
    }
    EXPECT_EQ(session->image.*(c.mode), 1) << c.name;
  }
  // After the probes: identify three times, block, version, the three curves.
  const Bytes& wire = esc().received();
  const Bytes tail(wire.end() - 8, wire.end());
  EXPECT_EQ(tail, (Bytes{0xD5, 0xD5, 0xD5, 0xD8, 0xD7, 0xDE, 0xDB, 0xD9}));
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(ui.page_refreshes, 1);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(ui.captions.front(), kCaptionRead);
  EXPECT_EQ(ui.captions.back(), "Transferring.. 100% done.");
}

TEST_F(SessionTest, NonZeroCurveModeIsNormalisedAndMismatchGivesDefaultPoints) {
  Build(EscVariant::kFull);
  esc().image().brake_curve_mode = 5;
  esc().faults().bad_curve_check[kThrottleCurve] = true;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(session->image.brake_curve_mode, 1);
  const CurveData& th = session->image.throttle_curve;
  EXPECT_EQ(th.x[0], 0);
  EXPECT_EQ(th.x[1], 100);
  EXPECT_EQ(th.y[1], 100);
  EXPECT_EQ(session->throttle_editor.point_count, 2u);
}

TEST_F(SessionTest, FullSendWithAllCurvesCustom) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  session->image.run_mode = 2;
  session->image.drag_brake = 77;
  esc().ClearReceived();
  ASSERT_TRUE(session->Apply());
  EXPECT_EQ(status().busy_button, 8);
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(), ExpectedFullSend(session->image, true));
  EXPECT_EQ(esc().image().run_mode, 2);
  EXPECT_EQ(esc().image().drag_brake, 77);
  ASSERT_EQ(esc().received_curves().size(), 3u);
  for (const auto& c : esc().received_curves()) EXPECT_TRUE(c.check_matched);
  EXPECT_EQ(status().busy_button, 255);
  EXPECT_EQ(ui.collects, 1);
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{kTransferRead, kTransferSend}));
}

TEST_F(SessionTest, LinearCurvesAreNotSentButStillTakeTheirTicks) {
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  session->image.throttle_curve_mode = 0;
  session->image.brake_curve_mode = 0;
  session->image.boost_slope = 0;
  esc().ClearReceived();
  const uint64_t before = loop.dispatched();
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(), ExpectedFullSend(session->image, false));
  // 27 pairs, the end pair, three fillers and 120 idle ticks a curve.
  EXPECT_GE(loop.dispatched() - before, 31u + 3 * 120u);
}

Bytes ExpectedV1Send(const EscSettingsImage& im, bool bec) {
  const std::vector<std::pair<uint8_t, int32_t>> pairs = {
      {0xE2, im.v1_running_mode},
      {0xE3, im.v1_percentage_braking},
      {0xE4, im.v1_drag_brake},
      {0xE5, im.v1_motor_timing},
      {0xE6, im.v1_initial_acceleration},
      {0xE7, im.v1_throttle_limit},
      {0xE8, im.v1_throttle_percent_reverse},
      {0xEA, im.v1_neutral_range},
      {0xEB, im.v1_motor_rotation},
      {0xEC, V1CutoffCode(im.v1_cutoff_voltage)},
      bec ? std::pair<uint8_t, int32_t>{0xA1, im.v1_bec_voltage}
          : std::pair<uint8_t, int32_t>{0xE9, 1},
      {0xA2, 1},
      {0xED, 0},
      {0xA3, 1},
      {0xA4, 1},
      {0xE9, 1},
  };
  // "Send Settings" puts the running mode out at once; the ticks then send every pair.
  Bytes out{0xE2, static_cast<uint8_t>(im.v1_running_mode)};
  for (auto [cmd, value] : pairs) {
    out.push_back(cmd);
    out.push_back(static_cast<uint8_t>(value));
  }
  return out;
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
  session->image.v1_cutoff_voltage = 5;  // "NOCut-Off"
  session->image.v1_bec_voltage = 1;
  esc().ClearReceived();
  ASSERT_TRUE(session->V1SendSettings());
  ASSERT_TRUE(SendFully());
  EXPECT_EQ(esc().received(), ExpectedV1Send(session->image, bec));
  EXPECT_EQ(esc().image().v1_cutoff_voltage, 5);
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
  EXPECT_EQ(esc().received(), ExpectedFullSend(session->image, true));
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
  EXPECT_EQ(rest, ExpectedFullSend(session->image, true));
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
