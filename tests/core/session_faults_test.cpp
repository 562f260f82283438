// The engines against an ESC that misbehaves: damaged curves, a block that is no V1 block, a
// device that vanishes or freezes mid-transfer, long firmware records at 1200 baud. All on a
// virtual clock with a line that takes time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "core/engine/serial_update.h"
#include "core/engine/session.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/paced_port.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::PacedEscPort;

class EngineFaults : public ::testing::Test {
 protected:
  void Build(EscVariant variant) {
    port = std::make_unique<PacedEscPort>(clock, variant);
    session = std::make_unique<Session>(*port, &ports, clock, loop, ui);
    // Each tick is timed: no tick may block the tool for more than one echo wait.
    loop.SetHandler([this](int id) {
      const uint64_t start = clock.NowMs();
      session->OnTimer(id);
      longest_tick = std::max(longest_tick, clock.NowMs() - start);
    });
    session->Start();
  }
  bool Run(const std::function<bool()>& done, uint64_t ms = 60000) {
    return loop.RunUntil(done, ms);
  }
  bool ReadDone() {
    return (ui.reads_finished + ui.v1_reads) > 0 && !status().transfer_active &&
           status().esc_state == kEscDetected;
  }
  SessionStatus& status() { return session->status; }
  VirtualEsc& esc() { return port->esc(); }
  bool Asked(const std::string& caption_and_text) const {
    return std::find(ui.questions.begin(), ui.questions.end(), caption_and_text) !=
           ui.questions.end();
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  test_support::OneAdapter ports;
  std::unique_ptr<PacedEscPort> port;
  std::unique_ptr<Session> session;
  uint64_t longest_tick = 0;
};

TEST_F(EngineFaults, DamagedCurveIsReportedAndNotSentOverTheEscsWithoutConsent) {
  Build(EscVariant::kFull);
  esc().faults().bad_curve_check[kThrottleCurve] = true;
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  const std::string warning =
      std::string(kReadCaption) + "|" + DamagedCurveWarning({"throttle"});
  EXPECT_TRUE(Asked(warning));
  EXPECT_EQ(session->DamagedCurvesToSend(), std::vector<std::string>{"throttle"});
  const CurveData esc_curve = esc().image().throttle_curve;

  // Cancel sends nothing; "Read again" reads; a good read clears the mark.
  ui.questions.clear();
  ui.answers = {Answer::kCancel};
  const size_t before = esc().received().size();
  EXPECT_FALSE(session->Apply());
  ASSERT_EQ(ui.questions.size(), 1u);
  EXPECT_EQ(ui.questions[0], std::string(kSendCaption) + "|" + DamagedCurveQuestion({"throttle"}));
  EXPECT_FALSE(status().transfer_active);
  EXPECT_EQ(esc().received().size(), before);

  ui.answers = {Answer::kYes};
  esc().faults().bad_curve_check[kThrottleCurve] = false;
  ui.reads_finished = 0;
  EXPECT_FALSE(session->Apply());
  EXPECT_EQ(status().transfer_direction, kTransferRead);
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  EXPECT_TRUE(session->DamagedCurvesToSend().empty());
  ui.questions.clear();
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }));
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(esc().image().throttle_curve.x, esc_curve.x);  // the ESC's own points came back
}

TEST_F(EngineFaults, SendAnywayWritesTheDefaultCurve) {
  Build(EscVariant::kFull);
  esc().faults().bad_curve_check[kBrakeCurve] = true;
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  ui.answers = {Answer::kNo};
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }));
  const ReceivedCurve& brake = esc().received_curves().at(1);
  EXPECT_EQ(brake.which, kBrakeCurve);
  EXPECT_EQ(brake.wire.x[1], 100);  // the default line: (0,0) then the end point
}

TEST_F(EngineFaults, NoIdentificationAndABlockOutsideTheV1ListsIsNeverTakenOrSentBack) {
  Build(EscVariant::kFull);
  esc().faults().silent_identify = true;  // taken for a V1-series ESC; its block does not fit
  ASSERT_TRUE(Run([&] { return !ui.questions.empty(); }));
  EXPECT_EQ(ui.questions.back(), std::string(kReadCaption) + "|" + kUnrecognisedReplyText);
  EXPECT_TRUE(session->unrecognised_reply);
  EXPECT_FALSE(status().transfer_active);
  EXPECT_EQ(ui.v1_reads, 0);
  const EscSettingsImage untouched;
  EXPECT_EQ(session->image.v1_motor_timing, untouched.v1_motor_timing);
  const size_t before = esc().received().size();
  EXPECT_FALSE(session->V1SendSettings());
  EXPECT_EQ(esc().received().size(), before);
}

TEST_F(EngineFaults, DeviceGoneEndsAV1SendAtOnceAsALostAdapter) {
  Build(EscVariant::kV1);
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  ASSERT_TRUE(session->V1SendSettings());
  ASSERT_TRUE(Run([&] { return status().send_step == 5; }));
  port->Vanish();
  const uint64_t start = clock.NowMs();
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }, 10000));
  EXPECT_LE(clock.NowMs() - start, 50u);
  EXPECT_EQ(status().adapter_state, kAdapterLost);
  EXPECT_EQ(status().esc_state, kEscNone);
  EXPECT_EQ(session->last_transfer().outcome, TransferOutcome::kAdapterLost);
  EXPECT_EQ(session->last_transfer().account.why, SendBreak::kAdapterLost);
  EXPECT_EQ(ui.questions, std::vector<std::string>{std::string(kSendCaption) + "|" +
                                                   kAdapterLostText});
}

