// The status line: what each state reads as, how reported outcomes give way, and what the
// engines and the file commands report through the window seam, on the virtual devices.
#include "core/app/status_model.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/page_rules.h"
#include "core/model/settings_file.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/hid_world.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

SessionStatus Serial(int32_t adapter, int32_t esc) {
  SessionStatus s;
  s.link_kind = kLinkSerial;
  s.adapter_state = adapter;
  s.esc_state = esc;
  s.transfer_active = false;
  s.read_in_progress = false;
  return s;
}

TEST(StatusLineTest, EveryStateHasItsText) {
  SessionStatus start;  // as the tool starts: a read waits for the first ESC
  EXPECT_EQ(CurrentActivity(start), Activity::kSearching);
  EXPECT_EQ(ActivityText(CurrentActivity(start)), "Searching for the adapter…");
  EXPECT_EQ(PageAreaHint(Activity::kSearching), "CONNECT THE PROGRAMMING ADAPTER");

  SessionStatus s = Serial(kAdapterOpen, kEscSilent);
  s.transfer_active = true;  // the read that waits for the ESC does not count as reading
  EXPECT_EQ(ActivityText(CurrentActivity(s)), "Adapter found, no ESC answering");
  s.esc_state = kEscDetected;
  s.read_in_progress = true;
  EXPECT_EQ(ActivityText(CurrentActivity(s)), "Reading the ESC…");
  EXPECT_EQ(PageAreaHint(CurrentActivity(s)), "READING THE ESC…");
  s.read_in_progress = false;
  s.transfer_direction = kTransferSend;
  EXPECT_EQ(ActivityText(CurrentActivity(s)), "Sending to the ESC…");
  s.transfer_active = false;
  EXPECT_EQ(CurrentActivity(s), Activity::kReady);
  s.update_running = true;
  EXPECT_EQ(CurrentActivity(s), Activity::kUpdating);

  // The HID adapter counts 1 as greeted and present; a V1 send there runs without
  // `transfer_active`.
  SessionStatus h = Serial(kHidAdapterGreeted, kEscNone);
  h.link_kind = kLinkHid;
  EXPECT_EQ(CurrentActivity(h), Activity::kNoEsc);
  h.esc_state = kHidEscPresent;
  EXPECT_EQ(CurrentActivity(h), Activity::kReady);
  h.send_in_progress = true;
  EXPECT_EQ(CurrentActivity(h), Activity::kSending);
  h.send_in_progress = false;
  h.lcd_box_connected = true;
  EXPECT_EQ(ActivityText(CurrentActivity(h)), "LCD program box connected");
  // A serial adapter that is open but lost its ESC is no HID adapter with a greeting.
  EXPECT_EQ(CurrentActivity(Serial(kAdapterLost, kEscNone)), Activity::kSearching);
}

TEST(StatusLineTest, OutcomesStayUntilNewWorkOrTheLossOfWhatTheyTalkAbout) {
  StatusModel line;
  SessionStatus s = Serial(kAdapterOpen, kEscDetected);
  s.transfer_active = true;
  EXPECT_EQ(line.Update(s), "Reading the ESC…");
  s.device_class = kDeviceFull;
  line.Report(ReadOkText(s, "ESC0120"), s);
  s.transfer_active = false;
  EXPECT_EQ(line.Update(s), "Read OK: CAR ESC, software ESC0120");  // settling keeps it
  s.transfer_active = true;
  s.transfer_direction = kTransferSend;
  EXPECT_EQ(line.Update(s), "Sending to the ESC…");  // new work replaces it
  s.transfer_active = false;
  line.Report(kSentOkText, s);
  EXPECT_EQ(line.Update(s), "Sent OK");
  s.esc_state = kEscSilent;
  EXPECT_EQ(line.Update(s), "Adapter found, no ESC answering");  // a success gives way

  // A failure stays while the tool searches and reads on its own, and goes when the user acts.
  line.ReportFailure("Import failed: too short", s);
  s.adapter_state = kAdapterNone;
  EXPECT_EQ(line.Update(s), "Import failed: too short");
  s.adapter_state = kAdapterOpen;
  s.esc_state = kEscDetected;
  s.transfer_active = true;
  s.transfer_direction = kTransferRead;
  EXPECT_EQ(line.Update(s), "Import failed: too short");
  EXPECT_EQ(line.TakeNotice(), "") << "the import had its own box";
  line.UserActed();
  EXPECT_EQ(line.Update(s), "Reading the ESC…");
}

