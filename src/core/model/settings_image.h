// The one in-memory copy of everything the tool knows about the connected ESC, the session
// status values that tell the rest of the tool what is connected, and the field tables that
// engines, files and the command line iterate instead of naming fields one by one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tessel {

// A custom response curve: control points in percent and the 40 samples the ESC uses.
// table[40..49] carry no meaning but are kept (settings files store them).
struct CurveData {
  std::array<uint8_t, 100> x{};
  std::array<uint8_t, 100> y{};
  std::array<uint8_t, 50> table{};
};

constexpr int kCurvePointsOnWire = 40;  // only the first 40 points travel to the ESC
constexpr int kCurveWireBytes = 120;    // table[0..39], x[0..39], y[0..39]

struct EscSettingsImage {
  // Full-ESC parameter block, in read order (read indices 0 to 30).
  int32_t run_mode = 0;
  int32_t reverse_speed = 0;
  int32_t voltage_cutoff = 0;
  int32_t esc_heat_protect = 0;
  int32_t motor_rotation = 0;
  int32_t throttle_switch_point = 0;
  int32_t punch_rate1 = 0;
  int32_t punch_rate2 = 0;
  int32_t throttle_curve_mode = 0;
  int32_t drag_brake = 0;
  int32_t brake_strength = 0;
  int32_t initial_brake = 0;
  int32_t brake_switch_point = 0;
  int32_t brake_rate1 = 0;
  int32_t brake_rate2 = 0;
  int32_t brake_curve_mode = 0;
  int32_t boost_timing = 0;
  int32_t boost_start_rpm = 0;
  int32_t boost_end_rpm = 0;
  int32_t boost_slope = 0;
  int32_t stability_assist = 0;
  int32_t turbo_timing = 0;
  int32_t turbo_activation = 0;
  int32_t turbo_delay = 0;
  int32_t turbo_start_rpm = 0;
  int32_t turbo_slope_on = 0;
  int32_t turbo_slope_off = 0;
  int32_t log_batt_min_voltage = 0;  // tenths of a volt
  int32_t log_esc_max_temp = 0;      // degrees Celsius
  int32_t log_motor_max_temp = 0;    // degrees Celsius
  int32_t log_motor_max_rpm = 0;     // thousands of rpm; 16 bits after a file import

  // Never exchanged with the ESC.
  int32_t profile_preset = 0;
  int32_t last_profile_preset = 0;
  int32_t esc_out = 0;

  // V1-series ESC.
  int32_t v1_cutoff_voltage = 0;  // index 0..5; travels as a code
  int32_t v1_running_mode = 0;
  int32_t v1_percentage_braking = 0;
  int32_t v1_drag_brake = 0;
  int32_t v1_motor_timing = 0;
  int32_t v1_initial_acceleration = 0;
  int32_t v1_throttle_limit = 0;
  int32_t v1_throttle_percent_reverse = 0;
  int32_t v1_neutral_range = 0;
  int32_t v1_motor_rotation = 0;
  int32_t v1_bec_voltage = 0;

  CurveData throttle_curve;
  CurveData brake_curve;
  CurveData boost_curve;
};

// Page ids as the main window and the page buttons know them.
enum PageId : int32_t {
  kPageInformation = 1,
  kPageGeneral = 2,
  kPageThrottle = 3,
  kPageBrake = 4,
  kPageBoost = 5,
  kPageTurbo = 6,
  kPageData = 7,
  kPageV1Done = 240,  // requested after a transfer with a V1-series ESC
  kPageLost = 254,    // shown_page after the adapter or the ESC went away
  kPageNone = 255,
};

// A page is open (ids 1 to 9; the pages use 1 to 7), so that "Reset Default" has pages to
// reset; the other ids mean no page is.
constexpr bool IsEditingPage(int32_t page) { return page >= kPageInformation && page <= 9; }

enum DeviceClass : int32_t { kDeviceUnknown = 0, kDeviceV1 = 1, kDeviceFull = 3 };
enum V1BlockVariant : int32_t { kV1Block14 = 10, kV1Block16 = 11 };
enum LinkKind : int32_t { kLinkNone = 0, kLinkSerial = 1, kLinkHid = 2 };

// `adapter_state` and `esc_state`. The serial engine uses all three values; the HID engine
// sets 1 when the adapter greeted and when the device behind it answers presence.
enum AdapterState : int32_t { kAdapterNone = 0, kAdapterLost = 1, kAdapterOpen = 2 };
constexpr int32_t kHidAdapterGreeted = 1;
enum EscState : int32_t { kEscNone = 0, kEscSilent = 1, kEscDetected = 2 };
constexpr int32_t kHidEscPresent = 1;
enum TransferDirection : int32_t { kTransferRead = 1, kTransferSend = 2 };
// `busy_button`: the button whose send runs, drawn pressed until it ends.
enum BusyButton : int32_t { kBusyApply = 8, kBusyDefault = 9, kBusyNone = 255 };

