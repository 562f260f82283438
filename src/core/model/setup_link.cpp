#include "core/model/setup_link.h"

#include <array>
#include <cstdio>

#include "core/model/settings_file.h"

namespace tessel {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::string_view kBlanks = " \t\r\n";

// 0..63, or -1 for a character outside the alphabet.
constexpr std::array<int8_t, 256> DecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& t : table) t = -1;
  for (size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
  }
  return table;
}
constexpr std::array<int8_t, 256> kDecode = DecodeTable();

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// The character as a message may show it: printable ASCII as itself, anything else by value.
std::string Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte > 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  char text[16];
  std::snprintf(text, sizeof text, "a byte 0x%02X", byte);
  return text;
}

std::string Damaged(const std::string& why) {
  return std::string(kSetupLinkName) + " is damaged: " + why;
}

std::string CutShort() {
  return std::string(kSetupLinkName) +
         " is cut short; copy the whole link, up to its last character";
}

std::string V1Json(const EscSettingsImage& image, bool v1_bec) {
  std::string out = "{\"device_class\":1,\"settings\":{";
  bool first = true;
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && !v1_bec) continue;
    if (!first) out += ',';
    first = false;
    out += '"' + std::string(f.name) + "\":" + std::to_string(image.*(f.field));
  }
  return out + "}}";
}

bool DecodeFull(const std::vector<uint8_t>& file, EscSettingsImage& image, std::string& error,
                SetupInfo* info) {
  if (file.size() < kSettingsRecordLength) {
    error = CutShort();
    return false;
  }
  EscSettingsImage read = image;
  const SettingsFileError result = DecodeSettingsFile(file, read);
  if (result != SettingsFileError::kNone) {
    error = Damaged(result == SettingsFileError::kTooLong
                        ? "it carries more than the 800 bytes of a settings file"
                        : SettingsFileRejection(file, result));
    return false;
  }
  std::vector<ClampedField> clamped = ClampImportedFields(read);
  RebuildCurveTables(read);
  image = read;
  if (info) *info = SetupInfo{.clamped = std::move(clamped)};
  return true;
}

bool DecodeV1(const std::vector<uint8_t>& bytes, EscSettingsImage& image, std::string& error,
              SetupInfo* info) {
  const std::string text(bytes.begin(), bytes.end());
  EscSettingsImage read = image;
  SetupInfo setup;
  std::string problem;
  if (!ParseSetupJson(text, kSetupLinkName, read, problem, &setup)) {
    error = Damaged(problem);
    return false;
  }
  if (setup.device_class != kDeviceV1) {
    error = Damaged("it is marked for a V1-series ESC but holds a full ESC's settings");
    return false;
  }
  image = read;
  if (info) *info = setup;
  return true;
}

}  // namespace

std::string Base64UrlEncode(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() * 4 + 2) / 3);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = uint32_t{bytes[i]} << 16;
    if (rest == 2) v |= uint32_t{bytes[i + 1]} << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    if (rest == 2) out += kAlphabet[(v >> 6) & 63];
  }
  return out;
}

std::optional<std::vector<uint8_t>> Base64UrlDecode(std::string_view text, std::string* problem) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (kDecode[static_cast<unsigned char>(text[i])] < 0) {
      if (problem) {
        *problem = "it holds " + Shown(text[i]) + " at character " + std::to_string(i + 1) +
                   " of its setup, which base64url does not use";
      }
      return std::nullopt;
    }
  }
  // One character past whole groups carries 6 bits: less than a byte.
  if (text.size() % 4 == 1) {
    if (problem) *problem = "its length is not that of whole bytes";
    return std::nullopt;
  }
  std::vector<uint8_t> out;
  out.reserve(text.size() * 3 / 4);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    bits = (bits << 6) | static_cast<uint32_t>(kDecode[static_cast<unsigned char>(c)]);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<uint8_t>(bits >> count));
      bits &= (1u << count) - 1;
    }
  }
  return out;
}

