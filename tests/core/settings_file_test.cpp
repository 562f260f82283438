#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include "core/model/curve_model.h"
#include "core/engine/session.h"
#include "core/model/setup_load.h"
#include "sim/virtual_esc_port.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Every field the decoder may write, plus some it must never touch, as one comparable list.
std::vector<int> Fields(const EscSettingsImage& img) {
  std::vector<int> v;
  for (const auto& f : FullEscFields()) v.push_back(img.*(f.field));
  for (const auto& f : V1Fields()) v.push_back(img.*(f.field));
  v.insert(v.end(), {img.esc_out, img.profile_preset, img.last_profile_preset});
  for (const auto& c : CurveFields()) {
    const CurveData& d = img.*(c.curve);
    v.insert(v.end(), d.table.begin(), d.table.end());
    v.insert(v.end(), d.x.begin(), d.x.end());
    v.insert(v.end(), d.y.begin(), d.y.end());
  }
  return v;
}

// An image in which neighbouring stored bytes differ, every curve value within 0..100 and the
// points rising from left to right, as an import requires.
EscSettingsImage RichImage() {
  EscSettingsImage img;
  int v = 1;
  for (const auto& f : FullEscFields()) img.*(f.field) = v++;
  img.log_motor_max_rpm = 0x1234;  // above 255: needs the high byte
  img.esc_out = 2;
  int seed = 7;
  for (const auto& c : CurveFields()) {
    CurveData& d = img.*(c.curve);
    for (size_t i = 0; i < 50; ++i) d.table[i] = static_cast<uint8_t>(seed++ % 101);
    for (size_t i = 0; i < 100; ++i) d.x[i] = static_cast<uint8_t>((i + 3 * (seed % 7)) % 100);
    std::sort(d.x.begin(), d.x.end());
    for (size_t i = 0; i < 100; ++i) d.y[i] = static_cast<uint8_t>(seed++ % 101);
  }
  return img;
}

