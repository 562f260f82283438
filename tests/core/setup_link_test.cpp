// Setup links: one worked example (a known settings file, its link written out where it can be
// told by hand, and back byte for byte) and the refusals of a link that was damaged, cut short,
// is for another ESC or is no base64url. A V1 ESC's link is the tool test's.
#include "core/model/setup_link.h"

#include <gtest/gtest.h>

#include "core/model/settings_file.h"
#include "sim/esc_model.h"

namespace tessel {
namespace {

constexpr const char* kBase = "https://tessel.example/arc/";

TEST(SetupLink, AFullEscsLinkIsItsSettingsFileAndComesBackByteForByte) {
  const EscSettingsImage sample = SampleFullEscImage();
  const std::vector<uint8_t> file = EncodeSettingsFile(sample);
  const std::string link = SetupLink(kBase, sample, kDeviceFull, false);
  const std::string head = std::string(kBase) + "#setup=full:";
  ASSERT_EQ(link.substr(0, head.size()), head);
  // 800 bytes are 266 groups of three and two over: 1064 + 3 characters, no padding. The file
  // ends 00 03 20 (its length) and A0 10: "AAMg" and "oBA".
  EXPECT_EQ(link.size() - head.size(), 1067u);
  EXPECT_EQ(link.substr(link.size() - 7), "AAMgoBA");
  EXPECT_EQ(Base64UrlDecode(link.substr(head.size()), nullptr), file);

  EscSettingsImage back;
  std::string error;
  SetupInfo info;
  ASSERT_TRUE(DecodeSetupLink(link, back, error, &info)) << error;
  EXPECT_EQ(info.device_class, kDeviceFull);
  EXPECT_FALSE(info.json);
  EXPECT_EQ(EncodeSettingsFile(back), file);
  EXPECT_EQ(SetupLink(kBase, back, kDeviceFull, false), link);

  // The fragment alone, with or without '#', or pasted with blanks round it; a base that
  // already carries a fragment gets this one instead.
  const std::string fragment = link.substr(link.find('#'));
  for (const std::string& given : {fragment, fragment.substr(1), "  " + link + "\n"}) {
    EXPECT_TRUE(IsSetupLink(given));
    EscSettingsImage again;
    ASSERT_TRUE(DecodeSetupLink(given, again, error)) << given.substr(0, 40) << ": " << error;
    EXPECT_EQ(EncodeSettingsFile(again), file);
  }
  EXPECT_EQ(SetupLink(link, sample, kDeviceFull, false), link);
  EXPECT_FALSE(IsSetupLink("https://tessel.example/#other=1"));
}

TEST(SetupLink, ADamagedTruncatedForeignOrMisspeltLinkIsRefusedWithItsReason) {
  const std::string link = SetupLink(kBase, SampleFullEscImage(), kDeviceFull, false);
  const size_t start = link.find(':', link.find('#')) + 1;
  auto with = [&](size_t at, char c) {
    std::string changed = link;
    changed[start + at] = changed[start + at] == c ? c + 1 : c;
    return changed;
  };
  const std::string cut =
      "the setup link is cut short; copy the whole link, up to its last character";
  const std::pair<std::string, std::string> refused[] = {
      {with(500, 'A'), "the setup link is damaged: the check value does not match the contents"},
      {link.substr(0, link.size() - 1), cut},
      {link.substr(0, start + 400), cut},
      {link.substr(0, start), cut},
      {with(10, '+'),
       "the setup link is damaged: it holds '+' at character 11 of its setup, "
       "which base64url does not use"},
      {link + "==",
       "the setup link is damaged: it holds '=' at character 1068 of its setup, "
       "which base64url does not use"},
      {"https://tessel.example/#settings=abc", "not a setup link: it has no \"#setup=\""},
      {link + std::string(4000, 'A'), "the setup link is " + std::to_string(link.size() + 4000) +
                                          " characters long; no setup link is longer than 4096"},
  };
  for (const auto& [given, reason] : refused) {
    EscSettingsImage image = SampleFullEscImage();
    image.drag_brake = 7;
    const std::vector<uint8_t> before = EncodeSettingsFile(image);
    std::string error;
    EXPECT_FALSE(DecodeSetupLink(given, image, error)) << given.substr(0, 60);
    EXPECT_EQ(error, reason);
    EXPECT_EQ(EncodeSettingsFile(image), before) << "a refused link changed the image";
  }

  // A sound link for the other kind of ESC decodes, and the connected ESC refuses it.
  SetupInfo v1;
  v1.device_class = kDeviceV1;
  EXPECT_EQ(SetupKindRefusal(v1, kDeviceFull, kV1Block14),
            "the setup is for a V1-series ESC; the connected ESC is a full ESC");
}

}  // namespace
}  // namespace tessel
