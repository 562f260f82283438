#include "core/session/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/curves/curve_model.h"
#include "core/session/session.h"
#include "sim/virtual_esc_port.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

// Every field the decoder may write, plus the ones it must never touch.
void ExpectSameImage(const EscSettingsImage& a, const EscSettingsImage& b) {
  for (const auto& f : FullEscFields()) EXPECT_EQ(a.*(f.field), b.*(f.field)) << f.name;
  for (const auto& f : V1Fields()) EXPECT_EQ(a.*(f.field), b.*(f.field)) << f.name;
  EXPECT_EQ(a.esc_out, b.esc_out);
  EXPECT_EQ(a.profile_preset, b.profile_preset);
  EXPECT_EQ(a.last_profile_preset, b.last_profile_preset);
  for (const auto& c : CurveFields()) {
    EXPECT_EQ((a.*(c.curve)).x, (b.*(c.curve)).x) << c.name;
    EXPECT_EQ((a.*(c.curve)).y, (b.*(c.curve)).y) << c.name;
    EXPECT_EQ((a.*(c.curve)).table, (b.*(c.curve)).table) << c.name;
  }
}

// An image in which every stored byte differs from its neighbours.
EscSettingsImage RichImage() {
  EscSettingsImage img;
  int v = 1;
  for (const auto& f : FullEscFields()) img.*(f.field) = v++;
  img.log_motor_max_rpm = 0x1234;  // above 255: needs the high byte
  img.esc_out = 2;
  uint8_t seed = 7;
  for (const auto& c : CurveFields()) {
    CurveData& d = img.*(c.curve);
    for (auto& b : d.table) b = seed++;
    for (auto& b : d.x) b = seed++;
    for (auto& b : d.y) b = seed++;
  }
  return img;
}

TEST(SettingsRecord, LayoutIsReversedWithHeaderLengthAndCheckValue) {
  EscSettingsImage img = RichImage();
  img.boost_curve.table.fill(0xFF);
  img.brake_curve.x.fill(0xFE);
  img.throttle_curve.y.fill(0xFD);
  img.throttle_curve.y[99] = 0x42;

  const SettingsRecord r = BuildSettingsRecord(img);
  const std::vector<uint8_t> file = EncodeSettingsFile(img);
  ASSERT_EQ(file.size(), 800u);
  for (size_t k = 0; k < 800; ++k) ASSERT_EQ(file[k], r[799 - k]) << k;

  // A written file begins with the pad byte and ends with 0xA0, 0x10.
  EXPECT_EQ(file.front(), 0);
  EXPECT_EQ(file[798], 0xA0);
  EXPECT_EQ(file[799], 0x10);
  EXPECT_EQ(r[2], 0x20);  // 800 = 0x320, little-endian
  EXPECT_EQ(r[3], 0x03);
  EXPECT_EQ(r[4], 0);
  EXPECT_EQ(r[5], 0);
  EXPECT_EQ(r[8], 0);
  EXPECT_EQ(r[9], 1);
  for (size_t i = 10; i < 16; ++i) EXPECT_EQ(r[i], 0) << i;

  EXPECT_EQ(r[16], 1);     // run_mode, read index 0
  EXPECT_EQ(r[45], 30);    // log_motor_max_temp, read index 29
  EXPECT_EQ(r[46], 0x34);  // log_motor_max_rpm low byte
  EXPECT_EQ(r[47], 0x12);  // and high byte
  EXPECT_EQ(r[48], 2);     // esc_out
  EXPECT_EQ(r[49], 0xFF);  // boost table[0]
  EXPECT_EQ(r[98], 0xFF);  // boost table[49]
  EXPECT_EQ(r[99], img.boost_curve.x[0]);
  EXPECT_EQ(r[199], img.boost_curve.y[0]);
  EXPECT_EQ(r[299], img.brake_curve.table[0]);
  EXPECT_EQ(r[349], 0xFE);  // brake x[0]
  EXPECT_EQ(r[549], img.throttle_curve.table[0]);
  EXPECT_EQ(r[599], img.throttle_curve.x[0]);
  EXPECT_EQ(r[798], 0x42);  // throttle y[99]
  EXPECT_EQ(r[799], 0);

  uint32_t sum = 0;
  for (size_t i = 0; i < 800; ++i) {
    if (i != 6 && i != 7) sum += r[i];
  }
  ASSERT_GT(sum, 65535u);
  EXPECT_EQ(r[6] | (r[7] << 8), sum % 65536);
}

