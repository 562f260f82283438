// What the ESC answers, decoded once for both adapters: the settings block of a full ESC,
// the block of a V1-series ESC, a curve with its check value, and the version texts. Each
// engine gathers the bytes its own way (the serial line a few a tick, the HID adapter a
// report at a time) and hands them here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/model/settings_image.h"

namespace tessel {

// The full ESC's answer to 0xD8: kFullEscParamCount bytes in read order, each one field.
void DecodeFullBlock(std::span<const uint8_t> block, EscSettingsImage& image);

// True when every value of a V1 block lies in its V1 list; fields beyond the block's end are
// not looked at, and a cut-off code the tool does not know says nothing about the rest (it
// leaves that setting as it was). A block that does not fit came from something other than
// a V1-series ESC.
bool V1BlockFitsLists(std::span<const uint8_t> block, int32_t variant);
// A V1-series ESC's answer to 0xD8 (14 or 16 bytes on the serial line, 12 to 18 through the
// HID adapter): takes its fields into the image, the BEC only from a `kV1Block16` ESC. False,
// with nothing taken, when the block does not fit the V1 lists.
bool DecodeV1Block(std::span<const uint8_t> block, int32_t variant, EscSettingsImage& image);

// A curve as the ESC sends it: its kCurveWireBytes bytes, then two check bytes. The curve as
// received (over `base`, which keeps what the wire does not carry) when the check value
// matches; nothing when it does not, and then nothing of it may be taken.
std::optional<CurveData> DecodeCurveReply(std::span<const uint8_t> wire,
                                          std::span<const uint8_t> check, const CurveData& base);

// The serial ESC's answer to 0xD7: up to 7 characters, ending at the first 0; a byte that is
// no printable character shows as '?'.
std::string SerialVersionText(std::span<const uint8_t> answer);
// "V%d.%02d_%2d%02d%d" of the HID adapter's greeting bytes 1, 3, 5, 6, 7.
std::string AdapterVersionText(const uint8_t* greeting);
// "V%d.%02d_%02d%02d%02d" of bytes 2 to 6 of the ESC's version answer through the HID
// adapter; 0xDD in byte 2 reads as 1.
std::string EscVersionText(const uint8_t* answer);

}  // namespace tessel
