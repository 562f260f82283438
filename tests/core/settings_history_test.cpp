// The settings history: entries kept after whole reads and sends on the virtual ESC, none
// after a failed, skipped or cancelled transfer, none half written, and pruning. The undo that
// puts the earlier image back on the wire is the window's test.
#include "core/app/settings_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "core/engine/session.h"
#include "core/model/settings_file.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/fixed_time_zone.h"
#include "tests/support/recording_ui.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test_support::ReadFile;
using test_support::ScratchFolder;

class HistoryUi : public RecordingUi {
 public:
  void TransferDone(const TransferEnd& end) override {
    RecordingUi::TransferDone(end);
    if (recorder) recorder->OnTransferDone(end);
  }
  HistoryRecorder* recorder = nullptr;
};

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { history = std::make_unique<SettingsHistory>(folder); }

  void Build(EscVariant variant) {
    port = std::make_unique<VirtualEscPort>(clock, variant);
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    session = std::make_unique<Session>(*port, ports.get(), clock, loop, ui);
    recorder = std::make_unique<HistoryRecorder>(*history, *session);
    ui.recorder = recorder.get();
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
  }
  VirtualEsc& esc() { return port->esc(); }
  SessionStatus& status() { return session->status; }
  bool Idle() { return !status().transfer_active && status().esc_state == kEscDetected; }
  bool ReadFully() {
    return loop.RunUntil([&] { return (ui.reads_finished > 0 || ui.v1_reads > 0) && Idle(); },
                         60000);
  }
  bool SendFully() {
    return loop.RunUntil([&] { return !status().transfer_active; }, 60000);
  }

  ScratchFolder scratch;
  std::string folder = scratch.path();
  std::unique_ptr<SettingsHistory> history;
  ManualClock clock;
  TimerLoop loop{clock};
  HistoryUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<Session> session;
  std::unique_ptr<HistoryRecorder> recorder;
};

TEST_F(HistoryTest, ReadAndSendsOfAFullEscLeaveWholeEntries) {
  history->set_now([] { return int64_t{1796739303123}; });  // 2026-12-08 14:15:03.123 UTC
  Build(EscVariant::kFull);
  ASSERT_TRUE(ReadFully());
  auto entries = history->List();
  ASSERT_EQ(entries.size(), 1u);
  const HistoryEntry& read = entries[0];
  EXPECT_EQ(read.version, session->VersionText());
  EXPECT_FALSE(read.version.empty());
  // The settings file is the export encoding of what was read, byte for byte.
  const Bytes data = EncodeSettingsFile(session->image);
  EXPECT_EQ(ReadFile(folder + "/" + read.id + ".DATA"), std::string(data.begin(), data.end()));
  EXPECT_EQ(ReadFile(folder + "/20261208-141503-123-000.json"),
            "{\"id\": \"20261208-141503-123-000\", \"time\": \"2026-12-08T14:15:03.123Z\", "
            "\"cause\": \"read\", \"device\": \"full\", \"link\": \"serial\", \"esc_version\": \"" +
                read.version + "\", \"settings_file\": \"20261208-141503-123-000.DATA\"}\n");

  session->image.run_mode = 2;
  recorder->NoteSendCause(kCauseApply);
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(SendFully());
  // A profile change sends by itself: no cause was noted for it.
  session->image.profile_preset = 8;
  loop.RunOne();
  ASSERT_TRUE(SendFully());
  entries = history->List();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].cause, "preset");
  EXPECT_EQ(entries[1].cause, "Apply");
  EXPECT_EQ(entries[1].image.run_mode, 2);
  EXPECT_EQ(entries[2].cause, "read");
  // The same millisecond three times: the ids still sort in the order of the transfers.
  EXPECT_EQ(entries[0].id, "20261208-141503-123-002");
  EXPECT_EQ(entries[1].id, "20261208-141503-123-001");
  EXPECT_EQ(entries[0].image.punch_rate1, esc().image().punch_rate1);
}

TEST_F(HistoryTest, AV1EscKeepsItsFieldsByNameInTheSidecar) {
  Build(EscVariant::kV1Bec);
  ASSERT_TRUE(ReadFully());
  const EscSettingsImage read = esc().image();
  session->image.v1_cutoff_voltage = 5;
  session->image.v1_bec_voltage = 1;
  esc().ClearReceived();
  ASSERT_TRUE(session->V1SendSettings());
  ASSERT_TRUE(SendFully());
  const auto entries = history->List();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].device, "v1-bec");
  EXPECT_EQ(entries[0].cause, "Apply");  // the dialog's Send
  EXPECT_FALSE(fs::exists(folder + "/" + entries[0].id + ".DATA"));
  EXPECT_EQ(entries[0].image.v1_cutoff_voltage, 5);
  EXPECT_EQ(entries[0].image.v1_bec_voltage, 1);
  EscSettingsImage back;
  ApplyHistoryEntry(entries[1], back);
  for (const V1Field& f : V1Fields()) EXPECT_EQ(back.*(f.field), read.*(f.field)) << f.name;
  // The entry before the send is the one an undo would go back to.
  const auto undo = history->BeforeLastSend("v1-bec");
  ASSERT_TRUE(undo);
  EXPECT_EQ(undo->earlier.id, entries[1].id);
  EXPECT_EQ(undo->sent.id, entries[0].id);
  EXPECT_FALSE(history->BeforeLastSend("v1"));
  EXPECT_FALSE(history->BeforeLastSend("full"));
}

