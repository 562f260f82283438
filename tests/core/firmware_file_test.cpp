#include "core/firmware/firmware_file.h"
#include "core/firmware/firmware_preflight.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

namespace tessel {
namespace {

namespace fs = std::filesystem;

class FirmwareFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          (std::string("tessel_fw_") +
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

using Bytes = std::vector<uint8_t>;

// Hex text of `count` records, each with a body of `body` bytes.
std::string HexRecords(int count, int body) {
  std::string s;
  char pair[3];
  for (int r = 0; r < count; ++r) {
    std::snprintf(pair, sizeof pair, "%02X", (body >> 8) & 0xFF);
    s += pair;
    std::snprintf(pair, sizeof pair, "%02X", body & 0xFF);
    s += pair;
    for (int i = 0; i < body; ++i) {
      std::snprintf(pair, sizeof pair, "%02X", (r + i) & 0xFF);
      s += pair;
    }
  }
  return s;
}

TEST_F(FirmwareFiles, LenientLoaderSkipsWhiteSpaceAndReadsTwoDigitsPerByte) {
  const Bytes expected{0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05};
  for (const char* text : {"0005 0102030405", "00050102030405", "\t0005\r\n01 02\n0304 05\r\n"}) {
    SCOPED_TRACE(text);
    const auto r = LoadHexRecordsLenient(Write("f.xup", text));
    ASSERT_TRUE(r.opened);
    EXPECT_EQ(r.image, expected);
    EXPECT_EQ(r.stop, HexStop::kEndOfFile);
    EXPECT_EQ(CheckFirmwareImage(r), std::nullopt);
    EXPECT_EQ(RecordLengthAt(r.image, 0), 7u);
  }
  // A digit that stands alone (a lost digit: at the end, or a line with an odd count) is
  // damage; reading stops there and the file is refused.
  for (const auto& [text, offset] : std::vector<std::pair<std::string, uint64_t>>{
           {"0003 0102BB\n0001 B", 17}, {"0003 010\n2BB 0001 CC", 7}, {"abc dZ", 2}}) {
    SCOPED_TRACE(text);
    const auto lone = LoadHexRecordsLenient(Write("g.xup", text));
    EXPECT_EQ(lone.stop, HexStop::kLoneDigit);
    ASSERT_TRUE(lone.lone_digit.has_value());
    EXPECT_EQ(lone.lone_digit->offset, offset);
    ASSERT_TRUE(CheckFirmwareImage(lone).has_value());
    EXPECT_NE(CheckFirmwareImage(lone)->find("stands alone"), std::string::npos);
  }
}

// Each target takes its own kind, by name and by content (the LCD box and a settings file are
// in hid_update_test).
TEST_F(FirmwareFiles, PreflightChecksKindByExtensionAndContent) {
  std::string settings(800, '\x01');
  settings[798] = static_cast<char>(0xA0);  // the record's header ends the reversed file
  settings[799] = static_cast<char>(0x10);
  const std::string masked(1500, '\x07');
  const std::vector<std::tuple<std::string, std::string, FirmwareTarget, std::string>> cases{
      {"race.bin", settings, FirmwareTarget::kLcdBox, "holds ESC settings"},
      {"esc.xut", HexRecords(3, 200), FirmwareTarget::kLcdBox, "holds hex-text records"},
      {"box.xut", masked, FirmwareTarget::kSerialLoader, "takes .xup firmware; this is a .xut"},
      {"esc", HexRecords(3, 200), FirmwareTarget::kHidRecordLoader, "has no extension"},
      {"esc.HGM", masked, FirmwareTarget::kBlockLoaderEsc, ""}};
  for (const auto& [name, contents, target, problem] : cases) {
    SCOPED_TRACE(name);
    const FirmwarePreflight p = PreflightFirmware(Write(name, contents), target);
    EXPECT_EQ(p.ok(), problem.empty());
    EXPECT_NE(p.problem.value_or("").find(problem), std::string::npos) << p.problem.value_or("");
    EXPECT_EQ(p.image.size(), problem.empty() ? 1500u : 0u);
  }
}

TEST(FileVersion, NumberFromTheNameAfterItsThreeCharacterPrefix) {
  EXPECT_EQ(FileVersionFromName("C:\\fw\\ESC01A0.xup").number, 0x1A0u);
  EXPECT_EQ(FileVersionFromName("/home/u/fw/ESC1A2B.xup").number, 0x1A2Bu);
  EXPECT_EQ(FileVersionFromName("ABC17.xup").number, 0x17u);
  EXPECT_EQ(FileVersionFromName("/fw/ESCabcdef12.XUP").number, 0xABCDEFu);  // six digits

  const FileVersion none = FileVersionFromName("C:\\fw\\V1.xup");
  EXPECT_TRUE(none.xup_found);
  EXPECT_EQ(none.name, "V1.xup");
  EXPECT_EQ(none.number, std::nullopt);
}

TEST(FileVersion, PathIsCutAfterTheFirstXupFromTheSecondCharacter) {
  const FileVersion old = FileVersionFromName("/fw/ESC0200.Xup.old");
  EXPECT_EQ(old.path, "/fw/ESC0200.Xup");
  EXPECT_EQ(old.name, "ESC0200.Xup");
  EXPECT_EQ(old.number, 0x200u);

  // A ".xup" folder comes first; the name is then the folder's.
  const FileVersion folder = FileVersionFromName("/a.xup/ESC0300.xup");
  EXPECT_EQ(folder.path, "/a.xup");
  EXPECT_EQ(folder.name, "a.xup");

  // The search starts at the second character.
  EXPECT_FALSE(FileVersionFromName(".xup").xup_found);

  // Not found within 250 positions (or a .lcv file): the whole path, its last component.
  const std::string deep = "/" + std::string(260, 'd') + "/ESC0042.xup";
  const FileVersion far = FileVersionFromName(deep);
  EXPECT_FALSE(far.xup_found);
  EXPECT_EQ(far.path, deep);
  EXPECT_EQ(far.number, 0x42u);
  const FileVersion lcv = FileVersionFromName("C:\\fw\\ESC0105.lcv");
  EXPECT_FALSE(lcv.xup_found);
  EXPECT_EQ(lcv.name, "ESC0105.lcv");
  EXPECT_EQ(lcv.number, 0x105u);
}

}  // namespace
}  // namespace tessel