// A curve editor's state: idle, open over its page, or closed by OK or CANCEL and not yet
// taken back by its page (which then shows its value boxes again).
enum class EditorState : int32_t { kIdle = 0, kClosed = 1, kOpen = 2 };

struct SessionStatus {
  int32_t device_class = kDeviceUnknown;
  int32_t v1_block_variant = kV1Block14;
  int32_t link_kind = kLinkNone;
  int32_t adapter_state = kAdapterNone;
  int32_t esc_state = kEscNone;
  int32_t requested_page = kPageNone;
  int32_t shown_page = kPageV1Done;
  bool transfer_active = true;
  int32_t transfer_direction = kTransferRead;
  bool read_in_progress = true;
  bool send_in_progress = false;
  int32_t read_step = 0;
  int32_t send_step = 0;
  int32_t chunk_pos = 0;
  int32_t progress = 0;
  int32_t progress_total = 409;
  bool lcd_box_connected = false;
  // The HID device answered presence as the LCD program box: no ESC is behind the adapter.
  bool lcd_box_answered = false;
  bool curve_editor_open = false;
  bool update_running = false;
  int32_t busy_button = kBusyNone;
  bool page_shown = false;
  EditorState throttle_editor_state = EditorState::kIdle;
  EditorState brake_editor_state = EditorState::kIdle;
  EditorState boost_editor_state = EditorState::kIdle;

  // Both states as the main window counts "connected": both open/detected on the serial
  // adapter, both 1 on the HID adapter.
  bool SerialConnected() const {
    return adapter_state == kAdapterOpen && esc_state == kEscDetected;
  }
  bool HidConnected() const {
    return adapter_state == kHidAdapterGreeted && esc_state == kHidEscPresent;
  }
};

constexpr int32_t kSerialProgressTotal = 409;
constexpr int32_t kHidProgressTotal = 440;

using ImageField = int32_t EscSettingsImage::*;

// One byte of the full-ESC parameter block.
struct ParamField {
  int read_index;
  std::string_view name;
  ImageField field;
  std::optional<uint8_t> set_command;  // none for the read-only log fields
  std::string_view page;
  std::string_view label;
};

// The 31 fields of the parameter block in read order; the first 27 are sendable.
std::span<const ParamField> FullEscFields();
constexpr int kFullEscParamCount = 31;
constexpr int kFullEscSendableCount = 27;
constexpr uint8_t kEndOfSettingsCommand = 0xAF;
constexpr uint8_t kEndOfSettingsValue = 16;

struct V1Field {
  int block_byte;
  std::string_view name;
  ImageField field;
  uint8_t set_command;
  std::string_view label;
  bool bec_only;  // present only in the 16-byte block
};

// The eleven V1-series fields in the order the simple dialog lists them... in block order.
std::span<const V1Field> V1Fields();

// Cut-off voltage index 0..5 travels as these codes.
constexpr std::array<uint8_t, 6> kV1CutoffCodes{38, 40, 42, 44, 46, 47};
uint8_t V1CutoffCode(int32_t index);  // an index outside 0..5 sends its own low byte
std::optional<int32_t> V1CutoffIndexFromCode(uint8_t code);

// Curves and how they travel.
struct CurveField {
  std::string_view name;
  CurveData EscSettingsImage::*curve;
  ImageField mode;  // the field that makes the curve count (non-zero: custom)
  uint8_t read_command;
  uint8_t write_command;
  int filler_count;        // bytes of value 1 sent after the check value
  int check_reply_length;  // bytes the ESC sends as its check value on a read
};

// In the order the engine reads and sends them: boost, brake, throttle.
std::span<const CurveField> CurveFields();
const CurveField& CurveFieldFor(CurveData EscSettingsImage::*curve);

const ParamField* FindFullEscField(std::string_view name);
const V1Field* FindV1Field(std::string_view name);

// Byte `pos` (0..119) of a curve in wire order: table[0..39], x[0..39], y[0..39].
uint8_t CurveWireByte(const CurveData& curve, int pos);
void SetCurveWireByte(CurveData& curve, int pos, uint8_t value);

// Sum of the 120 wire bytes; it travels as two bytes S / 100 and S mod 100 (each mod 256).
uint32_t CurveCheckSum(const CurveData& curve);
std::array<uint8_t, 2> CurveCheckBytes(const CurveData& curve);

// Fills table[0..39] from the first `point_count` points (at most 100 are looked at).
void SampleCurve(const uint8_t* x, const uint8_t* y, uint32_t point_count, uint8_t* table);
inline void SampleCurve(CurveData& curve, uint32_t point_count) {
  SampleCurve(curve.x.data(), curve.y.data(), point_count, curve.table.data());
}

}  // namespace tessel
