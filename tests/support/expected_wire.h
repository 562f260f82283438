// Wire bytes written out by hand, for tests that compare what a device received: a reader for
// hex text, and the command bytes of a full-ESC settings send as the ESC knows them. They are
// written here once and never taken from the tool's own tables, so a swapped byte there fails
// every test that sends.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel::test_support {

using Bytes = std::vector<uint8_t>;

// "D5 2A 0f" -> {0xD5, 0x2A, 0x0F}; spaces and line breaks between bytes are ignored.
inline Bytes Hex(std::string_view text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Bytes out;
  int high = -1;
  for (char c : text) {
    const int n = nibble(c);
    if (n < 0) continue;
    if (high < 0) {
      high = n;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + n));
      high = -1;
    }
  }
  return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The set commands of the 27 sendable full-ESC fields, in read order (the order a send writes
// them), and the curves' commands and bytes of 1 after the check value (boost, brake, throttle).
inline constexpr std::array<uint8_t, 27> kSetCommands{
    0xA4, 0xE8, 0xEC, 0xEF, 0xE7,  // run mode, reverse speed, cutoff, heat, rotation
    0xEA, 0xE6, 0xEB, 0xE9,        // throttle switch point, punch 1 and 2, throttle curve mode
    0xE4, 0xE3, 0xED, 0xEE,        // drag brake, brake strength, initial brake, switch point
    0xA6, 0xA7, 0xE1,              // brake rate 1 and 2, brake curve mode
    0xE5, 0xA3, 0xA8, 0xA9, 0xAA,  // boost timing, start and end rpm, slope, stability assist
    0xA1, 0xAB, 0xA2, 0xAC,        // turbo timing, activation, delay, start rpm
    0xAD, 0xA5,                    // turbo slope on and off
};
inline constexpr std::array<uint8_t, 3> kCurveReadCommands{0xDE, 0xDB, 0xD9};
inline constexpr std::array<uint8_t, 3> kCurveWriteCommands{0xDF, 0xDC, 0xDA};
inline constexpr std::array<int, 3> kCurveFillers{5, 5, 10};

// A curve as it travels: table[0..39], x[0..39], y[0..39].
inline Bytes CurveWire(const CurveData& c) {
  Bytes out(c.table.begin(), c.table.begin() + 40);
  out.insert(out.end(), c.x.begin(), c.x.begin() + 40);
  out.insert(out.end(), c.y.begin(), c.y.begin() + 40);
  return out;
}

// What a full-ESC send of `im` writes: the 27 pairs, [0xAF, 16], three bytes of 1, then each
// custom curve with its command, its check value S / 100, S mod 100 and its bytes of 1.
inline Bytes ExpectedFullSend(const EscSettingsImage& im) {
  // The fields in read order: the worked examples check that order.
  Bytes out;
  for (size_t i = 0; i < kSetCommands.size(); ++i) {
    out.push_back(kSetCommands[i]);
    out.push_back(static_cast<uint8_t>(im.*(FullEscFields()[i].field)));
  }
  out.insert(out.end(), {0xAF, 0x10, 1, 1, 1});
  for (size_t i = 0; i < 3; ++i) {
    const CurveField& c = CurveFields()[i];
    if (im.*(c.mode) == 0) continue;
    const Bytes wire = CurveWire(im.*(c.curve));
    unsigned sum = 0;
    for (uint8_t b : wire) sum += b;
    out.push_back(kCurveWriteCommands[i]);
    out.insert(out.end(), wire.begin(), wire.end());
    out.push_back(static_cast<uint8_t>(sum / 100));
    out.push_back(static_cast<uint8_t>(sum % 100));
    out.insert(out.end(), static_cast<size_t>(kCurveFillers[i]), 1);
  }
  return out;
}

}  // namespace tessel::test_support
