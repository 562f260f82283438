// Firmware updates through the HID adapter: the HID session engine's update steps against the
// virtual adapter's block and record loaders on a virtual clock, asserting the bytes that
// reached the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "core/engine/hid_engine.h"
#include "core/engine/serial_update.h"
#include "core/app/status_model.h"
#include "core/link/wire_trace.h"
#include "core/model/firmware_file.h"
#include "core/model/page_rules.h"
#include "tests/support/hid_world.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes Image(size_t size) {
  Bytes image(size);
  for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>((i * 7 + i / 256) & 0xFF);
  return image;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Slice(const Bytes& b, size_t from, size_t to) {
  return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

// Hex text of records with the given body lengths.
std::string HexText(const std::vector<int>& bodies, Bytes* image) {
  std::string text;
  char pair[3];
  auto put = [&](uint8_t b) {
    std::snprintf(pair, sizeof pair, "%02X", b);
    text += pair;
    image->push_back(b);
  };
  for (size_t r = 0; r < bodies.size(); ++r) {
    put(static_cast<uint8_t>(bodies[r] >> 8));
    put(static_cast<uint8_t>(bodies[r]));
    for (int i = 0; i < bodies[r]; ++i) put(static_cast<uint8_t>(r * 31 + i));
  }
  return text;
}

class HidUpdateTest : public ::testing::Test, public test_support::HidWorld {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           (std::string("tessel_hidfw_") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The box alone behind the adapter, in "LCD Program Box" mode.
  void BuildLcdBox() { ASSERT_TRUE(HidWorld::BuildLcdBox()); }
  void BuildEsc(HidDeviceKind kind, size_t v1_length = 0) {
    Build(kind, v1_length);
    ASSERT_TRUE(ReadFully());
  }
  bool Run(const std::function<bool()>& done, uint64_t ms = 600000) {
    return loop.RunUntil(done, ms);
  }
  // Starts an update with `path` chosen and runs it to its end.
  HidUpdateOutcome Update(const std::string& path) {
    ui.open_file = path;
    ui.answers.push_front(Answer::kOk);  // "Start update?"
    adapter->ClearReports();
    StartFirmwareUpdate();
    Run([&] { return !UpdateRunning(); });
    return UpdateOutcome();
  }
  std::string Write(const std::string& name, const std::string& contents) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << contents;
    return p.string();
  }
  std::string WriteMasked(const std::string& name, const Bytes& image) {
    std::string raw(image.size(), '\0');
    for (size_t i = 0; i < image.size(); ++i) raw[i] = static_cast<char>(image[i] ^ 0xB6);
    return Write(name, raw);
  }
  int Count(const std::string& question) const {
    return static_cast<int>(std::count(ui.questions.begin(), ui.questions.end(), question));
  }

  fs::path dir_;
};

const std::string kComplete = std::string(kLcdUpdateCaption) + "|" + kLcdUpdateText;

TEST_F(HidUpdateTest, LcdBoxTakesTheImageInBlocksWithTheLastUnderItsOwnHeader) {
  BuildLcdBox();
  const Bytes image = Image(1500);
  const std::string path = WriteMasked("box.xut", image);
  ui.open_file = path;
  ui.answers = {Answer::kOk};
  adapter->ClearReports();
  ui.captions.clear();
  StartFirmwareUpdate();
  EXPECT_EQ(ui.filters.back(), kLcdFirmwareFilter);
  EXPECT_EQ(loop.Period(kTimerHidSession), 1000u);
  EXPECT_TRUE(ui.progress_visible);
  EXPECT_EQ(ui.captions, (std::vector<std::string>{"Send to Esc Process......",
                                                   "Data Transferring.. 0% done."}));
  ASSERT_TRUE(Run([&] { return !UpdateRunning(); }));
  ASSERT_EQ(UpdateOutcome(), HidUpdateOutcome::kUpdated);

  // 1,500 bytes: length 0x05DC, two full blocks under 0x02 0x00, the last 476 under 0x01 0xDC.
  EXPECT_EQ(adapter->received(), Cat({{0xD3, 0x13, 0x7E, 0x05, 0xDC, 0x02, 0x00},
                                      Slice(image, 0, 512),
                                      {0x02, 0x00},
                                      Slice(image, 512, 1024),
                                      {0x01, 0xDC},
                                      Slice(image, 1024, 1500),
                                      {0x13, 0x81, 0x13, 0xCF, 0xD4}}));
  EXPECT_EQ(adapter->flashed_image(), image);
  EXPECT_TRUE(adapter->loader_errors().empty());
  EXPECT_EQ(Count(kComplete), 1);
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(ui.captions, (std::vector<std::string>{
                             "Send to Esc Process......", "Data Transferring.. 0% done.",
                             "Transferring.. 0% done.", "Transferring.. 34% done.",
                             "Transferring.. 100% done.", "Data Transferring.. 100% done."}));
  EXPECT_FALSE(session->status.transfer_active);
  // The restarted box greets with 0x27: its new firmware, not an update to resume.
  adapter->ClearReports();
  clock.Advance(0);
  Run([] { return false; }, 5000);
  EXPECT_EQ(Step(), kHidStepPresence);
  EXPECT_EQ(std::count(adapter->received().begin(), adapter->received().end(), 0xD3), 0);
  EXPECT_EQ(Count(kComplete), 1);
}

TEST_F(HidUpdateTest, ImageOfTwoBlocksSendsItsSecondAsTheLastBlock) {
  BuildLcdBox();
  const Bytes image = Image(1024);
  ASSERT_EQ(Update(WriteMasked("box.xut", image)), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(adapter->received(), Cat({{0xD3, 0x13, 0x7E, 0x04, 0x00, 0x02, 0x00},
                                      Slice(image, 0, 512),
                                      {0x02, 0x00},
                                      Slice(image, 512, 1024),
                                      {0x13, 0x81, 0x13, 0xCF, 0xD4}}));
  EXPECT_EQ(adapter->flashed_image(), image);
}

TEST_F(HidUpdateTest, AnOkSplitOverTwoTicksCountsOnce) {
  BuildLcdBox();
  adapter->faults().split_ok = true;
  const Bytes image = Image(5000);
  ASSERT_EQ(Update(WriteMasked("box.xut", image)), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(adapter->flashed_image(), image);
  std::vector<uint32_t> lengths(9, 512);
  lengths.push_back(392);
  EXPECT_EQ(adapter->block_lengths(), lengths);
  EXPECT_EQ(Count(kComplete), 1);
}

TEST_F(HidUpdateTest, AnUnacknowledgedBlockStopsTheSessionWithAMessage) {
  BuildLcdBox();
  adapter->faults().silent_block_ack = 2;
  const uint64_t start = clock.NowMs();
  ASSERT_EQ(Update(WriteMasked("box.xut", Image(2000))), HidUpdateOutcome::kNoBlockAck);
  EXPECT_EQ(ui.questions.back(), std::string(kHidUpdateCaption) + "|" + kHidUpdateNoBlockAckText);
  // Past 200 ticks of 50 ms.
  EXPECT_GE(clock.NowMs() - start, 200u * 50u);
  EXPECT_FALSE(loop.IsArmed(kTimerHidSession));
  EXPECT_FALSE(ui.progress_visible);
  EXPECT_EQ(Count(kComplete), 0);
  EXPECT_TRUE(adapter->flashed_image().empty());
}

// The updater's silent ticks are its own: when it hands the ticks back, the engine's presence
// count starts afresh, and an ESC that answers is not reported lost.
TEST_F(HidUpdateTest, PollingAfterAnAbandonedUpdateCountsOnlyItsOwnQueries) {
  BuildEsc(HidDeviceKind::kV1Esc, 12);
  adapter->faults().silent_block_ack = 1;
  ASSERT_EQ(Update(WriteMasked("esc.hgm", Image(1500))), HidUpdateOutcome::kNoBlockAck);
  ui.open_file.reset();  // the next "UpData" is cancelled in the file dialog
  StartFirmwareUpdate();
  ASSERT_EQ(UpdateOutcome(), HidUpdateOutcome::kNoFile);
  EXPECT_FALSE(Run([&] { return EscLossReported(); }, 3000));
  EXPECT_NE(status().esc_state, kEscNone);
}

TEST_F(HidUpdateTest, ABoxThatRestartsBeforeConfirmingResumesFromTheReadyAnswer) {
  BuildLcdBox();
  const Bytes image = Image(1500);
  // Its fifth "ok" would answer 0x13 0x81: it restarts instead.
  adapter->faults().restart_at_ok = 5;
  ASSERT_EQ(Update(WriteMasked("box.xut", image)), HidUpdateOutcome::kUpdated);
  // A quiet tick after 0x13 0x81, one presence query answered 0x27, and the transfer again.
  const Bytes transfer = Cat({{0xD3, 0x13, 0x7E, 0x05, 0xDC, 0x02, 0x00},
                              Slice(image, 0, 512),
                              {0x02, 0x00},
                              Slice(image, 512, 1024),
                              {0x01, 0xDC},
                              Slice(image, 1024, 1500),
                              {0x13, 0x81}});
  EXPECT_EQ(adapter->received(), Cat({transfer, {0xD5}, transfer, {0x13, 0xCF, 0xD4}}));
  EXPECT_EQ(adapter->restarts(), 2);
  EXPECT_EQ(adapter->flashed_image(), image);
  EXPECT_EQ(Count(kComplete), 1);
}

TEST_F(HidUpdateTest, ABoxThatRestartsMidTransferResumesAfterTheAdapterIsPluggedInAgain) {
  BuildLcdBox();
  const Bytes image = Image(3000);
  adapter->faults().restart_at_ok = 3;  // after the second block
  ASSERT_EQ(Update(WriteMasked("box.xut", image)), HidUpdateOutcome::kNoBlockAck);
  EXPECT_EQ(Count(kComplete), 0);
  // The session stays stopped until the adapter comes back; then the box's 0x27 resumes the
  // update at its start.
  Run([] { return false; }, 5000);
  EXPECT_FALSE(loop.IsArmed(kTimerHidSession));
  Replug();
  ASSERT_TRUE(Run([&] { return UpdateRunning(); }));
  EXPECT_EQ(UpdateStep(), HidUpdateStep::kWaitReady);
  ASSERT_TRUE(Run([&] { return !UpdateRunning(); }));
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(adapter->flashed_image(), image);
  EXPECT_EQ(Count(kComplete), 1);
}

TEST_F(HidUpdateTest, ABoxThatNeverConfirmsEndsInAFailureAfterABoundedWait) {
  BuildLcdBox();
  // The answer to 0x13 0x81 never comes and the box does not restart either.
  adapter->faults().restart_at_ok = 5;
  adapter->faults().never_answer_presence = true;
  ASSERT_EQ(Update(WriteMasked("box.xut", Image(1500))), HidUpdateOutcome::kNotConfirmed);
  EXPECT_EQ(ui.questions.back(), std::string(kHidUpdateCaption) + "|" + kHidUpdateNotConfirmedText);
  EXPECT_EQ(Count(kComplete), 0);
}

TEST_F(HidUpdateTest, DamagedOrUnfitFilesAreRefusedWithNothingSent) {
  Build(HidDeviceKind::kFullEsc);
  ASSERT_TRUE(Run([&] { return ui.reads_finished > 0 && !session->status.transfer_active; }));
  Bytes good;
  const std::string records = HexText({20, 20}, &good);
  const std::vector<std::pair<std::string, std::string>> xup = {
      {"lower.xup", "0001ab"},  // lower-case digits
      {"blank.xup", records.substr(0, 10) + " " + records.substr(10)},
      {"crlf.xup", records.substr(0, 10) + "\r\n" + records.substr(10)},
      {"empty.xup", ""},
      {"blanks.xup", " \r\n"},
      {"short.xup", records.substr(0, records.size() - 2)},  // the last record runs past
      {"odd.xup", records + "0"},
  };
  for (const auto& [name, text] : xup) {
    SCOPED_TRACE(name);
    ui.questions.clear();
    EXPECT_EQ(Update(Write(name, text)), HidUpdateOutcome::kFileRefused);
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].rfind(std::string(kFirmwareFileCaption) + "|", 0), 0u);
    EXPECT_EQ(std::count(adapter->received().begin(), adapter->received().end(), 0xD6), 0);
    EXPECT_FALSE(adapter->record_loader_active());
  }
  // Line ends and blanks after the last digit close the file; it goes out.
  EXPECT_EQ(Update(Write("good.xup", records + "\r\n \n")), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(adapter->flashed_records(), good);

  BuildLcdBox();
  for (size_t size : {size_t{512}, size_t{100}, size_t{65536}}) {
    SCOPED_TRACE(size);
    ui.questions.clear();
    ui.open_file = WriteMasked("box.xut", Image(size));
    adapter->ClearReports();
    StartFirmwareUpdate();
    EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kFileRefused);
    EXPECT_TRUE(adapter->received().empty());
    ASSERT_EQ(ui.questions.size(), 1u);
    Run([] { return false; }, 3000);
    EXPECT_EQ(std::count(adapter->received().begin(), adapter->received().end(), 0xD3), 0);
  }
  EXPECT_EQ(Update(WriteMasked("box.xut", Image(513))), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(adapter->block_lengths(), (std::vector<uint32_t>{512, 1}));
}

// Every face starts here: a file of another kind never reaches the box, and the user is
// asked to start, with the file named, before the device hears of the update.
TEST_F(HidUpdateTest, TheFileIsCheckedForTheTargetAndTheStartConfirmed) {
  BuildLcdBox();
  std::string settings(800, '\x01');
  settings[798] = static_cast<char>(0xA0);
  settings[799] = static_cast<char>(0x10);
  ASSERT_EQ(Update(Write("race.DATA", settings)), HidUpdateOutcome::kFileRefused);
  EXPECT_NE(ui.questions.back().find("takes .xut firmware; this is a settings file"),
            std::string::npos)
      << ui.questions.back();
  Run([] { return false; }, 3000);
  EXPECT_EQ(std::count(adapter->received().begin(), adapter->received().end(), 0xD3), 0);

  const std::string path = WriteMasked("box.xut", Image(1500));
  ui.answers = {Answer::kCancel};
  ui.open_file = path;
  adapter->ClearReports();
  StartFirmwareUpdate();
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kDeclined);
  ASSERT_FALSE(ui.asked.empty());
  EXPECT_EQ(ui.asked.back().text, kUpdateStartQuestion);
  // The box's version is the one its page shows: the adapter's greeting.
  EXPECT_EQ(ui.asked.back().detail, path + "\nThe LCD program box runs V1.05_12037");
  Run([] { return false; }, 3000);
  EXPECT_EQ(std::count(adapter->received().begin(), adapter->received().end(), 0xD3), 0);
  EXPECT_FALSE(ui.progress_visible);
}

// The command line's signals: the update ends where the loader expects its next block.
TEST_F(HidUpdateTest, AStopRequestEndsTheUpdateBetweenTwoBlocks) {
  BuildLcdBox();
  const Bytes image = Image(3000);
  ui.open_file = WriteMasked("box.xut", image);
  ui.answers = {Answer::kOk};
  adapter->ClearReports();
  StartFirmwareUpdate();
  ASSERT_TRUE(Run([&] { return FirmwareBytesSent() == 1024; }));
  ui.stop = true;
  ASSERT_TRUE(Run([&] { return !UpdateRunning(); }));
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kInterrupted);
  EXPECT_EQ(adapter->received(), Cat({{0xD3, 0x13, 0x7E, 0x0B, 0xB8, 0x02, 0x00},
                                      Slice(image, 0, 512),
                                      {0x02, 0x00},
                                      Slice(image, 512, 1024)}));
  EXPECT_EQ(ui.outcomes.back().rfind("failed: Firmware update stopped between two pieces", 0), 0u);
}

