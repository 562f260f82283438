// JSON setups: the reader's refusals (each naming the line and field, the image untouched),
// values by index and by text, the loader's file checks, the menu import, and the round trip
// read --json -> write that must put the same bytes on the wire as the matching .DATA file.
#include "core/settings/setup_json.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "core/curves/curve_model.h"
#include "core/session/session.h"
#include "core/session/settings_file.h"
#include "core/settings/field_values.h"
#include "core/settings/json_reader.h"
#include "core/settings/sheet.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Every field a setup can reach, the curves and the fields no file holds.
bool SameImage(const EscSettingsImage& a, const EscSettingsImage& b) {
  if (EncodeSettingsFile(a) != EncodeSettingsFile(b)) return false;
  for (const SettableField& f : SettableFields()) {
    if (a.*(f.field) != b.*(f.field)) return false;
  }
  return true;
}

EscSettingsImage StartImage() {
  EscSettingsImage im = SampleFullEscImage();
  for (CurveKind kind : {CurveKind::kThrottle, CurveKind::kBrake, CurveKind::kBoost}) {
    CurveModel(kind, im).LoadCurve();
  }
  return im;
}

std::string Option(const char* field, size_t index) {
  return (*FindSettableField(field)->options)[index];
}

TEST(SetupJson, RefusesEachKindOfBadInputNamingLineAndFieldAndKeepsTheImage) {
  struct Case {
    const char* what;
    std::string json;
    std::string message;  // after "a.json line "
  };
  const int drag_last = static_cast<int>(FindSettableField("drag_brake")->options->size()) - 1;
  const std::vector<Case> cases = {
      {"malformed", "{\"settings\": {\"run_mode\": 1,}}", "1: expected a key in double quotes"},
      {"unterminated", "{\"settings\": {\n\"run_mode\": 1", "2: expected ',' or '}'"},
      {"not an object", "[1, 2]", "1: a setup is a JSON object"},
      {"trailing bytes", "{} x", "1: unexpected 'x' after the end"},
      {"unknown key", "{\n\"setings\": {}}", "2: unknown key \"setings\""},
      {"unknown field", "{\"settings\": {\n  \"run_mode\": 1,\n  \"drag_brak\": 3}}",
       "3: settings.drag_brak: unknown field; did you mean drag_brake?"},
      {"out of range", "{\"settings\": {\n\n  \"drag_brake\": 400}}",
       "3: settings.drag_brake: 400 is out of range (0.." + std::to_string(drag_last) + ")"},
      {"negative", "{\"settings\": {\"drag_brake\": -1}}",
       "1: settings.drag_brake: -1 is out of range"},
      {"fraction", "{\"settings\": {\"drag_brake\": 2.5}}",
       "1: settings.drag_brake: 2.5 is not an option index"},
      {"unknown text", "{\"settings\": {\"run_mode\": \"sideways\"}}",
       "1: settings.run_mode: no option \"sideways\""},
      {"wrong kind", "{\"settings\": {\"run_mode\": true}}",
       "1: settings.run_mode: expected an option index or an option's text, found true or false"},
      {"texts disagree",
       "{\"settings\": {\"run_mode\": 0},\n \"settings_text\": {\"run_mode\": \"" +
           Option("run_mode", 1) + "\"}}",
       "2: settings_text.run_mode: \"" + Option("run_mode", 1) + "\" disagrees with settings"},
      {"profile", "{\"settings\": {\"profile_preset\": 2}}", "1: settings.profile_preset:"},
      {"duplicate key", "{\"settings\": {\"run_mode\": 0,\n \"run_mode\": 1}}",
       "2: the key \"run_mode\" appears twice"},
      {"V1 field in a full setup", "{\"device_class\": 3,\n \"settings\": {\"v1_drag_brake\": 1}}",
       "2: settings.v1_drag_brake: a V1-series field, but device_class"},
      {"mixed kinds", "{\"settings\": {\"run_mode\": 1,\n \"v1_drag_brake\": 1}}",
       "2: settings.v1_drag_brake: the setup mixes"},
      {"bad device class", "{\"device_class\": 2}", "1: device_class: expected 3"},
      {"damaged", "{\"damaged\": [\"throttle\"]}",
       "1: damaged: the throttle curve arrived damaged"},
      {"unknown curve", "{\"curves\": {\"turbo_curve\": {\"points\": [[0,0],[100,100]]}}}",
       "1: curves.turbo_curve: unknown curve"},
      {"point outside",
       "{\"curves\": {\"brake_curve\": {\"points\": [\n[0,0],\n[50,101],\n[100,100]]}}}",
       "3: curves.brake_curve.points: point 2 (50,101) lies outside 0..100"},
      {"x falls",
       "{\"curves\": {\"brake_curve\": {\"points\": [[0,0],[60,50],[40,70],[100,100]]}}}",
       "1: curves.brake_curve.points: point 3 (40,70): x falls from 60"},
      {"no end point", "{\"curves\": {\"throttle_curve\": {\"points\": [[0,0],\n[90,100]]}}}",
       "2: curves.throttle_curve.points: the last point is (90,100), not the end point (100,100)"},
      {"end point early",
       "{\"curves\": {\"throttle_curve\": {\"points\": [[0,0],[100,100],[100,100]]}}}",
       "1: curves.throttle_curve.points: point 2 (100,100) ends a curve"},
      {"not a point", "{\"curves\": {\"throttle_curve\": {\"points\": [[0,0,1],[100,100]]}}}",
       "1: curves.throttle_curve.points: point 1 is not [x, y]"},
      {"no points", "{\"curves\": {\"throttle_curve\": {\"table\": []}}}",
       "1: curves.throttle_curve: no \"points\""},
      {"unknown curve key",
       "{\"curves\": {\"throttle_curve\": {\"points\": [[0,0],[100,100]], "
       "\"pts\": 1}}}",
       "1: curves.throttle_curve.pts: unknown key"},
      {"curves in a V1 setup",
       "{\"device_class\": 1,\n\"curves\": {\"throttle_curve\": {\"points\": [[0,0],[100,100]]}}}",
       "2: curves: a V1-series ESC has no curves"},
  };
  std::string too_many = "{\"curves\": {\"boost_curve\": {\"points\": [";
  for (int i = 0; i < 40; ++i) too_many += "[" + std::to_string(i) + "," + std::to_string(i) + "],";
  too_many += "[100,100]]}}}";

  const EscSettingsImage start = StartImage();
  auto check = [&](const std::string& what, const std::string& json, const std::string& want) {
    EscSettingsImage image = start;
    std::string error;
    EXPECT_FALSE(ParseSetupJson(json, "a.json", image, error)) << what;
    EXPECT_EQ(error.rfind("a.json line " + want, 0), 0u) << what << "\n  got: " << error;
    EXPECT_TRUE(SameImage(image, start)) << what << ": a refusal changed the image";
  };
  for (const Case& c : cases) check(c.what, c.json, c.message);
  check("too many points", too_many,
        "1: curves.boost_curve.points: 41 points; a curve holds at most 40");
  check("too deep", std::string(100, '[') + std::string(100, ']'), "1: nested more than 64");
}

