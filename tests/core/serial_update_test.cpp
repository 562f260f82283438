// The serial firmware update against the virtual ESC and its loader on a virtual clock.
#include "core/engine/serial_update.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "core/model/firmware_file.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

using Bytes = std::vector<uint8_t>;
using Outcome = SerialUpdateOutcome;

Bytes Record(size_t body, uint8_t seed) {
  Bytes r{static_cast<uint8_t>(body >> 8), static_cast<uint8_t>(body)};
  for (size_t i = 0; i < body; ++i) r.push_back(static_cast<uint8_t>(seed + i * 7));
  return r;
}

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string HexText(const Bytes& bytes) {
  std::string text;
  char pair[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(pair, sizeof pair, i % 16 == 15 ? "%02x\n" : "%02X ", bytes[i]);
    text += pair;
  }
  return text;
}

class UpdateUi : public RecordingUi {
 public:
  Answer Ask(const std::string& text, const std::string& caption, Buttons b) override {
    if (on_ask) on_ask();
    return RecordingUi::Ask(text, caption, b);
  }
  void ProcessEvents() override {
    ++events;
    if (on_events) on_events();
  }
  std::function<void()> on_ask, on_events;
  int events = 0;
};

class SerialUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::path(::testing::TempDir()) /
          ("serial_update_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // A fresh ESC, detected and read unless `read` is false; then a clean record.
  void Connect(EscVariant variant = EscVariant::kFull, bool read = true) {
    port = std::make_unique<VirtualEscPort>(clock, variant);
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    session = std::make_unique<Session>(*port, ports.get(), clock, loop, ui);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
    if (read) {
      ASSERT_TRUE(loop.RunUntil([&] { return ReadDone(); }, 60000));
    }
    esc().ClearReceived();
    ui = UpdateUi{};
    ui.answers = {Answer::kOk};
  }
  bool ReadDone() {
    const SessionStatus& s = session->status;
    return (ui.reads_finished + ui.v1_reads) > 0 && !s.transfer_active && s.esc_state == 2;
  }
  std::string File(const std::string& name, const std::string& text) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << text;
    ui.open_file = path;
    return path;
  }
  Outcome Update(SerialUpdateVariant v = SerialUpdateVariant::kInformationPage) {
    return RunSerialFirmwareUpdate(*session, v, &details);
  }
  VirtualEsc& esc() { return port->esc(); }
  SessionStatus& status() { return session->status; }
  bool Ended() { return !status().update_running && loop.Period(kTimerSession) == 100; }
  std::string LastQuestion() { return ui.questions.empty() ? "" : ui.questions.back(); }

  std::filesystem::path dir;
  ManualClock clock;
  TimerLoop loop{clock};
  UpdateUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<Session> session;
  SerialUpdateDetails details;
};

const Bytes kEntry{0xD7, 0xD6, 0xD6, 0xD6, 0xD6};

TEST_F(SerialUpdateTest, FlashesRecordByRecordWithThePercentageBeforeEach) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  // 1,000 bytes in records of 100, 250, 400 and 250.
  const std::vector<Bytes> records{Record(98, 1), Record(248, 2), Record(398, 3), Record(248, 4)};
  File("ESC0130.xup", HexText(Join(records)));
  ui.on_events = [&] {
    const size_t sent = esc().received().size();
    loop.RunOne();  // the session's ticks do nothing meanwhile
    EXPECT_EQ(esc().received().size(), sent);
  };
  EXPECT_EQ(Update(), Outcome::kUpdated);
  EXPECT_EQ(ui.filters, std::vector<std::string>{kSerialFirmwareFilter});
  EXPECT_EQ(ui.questions, std::vector<std::string>{"Warning!|Start update?"});
  EXPECT_EQ(ui.captions,
            (std::vector<std::string>{kUpdateProcessCaption, "Transferring.. 0% done.",
                                      "Transferring.. 10% done.", "Transferring.. 35% done.",
                                      "Transferring.. 75% done."}));
  EXPECT_EQ(ui.events, 4);
  EXPECT_EQ(esc().received(), Join({kEntry, Join(records)}));
  EXPECT_EQ(esc().accepted_records(), records);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_TRUE(Ended());
  // The session carries on: its next probe starts the new firmware.
  EXPECT_TRUE(loop.RunUntil([&] { return !esc().in_loader(); }, 1000));
}