// Every wait for the device is bounded by the same limit (the command line's --timeout plus
// 2 s) and leaves a time-out line in the trace.
TEST_F(HidUpdateTest, ASilentBoxEndsTheUpdateWithinTheWaitLimit) {
  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart);
    BuildLcdBox();
    WireTrace trace("test");
    Link().SetTrace(&trace);
    SetConfirmWait(3000);
    (restart ? adapter->faults().restart_at_ok : adapter->faults().silent_block_ack) = 2;
    const uint64_t start = clock.NowMs();
    EXPECT_EQ(Update(WriteMasked("box.xut", Image(2000))), HidUpdateOutcome::kNoBlockAck);
    // The start and the first blocks take about 2 s of virtual time; then 3 s of silence.
    EXPECT_LT(clock.NowMs() - start, 6000u);
    const std::vector<std::string> lines = trace.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find(" timeout ") != std::string::npos && l.find("in 3000 ms") != std::string::npos;
    }));
    Link().SetTrace(nullptr);
  }
}

TEST_F(HidUpdateTest, NoDeviceReadyMeansAMessageAndNothingSent) {
  Build(HidDeviceKind::kLcdBox);
  ASSERT_TRUE(Run([&] { return EscLossReported(); }));
  adapter->ClearReports();
  StartFirmwareUpdate();
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kNotReady);
  EXPECT_EQ(ui.questions, std::vector<std::string>{std::string(kHidUpdateCaption) + "|" +
                                                   kHidUpdateNotReadyText});
  EXPECT_TRUE(ui.filters.empty());
  EXPECT_TRUE(adapter->received().empty());
}