TEST_F(HistoryTest, FailedSkippedCancelledAndDamagedTransfersLeaveNoEntry) {
  Build(EscVariant::kFull);
  // A read broken off with Cancel.
  ASSERT_TRUE(loop.RunUntil([&] { return status().read_step == 6; }, 60000));
  esc().faults().silent = true;
  ui.answers = {Answer::kCancel};
  loop.RunOne();
  EXPECT_FALSE(status().transfer_active);
  esc().faults().silent = false;
  // A read with a step skipped ("NO next") ends, but not whole.
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(loop.RunUntil([&] { return status().read_step == 6; }, 60000));
  esc().faults().silent = true;
  ui.answers = std::deque<Answer>(12, Answer::kNo);
  loop.RunOne();
  esc().faults().silent = false;
  ASSERT_TRUE(ReadFully());
  EXPECT_EQ(ui.transfers_done, (std::vector<int32_t>{-kTransferRead}));
  // A read whose throttle curve arrived damaged holds default points, not the ESC's.
  esc().faults().bad_curve_check[kThrottleCurve] = true;
  ui.reads_finished = 0;
  ui.answers = {Answer::kOk};
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(ReadFully());
  EXPECT_TRUE(history->List().empty());
  esc().faults().bad_curve_check[kThrottleCurve] = false;
  ui.reads_finished = 0;
  ASSERT_TRUE(session->ReadFromEsc());
  ASSERT_TRUE(ReadFully());
  ASSERT_EQ(history->List().size(), 1u);
  // A send cancelled halfway.
  recorder->NoteSendCause(kCauseApply);
  ASSERT_TRUE(session->Apply());
  ASSERT_TRUE(loop.RunUntil([&] { return status().send_step == 5; }, 60000));
  esc().faults().silent = true;
  ui.answers = {Answer::kCancel};
  ASSERT_TRUE(loop.RunUntil([&] { return !status().transfer_active; }, 60000));
  EXPECT_EQ(history->List().size(), 1u);
  EXPECT_FALSE(history->BeforeLastSend("full"));
}

TEST(SettingsHistoryFiles, AFailedWriteAndStrayFilesShowNoEntry) {
  const ScratchFolder scratch;
  const std::string& folder = scratch.path();
  SettingsHistory history(folder);
  EscSettingsImage image;
  image.run_mode = 1;
  std::string error;
  // The sidecar cannot be written: the settings file written before it goes too.
  int writes = 0;
  history.set_writer([&](const std::string& path, const std::string& bytes, std::string& e) {
    if (++writes == 2) {
      e = "Cannot write " + path + ": No space left on device";
      return false;
    }
    std::ofstream(path, std::ios::binary) << bytes;
    return true;
  });
  EXPECT_FALSE(history.Record(image, "full", "serial", "ESC0110", kCauseRead, error));
  EXPECT_NE(error.find("No space left"), std::string::npos);
  EXPECT_TRUE(history.List().empty());
  EXPECT_TRUE(fs::is_empty(folder));

  history.set_writer([](const std::string& path, const std::string& bytes, std::string& e) {
    return ReplaceFileAtomically(
        path,
        [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); },
        e);
  });
  const auto good = history.Record(image, "full", "serial", "ESC0110", kCauseRead, error);
  ASSERT_TRUE(good) << error;
  const std::string sidecar = ReadFile(folder + "/" + *good + ".json");
  const std::string data = ReadFile(folder + "/" + *good + ".DATA");
  auto put = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder + "/" + name, std::ios::binary) << text;
  };
  put("20200101-000000-000-000.DATA", data);                   // no sidecar: a write cut short
  put("20200101-000000-000-001.json", sidecar.substr(0, 40));  // a sidecar cut short
  put("20200101-000000-000-002.json", sidecar);                // its id is not its name
  put("20200101-000000-000-003.json",                          // its settings file is missing
      "{\"id\": \"20200101-000000-000-003\", \"time\": \"t\", \"cause\": \"read\", "
      "\"device\": \"full\", \"link\": \"serial\", \"esc_version\": \"\"}");
  put("20200101-000000-000-004.DATA", data.substr(0, 400));  // a settings file cut short
  put("20200101-000000-000-004.json",
      "{\"id\": \"20200101-000000-000-004\", \"time\": \"t\", \"cause\": \"read\", "
      "\"device\": \"full\", \"link\": \"serial\", \"esc_version\": \"\"}");
  put(*good + ".json.tmp0", sidecar);  // a temporary
  const auto entries = history.List();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].id, *good);
  EXPECT_EQ(entries[0].image.run_mode, 1);
  EXPECT_FALSE(history.Find("../escape"));
  EXPECT_FALSE(history.Find("20200101-000000-000-003"));
}

