// A worked example shared by the tests of both adapters: one chosen full ESC, and the bytes
// that travel for it, written out by hand (never built from the tool's own tables).
#pragma once

#include <algorithm>
#include <string_view>

#include "core/model/settings_image.h"
#include "tests/support/expected_wire.h"

namespace tessel::test_support {

// A curve as it travels: its 40 samples, then x and y, each zero past the end point.
inline Bytes CurveOnWire(std::string_view table, std::string_view x, std::string_view y) {
  Bytes xs = Hex(x), ys = Hex(y);
  xs.resize(40, 0);
  ys.resize(40, 0);
  return Cat({Hex(table), xs, ys});
}

// Boost (0,0) (100,100); brake (0,0) (50,20) (100,100); throttle (0,0) (40,60) (100,100),
// sampled at 2, 5, 7, 10, ... 97, 100.
inline const Bytes kBoostWire = CurveOnWire(R"(
    00 05 07 0A 0C 0F 11 14 16 19 1B 1E 20 23 25 28 2A 2D 2F 32
    34 37 39 3C 3E 41 43 46 48 4B 4D 50 52 55 57 5A 5C 5F 61 64)",
                                            "00 64", "00 64");
inline const Bytes kBoostCheck = Hex("16 26");  // S = 2238: 22, 38
inline const Bytes kBrakeWire = CurveOnWire(R"(
    00 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14
    17 1C 1F 24 27 2C 2F 34 37 3C 3F 44 47 4C 4F 54 57 5C 5F 64)",
                                            "00 32 64", "00 14 64");
inline const Bytes kBrakeCheck = Hex("11 09");  // S = 1709: 17, 9
inline const Bytes kThrottleWire = CurveOnWire(R"(
    00 08 0B 0F 12 17 1A 1E 21 26 29 2D 30 35 38 3C 3D 3F 41 43
    44 46 47 49 4B 4D 4E 50 51 53 55 57 58 5A 5B 5D 5F 61 62 64)",
                                               "00 28 64", "00 3C 64");
inline const Bytes kThrottleCheck = Hex("1B 29");  // S = 2741: 27, 41

inline CurveData CurveFromWire(const Bytes& wire) {
  CurveData c;
  std::copy_n(wire.begin(), 40, c.table.begin());
  std::copy_n(wire.begin() + 40, 40, c.x.begin());
  std::copy_n(wire.begin() + 80, 40, c.y.begin());
  return c;
}

inline EscSettingsImage ChosenEsc() {
  EscSettingsImage im;
  im.run_mode = 1;
  im.reverse_speed = 2;
  im.voltage_cutoff = 34;
  im.esc_heat_protect = 0;
  im.motor_rotation = 1;
  im.throttle_switch_point = 39;
  im.punch_rate1 = 24;
  im.punch_rate2 = 27;
  im.throttle_curve_mode = 1;
  im.drag_brake = 8;
  im.brake_strength = 7;
  im.initial_brake = 3;
  im.brake_switch_point = 59;
  im.brake_rate1 = 14;
  im.brake_rate2 = 11;
  im.brake_curve_mode = 5;  // any non-zero mode is custom
  im.boost_timing = 64;     // the boost curve may use the whole chart
  im.boost_start_rpm = 12;
  im.boost_end_rpm = 33;
  im.boost_slope = 1;
  im.stability_assist = 0;
  im.turbo_timing = 15;
  im.turbo_activation = 2;
  im.turbo_delay = 4;
  im.turbo_start_rpm = 17;
  im.turbo_slope_on = 6;
  im.turbo_slope_off = 5;
  im.log_batt_min_voltage = 74;
  im.log_esc_max_temp = 65;
  im.log_motor_max_temp = 58;
  im.log_motor_max_rpm = 45;
  im.boost_curve = CurveFromWire(kBoostWire);
  im.brake_curve = CurveFromWire(kBrakeWire);
  im.throttle_curve = CurveFromWire(kThrottleWire);
  return im;
}

// The chosen ESC's parameter block, in read order (the last four are its logged run data).
inline const Bytes kParamBlock = Hex(R"(
    01 02 22 00 01 27 18 1B 01 08 07 03 3B 0E 0B 05
    40 0C 21 01 00 0F 02 04 11 06 05 4A 41 3A 2D)");

// Its 27 settings pairs once read (the brake curve mode comes back as 1).
inline const Bytes kChosenPairs = Hex(R"(
    A4 01 E8 02 EC 22 EF 00 E7 01 EA 27 E6 18 EB 1B E9 01
    E4 08 E3 07 ED 03 EE 3B A6 0E A7 0B E1 01
    E5 40 A3 0C A8 21 A9 01 AA 00
    A1 0F AB 02 A2 04 AC 11 AD 06 A5 05)");

}  // namespace tessel::test_support