TEST(SetupJson, TakesValuesByIndexOrTextAndKeepsWhatItDoesNotName) {
  const EscSettingsImage start = StartImage();
  EscSettingsImage image = start;
  std::string error;
  SetupInfo info;
  // An option text in any case, an index as a string, and a text agreeing with its index.
  const std::string text = Option("drag_brake", 5);
  std::string upper;
  for (char c : text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string json = "{\"settings\": {\"run_mode\": 2, \"drag_brake\": \"" + upper +
                           "\", \"punch_rate1\": \"#3\"},\n \"settings_text\": {\"run_mode\": \"" +
                           Option("run_mode", 2) + "\", \"brake_rate1\": \"" +
                           Option("brake_rate1", 4) + "\"}}";
  ASSERT_TRUE(ParseSetupJson(json, "a.json", image, error, &info)) << error;
  EXPECT_EQ(info.device_class, kDeviceFull);
  EXPECT_EQ(image.run_mode, 2);
  EXPECT_EQ(image.drag_brake, 5);
  EXPECT_EQ(image.punch_rate1, 3);
  EXPECT_EQ(image.brake_rate1, 4);
  EscSettingsImage want = start;
  want.run_mode = 2;
  want.drag_brake = 5;
  want.punch_rate1 = 3;
  want.brake_rate1 = 4;
  EXPECT_TRUE(SameImage(image, want));

  // A V1 setup by its fields alone; the BEC field marks it for the 16-byte block.
  image = start;
  ASSERT_TRUE(ParseSetupJson("{\"settings\": {\"v1_drag_brake\": 2, \"v1_bec_voltage\": 1}}",
                             "v.json", image, error, &info))
      << error;
  EXPECT_EQ(info.device_class, kDeviceV1);
  EXPECT_TRUE(info.bec_only_fields);
  EXPECT_EQ(image.v1_drag_brake, 2);
  EXPECT_EQ(image.v1_bec_voltage, 1);
}

TEST(SetupJson, CurvePointsRebuildTheTableAsTheDataImportDoes) {
  EscSettingsImage image = StartImage();
  std::string error;
  ASSERT_TRUE(ParseSetupJson(
      "{\"curves\": {\"brake_curve\": {\"points\": [[0,0],[30,70],[100,100]], \"table\": [1,2]}}}",
      "c", image, error))
      << error;
  EXPECT_EQ(CurvePointsText(image.brake_curve), "(0,0) (30,70) (100,100)");
  // The same points through a .DATA file: the import rebuilds the same table.
  EscSettingsImage via_file;
  ASSERT_TRUE(ImportSettingsFromBytes(EncodeSettingsFile(image), via_file, error)) << error;
  EXPECT_EQ(via_file.brake_curve.table, image.brake_curve.table);
  EXPECT_GT(image.brake_curve.table[10], image.brake_curve.table[0]);
}

TEST(JsonReader, KeepsLinesResolvesEscapesAndRefusesNonsense) {
  JsonValue v;
  std::string error;
  int line = 0;
  ASSERT_TRUE(ParseJson("{\"a\":\n [1, -2, 3.5e1, \"x\\u00e9\\ud83d\\ude00\\n\"],\n\"b\": null}", v,
                        error, line))
      << error;
  ASSERT_EQ(v.members.size(), 2u);
  EXPECT_EQ(v.members[1].line, 3);
  const JsonValue& a = *v.Find("a");
  EXPECT_EQ(a.line, 2);
  EXPECT_EQ(a.items[1].integer, -2);
  EXPECT_FALSE(a.items[2].is_integer);
  EXPECT_EQ(a.items[3].text, "x\xC3\xA9\xF0\x9F\x98\x80\n");
  for (const char* bad : {"", "{", "01", "1.", "\"\\x\"", "\"\\ud800\"", "[1 2]", "{\"a\" 1}",
                          "tru", "\"a\nb\"", "// c\n{}"}) {
    EXPECT_FALSE(ParseJson(bad, v, error, line)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

class SetupFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("tessel_setup_") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& contents) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << contents;
    return p.string();
  }
  fs::path dir;
};

TEST_F(SetupFiles, LoaderTellsTheKindAndRefusesWhatIsNoSetupFile) {
  const EscSettingsImage start = StartImage();
  std::string error;
  SetupInfo info;

  // JSON by its first byte whatever the name; a .DATA file through the settings import.
  EscSettingsImage image = start;
  ASSERT_TRUE(LoadSetupFile(Write("setup.txt", "\xEF\xBB\xBF\n  {\"settings\": {\"run_mode\": 2}}"),
                            image, error, &info))
      << error;
  EXPECT_TRUE(info.json);
  EXPECT_EQ(image.run_mode, 2);
  EscSettingsImage other = start;
  other.drag_brake = 3;
  const Bytes data = EncodeSettingsFile(other);
  ASSERT_TRUE(
      LoadSetupFile(Write("x.DATA", std::string(data.begin(), data.end())), image, error, &info))
      << error;
  EXPECT_FALSE(info.json);
  EXPECT_EQ(image.drag_brake, 3);

  // A refused JSON named by extension names the file; the image stays.
  image = start;
  const std::string bad = Write("bad.json", "{\"settings\":\n{\"run_mode\": 99}}");
  EXPECT_FALSE(LoadSetupFile(bad, image, error));
  EXPECT_EQ(error.rfind(bad + " line 2: settings.run_mode: 99 is out of range", 0), 0u) << error;
  EXPECT_TRUE(SameImage(image, start));

  // A fifo would block a plain read; a huge file is no setup; a folder is no file.
  const std::string fifo = (dir / "pipe.json").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(LoadSetupFile(fifo, image, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  const std::string big =
      Write("big.json", "{\"version\": \"" + std::string(kMaxSetupFileBytes, 'x') + "\"}");
  EXPECT_FALSE(LoadSetupFile(big, image, error));
  EXPECT_NE(error.find("larger than 1 MB"), std::string::npos) << error;
  EXPECT_FALSE(LoadSetupFile(dir.string(), image, error));
  EXPECT_FALSE(LoadSetupFile((dir / "missing.json").string(), image, error));
  EXPECT_NE(error.find("missing.json"), std::string::npos) << error;
  EXPECT_TRUE(SameImage(image, start));
}

TEST_F(SetupFiles, MenuImportTakesAJsonSetupAndShowsTheLineOfARefusal) {
  EscSettingsImage image = StartImage();
  SessionStatus status;
  status.device_class = kDeviceFull;
  RecordingUi ui;
  int curve_loads = 0;
  const SettingsFileHost host{image, status, false, ui, [&] { ++curve_loads; }};

  ui.open_file = Write("good.json",
                       "{\"settings\": {\"drag_brake\": 6},\n\"curves\": {\"throttle_curve\": "
                       "{\"points\": [[0,0],[40,80],[100,100]]}}}");
  ASSERT_TRUE(ImportSettings(host)) << (ui.outcomes.empty() ? "" : ui.outcomes.back());
  EXPECT_EQ(ui.filters.back(), kSettingsFileFilter);  // the filter stays the system's own
  EXPECT_EQ(image.drag_brake, 6);
  EXPECT_EQ(CurvePointsText(image.throttle_curve), "(0,0) (40,80) (100,100)");
  EXPECT_EQ(curve_loads, 1);
  EXPECT_EQ(ui.page_refreshes, 1);
  EXPECT_EQ(ui.outcomes.back(), "Imported " + *ui.open_file);

  const EscSettingsImage before = image;
  for (const std::string& json : {std::string("{\"settings\": {\n\"drag_brake\": \"lots\"}}"),
                                  std::string("{\"device_class\": 1}")}) {
    ui.open_file = Write("bad.json", json);
    ui.asked.clear();
    EXPECT_FALSE(ImportSettings(host));
    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0].text, kImportErrorText);
    EXPECT_EQ(ui.asked[0].caption, kImportCaption);
    EXPECT_EQ(ui.outcomes.back().rfind("failed: Import failed: " + *ui.open_file, 0), 0u);
    EXPECT_TRUE(SameImage(image, before));
  }
  EXPECT_EQ(ui.asked[0].detail,
            *ui.open_file + ": a setup for a V1-series ESC; the connected ESC is a full ESC");
}

// The engine on a virtual clock against the virtual ESC.
class SetupRoundTrip : public ::testing::Test {
 protected:
  // A fresh tool and ESC, the ESC holding `state` when given; then the tool's first read.
  bool BuildAndRead(EscVariant variant, const EscSettingsImage* state = nullptr) {
    session.reset();
    ports.reset();
    port = std::make_unique<VirtualEscPort>(clock, variant);
    if (state) port->esc().image() = *state;
    ports = std::make_unique<VirtualPortEnumerator>(*port);
    session = std::make_unique<Session>(*port, ports.get(), clock, loop, ui);
    loop.SetHandler([this](int id) { session->OnTimer(id); });
    session->Start();
    const int before = ui.reads_finished + ui.v1_reads;
    return loop.RunUntil(
        [&] {
          return ui.reads_finished + ui.v1_reads > before && !session->status.transfer_active &&
                 session->status.esc_state == kEscDetected;
        },
        60000);
  }
  VirtualEsc& esc() { return port->esc(); }
  Bytes Send(bool v1) {
    esc().ClearReceived();
    EXPECT_TRUE(v1 ? session->V1SendSettings() : session->Apply());
    EXPECT_TRUE(loop.RunUntil(
        [&] { return !session->status.transfer_active && !session->status.send_in_progress; },
        60000));
    return esc().received();
  }

  ManualClock clock;
  TimerLoop loop{clock};
  RecordingUi ui;
  std::unique_ptr<VirtualEscPort> port;
  std::unique_ptr<VirtualPortEnumerator> ports;
  std::unique_ptr<Session> session;
};

TEST_F(SetupRoundTrip, JsonOfAReadSendsTheSameBytesAsTheDataFileOfThatRead) {
  ASSERT_TRUE(BuildAndRead(EscVariant::kFull));
  const EscSettingsImage original = esc().image();
  // What `read --json` prints and what `read --out` saves, from the same read.
  const std::string json = SettingsJson({session->image, kDeviceFull, kV1Block14, "ESC0120"});
  const Bytes data = EncodeSettingsFile(session->image);

  // Later the ESC holds other settings and a moved curve point.
  EscSettingsImage changed = original;
  changed.run_mode = 0;
  changed.drag_brake = 1;
  changed.boost_timing = 40;
  changed.throttle_curve.y[2] = 10;
  std::string error;

  ASSERT_TRUE(BuildAndRead(EscVariant::kFull, &changed));
  ASSERT_TRUE(ImportSettingsFromBytes(data, session->image, error)) << error;
  const Bytes from_data = Send(false);

  ASSERT_TRUE(BuildAndRead(EscVariant::kFull, &changed));
  ASSERT_EQ(session->image.drag_brake, 1);
  ASSERT_TRUE(ParseSetupJson(json, "a.json", session->image, error)) << error;
  const Bytes from_json = Send(false);

  EXPECT_EQ(from_json, from_data);
  // The whole send went out: 27 pairs, the end of the settings and three curves.
  EXPECT_EQ(esc().received_curves().size(), 3u);
  EXPECT_EQ(esc().image().run_mode, original.run_mode);
  EXPECT_EQ(esc().image().drag_brake, original.drag_brake);
  for (const CurveField& c : CurveFields()) {
    for (int pos = 0; pos < kCurveWireBytes; ++pos) {
      ASSERT_EQ(CurveWireByte(esc().image().*(c.curve), pos),
                CurveWireByte(original.*(c.curve), pos))
          << c.name << " byte " << pos;
    }
  }
}

TEST_F(SetupRoundTrip, V1SetupSendsWhatTheReadHeld) {
  ASSERT_TRUE(BuildAndRead(EscVariant::kV1Bec));
  const EscSettingsImage original = esc().image();
  const std::string json = SettingsJson({session->image, kDeviceV1, kV1Block16, ""});
  const Bytes first = Send(true);

  EscSettingsImage changed = original;
  changed.v1_drag_brake = (original.v1_drag_brake + 1) % 3;
  changed.v1_bec_voltage = 1 - original.v1_bec_voltage;
  ASSERT_TRUE(BuildAndRead(EscVariant::kV1Bec, &changed));
  std::string error;
  SetupInfo info;
  ASSERT_TRUE(ParseSetupJson(json, "v.json", session->image, error, &info)) << error;
  EXPECT_EQ(info.device_class, kDeviceV1);
  EXPECT_EQ(Send(true), first);
  for (const V1Field& f : V1Fields()) {
    EXPECT_EQ(esc().image().*(f.field), original.*(f.field)) << f.name;
  }
}

}  // namespace
}  // namespace tessel
