// A setup as a link. The setup rides in the URL's fragment (after '#'), which a browser keeps
// to itself, so no server ever sees it:
//
//   BASE#setup=full:<the .DATA file's 800 bytes, as on disk, in base64url>   about 1.1 kB
//   BASE#setup=v1:<a compact JSON setup of the V1 fields, in base64url>
//
// A full ESC's link carries the settings file itself, check value and all, so a link that was
// cut or mistyped is caught by the same checks as a damaged file. Decoding takes the link as
// hostile input: it is bounded in length before anything is read and every byte is checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/setup_json.h"

namespace tessel {

constexpr std::string_view kSetupLinkKey = "setup=";
constexpr std::string_view kSetupLinkFull = "full:";
constexpr std::string_view kSetupLinkV1 = "v1:";
// A full ESC's link is about 1.1 kB after its base; anything this long is no setup link.
constexpr size_t kMaxSetupLinkLength = 4096;
// Where `tesselarc-cli share` points when no --base is given: what `scripts/web.sh serve`
// serves.
constexpr const char* kDefaultShareBase = "http://127.0.0.1:8018/";
// How messages name a link (the link itself is a kilobyte of letters).
constexpr const char* kSetupLinkName = "the setup link";

// RFC 4648 base64url without padding.
std::string Base64UrlEncode(std::span<const uint8_t> bytes);
// Strict about the alphabet (no '+', '/', '=' or blanks inside); bits after the last whole
// byte are ignored. Nothing when a character is not base64url or the length cannot be whole
// bytes; `problem` then says which.
std::optional<std::vector<uint8_t>> Base64UrlDecode(std::string_view text, std::string* problem);

// The fragment (without '#') for the setup in `image`: a full ESC's as its settings file, a
// V1-series ESC's as its V1 fields (the BEC voltage only with `v1_bec`).
std::string SetupLinkFragment(const EscSettingsImage& image, int32_t device_class, bool v1_bec);
// `base` with the fragment; a fragment `base` already has is replaced.
std::string SetupLink(std::string_view base, const EscSettingsImage& image, int32_t device_class,
                      bool v1_bec);

// Whether `text` is meant as a setup link: a whole link with "#setup=" in it, or just the
// fragment ("#setup=..." or "setup=..."). Says nothing about whether it is sound.
bool IsSetupLink(std::string_view text);

// Reads the setup a link carries over `image`: a full ESC's settings file as an import takes
// it (checked, fields beyond their lists clamped, curve tables rebuilt from the points), a
// V1-series setup as a JSON setup. `info` tells the kind. On a refusal `image` is untouched
// and `error` says why ("the setup link is cut short; ...").
bool DecodeSetupLink(std::string_view link, EscSettingsImage& image, std::string& error,
                     SetupInfo* info = nullptr);

// The refusal for a setup the connected ESC cannot take, or nothing when it can: a setup for
// the other kind of ESC, or a V1 setup naming the BEC voltage for a V1-series ESC without BEC.
std::optional<std::string> SetupKindRefusal(const SetupInfo& setup, int32_t device_class,
                                            int32_t v1_block_variant);

// How a message names where a setup came from: the path, or "the setup link".
std::string SetupSourceName(const std::string& path_or_link);

}  // namespace tessel