TEST(SettingsRecord, RoundTripRestoresEveryStoredField) {
  const EscSettingsImage original = RichImage();
  const std::vector<uint8_t> file = EncodeSettingsFile(original);

  EscSettingsImage loaded;
  loaded.v1_running_mode = 4;  // not in the file: must survive
  loaded.profile_preset = 6;
  ASSERT_EQ(DecodeSettingsFile(file, loaded), SettingsFileError::kNone);

  EscSettingsImage expected = original;
  expected.v1_running_mode = 4;
  expected.profile_preset = 6;
  ExpectSameImage(loaded, expected);
  EXPECT_EQ(loaded.log_motor_max_rpm, 0x1234);
  EXPECT_EQ(loaded.esc_out, 2);
}

TEST(SettingsRecord, RejectionsLeaveTheImageAsItWas) {
  const EscSettingsImage stored = RichImage();
  const std::vector<uint8_t> good = EncodeSettingsFile(stored);
  EscSettingsImage before;
  before.run_mode = 3;
  before.throttle_curve.x[5] = 9;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    SettingsFileError expected;
  };
  std::vector<Case> cases;
  {
    auto b = good;  // record bytes 0 and 1 exchanged (file bytes 799 and 798)
    std::swap(b[799], b[798]);
    cases.push_back({"header swapped", b, SettingsFileError::kBadHeader});
  }
  {
    auto b = good;  // length field 801, check value patched to stay consistent
    b[797] = 0x21;
    b[793] += 1;
    cases.push_back({"length field", b, SettingsFileError::kBadLength});
  }
  {
    auto b = good;
    b[793] += 1;  // check value low byte
    cases.push_back({"check value", b, SettingsFileError::kBadCheckValue});
  }
  {
    auto b = good;
    b[400] ^= 0x01;  // a content byte
    cases.push_back({"content", b, SettingsFileError::kBadCheckValue});
  }
  {
    auto b = good;
    b.insert(b.begin(), 0);  // record still ends in a valid header
    cases.push_back({"801 bytes", b, SettingsFileError::kTooLong});
  }
  cases.push_back({"799 bytes", std::vector<uint8_t>(good.begin() + 1, good.end()),
                   SettingsFileError::kTooShort});
  cases.push_back({"empty", {}, SettingsFileError::kTooShort});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EscSettingsImage img = before;
    EXPECT_EQ(DecodeSettingsFile(c.bytes, img), c.expected);
    ExpectSameImage(img, before);
  }
}

TEST(SettingsRecord, DecoderSurvivesRandomAndMutatedInput) {
  std::mt19937 rng(20240611);
  const std::vector<uint8_t> good = EncodeSettingsFile(RichImage());
  const EscSettingsImage before = RichImage();
  int accepted = 0;
  for (int i = 0; i < 20000; ++i) {
    std::vector<uint8_t> bytes;
    if (i % 2 == 0) {
      bytes.resize(rng() % 1601);
      for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    } else {
      // Near-valid files reach the check value and field code.
      bytes = good;
      const int flips = 1 + rng() % 4;
      for (int f = 0; f < flips; ++f) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      if (rng() % 8 == 0) bytes.resize(rng() % 1601);
    }
    EscSettingsImage img = before;
    if (DecodeSettingsFile(bytes, img) == SettingsFileError::kNone) {
      ++accepted;
      EscSettingsImage again;
      ASSERT_EQ(DecodeSettingsFile(EncodeSettingsFile(img), again), SettingsFileError::kNone);
      ExpectSameImage(again, img);
    } else {
      ExpectSameImage(img, before);
    }
    if (::testing::Test::HasFailure()) break;
  }
  // Mutations that leave every byte as it was are accepted; the rest must not be.
  EXPECT_LT(accepted, 200);
}

TEST(SettingsExportPath, CutsOnlyTheFileNameAtItsFirstDot) {
  EXPECT_EQ(SettingsExportPath("/home/u/v1.2/setup"), "/home/u/v1.2/setup.DATA");
  EXPECT_EQ(SettingsExportPath("/home/u/v1.2/setup.DATA"), "/home/u/v1.2/setup.DATA");
  EXPECT_EQ(SettingsExportPath("/home/u/a.b.c"), "/home/u/a.DATA");
  EXPECT_EQ(SettingsExportPath("C:\\cars\\v1.2\\race.txt"), "C:\\cars\\v1.2\\race.DATA");
  EXPECT_EQ(SettingsExportPath("plain"), "plain.DATA");
}

// Scripted answers and a record of what the commands asked the windows to do.
class ScriptedUi : public SessionUi {
 public:
  std::optional<std::string> file;
  Answer answer = Answer::kYes;
  std::vector<std::string> calls;
  std::function<void()> on_collect;