TEST_F(HidUpdateTest, RecordsGoOutOneByOneAndTheEscIsReadAfresh) {
  BuildEsc(HidDeviceKind::kFullEsc);
  Bytes image;
  const std::string path = Write("ESC0130.xup", HexText({3, 0x1F4, 40}, &image) + "\n");
  // Three bad verdicts, then 0x11: the first record goes out four times.
  adapter->faults().loader_verdicts = {0x00, 0x00, 0x00, 0x11};
  ui.open_file = path;
  ui.answers = {Answer::kOk};
  adapter->ClearReports();
  StartFirmwareUpdate();
  EXPECT_EQ(ui.filters.back(), kXupFirmwareFilter);
  // The ESC's version text is not a file name's number: both are said, neither compared.
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0].text, kUpdateStartQuestion);
  EXPECT_EQ(ui.asked[0].detail, path + "\nThe file holds ESC0130; the ESC runs V1.05_120307");
  EXPECT_TRUE(session->IsBusy());
  // The status line says "updating", not "reading": the engine keeps no flag of its own.
  EXPECT_EQ(CurrentActivity(session->status, UpdateRunning()), Activity::kUpdating);
  ASSERT_TRUE(Run([&] { return !UpdateRunning(); }));
  ASSERT_EQ(UpdateOutcome(), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(ui.outcomes.back(), "Firmware updated");
  const Bytes first = Slice(image, 0, 5);
  const Bytes second = Slice(image, 5, 5 + 0x1F6);
  const Bytes third = Slice(image, 5 + 0x1F6, image.size());
  EXPECT_EQ(adapter->received(), Cat({{0xD6}, first, first, first, first, second, third}));
  EXPECT_EQ(adapter->flashed_records(), image);
  EXPECT_EQ(adapter->record_attempts(), 6);
  EXPECT_FALSE(adapter->IsOpened()) << "closed, so that the probe opens it afresh";
  const int reads = ui.reads_finished;
  ASSERT_TRUE(Run([&] { return ui.reads_finished > reads; }));
  EXPECT_EQ(adapter->open_count(), 2);
  EXPECT_FALSE(adapter->record_loader_active());
}

