#include "core/model/firmware_file.h"
#include "core/model/firmware_preflight.h"

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

TEST_F(FirmwareFiles, LowerCaseDigitsOnlyCountForTheLenientLoader) {
  const std::string p = Write("a.xup", "0a");
  EXPECT_EQ(LoadHexRecordsLenient(p).image, Bytes{0x0A});
  const auto strict = LoadHexRecordsStrict(p);
  EXPECT_EQ(strict.image, Bytes{0x00});
  ASSERT_TRUE(strict.stray.has_value());
  EXPECT_EQ(strict.stray->value, 'a');
  EXPECT_EQ(strict.stray->offset, 1u);
}

TEST_F(FirmwareFiles, StrictLoaderPairsCharactersInTextMode) {
  // CR LF reads as one LF, which then takes a nibble's place and shifts the rest.
  const auto r = LoadHexRecordsStrict(Write("s.xup", "AB\r\nCD"));
  EXPECT_EQ(r.image, (Bytes{0xAB, 0x0C}));
  ASSERT_TRUE(r.stray && r.unpaired);
  EXPECT_EQ(r.stray->value, '\n');
  EXPECT_EQ(r.stray->offset, 3u);
  EXPECT_EQ(r.unpaired->value, 'D');
  EXPECT_EQ(r.unpaired->offset, 5u);
  EXPECT_EQ(CheckFirmwareImage(r),
            "the firmware file has a line break inside its hex digits (0x0A at offset 3); this "
            "file must be one unbroken run of upper-case hex digits");

  // One unbroken run of upper-case digits with a final line end is a sound file.
  const auto good = LoadHexRecordsStrict(Write("t.xup", HexRecords(3, 20) + "\r\n"));
  EXPECT_EQ(good.image.size(), 66u);
  EXPECT_FALSE(good.stray || good.unpaired);
  EXPECT_EQ(CheckFirmwareImage(good), std::nullopt);

  // Any run of line ends and blanks may close the file; before the last digit they are stray.
  const auto trailing = LoadHexRecordsStrict(Write("u.xup", "0001AB\n\n \r\n\t"));
  EXPECT_EQ(trailing.image, (Bytes{0x00, 0x01, 0xAB}));
  EXPECT_FALSE(trailing.stray || trailing.unpaired);
  const auto leading = LoadHexRecordsStrict(Write("v.xup", " 0001AB"));
  ASSERT_TRUE(leading.stray.has_value());
  EXPECT_EQ(leading.stray->offset, 0u);
  const auto odd = LoadHexRecordsStrict(Write("w.xup", "0001ABC\r\n"));
  ASSERT_TRUE(odd.unpaired.has_value());
  EXPECT_EQ(odd.unpaired->value, 'C');
}

TEST_F(FirmwareFiles, MaskedImageIsUnmaskedByteByByte) {
  std::string raw(1000, '\0');
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>((i * 37 + 11) & 0xFF);
  const auto r = LoadMaskedImage(Write("box.xut", raw));
  ASSERT_EQ(r.image.size(), 1000u);
  for (size_t i = 0; i < raw.size(); ++i) {
    ASSERT_EQ(r.image[i], static_cast<uint8_t>(raw[i]) ^ 0xB6) << i;
  }
  // Masked images carry no records: any content passes.
  EXPECT_EQ(CheckFirmwareImage(r), std::nullopt);
}