TEST_F(EngineFaults, FrozenEscCostsOneEchoWaitPerTickAndNeverEndsAsASuccess) {
  Build(EscVariant::kFull);
  // At 19200 baud no echoes are still on the line when the freeze comes (at 1200 the pairs'
  // echoes lag behind the ticks and would answer for the first bytes after it).
  esc().faults().answer_at = SpeedPolicy::kOnly19200;
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  // Freeze on the last data byte of the throttle curve: its tick then sends the check value
  // and ten fillers, each waiting for an echo.
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Run([&] { return status().send_step == 36 && status().chunk_pos == 119; }));
  port->frozen = true;
  longest_tick = 0;
  ui.answers = {Answer::kCancel};
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }, 60000));
  EXPECT_LE(longest_tick, 2100u);
  EXPECT_EQ(ui.questions, std::vector<std::string>{
                              "confirm!|Error!YES continue,NO next,CANCEL exit"});

  // Frozen right after the settings pairs, with no curve to send: the pairs went nowhere,
  // so the send must not run to its end as if all was well.
  port->frozen = false;
  ui.reads_finished = 0;
  esc().ResetLine();  // it was left waiting for the rest of a curve
  session->PrepareRead();
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  session->image.throttle_curve_mode = session->image.brake_curve_mode = 0;
  session->image.boost_slope = 0;
  ui.questions.clear();
  ui.answers = {Answer::kCancel};
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Run([&] { return status().send_step == 27; }));
  port->frozen = true;
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }));
  EXPECT_EQ(ui.questions, std::vector<std::string>{
                              "confirm!|Error!YES continue,NO next,CANCEL exit"});
  EXPECT_LT(status().send_step, 31);
}

TEST_F(EngineFaults, ASendCutOffCountsThePairsTheEscEchoed) {
  Build(EscVariant::kFull);
  esc().faults().answer_at = SpeedPolicy::kOnly19200;
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  session->image.throttle_curve_mode = 1;
  session->image.brake_curve_mode = session->image.boost_slope = 0;
  // Frozen after the first pair: the other 26 still go out, unheard.
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Run([&] { return status().send_step == 1; }));
  port->frozen = true;
  ASSERT_TRUE(Run([&] { return !status().transfer_active; }));
  EXPECT_EQ(ui.outcomes.back(),
            "failed: Send stopped (the ESC did not answer as expected) after 1 of 27 settings "
            "and 0 of 1 curve; the ESC holds a mix: read it and send again");
}

TEST_F(EngineFaults, IdleLimitCutsEveryWaitOnceNothingComesBack) {
  Build(EscVariant::kV1);
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  session->link.SetIdleLimit(3000);
  port->frozen = true;  // the V1 send waits for a ready byte that never comes
  ASSERT_TRUE(session->V1SendSettings());
  const uint64_t start = clock.NowMs();
  ASSERT_TRUE(Run([&] { return session->link.idle_expired(); }, 60000));
  EXPECT_LE(clock.NowMs() - start, 3100u);
  // Once expired, waits fail at once.
  const uint64_t t = clock.NowMs();
  EXPECT_NE(session->link.LinkReceive(1, 2000), 0);
  EXPECT_EQ(clock.NowMs(), t);
}

Bytes Record(size_t body, uint8_t seed) {
  Bytes r{static_cast<uint8_t>(body >> 8), static_cast<uint8_t>(body)};
  for (size_t i = 0; i < body; ++i) r.push_back(static_cast<uint8_t>(seed + i * 5));
  return r;
}

TEST_F(EngineFaults, LongFirmwareRecordsGoOutOnceAt1200Baud) {
  Build(EscVariant::kFull);
  esc().faults().answer_at = SpeedPolicy::kOnly1200;
  ASSERT_TRUE(Run([&] { return ReadDone(); }));
  ASSERT_EQ(session->link.baud_rate, kBaudSlow);
  // 300 bytes take 2.5 s on the line at 1200 baud: longer than the old fixed echo wait.
  const Bytes image = [] {
    Bytes all;
    for (const Bytes& r : {Record(298, 1), Record(118, 2), Record(198, 3)}) {
      all.insert(all.end(), r.begin(), r.end());
    }
    return all;
  }();
  const std::filesystem::path file = std::filesystem::path(::testing::TempDir()) /
                                     ("ESC0130-" + std::to_string(getpid()) + ".xup");
  {
    std::ofstream out(file);
    for (uint8_t b : image) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", b);
      out << hex;
    }
  }
  ui.open_file = file.string();
  ui.answers = {Answer::kOk};
  SerialUpdateDetails d;
  EXPECT_EQ(RunSerialFirmwareUpdate(*session, SerialUpdateVariant::kInformationPage, &d),
            SerialUpdateOutcome::kUpdated);
  std::filesystem::remove(file);
  EXPECT_EQ(d.record_attempts, 3);
  EXPECT_EQ(esc().record_attempts(), 3);
  EXPECT_EQ(esc().flashed(), image);
}

}  // namespace
}  // namespace tessel
