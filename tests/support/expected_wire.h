// Wire bytes written out by hand, for tests that compare what a device received: a reader for
// hex text, and the command bytes of a full-ESC settings send as the ESC knows them. They are
// written here once and never taken from the tool's own tables, so a swapped byte there fails
// every test that sends.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string_view>
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

// The set command of each sendable full-ESC field, in the order a send writes them.
struct SetCommand {
  std::string_view name;
  int32_t EscSettingsImage::*field;
  uint8_t command;
};

inline constexpr std::array<SetCommand, 27> kSetCommands{{
    {"run_mode", &EscSettingsImage::run_mode, 0xA4},
    {"reverse_speed", &EscSettingsImage::reverse_speed, 0xE8},
    {"voltage_cutoff", &EscSettingsImage::voltage_cutoff, 0xEC},
    {"esc_heat_protect", &EscSettingsImage::esc_heat_protect, 0xEF},
    {"motor_rotation", &EscSettingsImage::motor_rotation, 0xE7},
    {"throttle_switch_point", &EscSettingsImage::throttle_switch_point, 0xEA},
    {"punch_rate1", &EscSettingsImage::punch_rate1, 0xE6},
    {"punch_rate2", &EscSettingsImage::punch_rate2, 0xEB},
    {"throttle_curve_mode", &EscSettingsImage::throttle_curve_mode, 0xE9},
    {"drag_brake", &EscSettingsImage::drag_brake, 0xE4},
    {"brake_strength", &EscSettingsImage::brake_strength, 0xE3},
    {"initial_brake", &EscSettingsImage::initial_brake, 0xED},
    {"brake_switch_point", &EscSettingsImage::brake_switch_point, 0xEE},
    {"brake_rate1", &EscSettingsImage::brake_rate1, 0xA6},
    {"brake_rate2", &EscSettingsImage::brake_rate2, 0xA7},
    {"brake_curve_mode", &EscSettingsImage::brake_curve_mode, 0xE1},
    {"boost_timing", &EscSettingsImage::boost_timing, 0xE5},
    {"boost_start_rpm", &EscSettingsImage::boost_start_rpm, 0xA3},
    {"boost_end_rpm", &EscSettingsImage::boost_end_rpm, 0xA8},
    {"boost_slope", &EscSettingsImage::boost_slope, 0xA9},
    {"stability_assist", &EscSettingsImage::stability_assist, 0xAA},
    {"turbo_timing", &EscSettingsImage::turbo_timing, 0xA1},
    {"turbo_activation", &EscSettingsImage::turbo_activation, 0xAB},
    {"turbo_delay", &EscSettingsImage::turbo_delay, 0xA2},
    {"turbo_start_rpm", &EscSettingsImage::turbo_start_rpm, 0xAC},
    {"turbo_slope_on", &EscSettingsImage::turbo_slope_on, 0xAD},
    {"turbo_slope_off", &EscSettingsImage::turbo_slope_off, 0xA5},
}};

// The curves in the order they travel, with their commands and the bytes of 1 after the check.
struct CurveCommands {
  std::string_view name;
  CurveData EscSettingsImage::*curve;
  int32_t EscSettingsImage::*mode;
  uint8_t read_command;
  uint8_t write_command;
  int fillers;
};

inline constexpr std::array<CurveCommands, 3> kCurveCommands{{
    {"boost_curve", &EscSettingsImage::boost_curve, &EscSettingsImage::boost_slope, 0xDE, 0xDF, 5},
    {"brake_curve", &EscSettingsImage::brake_curve, &EscSettingsImage::brake_curve_mode, 0xDB, 0xDC,
     5},
    {"throttle_curve", &EscSettingsImage::throttle_curve, &EscSettingsImage::throttle_curve_mode,
     0xD9, 0xDA, 10},
}};

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
  Bytes out;
  for (const SetCommand& s : kSetCommands) {
    out.push_back(s.command);
    out.push_back(static_cast<uint8_t>(im.*(s.field)));
  }
  out.insert(out.end(), {0xAF, 0x10, 1, 1, 1});
  for (const CurveCommands& c : kCurveCommands) {
    if (im.*(c.mode) == 0) continue;
    const Bytes wire = CurveWire(im.*(c.curve));
    unsigned sum = 0;
    for (uint8_t b : wire) sum += b;
    out.push_back(c.write_command);
    out.insert(out.end(), wire.begin(), wire.end());
    out.push_back(static_cast<uint8_t>(sum / 100));
    out.push_back(static_cast<uint8_t>(sum % 100));
    out.insert(out.end(), static_cast<size_t>(c.fillers), 1);
  }
  return out;
}

}  // namespace tessel::test_support