TEST_F(FirmwareFiles, LoadersFailOnlyWhenTheFileCannotBeOpened) {
  const std::string missing = (dir / "gone.xup").string();
  for (const auto& r :
       {LoadHexRecordsLenient(missing), LoadHexRecordsStrict(missing), LoadMaskedImage(missing)}) {
    EXPECT_FALSE(r.opened);
    EXPECT_NE(r.error.find("gone.xup"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("No such file"), std::string::npos) << r.error;
    EXPECT_EQ(CheckFirmwareImage(r), r.error);
  }
  const std::string empty = Write("empty.xup", "");
  const auto r = LoadHexRecordsLenient(empty);
  EXPECT_TRUE(r.opened);
  EXPECT_TRUE(r.image.empty());
  EXPECT_NE(CheckFirmwareImage(r)->find("no firmware data"), std::string::npos);
}

TEST(FirmwareRecords, RecordLengthNeedsTwoBytes) {
  const Bytes image{0x01, 0x02, 0x03};
  EXPECT_EQ(RecordLengthAt(image, 0), 0x0104u);
  EXPECT_EQ(RecordLengthAt(image, 1), 0x0205u);
  EXPECT_EQ(RecordLengthAt(image, 2), std::nullopt);
  EXPECT_EQ(RecordLengthAt(image, static_cast<size_t>(-1)), std::nullopt);
}

TEST(FirmwareRecords, ChainMustEndExactlyAtTheLastByte) {
  EXPECT_EQ(CheckRecordChain(Bytes{0, 2, 0xAA, 0xBB, 0, 0, 0, 1, 0xCC}), std::nullopt);

  const auto past = CheckRecordChain(Bytes{0, 2, 0xAA, 0xBB, 0, 5, 1, 2});
  ASSERT_TRUE(past.has_value());
  EXPECT_NE(past->find("offset 4 needs 7 bytes but only 4 remain"), std::string::npos) << *past;

  EXPECT_NE(CheckRecordChain(Bytes{0, 2, 0xAA}), std::nullopt);  // one byte short

  const auto single = CheckRecordChain(Bytes{0, 1, 0xAA, 0x00});
  ASSERT_TRUE(single.has_value());
  EXPECT_NE(single->find("single byte at offset 3"), std::string::npos) << *single;
}

TEST_F(FirmwareFiles, DamageCheckRefusesStrayCharactersAndOverflow) {
  // A stray character cuts the image short; the records before it may still chain.
  const auto stray = LoadHexRecordsLenient(Write("x.xup", "0001AA\r\n0002BBCCZ0003"));
  EXPECT_EQ(stray.stop, HexStop::kStrayCharacter);
  EXPECT_EQ(stray.image, (Bytes{0, 1, 0xAA, 0, 2, 0xBB, 0xCC}));
  ASSERT_TRUE(stray.stray.has_value());
  EXPECT_EQ(stray.stray->offset, 16u);
  const auto why = CheckFirmwareImage(stray);
  ASSERT_TRUE(why.has_value());
  EXPECT_NE(why->find("'Z' (0x5A) at offset 16"), std::string::npos) << *why;

  // Four records of 65,536 bytes fill the 256 KiB image exactly.
  const std::string full = HexRecords(4, 0xFFFE);
  const auto exact = LoadHexRecordsLenient(Write("full.xup", full + "\n \n"));
  EXPECT_EQ(exact.image.size(), kHexImageLimit);
  EXPECT_FALSE(exact.data_beyond_limit);
  EXPECT_EQ(CheckFirmwareImage(exact), std::nullopt);

  const auto over = LoadHexRecordsLenient(Write("over.xup", full + "\n0000"));
  EXPECT_EQ(over.image.size(), kHexImageLimit);
  EXPECT_TRUE(over.data_beyond_limit);
  const auto too_big = CheckFirmwareImage(over);
  ASSERT_TRUE(too_big.has_value());
  EXPECT_NE(too_big->find("262144"), std::string::npos) << *too_big;

  const auto strict_over = LoadHexRecordsStrict(Write("over2.xup", full + "00"));
  EXPECT_TRUE(strict_over.data_beyond_limit);
  EXPECT_NE(CheckFirmwareImage(strict_over), std::nullopt);

  EXPECT_EQ(CheckFirmwareImage(LoadMaskedImage(Write("m1.hgm", std::string(65535, 'x')))),
            std::nullopt);
  // One block or less cannot go out as blocks with a last block of its own.
  EXPECT_NE(CheckFirmwareImage(LoadMaskedImage(Write("m0.xut", std::string(512, 'x'))))
                ->find("only 512 bytes"),
            std::string::npos);
  EXPECT_EQ(CheckFirmwareImage(LoadMaskedImage(Write("m3.xut", std::string(513, 'x')))),
            std::nullopt);
  const auto masked_over = LoadMaskedImage(Write("m2.hgm", std::string(65536, 'x')));
  EXPECT_TRUE(masked_over.data_beyond_limit);
  EXPECT_NE(CheckFirmwareImage(masked_over), std::nullopt);

  // A damaged length shows as a record running past the end.
  const auto cut = LoadHexRecordsLenient(Write("cut.xup", HexRecords(2, 10).substr(0, 40)));
  EXPECT_NE(CheckFirmwareImage(cut)->find("offset 12 needs 12 bytes but only 8"),
            std::string::npos);
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