// A send cut off on the HID adapter: the reason outlasts the read that follows the replug and
// its success until the user acts, with one box (none after a question the user answered).
TEST(StatusLineTest, AFailureOutlastsTheAutomaticReadUntilTheUserActs) {
  const std::string broke_off = "Send broke off: the adapter was pulled out";
  StatusModel line;
  SessionStatus h = Serial(kHidAdapterGreeted, kHidEscPresent);
  h.link_kind = kLinkHid;
  h.send_in_progress = true;
  line.Update(h);
  h.send_in_progress = false;
  line.ReportFailure(broke_off, h);
  EXPECT_EQ(line.TakeNotice(), broke_off);
  EXPECT_EQ(line.TakeNotice(), "") << "one box per failure";
  h.transfer_active = true;  // the read after the replug
  EXPECT_EQ(line.Update(h), broke_off);
  h.transfer_active = false;
  line.Report("Read OK: CAR ESC", h);
  EXPECT_EQ(line.Update(h), broke_off);
  line.UserActed();
  EXPECT_EQ(line.Update(h), "ESC ready");

  h.send_in_progress = true;  // Cancel in the transfer question stops it: no second box
  line.Update(h);
  line.NoteAsked();
  line.ReportFailure("Send stopped", h);
  EXPECT_EQ(line.TakeNotice(), "");
}

// ---------------------------------------------------------------------------------------------
// What the engines report through the seam.

class SerialReports : public ::testing::Test {
 protected:
  void SetUp() override {
    port = std::make_unique<VirtualEscPort>(clock, EscVariant::kFull);
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    session = std::make_unique<Session>(*port, ports.get(), clock, loop, ui);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
  }
  SessionStatus& status() { return session->status; }
  bool Idle() {
    return loop.RunUntil([&] { return !status().transfer_active && status().esc_state == 2; },
                         60000);
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<Session> session;
};

TEST_F(SerialReports, ReadSendAndReadAgain) {
  EXPECT_FALSE(session->ReadFromEsc()) << "no ESC yet";
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ui.outcomes, Texts{"Read OK: CAR ESC, software ESC0120"});
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ui.outcomes.back(), "Sent OK");

  // "Read from ESC" runs the detection read again: identification, block, version, curves.
  port->esc().image().punch_rate1 = 3;
  port->esc().ClearReceived();
  ASSERT_TRUE(session->ReadFromEsc());
  EXPECT_EQ(ui.captions.back(), kCaptionRead);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(port->esc().received(), (Bytes{0xD5, 0xD5, 0xD5, 0xD8, 0xD7, 0xDE, 0xDB, 0xD9}));
  EXPECT_EQ(session->image.punch_rate1, 3);
  EXPECT_EQ(ui.outcomes.back(), "Read OK: CAR ESC, software ESC0120");
  EXPECT_EQ(ui.reads_finished, 2);

  session->status.curve_editor_open = true;
  EXPECT_FALSE(session->ReadFromEsc()) << "an open curve editor keeps the image as it is";
}

TEST_F(SerialReports, SkippedAndStoppedTransfersAreNoSuccess) {
  ASSERT_TRUE(Idle());
  ui.outcomes.clear();
  // The ESC goes quiet before its version: No skips the step, the read ends without it.
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(loop.RunUntil([&] { return status().read_step == 6; }, 60000));
  port->esc().faults().silent = true;
  // The version query's echo is missing, and then its answer: No skips both steps.
  ui.answers = {Answer::kNo, Answer::kNo};
  loop.RunOne();
  ASSERT_EQ(ui.questions.size(), 1u);
  port->esc().faults().silent = false;
  loop.RunOne();
  ASSERT_EQ(ui.questions.size(), 2u);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ui.outcomes,
            Texts{"failed: Read with skipped steps: some values shown may not be the ESC's"});

  // Cancel stops a read, and a send part way.
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(loop.RunUntil([&] { return status().read_step == 6; }, 60000));
  port->esc().faults().silent = true;
  ui.answers = {Answer::kCancel};
  ASSERT_TRUE(loop.RunUntil([&] { return !status().transfer_active; }, 60000));
  EXPECT_EQ(ui.outcomes.back(), "failed: Read stopped: the ESC did not answer as expected");
  port->esc().faults().silent = false;
  ASSERT_TRUE(Idle());

  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(loop.RunUntil([&] { return status().send_step == 10; }, 60000));
  port->SetPlugged(false);  // the next write fails
  ui.answers = {Answer::kCancel};
  loop.RunOne();
  EXPECT_FALSE(status().transfer_active);
  // Ten pairs went out; the echo of the tenth was still to be read when the line went.
  EXPECT_EQ(ui.outcomes.back(),
            "failed: Send stopped (the ESC did not answer as expected) after 9 of 27 settings and "
            "0 of 3 curves; the ESC holds a mix: read it and send again");
}