std::string SetupLinkFragment(const EscSettingsImage& image, int32_t device_class, bool v1_bec) {
  std::string fragment(kSetupLinkKey);
  if (device_class == kDeviceV1) {
    const std::string json = V1Json(image, v1_bec);
    fragment +=
        std::string(kSetupLinkV1) +
        Base64UrlEncode(std::span(reinterpret_cast<const uint8_t*>(json.data()), json.size()));
  } else {
    fragment += std::string(kSetupLinkFull) + Base64UrlEncode(EncodeSettingsFile(image));
  }
  return fragment;
}

std::string SetupLink(std::string_view base, const EscSettingsImage& image, int32_t device_class,
                      bool v1_bec) {
  base = base.substr(0, base.find('#'));
  return std::string(base) + "#" + SetupLinkFragment(image, device_class, v1_bec);
}

bool IsSetupLink(std::string_view text) {
  text = Trimmed(text);
  if (text.substr(0, 1) == "#") text.remove_prefix(1);
  if (text.substr(0, kSetupLinkKey.size()) == kSetupLinkKey) return true;
  return text.find("#" + std::string(kSetupLinkKey)) != std::string_view::npos;
}

bool DecodeSetupLink(std::string_view link, EscSettingsImage& image, std::string& error,
                     SetupInfo* info) {
  // Bounded before anything else is looked at.
  if (link.size() > kMaxSetupLinkLength) {
    error = std::string(kSetupLinkName) + " is " + std::to_string(link.size()) +
            " characters long; no setup link is longer than " + std::to_string(kMaxSetupLinkLength);
    return false;
  }
  link = Trimmed(link);
  const size_t hash = link.find('#');
  std::string_view fragment = hash == std::string_view::npos ? link : link.substr(hash + 1);
  if (fragment.substr(0, kSetupLinkKey.size()) != kSetupLinkKey) {
    error = "not a setup link: it has no \"#" + std::string(kSetupLinkKey) + "\"";
    return false;
  }
  fragment.remove_prefix(kSetupLinkKey.size());
  bool full = false;
  if (fragment.substr(0, kSetupLinkFull.size()) == kSetupLinkFull) {
    full = true;
    fragment.remove_prefix(kSetupLinkFull.size());
  } else if (fragment.substr(0, kSetupLinkV1.size()) == kSetupLinkV1) {
    fragment.remove_prefix(kSetupLinkV1.size());
  } else {
    error = Damaged("it names no kind of ESC (\"full:\" or \"v1:\" after \"setup=\")");
    return false;
  }
  if (fragment.empty()) {
    error = CutShort();
    return false;
  }
  std::string problem;
  const std::optional<std::vector<uint8_t>> bytes = Base64UrlDecode(fragment, &problem);
  if (!bytes) {
    // A link cut in the middle of a character group is a link cut short.
    error = fragment.size() % 4 == 1 && problem.rfind("its length", 0) == 0 ? CutShort()
                                                                            : Damaged(problem);
    return false;
  }
  return full ? DecodeFull(*bytes, image, error, info) : DecodeV1(*bytes, image, error, info);
}

std::optional<std::string> SetupKindRefusal(const SetupInfo& setup, int32_t device_class,
                                            int32_t v1_block_variant) {
  auto kind = [](int32_t c) { return c == kDeviceV1 ? "a V1-series ESC" : "a full ESC"; };
  if ((setup.device_class == kDeviceV1) != (device_class == kDeviceV1)) {
    return std::string("the setup is for ") + kind(setup.device_class) + "; the connected ESC is " +
           kind(device_class);
  }
  if (device_class == kDeviceV1 && setup.bec_only_fields && v1_block_variant != kV1Block16) {
    return std::string("the setup names the BEC voltage, and this V1-series ESC has no BEC");
  }
  return std::nullopt;
}

std::string SetupSourceName(const std::string& path_or_link) {
  return IsSetupLink(path_or_link) ? kSetupLinkName : path_or_link;
}

}  // namespace tessel