  Answer Ask(const std::string& text, const std::string& caption, Buttons buttons) override {
    calls.push_back("Ask:" + text + "|" + caption + "|" + std::to_string(int(buttons)));
    return answer;
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
          ("tessel_settings_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    status.device_class = kDeviceFull;
    throttle.Initialise();
    brake.Initialise();
    boost.Initialise();
  }
  void TearDown() override { fs::remove_all(dir); }

  SettingsFileHost Host() {
    return SettingsFileHost{image, status, busy, ui, [this] {
                              ui.calls.push_back("LoadCurves");
                              throttle.LoadCurve();
                              brake.LoadCurve();
                              boost.LoadCurve();
                            }};
  }
  static std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteText(const fs::path& p, const std::string& s) {
    std::ofstream(p, std::ios::binary) << s;
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

TEST_F(SettingsFileCommands, DoNothingWhileBusyOrWithoutAFullEsc) {
  ui.file = (dir / "x").string();
  busy = true;
  EXPECT_FALSE(ExportSettings(Host()));
  EXPECT_FALSE(ImportSettings(Host()));
  busy = false;
  status.device_class = kDeviceV1;
  EXPECT_FALSE(ExportSettings(Host()));
  EXPECT_FALSE(ImportSettings(Host()));
  EXPECT_TRUE(ui.calls.empty());
  EXPECT_EQ(EntriesInDir(), 0u);
}

TEST_F(SettingsFileCommands, ExportCollectsThenWritesUnderTheDataName) {
  fs::create_directories(dir / "v1.2");
  ui.file = (dir / "v1.2" / "race.old").string();
  ui.on_collect = [this] { image.esc_out = 1; };  // a page writing its control into the image
  image.throttle_curve.x[1] = 40;
  image.throttle_curve.y[1] = 70;
  image.throttle_curve.x[2] = 100;
  image.throttle_curve.y[2] = 100;

  ASSERT_TRUE(ExportSettings(Host()));
  const std::vector<std::string> expected{"Save:(*.DATA)|*.DATA|All File (*.*)|*.*||",
                                          "RefreshMain", "Collect", "LoadCurves"};
  EXPECT_EQ(ui.calls, expected);

  const fs::path written = dir / "v1.2" / "race.DATA";
  ASSERT_TRUE(fs::exists(written));
  EscSettingsImage back;
  std::string error;
  ASSERT_TRUE(ImportSettingsFromPath(written.string(), back, error)) << error;
  EXPECT_EQ(back.esc_out, 1);
  EXPECT_EQ(back.throttle_curve.table, image.throttle_curve.table);
  EXPECT_EQ(back.throttle_curve.table[1], 9);  // sampled from the three points at LoadCurve
  EXPECT_EQ(EntriesInDir(), 1u);               // only the folder: no temporary left behind
}

TEST_F(SettingsFileCommands, OverwriteAsksOnlyForANonEmptyFile) {
  ui.file = (dir / "a").string();
  const fs::path target = dir / "a.DATA";

  WriteText(target, "");
  ASSERT_TRUE(ExportSettings(Host()));
  EXPECT_EQ(fs::file_size(target), 800u);
  for (const auto& c : ui.calls) EXPECT_NE(c.rfind("Ask:", 0), 0u) << c;

  WriteText(target, "keep me");
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
}

TEST_F(SettingsFileCommands, CancelledDialogsDoNothing) {
  ui.file.reset();
  EXPECT_FALSE(ExportSettings(Host()));
  EXPECT_FALSE(ImportSettings(Host()));
  EXPECT_EQ(ui.calls.size(), 2u);
  EXPECT_EQ(EntriesInDir(), 0u);
}

TEST_F(SettingsFileCommands, ImportRebuildsSampledTablesAndKeepsTheRest) {
  EscSettingsImage stored = RichImage();
  CurveData& c = stored.brake_curve;
  c.x.fill(0);
  c.y.fill(0);
  c.x[1] = 30;
  c.y[1] = 60;
  c.x[2] = 100;
  c.y[2] = 100;
  c.table.fill(0xEE);  // stale samples in the file
  const fs::path p = dir / "in.DATA";
  {
    const auto bytes = EncodeSettingsFile(stored);
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  ui.file = p.string();
  ASSERT_TRUE(ImportSettings(Host()));
  const std::vector<std::string> expected{"Open:(*.DATA)|*.DATA|All File (*.*)|*.*||", "LoadCurves",
                                          "RefreshPages", "ShowLogged", "RefreshMain"};
  EXPECT_EQ(ui.calls, expected);

  CurveData want = c;
  SampleCurve(want, 3);
  for (int k = 0; k < 40; ++k) EXPECT_EQ(image.brake_curve.table[k], want.table[k]) << k;
  for (int k = 40; k < 50; ++k) EXPECT_EQ(image.brake_curve.table[k], 0xEE) << k;
  EXPECT_EQ(brake.point_count, 3u);
  EXPECT_EQ(image.log_motor_max_rpm, 0x1234);
}

TEST_F(SettingsFileCommands, RejectedOrUnreadableImportShowsAMessageAndKeepsTheImage) {
  image.run_mode = 5;
  const EscSettingsImage before = image;
  const fs::path p = dir / "bad.DATA";
  auto bytes = EncodeSettingsFile(RichImage());
  std::swap(bytes[798], bytes[799]);
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

  ui.file = p.string();
  EXPECT_FALSE(ImportSettings(Host()));
  ASSERT_EQ(ui.calls.size(), 2u);
  EXPECT_EQ(ui.calls[1],
            "Ask:Import file error!|Import|" + std::to_string(int(Buttons::kOkCancel)));
  ExpectSameImage(image, before);

  ui.calls.clear();
  ui.file = (dir / "missing.DATA").string();
  EXPECT_FALSE(ImportSettings(Host()));
  ASSERT_EQ(ui.calls.size(), 2u);
  EXPECT_NE(ui.calls[1].find("missing.DATA"), std::string::npos) << ui.calls[1];
  EXPECT_NE(ui.calls[1].find("No such file"), std::string::npos) << ui.calls[1];
  ExpectSameImage(image, before);

  std::string error;
  EXPECT_FALSE(ImportSettingsFromPath(p.string(), image, error));
  EXPECT_NE(error.find("settings header"), std::string::npos) << error;
  EXPECT_FALSE(ReadSettingsFile(p.string(), error).has_value());
  ExpectSameImage(image, before);
}

TEST_F(SettingsFileCommands, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  const fs::path target = dir / "old.DATA";
  WriteText(target, "good old contents");
  std::string error;
  const bool ok = ReplaceFileAtomically(
      target.string(),
      [](std::FILE* f) {
        std::fputs("half", f);
        return false;  // as when the disk fills up part way
      },
      error);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find(target.string()), std::string::npos) << error;
  EXPECT_EQ(ReadAll(target), "good old contents");
  EXPECT_EQ(EntriesInDir(), 1u);

  // The replace itself failing (a folder in the way) must not leave the temporary either.
  const fs::path folder = dir / "folder.DATA";
  fs::create_directories(folder / "inside");
  EXPECT_FALSE(ExportSettingsToPath(image, folder.string(), true, error));
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_EQ(EntriesInDir(), 2u);

  // The command reports it with the file name.
  ui.file = folder.string();
  status.device_class = kDeviceFull;
  EXPECT_FALSE(ExportSettings(Host()));
  ASSERT_FALSE(ui.calls.empty());
  EXPECT_NE(ui.calls.back().find("folder.DATA"), std::string::npos) << ui.calls.back();
  EXPECT_EQ(EntriesInDir(), 2u);
}

TEST_F(SettingsFileCommands, PathExportRefusesToReplaceUnlessAsked) {
  const fs::path target = dir / "cli.DATA";
  WriteText(target, "x");
  std::string error;
  EXPECT_FALSE(ExportSettingsToPath(RichImage(), target.string(), false, error));
  EXPECT_EQ(ReadAll(target), "x");
  ASSERT_TRUE(ExportSettingsToPath(RichImage(), target.string(), true, error)) << error;
  const auto shown = ReadSettingsFile(target.string(), error);
  ASSERT_TRUE(shown.has_value()) << error;
  ExpectSameImage(*shown, RichImage());  // stored tables as they are, not rebuilt
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
  session.status.adapter_state = 2;
  session.status.esc_state = 2;
  session.image.boost_curve.x[1] = 20;
  session.image.boost_curve.y[1] = 80;
  session.image.boost_curve.x[2] = 100;
  session.image.boost_curve.y[2] = 100;
  session.image.log_motor_max_rpm = 300;
  ASSERT_TRUE(ExportSettings(session));

  session.boost_editor.ResetCurve();
  session.image.log_motor_max_rpm = 0;
  ui.file = (dir / "s.DATA").string();
  ASSERT_TRUE(ImportSettings(session));
  EXPECT_EQ(session.boost_editor.point_count, 3u);
  EXPECT_EQ(session.boost_editor.points[1], (CurvePoint{20, 80}));
  EXPECT_EQ(session.image.log_motor_max_rpm, 300);
}

}  // namespace
}  // namespace tessel
