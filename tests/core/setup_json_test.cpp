// JSON setups: the reader's refusals (one case per rule, each naming the line and field, the
// image untouched), values by index and by text, and the loader's file checks. The round trip
// through the wire is the command line's test; the menu import is the window's.
#include "core/model/setup_json.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/model/curve_model.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"
#include "core/model/field_values.h"
#include "core/model/json_reader.h"
#include "core/model/sheet.h"
#include "sim/virtual_esc.h"
#include "tests/support/scratch_folder.h"

namespace tessel {
namespace {


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
      {"not an object", "[1, 2]", "1: a setup is a JSON object"},
      {"unknown key", "{\n\"setings\": {}}", "2: unknown key \"setings\""},
      {"unknown field", "{\"settings\": {\n  \"run_mode\": 1,\n  \"drag_brak\": 3}}",
       "3: settings.drag_brak: unknown field; did you mean drag_brake?"},
      {"out of range", "{\"settings\": {\n\n  \"drag_brake\": 400}}",
       "3: settings.drag_brake: 400 is out of range (0.." + std::to_string(drag_last) + ")"},
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
      {"not a point", "{\"curves\": {\"throttle_curve\": {\"points\": [[0,0,1],[100,100]]}}}",
       "1: curves.throttle_curve.points: point 1 is not [x, y]"},
      {"no points", "{\"curves\": {\"throttle_curve\": {\"table\": []}}}",
       "1: curves.throttle_curve: no \"points\""},
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
  EscSettingsImage want = start;
  want.run_mode = 2;
  want.drag_brake = 5;
  want.punch_rate1 = 3;
  want.brake_rate1 = 4;
  EXPECT_TRUE(SameImage(image, want));
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
                          "tru", "\"a\nb\"", "// c\n{}", "{} x"}) {
    EXPECT_FALSE(ParseJson(bad, v, error, line)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SetupFiles, LoaderTellsTheKindAndRefusesWhatIsNoSetupFile) {
  const test_support::ScratchFolder dir;
  const EscSettingsImage start = StartImage();
  std::string error;
  SetupInfo info;

  // JSON by its first byte whatever the name; a .DATA file through the settings import.
  EscSettingsImage image = start;
  ASSERT_TRUE(LoadSetupFile(dir.Write("setup.txt", "\xEF\xBB\xBF\n  {\"settings\": {\"run_mode\": 2}}"),
                            image, error, &info))
      << error;
  EXPECT_TRUE(info.json);
  EXPECT_EQ(image.run_mode, 2);
  EscSettingsImage other = start;
  other.drag_brake = 3;
  ASSERT_TRUE(LoadSetupFile(dir.Write("x.DATA", EncodeSettingsFile(other)), image, error, &info))
      << error;
  EXPECT_FALSE(info.json);
  EXPECT_EQ(image.drag_brake, 3);

  // A refused JSON named by extension names the file; the image stays.
  image = start;
  const std::string bad = dir.Write("bad.json", "{\"settings\":\n{\"run_mode\": 99}}");
  EXPECT_FALSE(LoadSetupFile(bad, image, error));
  EXPECT_EQ(error.rfind(bad + " line 2: settings.run_mode: 99 is out of range", 0), 0u) << error;
  EXPECT_TRUE(SameImage(image, start));

  // A fifo would block a plain read; a huge file is no setup; a folder is no file.
  const std::string fifo = dir / "pipe.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(LoadSetupFile(fifo, image, error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  const std::string big =
      dir.Write("big.json", "{\"version\": \"" + std::string(kMaxSetupFileBytes, 'x') + "\"}");
  EXPECT_FALSE(LoadSetupFile(big, image, error));
  EXPECT_NE(error.find("larger than 1 MB"), std::string::npos) << error;
  EXPECT_FALSE(LoadSetupFile(dir.path(), image, error));
  EXPECT_FALSE(LoadSetupFile(dir / "missing.json", image, error));
  EXPECT_NE(error.find("missing.json"), std::string::npos) << error;
  EXPECT_TRUE(SameImage(image, start));
}

}  // namespace
}  // namespace tessel