TEST(SettingsHistoryFiles, JunkInTheFolderIsSkippedUnreadAndHoldsNoWriteBack) {
  const ScratchFolder scratch;
  const std::string& folder = scratch.path();
  SettingsHistory history(folder);
  EscSettingsImage image;
  std::string error;
  const auto first = history.Record(image, "full", "serial", "ESC0110", kCauseRead, error);
  ASSERT_TRUE(first) << error;
  // What a user's ESC held is for that user alone, as in the wire trace.
  for (const char* ext : {".json", ".DATA"}) {
    EXPECT_EQ(fs::status(folder + "/" + *first + ext).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write)
        << ext;
  }
  // A sidecar that is a link to an endless device, or a fifo, is neither read to its end nor
  // waited on; a lock left with a stamp far ahead (a clock set wrong) holds no id back.
  fs::create_symlink("/dev/zero", folder + "/20200101-000000-000-000.json");
  ASSERT_EQ(mkfifo((folder + "/20200101-000000-000-001.json").c_str(), 0600), 0);
  std::ofstream(folder + "/20991231-235959-999-999.lock").put('\n');
  const auto second = history.Record(image, "full", "serial", "ESC0110", kCauseApply, error);
  ASSERT_TRUE(second) << error;
  EXPECT_GT(*second, *first);
  EXPECT_LT(*second, "2099");
  EXPECT_EQ(history.List().size(), 2u);
}

TEST(SettingsHistoryFiles, PrunesToTheNewest200AndKeepsOrderWhenTheClockGoesBack) {
  const ScratchFolder scratch;
  const std::string& folder = scratch.path();
  SettingsHistory history(folder);
  int64_t now = 1796739303123;
  history.set_now([&] { return now; });
  EscSettingsImage image;
  std::string error;
  std::vector<std::string> ids;
  for (int i = 0; i < 205; ++i) {
    image.drag_brake = i % 100;
    // Every tenth entry finds the clock a second behind.
    now += i % 10 == 9 ? -1000 : 7;
    auto id = history.Record(image, "full", "hid", "", i % 2 ? kCauseApply : kCauseRead, error);
    ASSERT_TRUE(id) << error;
    if (!ids.empty()) {
      EXPECT_GT(*id, ids.back());
    }
    ids.push_back(*id);
  }
  const auto entries = history.List();
  ASSERT_EQ(entries.size(), kHistoryKeep);
  EXPECT_EQ(entries.front().id, ids.back());
  EXPECT_EQ(entries.back().id, ids[5]);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 400);
  // Another tool is writing the entry that would come next: this one takes the id after it.
  now -= 60000;
  const int count = std::stoi(ids.back().substr(20));
  char next[16];
  std::snprintf(next, sizeof next, "%03d", count + 1);
  const std::string held = ids.back().substr(0, 20) + next;
  std::ofstream(folder + "/" + held + ".lock").put('\n');
  const auto after = history.Record(image, "full", "hid", "", kCauseRead, error);
  ASSERT_TRUE(after) << error;
  std::snprintf(next, sizeof next, "%03d", count + 2);
  EXPECT_EQ(*after, ids.back().substr(0, 20) + next);
  EXPECT_TRUE(fs::exists(folder + "/" + held + ".lock"));
  EXPECT_FALSE(fs::exists(folder + "/" + *after + ".lock"));
}

TEST(SettingsHistoryTime, StoredUtcTimesAreShownInLocalTime) {
  const test_support::FixedTimeZone zone(test_support::kCentralEurope);
  EXPECT_EQ(HistoryTimeText("2026-12-08T16:24:03.497Z"), "8 Dec 2026 17:24:03");
  // Past midnight, and past the year's end, in local time only.
  EXPECT_EQ(HistoryTimeText("2026-12-31T23:30:00.000Z"), "1 Jan 2027 00:30:00");
  EXPECT_EQ(HistoryTimeText("2026-07-01T12:00:00Z"), "1 Jul 2026 14:00:00");  // summer time
  // Not a stored time: shown as it stands rather than as some other moment.
  for (const char* odd : {"2026-12-08", "2026-13-08T16:24:03.497Z", "2026-12-08T16:24:03.497"}) {
    EXPECT_EQ(HistoryTimeText(odd), odd);
  }
}

}  // namespace
}  // namespace tessel