TEST_F(HidUpdateTest, ARefusedRecordOrAFourthBadVerdictStopsTheUpdate) {
  BuildEsc(HidDeviceKind::kFullEsc);
  Bytes image;
  const std::string path = Write("esc.xup", HexText({10, 10}, &image));
  adapter->faults().loader_verdicts = {0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(Update(path), HidUpdateOutcome::kTooManyVerdicts);
  EXPECT_EQ(adapter->record_attempts(), 4);
  EXPECT_EQ(ui.questions.back(), std::string(kHidUpdateCaption) + "|" + kHidUpdateRetriesText);
  EXPECT_EQ(ui.outcomes.back(),
            "failed: Firmware update failed: a record was not taken in 4 tries; unplug the "
            "adapter and plug it in again");
  EXPECT_FALSE(loop.IsArmed(kTimerHidSession));

  BuildEsc(HidDeviceKind::kFullEsc);
  adapter->faults().loader_verdicts = {0x11, 0x12};
  EXPECT_EQ(Update(path), HidUpdateOutcome::kRecordRefused);
  EXPECT_EQ(adapter->record_attempts(), 2);
  EXPECT_EQ(ui.questions.back(), std::string(kHidUpdateCaption) + "|" + kHidUpdateRefusedText);
}

TEST_F(HidUpdateTest, EscTypesTwelveAndFifteenTakeTheMaskedImage) {
  for (size_t type : {size_t{12}, size_t{15}}) {
    SCOPED_TRACE(type);
    BuildEsc(HidDeviceKind::kV1Esc, type);
    ASSERT_EQ(EscType(), static_cast<int32_t>(type));
    const Bytes image = Image(700);
    const std::string path = WriteMasked("esc.hgm", image);
    ASSERT_EQ(Update(path), HidUpdateOutcome::kUpdated);
    EXPECT_EQ(ui.filters.back(), kHgmFirmwareFilter);
    ASSERT_FALSE(ui.asked.empty());
    EXPECT_EQ(ui.asked.back().detail, path + "\nThe ESC runs V1.05_120307");
    EXPECT_EQ(Slice(adapter->received(), 0, 7), (Bytes{0xD6, 0x13, 0x7E, 0x02, 0xBC, 0x02, 0x00}));
    EXPECT_EQ(adapter->flashed_image(), image);
    // The restarted ESC is identified afresh.
    EXPECT_FALSE(EscIdentified());
    ASSERT_TRUE(Run([&] { return EscIdentified(); }, 10000));
  }
}

TEST_F(HidUpdateTest, AV1EscShowsTheRecordProgressInItsStatusLine) {
  BuildEsc(HidDeviceKind::kV1Esc);
  Bytes image;
  ASSERT_EQ(Update(Write("v1.xup", HexText({98, 98}, &image))), HidUpdateOutcome::kUpdated);
  EXPECT_EQ(ui.statuses,
            (std::vector<std::string>{"Transferring.. 0% done.", "Transferring.. 50% done.",
                                      "Transferring.. 100% done."}));
  EXPECT_EQ(adapter->flashed_records(), image);
}

TEST_F(HidUpdateTest, PullingTheAdapterOutMidUpdateEndsItWithAMessage) {
  BuildEsc(HidDeviceKind::kFullEsc);
  Bytes image;
  const std::string path = Write("esc.xup", HexText({200, 200, 200}, &image));
  adapter->faults().unplug_after_bytes = 300;
  ui.open_file = path;
  ui.answers = {Answer::kOk};
  StartFirmwareUpdate();
  ASSERT_TRUE(Run([&] { return !adapter->plugged(); }));
  DeliverDeviceEvents();
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kAdapterLost);
  EXPECT_EQ(ui.questions.back(), std::string(kHidUpdateCaption) + "|" + kHidUpdateAdapterLostText);
  EXPECT_FALSE(session->status.transfer_active);

  // The tool letting go of the adapter by itself (DemoMode) ends a running update as well, so
  // that the next one can start.
  BuildEsc(HidDeviceKind::kFullEsc);
  ui.open_file = path;
  ui.answers = {Answer::kOk};
  StartFirmwareUpdate();
  ASSERT_TRUE(UpdateRunning());
  Disconnect();
  EXPECT_EQ(UpdateOutcome(), HidUpdateOutcome::kAdapterLost);
}

}  // namespace
}  // namespace tessel