class HidReports : public ::testing::Test, public test_support::HidWorld {
 protected:
  void SetUp() override { Build(HidDeviceKind::kFullEsc); }
};

TEST_F(HidReports, ReadSendReadAgainAndALostSend) {
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ui.outcomes, Texts{"Read OK: CAR ESC, software V1.05_120307"});
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(Idle());
  EXPECT_EQ(ui.outcomes.back(), "Sent OK");

  adapter->image().punch_rate2 = 5;
  adapter->ClearReports();
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(loop.RunUntil([&] { return ui.reads_finished == 2; }, 60000));
  const std::vector<uint8_t> commands = Commands();
  ASSERT_GE(commands.size(), 6u);
  EXPECT_EQ(std::vector<uint8_t>(commands.begin(), commands.begin() + 6),
            (std::vector<uint8_t>{0xD5, 0xD7, 0xD8, 0xDE, 0xDB, 0xD9}));
  EXPECT_EQ(session->image.punch_rate2, 5);
  EXPECT_EQ(ui.outcomes.back(), "Read OK: CAR ESC, software V1.05_120307");

  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(loop.RunUntil([&] { return SendingCurves(); }, 60000));
  adapter->ReplaceDevice(HidDeviceKind::kLcdBox);
  ASSERT_TRUE(loop.RunUntil([&] { return !session->status.send_in_progress; }, 60000));
  EXPECT_EQ(ui.outcomes.back(),
            "failed: Send broke off (the ESC stopped answering) after 27 of 27 settings and 0 of "
            "3 curves; the ESC holds a mix: read it and send again");

  // The LCD program box alone has nothing to read: no read starts (nor its progress window).
  ASSERT_TRUE(loop.RunUntil([&] { return EscLossReported(); }, 60000));
  ASSERT_TRUE(EnterLcdMode());
  EXPECT_FALSE(session->ReadFromEsc());
  EXPECT_FALSE(ui.progress_visible);
}

// ---------------------------------------------------------------------------------------------
// The file commands.

class FileReports : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::path(::testing::TempDir()) /
          ("status_line_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    LoadFactoryDefaults(image);
    status.device_class = kDeviceFull;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  SettingsFileHost Host() { return SettingsFileHost{image, status, false, ui, nullptr}; }

  std::filesystem::path dir;
  EscSettingsImage image;
  SessionStatus status;
  RecordingUi ui;
};

TEST_F(FileReports, ExportImportAndADamagedFileWithItsReason) {
  ui.save_file = (dir / "race.old").string();
  ASSERT_TRUE(ExportSettings(Host()));
  const std::string written = (dir / "race.old.DATA").string();
  EXPECT_EQ(ui.outcomes, Texts{"Exported to " + written});

  ui.open_file = written;
  ASSERT_TRUE(ImportSettings(Host()));
  EXPECT_EQ(ui.outcomes.back(), "Imported " + written);

  // One byte changed: the box keeps its text and caption, the reason goes under it.
  std::vector<char> bytes(kSettingsRecordLength);
  std::ifstream(written, std::ios::binary).read(bytes.data(), kSettingsRecordLength);
  bytes[400] = static_cast<char>(bytes[400] + 1);
  std::ofstream(written, std::ios::binary).write(bytes.data(), kSettingsRecordLength);
  const EscSettingsImage before = image;
  EXPECT_FALSE(ImportSettings(Host()));
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0].text, kImportErrorText);
  EXPECT_EQ(ui.asked[0].caption, kImportCaption);
  const std::string reason = "\"" + written + "\": the check value does not match the contents";
  EXPECT_EQ(ui.asked[0].detail, reason);
  EXPECT_EQ(ui.outcomes.back(), "failed: Import failed: " + reason);
  EXPECT_EQ(image.run_mode, before.run_mode);
  // The same reason the command line gives for the file.
  std::string cli_error;
  EXPECT_FALSE(ReadSettingsFile(written, cli_error));
  EXPECT_NE(cli_error.find(reason), std::string::npos) << cli_error;
}

}  // namespace
}  // namespace tessel