TEST(SettingsRecord, LayoutIsReversedWithHeaderLengthAndCheckValue) {
  EscSettingsImage img = RichImage();
  // Large values push the byte sum above 65535.
  for (const auto& c : CurveFields()) {
    (img.*(c.curve)).table.fill(100);
    (img.*(c.curve)).y.fill(100);
  }
  img.boost_curve.x.fill(99);
  img.brake_curve.x.fill(98);
  img.throttle_curve.y[99] = 0x42;

  const SettingsRecord r = BuildSettingsRecord(img);
  const Bytes file = EncodeSettingsFile(img);
  ASSERT_EQ(file.size(), 800u);
  for (size_t k = 0; k < 800; ++k) ASSERT_EQ(file[k], r[799 - k]) << k;

  const Bytes head(r.begin(), r.begin() + 16);
  EXPECT_EQ(head, (Bytes{0x10, 0xA0, 0x20, 0x03, 0, 0, r[6], r[7], 0, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r[16], 1);     // run_mode, read index 0
  EXPECT_EQ(r[45], 30);    // log_motor_max_temp, read index 29
  EXPECT_EQ(r[46], 0x34);  // log_motor_max_rpm, low byte then high byte
  EXPECT_EQ(r[47], 0x12);
  EXPECT_EQ(r[48], 2);  // esc_out
  EXPECT_EQ(r[49], 100);
  EXPECT_EQ(r[99], img.boost_curve.x[0]);
  EXPECT_EQ(r[199], img.boost_curve.y[0]);
  EXPECT_EQ(r[349], 98);
  EXPECT_EQ(r[549], img.throttle_curve.table[0]);
  EXPECT_EQ(r[798], 0x42);
  EXPECT_EQ(r[799], 0);

  uint32_t sum = 0;
  for (size_t i = 0; i < 800; ++i) sum += (i == 6 || i == 7) ? 0 : r[i];
  ASSERT_GT(sum, 65535u);
  EXPECT_EQ(r[6] | (r[7] << 8), sum % 65536);

  EscSettingsImage back;
  back.profile_preset = 6;  // not in the file: survives
  ASSERT_EQ(DecodeSettingsFile(file, back), SettingsFileError::kNone);
  img.profile_preset = 6;
  EXPECT_EQ(Fields(back), Fields(img));
  EXPECT_EQ(back.log_motor_max_rpm, 0x1234);
}

TEST(SettingsRecord, RejectionsLeaveTheImageAsItWas) {
  const Bytes good = EncodeSettingsFile(RichImage());
  EscSettingsImage before;
  before.run_mode = 3;
  before.throttle_curve.x[5] = 9;

  auto with = [&](auto change) {
    Bytes b = good;
    change(b);
    return b;
  };
  const std::vector<std::pair<Bytes, SettingsFileError>> cases{
      {with([](Bytes& b) { std::swap(b[799], b[798]); }), SettingsFileError::kBadHeader},
      // Length field 801, check value adjusted so that only the length is wrong.
      {with([](Bytes& b) {
         b[797] += 1;
         b[793] += 1;
       }),
       SettingsFileError::kBadLength},
      {with([](Bytes& b) { b[793] += 1; }), SettingsFileError::kBadCheckValue},
      {with([](Bytes& b) { b[400] ^= 1; }), SettingsFileError::kBadCheckValue},
      {with([](Bytes& b) { b.insert(b.begin(), 0); }), SettingsFileError::kTooLong},
      {with([](Bytes& b) { b.erase(b.begin()); }), SettingsFileError::kTooShort},
      {Bytes{}, SettingsFileError::kTooShort},
  };
  for (const auto& [bytes, expected] : cases) {
    EscSettingsImage img = before;
    EXPECT_EQ(DecodeSettingsFile(bytes, img), expected) << bytes.size();
    EXPECT_EQ(Fields(img), Fields(before));
  }
}

TEST(SettingsRecord, DecoderSurvivesRandomAndMutatedInput) {
  std::mt19937 rng(20240611);
  const Bytes good = EncodeSettingsFile(RichImage());
  const EscSettingsImage before = RichImage();
  int accepted = 0;
  for (int i = 0; i < 20000 && !::testing::Test::HasFailure(); ++i) {
    Bytes bytes = good;  // odd rounds: near-valid files reach the check value
    if (i % 2 == 0) bytes.resize(rng() % 1601);
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (i % 2 == 0 || rng() % 100 == 0) bytes[k] = static_cast<uint8_t>(rng());
    }
    EscSettingsImage img = before;
    if (DecodeSettingsFile(bytes, img) == SettingsFileError::kNone) {
      ++accepted;
      EscSettingsImage again;
      ASSERT_EQ(DecodeSettingsFile(EncodeSettingsFile(img), again), SettingsFileError::kNone);
      EXPECT_EQ(Fields(again), Fields(img));
    } else {
      EXPECT_EQ(Fields(img), Fields(before));
    }
  }
  EXPECT_LT(accepted, 200);  // only mutations that happened to keep every byte
}

TEST(SettingsExportPath, KeepsTheWholeNameAndAppendsDataOnce) {
  EXPECT_EQ(SettingsExportPath("/home/u/v1.2/setup"), "/home/u/v1.2/setup.DATA");
  EXPECT_EQ(SettingsExportPath("precious.new"), "precious.new.DATA");
  EXPECT_EQ(SettingsExportPath("stock 13.5T setup"), "stock 13.5T setup.DATA");
  EXPECT_EQ(SettingsExportPath("race.v2"), "race.v2.DATA");
  EXPECT_EQ(SettingsExportPath("race.DATA"), "race.DATA");
  EXPECT_EQ(SettingsExportPath("race.data"), "race.data");
  EXPECT_EQ(SettingsExportPath("dir/.hidden"), "dir/.hidden.DATA");
}

TEST(SettingsExportTarget, RefusesNamesAndTargetsThatAreNoWritableFile) {
  const fs::path dir = fs::temp_directory_path() / ("tessel-export-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  std::string path, error;
  for (const std::string& bad : {std::string(), (dir / "sub/").string(), (dir / "sub").string(),
                                std::string("/dev/full")}) {
    error.clear();
    EXPECT_FALSE(ResolveExportPath(bad, path, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_FALSE(fs::exists("/dev/full.DATA"));

  // A read-only file is never replaced, whoever runs the tool; a writable one keeps its mode.
  EscSettingsImage image;
  const fs::path locked = dir / "locked.DATA";
  std::ofstream(locked) << "keep";
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(ResolveExportPath((dir / "locked").string(), path, error));
  EXPECT_NE(error.find("read-only"), std::string::npos) << error;
  EXPECT_FALSE(ExportSettingsToPath(image, locked.string(), true, error));
  const fs::path shared = dir / "shared.DATA";
  std::ofstream(shared) << "old";
  fs::permissions(shared, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write);
  ASSERT_TRUE(ResolveExportPath((dir / "shared").string(), path, error)) << error;
  ASSERT_TRUE(ExportSettingsToPath(image, path, true, error)) << error;
  EXPECT_EQ(fs::file_size(shared), 800u);
  EXPECT_EQ(fs::status(shared).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::group_write);
  fs::remove_all(dir);
}

TEST(SettingsFileRead, RefusesAFifoWithoutBlocking) {
  const fs::path fifo = fs::temp_directory_path() / ("tessel-fifo-" + std::to_string(getpid()));
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  Bytes bytes;
  std::string error;
  // Opening a fifo for reading waits for a writer: it must be refused before that.
  EXPECT_FALSE(ReadSettingsFileBytes(fifo.string(), bytes, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  fs::remove(fifo);
}

TEST(SettingsRecord, CurvesOutsideTheirRangeAreRefusedDespiteAValidCheckValue) {
  struct Case {
    const char* what;
    std::function<void(EscSettingsImage&)> damage;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"all 0xFF", [](EscSettingsImage& i) {
         i.throttle_curve.x.fill(0xFF);
         i.throttle_curve.y.fill(0xFF);
         i.throttle_curve.table.fill(0xFF);
       }, "throttle curve has a point (255,255)"},
      {"y above 100", [](EscSettingsImage& i) { i.brake_curve.y[40] = 101; }, "brake curve"},
      {"x falling", [](EscSettingsImage& i) {
         CurveData& c = i.boost_curve;
         c.x.fill(0);
         c.y.fill(0);
         c.x[1] = 50; c.y[1] = 20;
         c.x[2] = 40; c.y[2] = 30;
         c.x[3] = 100; c.y[3] = 100;
       }, "boost curve's points do not rise"},
      {"sample above 100", [](EscSettingsImage& i) { i.throttle_curve.table[39] = 200; },
       "table holds 200"},
  };
  for (const Case& c : cases) {
    EscSettingsImage bad = RichImage();
    c.damage(bad);
    EscSettingsImage target;
    target.run_mode = 4;
    const std::vector<int> before = Fields(target);
    EXPECT_EQ(DecodeSettingsFile(EncodeSettingsFile(bad), target), SettingsFileError::kBadCurve)
        << c.what;
    EXPECT_EQ(Fields(target), before) << c.what;
    std::string error;
    EXPECT_FALSE(ImportSettingsFromBytes(EncodeSettingsFile(bad), target, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.rfind("Import file error!", 0), 0u) << error;
  }
  // The curves a fresh tool holds (the default line, zeros elsewhere) pass.
  ManualClock clock;
  EscSettingsImage fresh;
  CurveModel(CurveKind::kBoost, fresh).Initialise();
  EscSettingsImage back;
  EXPECT_EQ(DecodeSettingsFile(EncodeSettingsFile(fresh), back), SettingsFileError::kNone);
}

TEST(SettingsRecord, OnlyThePointsThatMakeACurveAreJudgedAndEveryOtherByteIsKept) {
  EscSettingsImage stored = DefaultSetupBase();
  CurveData& c = stored.boost_curve;
  c.x[0] = 0, c.y[0] = 0;
  c.x[1] = 40, c.y[1] = 70;
  c.x[2] = 100, c.y[2] = 100;
  // What other tools leave beyond the end marker and in the unused table entries.
  for (size_t i = 3; i < 100; ++i) c.x[i] = 249, c.y[i] = 221;
  std::fill(c.table.begin() + 40, c.table.end(), 255);
  EscSettingsImage imported;
  std::string error;
  ASSERT_TRUE(ImportSettingsFromBytes(EncodeSettingsFile(stored), imported, error)) << error;
  EXPECT_EQ(imported.boost_curve.x, c.x);
  EXPECT_EQ(imported.boost_curve.y, c.y);
  EXPECT_TRUE(
      std::equal(c.table.begin() + 40, c.table.end(), imported.boost_curve.table.begin() + 40));

  // With no end point among the first 40, the sampling looks one point past the 41st: a
  // value there beyond 100 would reach the ESC's table, so the file is refused.
  for (size_t i = 0; i < 41; ++i) c.x[i] = static_cast<uint8_t>(i), c.y[i] = 0;
  c.x[41] = 41, c.y[41] = 197;
  EXPECT_FALSE(ImportSettingsFromBytes(EncodeSettingsFile(stored), imported, error));
  EXPECT_NE(error.find("(41,197) outside 0..100"), std::string::npos) << error;
}

// Scripted answers and a record of what the commands asked the windows to do.
class ScriptedUi : public SessionUi {
 public:
  std::optional<std::string> file;
  Answer answer = Answer::kYes;
  std::vector<std::string> calls;
  std::vector<std::string> details;  // what a question shows under its text
  std::function<void()> on_collect;

  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    calls.push_back("Ask:" + text + "|" + caption + "|" + std::to_string(int(buttons)));
    return answer;
  }
  Answer AskQuestion(const Question& q) override {
    details.push_back(q.detail);
    return Ask(q.text, q.caption, q.buttons);
  }
  std::optional<std::string> ChooseOpenFile(const std::string& filter) override {
    calls.push_back("Open:" + filter);
    return file;
  }
  std::optional<std::string> ChooseSaveFile(const std::string& filter) override {
    calls.push_back("Save:" + filter);
    return file;
  }
  void SetProgressCaption(const std::string&) override {}
  void SetProgress(uint32_t, uint32_t) override {}
  void ShowProgress() override {}
  void CloseProgress() override {}
  void Beep() override {}
  void RefreshMainWindow() override { calls.push_back("RefreshMain"); }
  void RefreshPagesFromImage() override { calls.push_back("RefreshPages"); }
  void CollectPageSelections() override {
    calls.push_back("Collect");
    if (on_collect) on_collect();
  }
  void ResetPagesToDefaults() override {}
  void ShowLoggedData() override { calls.push_back("ShowLogged"); }
  void V1RefreshFromImage() override {}
  void V1WriteToImage() override {}
  void V1ShowSendDone() override {}
  void V1LoadDefaults() override {}
};

class SettingsFileCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("tessel_settings_") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    status.device_class = kDeviceFull;
    for (CurveModel* m : {&throttle, &brake, &boost}) m->Initialise();
  }
  void TearDown() override { fs::remove_all(dir); }

  SettingsFileHost Host() {
    return SettingsFileHost{image, status, busy, ui, [this] {
                              ui.calls.push_back("LoadCurves");
                              for (CurveModel* m : {&throttle, &brake, &boost}) m->LoadCurve();
                            }};
  }
  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteAll(const fs::path& p, const std::string& s) {
    std::ofstream(p, std::ios::binary) << s;
  }
  static void WriteAll(const fs::path& p, const Bytes& b) {
    WriteAll(p, std::string(b.begin(), b.end()));
  }
  size_t EntriesInDir() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  fs::path dir;
  EscSettingsImage image;
  SessionStatus status;
  bool busy = false;
  ScriptedUi ui;
  CurveModel throttle{CurveKind::kThrottle, image};
  CurveModel brake{CurveKind::kBrake, image};
  CurveModel boost{CurveKind::kBoost, image};
};

TEST_F(SettingsFileCommands, DoNothingWhileBusyWithoutAFullEscOrWhenCancelled) {
  ui.file = (dir / "x").string();
  busy = true;
  EXPECT_FALSE(ExportSettings(Host()) || ImportSettings(Host()));
  busy = false;
  status.device_class = kDeviceV1;
  EXPECT_FALSE(ExportSettings(Host()) || ImportSettings(Host()));
  EXPECT_TRUE(ui.calls.empty());

  status.device_class = kDeviceFull;
  ui.file.reset();
  EXPECT_FALSE(ExportSettings(Host()) || ImportSettings(Host()));
  EXPECT_EQ(ui.calls.size(), 2u);  // just the two dialogs
  EXPECT_EQ(EntriesInDir(), 0u);
}

TEST_F(SettingsFileCommands, ExportCollectsThenWritesBesideTheChosenFolder) {
  fs::create_directories(dir / "v1.2");
  ui.file = (dir / "v1.2" / "race.old").string();  // kept whole: "race.old.DATA"
  ui.on_collect = [this] { image.esc_out = 1; };  // a page writing its control into the image
  image.throttle_curve.x[1] = 40;
  image.throttle_curve.y[1] = 70;
  image.throttle_curve.x[2] = image.throttle_curve.y[2] = 100;

  ASSERT_TRUE(ExportSettings(Host()));
  EXPECT_EQ(ui.calls, (std::vector<std::string>{"Save:(*.DATA)|*.DATA|All File (*.*)|*.*||",
                                                "RefreshMain", "Collect", "LoadCurves"}));
  EscSettingsImage back;
  std::string error;
  ASSERT_TRUE(ImportSettingsFromPath((dir / "v1.2" / "race.old.DATA").string(), back, error));
  EXPECT_EQ(back.esc_out, 1);
  EXPECT_EQ(back.throttle_curve.table[1], 9);  // sampled from the three points before writing
  EXPECT_EQ(EntriesInDir(), 1u);               // only the folder: no temporary left behind
}

TEST_F(SettingsFileCommands, OverwriteAsksOnlyForANonEmptyFile) {
  ui.file = (dir / "a").string();
  const fs::path target = dir / "a.DATA";
  WriteAll(target, "");
  ASSERT_TRUE(ExportSettings(Host()));
  EXPECT_EQ(fs::file_size(target), 800u);
  EXPECT_EQ(ui.calls.size(), 4u);  // no question

  WriteAll(target, "keep me");
  ui.calls.clear();
  ui.answer = Answer::kNo;
  EXPECT_FALSE(ExportSettings(Host()));
  ASSERT_EQ(ui.calls.size(), 2u);
  EXPECT_EQ(ui.calls[1], "Ask:This file exists,do you want overwrite it?|Save as...|" +
                             std::to_string(int(Buttons::kYesNo)));
  EXPECT_EQ(ReadAll(target), "keep me");

  ui.answer = Answer::kYes;
  EXPECT_TRUE(ExportSettings(Host()));
  EXPECT_EQ(fs::file_size(target), 800u);

  // The command-line export never asks: it replaces only when told to.
  std::string error;
  WriteAll(target, "x");
  EXPECT_FALSE(ExportSettingsToPath(image, target.string(), false, error));
  EXPECT_EQ(ReadAll(target), "x");
}

TEST_F(SettingsFileCommands, ImportRebuildsSampledTablesAndKeepsTheRest) {
  EscSettingsImage stored = RichImage();
  CurveData& c = stored.brake_curve;
  c.x.fill(0);
  c.y.fill(0);
  c.x[1] = 30;
  c.y[1] = 60;
  c.x[2] = c.y[2] = 100;
  c.table.fill(77);  // stale samples in the file
  WriteAll(dir / "in.DATA", EncodeSettingsFile(stored));
  ui.file = (dir / "in.DATA").string();

  ASSERT_TRUE(ImportSettings(Host()));
  EXPECT_EQ(ui.calls,
            (std::vector<std::string>{"Open:(*.DATA)|*.DATA|All File (*.*)|*.*||", "LoadCurves",
                                      "RefreshPages", "ShowLogged", "RefreshMain"}));
  CurveData want = c;
  SampleCurve(want, 3);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(image.brake_curve.table[k], want.table[k]) << k;
  for (int k = 40; k < 50; ++k) EXPECT_EQ(image.brake_curve.table[k], 77) << k;
  EXPECT_EQ(brake.point_count, 3u);

  // Showing a file takes it as stored.
  std::string error;
  EXPECT_EQ(ReadSettingsFile(ui.file.value(), error)->brake_curve.table[0], 77);
}

TEST_F(SettingsFileCommands, RejectedOrUnreadableImportShowsAMessageAndKeepsTheImage) {
  image.run_mode = 5;
  const std::vector<int> before = Fields(image);
  Bytes bytes = EncodeSettingsFile(RichImage());
  std::swap(bytes[798], bytes[799]);
  WriteAll(dir / "bad.DATA", bytes);

  ui.file = (dir / "bad.DATA").string();
  EXPECT_FALSE(ImportSettings(Host()));
  EXPECT_EQ(ui.calls.back(),
            "Ask:Import file error!|Import|" + std::to_string(int(Buttons::kOkCancel)));

  ui.file = (dir / "missing.DATA").string();
  EXPECT_FALSE(ImportSettings(Host()));
  EXPECT_NE(ui.calls.back().find("missing.DATA\": No such file"), std::string::npos);
  EXPECT_EQ(ui.calls.size(), 4u);  // dialog and message, twice

  std::string error;
  EXPECT_FALSE(ImportSettingsFromPath((dir / "bad.DATA").string(), image, error));
  EXPECT_NE(error.find("settings header"), std::string::npos) << error;
  EXPECT_EQ(Fields(image), before);
}

TEST_F(SettingsFileCommands, MenuCommandsNameWhatTheyRefuse) {
  EscSettingsImage bad = RichImage();
  bad.throttle_curve.x.fill(0xFF);
  bad.throttle_curve.y.fill(0xFF);
  WriteAll(dir / "ff.DATA", EncodeSettingsFile(bad));
  ui.file = (dir / "ff.DATA").string();
  EXPECT_FALSE(ImportSettings(Host()));
  // The box keeps its text; the reason stands under it.
  EXPECT_EQ(ui.calls.back().rfind("Ask:Import file error!|", 0), 0u) << ui.calls.back();
  ASSERT_FALSE(ui.details.empty());
  EXPECT_NE(ui.details.back().find("the throttle curve has a point"), std::string::npos)
      << ui.details.back();

  // A chosen name that is a folder is refused with a message, nothing written inside it.
  fs::create_directories(dir / "cars");
  ui.file = (dir / "cars").string();
  EXPECT_FALSE(ExportSettings(Host()));
  EXPECT_NE(ui.calls.back().find("it is a folder|Export"), std::string::npos) << ui.calls.back();
  EXPECT_TRUE(fs::is_empty(dir / "cars"));
}

TEST_F(SettingsFileCommands, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const fs::path target = dir / "old.DATA";
  WriteAll(target, "good old contents");
  std::string error;
  EXPECT_FALSE(ReplaceFileAtomically(
      target.string(),
      [](std::FILE* f) {
        std::fputs("half", f);
        return false;  // as when the disk fills up part way
      },
      error));
  EXPECT_NE(error.find(target.string()), std::string::npos) << error;
  EXPECT_EQ(ReadAll(target), "good old contents");
  EXPECT_EQ(EntriesInDir(), 1u);

  // The rename failing (a folder in the way) is reported with the name, temporary removed.
  fs::create_directories(dir / "folder.DATA" / "inside");
  ui.file = (dir / "folder.DATA").string();
  EXPECT_FALSE(ExportSettings(Host()));
  EXPECT_NE(ui.calls.back().find("folder.DATA\": "), std::string::npos) << ui.calls.back();
  EXPECT_TRUE(fs::is_directory(dir / "folder.DATA" / "inside"));
  EXPECT_EQ(EntriesInDir(), 2u);
}

TEST_F(SettingsFileCommands, SessionCommandsUseItsGateAndItsEditors) {
  ManualClock clock;
  VirtualEscPort port(clock);
  TimerLoop timers(clock);
  Session session(port, nullptr, clock, timers, ui);
  session.status.device_class = kDeviceFull;
  ui.file = (dir / "s").string();
  EXPECT_FALSE(ExportSettings(session));  // a fresh session has a read pending: busy

  session.status.transfer_active = false;
  session.status.link_kind = kLinkSerial;
  session.status.adapter_state = session.status.esc_state = 2;
  session.image.boost_curve.x[1] = 20;
  session.image.boost_curve.y[1] = 80;
  session.image.boost_curve.x[2] = session.image.boost_curve.y[2] = 100;
  ASSERT_TRUE(ExportSettings(session));

  session.boost_editor.ResetCurve();
  ui.file = (dir / "s.DATA").string();
  ASSERT_TRUE(ImportSettings(session));
  EXPECT_EQ(session.boost_editor.points[1], (CurvePoint{20, 80}));
}

}  // namespace
}  // namespace tessel