TEST_F(SerialUpdateTest, VerdictsAndLineFaults) {
  struct Case {
    Bytes verdicts;
    std::function<void(VirtualEscPort&)> fault;  // before the third record attempt
    Outcome outcome;
    std::string caption;
    int attempts;
    size_t accepted;
  };
  const std::vector<Case> cases{
      {{0x00, 0x00, 0x00, 0x11}, nullptr, Outcome::kUpdated, "", 6, 3},
      {{0x00, 0x00, 0x00, 0x00}, nullptr, Outcome::kTooManyRetries, " ++retries > 4 ", 4, 0},
      {{0x12}, nullptr, Outcome::kRefused, " receivedByte 0x12 ", 1, 0},
      // The count of repeats starts again after each accepted record.
      {{0x11, 0x05, 0x11, 0x00, 0x00, 0x00, 0x00},
       nullptr,
       Outcome::kTooManyRetries,
       " ++retries > 4 ",
       7,
       2},
      {{},
       [](VirtualEscPort& p) { p.esc().faults().silent = true; },
       Outcome::kNoVerdict,
       " receive 2000 ",
       3,
       2},
      {{},
       [](VirtualEscPort& p) { p.SetPlugged(false); },
       Outcome::kWriteFailed,
       " Write read ",
       3,
       2},
  };
  const std::vector<Bytes> records{Record(5, 1), Record(9, 2), Record(3, 3)};
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    File("ESC0130.xup", HexText(Join(records)));
    esc().faults().loader_verdicts = c.verdicts;
    ui.on_events = [&] {
      if (ui.events == 3 && c.fault) c.fault(*port);
    };
    EXPECT_EQ(Update(), c.outcome) << c.caption;
    EXPECT_EQ(details.record_attempts, c.attempts) << c.caption;
    EXPECT_EQ(esc().accepted_records().size(), c.accepted) << c.caption;
    if (!c.caption.empty()) {
      EXPECT_EQ(LastQuestion(), c.caption + "|Esc Process Error!");
    }
    EXPECT_EQ(ui.beeps, c.outcome == Outcome::kUpdated ? 1 : 0) << c.caption;
    EXPECT_TRUE(Ended()) << c.caption;
  }
}

TEST_F(SerialUpdateTest, DuringASettingsTransferNoQueryButStillTheQuestion) {
  for (bool reading : {true, false}) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    (reading ? status().read_in_progress : status().send_in_progress) = true;
    // Older than the ESC, but its version is not asked for: the plain question.
    const std::string path = File("ESC0001.xup", HexText(Record(4, 9)));
    EXPECT_EQ(Update(), Outcome::kUpdated);
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Warning!|Start update?"});
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0].detail, path + "\nThe file holds ESC0001");
    EXPECT_EQ(esc().received(), Join({Bytes{0xD6, 0xD6, 0xD6, 0xD6}, Record(4, 9)}));
  }
}

// The question names the file and says how the two versions stand, in the texts the user
// sees on the information page and in the file's name.
TEST_F(SerialUpdateTest, QuestionFollowsTheVersionNumbers) {
  struct Case {
    std::string esc_version, file, question, versions;
  };
  const std::vector<Case> cases{
      {"ESC0120", "ESC0110.xup", "version old", "ESC0110 is older than ESC0120"},
      {"ESC0120", "ESC011f.XUP", "version old", "ESC011f is older than ESC0120"},
      {"ESC0120", "ESC0120.xup", "Start update?", "ESC0120 is the same as ESC0120"},
      {"ESC0120", "ESC0130.xup", "Start update?", "ESC0130 is newer than ESC0120"},
      {"ESC0120", "fw.xup", "Start update?", "The ESC runs ESC0120"},  // no digits in the name
      // No digits in the ESC's text: nothing to compare, both said.
      {"ESC-new", "ESC0001.xup", "Start update?", "The file holds ESC0001; the ESC runs ESC-new"},
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    esc().set_version_text(c.esc_version);
    const std::string path = File(c.file, HexText(Record(4, 1)));
    ui.answers = {Answer::kCancel};
    EXPECT_EQ(Update(), Outcome::kDeclined) << c.file;
    EXPECT_EQ(LastQuestion(), "Warning!|" + c.question) << c.file;
    // Enter must never downgrade: Cancel is the default of "version old" only.
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0].detail, path + "\n" + c.versions);
    EXPECT_EQ(ui.asked[0].default_answer,
              c.question == "version old" ? std::optional<Answer>(Answer::kCancel) : std::nullopt)
        << c.file;
    EXPECT_EQ(esc().received(), Bytes{0xD7}) << c.file;
    EXPECT_TRUE(Ended());
  }
  // OK goes ahead, with the file chosen even where its name runs on past ".xup".
  ASSERT_NO_FATAL_FAILURE(Connect());
  File("ESC0110.xup", HexText(Record(4, 1)));
  const std::string chosen = File("ESC0110.xup.new", HexText(Record(6, 2)));
  EXPECT_EQ(Update(), Outcome::kUpdated);
  EXPECT_EQ(LastQuestion(), "Warning!|version old");
  EXPECT_EQ(ui.asked.back().detail, chosen + "\nESC0110 is older than ESC0120");
  EXPECT_EQ(esc().flashed(), Record(6, 2));
  EXPECT_EQ(ui.outcomes, std::vector<std::string>{"Firmware updated"});
  EXPECT_EQ(details.file_version, 0x110u);
  EXPECT_EQ(details.esc_version, 0x120u);
}

TEST_F(SerialUpdateTest, DamagedOrMissingFilesNeverReachTheLoader) {
  struct Case {
    std::string text, problem;
    Outcome outcome = Outcome::kDamagedFile;
  };
  const std::string good = HexText(Record(3, 1));
  std::string oversized;
  for (int i = 0; i < 5; ++i) oversized += HexText(Record(65535, 1));
  const std::vector<Case> cases{
      {" \r\n ", "holds no firmware data"},
      {good + "0005 010203", "needs 7 bytes but only 5 remain"},
      // The last digit of "BB" lost: read as 0x0B the records still chain.
      {"0003 0102BB 0001 B", "'B' (0x42) at offset 17 stands alone"},
      {oversized, "more than 262144 bytes"},
      {"", "No such file or directory", Outcome::kFileNotOpened},  // removed below
  };
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const std::string path = File("ESC0130.xup", c.text);
    if (c.outcome == Outcome::kFileNotOpened) std::filesystem::remove(path);
    EXPECT_EQ(Update(), c.outcome) << c.problem;
    EXPECT_EQ(esc().received(), Bytes{0xD7}) << c.problem;
    const std::string q = LastQuestion();
    EXPECT_EQ(q.rfind("Firmware file|", 0), 0u) << q;
    EXPECT_NE(q.find(path), std::string::npos) << q;
    EXPECT_NE(q.find(c.problem), std::string::npos) << q;
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_TRUE(ui.captions.empty());  // the transfer never showed
    // The file is refused before the user is asked to start anything.
    EXPECT_EQ(ui.questions.size(), 1u) << q;
    EXPECT_EQ(ui.outcomes,
              std::vector<std::string>{"failed: Firmware file refused; nothing was sent to the ESC"});
    EXPECT_TRUE(Ended());
  }
}

TEST_F(SerialUpdateTest, NothingHappensUnlessEscDetectedAndNotAlreadyUpdating) {
  ASSERT_NO_FATAL_FAILURE(Connect(EscVariant::kFull, false));
  EXPECT_EQ(Update(SerialUpdateVariant::kV1Dialog), Outcome::kNoEsc);
  EXPECT_TRUE(ui.filters.empty());
  EXPECT_TRUE(Ended());

  ASSERT_NO_FATAL_FAILURE(Connect());
  const Bytes image = Join({Record(3, 1), Record(3, 2)});
  File("ESC0130.xup", HexText(image));
  std::vector<Outcome> nested;
  auto again = [&] {
    nested.push_back(RunSerialFirmwareUpdate(*session, SerialUpdateVariant::kV1Dialog));
  };
  ui.on_ask = again;     // while confirming, before update_running is set
  ui.on_events = again;  // between records
  EXPECT_EQ(Update(), Outcome::kUpdated);
  EXPECT_EQ(nested, std::vector<Outcome>(3, Outcome::kAlreadyRunning));
  EXPECT_EQ(esc().received(), Join({kEntry, image}));
  EXPECT_TRUE(ui.statuses.empty());

  // Once it is over (and the new firmware runs), the next one starts.
  ASSERT_TRUE(loop.RunUntil([&] { return !esc().in_loader(); }, 1000));
  ui.on_ask = ui.on_events = nullptr;
  ui.answers = {Answer::kOk};
  EXPECT_EQ(Update(), Outcome::kUpdated);
}

TEST_F(SerialUpdateTest, V1DialogShowsStatusAndDetectsTheEscAfresh) {
  ASSERT_NO_FATAL_FAILURE(Connect(EscVariant::kV1));
  const Bytes image = Join({Record(6, 1), Record(2, 2)});
  File("V1E0106.xup", HexText(image));
  EXPECT_EQ(Update(SerialUpdateVariant::kV1Dialog), Outcome::kUpdated);
  EXPECT_EQ(ui.statuses,
            (std::vector<std::string>{"Transferring.. 0% done.", "Transferring.. 66% done.",
                                      "Esc Software Update OK!"}));
  EXPECT_TRUE(ui.captions.empty());
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(esc().flashed(), image);
  EXPECT_EQ(status().adapter_state + status().esc_state, 0);
  EXPECT_FALSE(status().transfer_active);
  EXPECT_TRUE(Ended());
  EXPECT_TRUE(loop.RunUntil([&] { return ui.v1_reads == 1 && ReadDone(); }, 60000));

  // A refused record never reads as a finished update.
  ASSERT_NO_FATAL_FAILURE(Connect(EscVariant::kV1));
  File("V1E0106.xup", HexText(image));
  esc().faults().loader_verdicts = {0x11, 0x12};
  EXPECT_EQ(Update(SerialUpdateVariant::kV1Dialog), Outcome::kRefused);
  EXPECT_EQ(ui.statuses.back(), "Transferring.. 66% done.");
  EXPECT_EQ(status().esc_state, 2);
  EXPECT_EQ(ui.beeps, 0);
}

}  // namespace
}  // namespace tessel
