// The virtual ESC itself, with no line in front of it: its settings image, what it answers to
// identification, version, settings and curve queries, what it does with a settings pair, a
// curve write or a firmware record, and the faults that belong to the ESC whichever adapter
// reaches it. The serial echo line (VirtualEsc) and the HID adapter (VirtualHidAdapter) each
// frame the conversation their own way and ask this model for everything the ESC decides.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

enum class EscVariant {
  kFull,   // paged settings, curves
  kV1,     // V1-series, 14-byte block
  kV1Bec,  // V1-series, 16-byte block with the BEC setting
};

// Index into the curve arrays below, in the order the host reads and sends the curves.
enum CurveIndex : size_t { kBoostCurve = 0, kBrakeCurve = 1, kThrottleCurve = 2 };

// Faults of the ESC itself: the same behind the serial line and behind the HID adapter. Each
// front's fault set extends this one with the faults of its own line.
struct EscModelFaults {
  // Wrong check value after the named curve on a read (indexed by CurveIndex).
  std::array<bool, 3> bad_curve_check{};
  // Loader verdicts still to come, one per record, taken from the front; when none is left a
  // record gets 0x11.
  std::vector<uint8_t> loader_verdicts;
  // A send leaves this setting as it was: a field name as 'tesselarc-cli fields' lists it
  // ("drag_brake", "v1_drag_brake") or a curve ("throttle_curve"). The ESC still takes the
  // bytes and answers as usual, so only reading it back shows the loss. Empty: none.
  std::string keep_field;
};

// One curve the ESC received from the host.
struct ReceivedCurve {
  CurveIndex which = kBoostCurve;
  CurveData wire;  // the 120 bytes as they came, placed as the image holds them
  std::array<uint8_t, 2> check{};
  bool check_matched = false;  // only a matching curve goes into the ESC's image
};

// A curve command of a full ESC: which curve, and whether the host reads or writes it.
struct CurveCommand {
  CurveIndex which = kBoostCurve;
  bool write = false;
};

class EscModel {
 public:
  static constexpr uint8_t kCurveMarker = 0x80;
  static constexpr uint8_t kVerdictAccept = 0x11;
  // Filler bytes of the V1 block (positions no setting uses).
  static constexpr uint8_t kV1BlockFiller = 0x00;
  static constexpr size_t kVersionLength = 7;
  // A curve write as the ESC takes it: the 120 wire bytes, then the two check bytes.
  static constexpr size_t kCurveWriteBytes = kCurveWireBytes + 2;

  // `v1_block_length` is the length of a V1 ESC's settings block; 0 picks 14, or 16 with the
  // BEC setting. Any length is served: fields beyond its end are left out.
  explicit EscModel(EscVariant variant = EscVariant::kFull, size_t v1_block_length = 0);

  EscVariant variant() const { return variant_; }
  bool is_v1() const { return variant_ != EscVariant::kFull; }
  bool has_bec() const { return variant_ == EscVariant::kV1Bec; }
  // 0 for a full ESC.
  size_t v1_block_length() const { return v1_block_length_; }

  // The identification (or presence) answer: 0x2A full, 0x2B V1 with BEC, 0x2C V1 without.
  uint8_t identify_reply() const;

  // The ESC's own settings. Tests may change them before a read.
  EscSettingsImage& image() { return image_; }
  const EscSettingsImage& image() const { return image_; }

  // Seven bytes, cut or padded with spaces.
  void set_version_text(const std::string& text);
  const std::string& version_text() const { return version_text_; }

  // The settings block: 31 bytes from a full ESC, the V1 block from a V1-series ESC.
  std::vector<uint8_t> SettingsBlock() const;
  // A full ESC's curve command. A read appends the answer to `out`: the marker, the 120 wire
  // bytes and the two check bytes. A write makes the ESC wait for that curve (TakeCurve).
  // Nothing for any other byte, or for a V1-series ESC.
  std::optional<CurveCommand> TakeCurveCommand(uint8_t byte, const EscModelFaults& faults,
                                               std::vector<uint8_t>& out);

  // A [command, value] settings pair. A full ESC stores the field of its set command, counts
  // the end of the settings (0xAF) and keeps 0xE0's value; a V1-series ESC stores its field
  // (the BEC only when it has one, the cut-off by its code). Other commands change nothing.
  // Returns whether the ESC answers the pair: a V1-series ESC answers every pair, those
  // without a setting here too; a full ESC none.
  bool TakePair(uint8_t command, uint8_t value, const EscModelFaults& faults);
  // The lone byte that closes a V1-series packet.
  void TakeEndOfPacket() { ++end_of_settings_; }
  // The curve the last write command named: `bytes` holds kCurveWriteBytes. Only a curve
  // whose check value matches enters the image.
  void TakeCurve(const uint8_t* bytes, const EscModelFaults& faults);

  // A whole firmware record (length bytes included): returns the loader's verdict and keeps
  // an accepted record.
  uint8_t TakeRecord(const std::vector<uint8_t>& record, EscModelFaults& faults);
  // A new update starts from nothing flashed.
  void ForgetFlashed();
  int record_attempts() const { return record_attempts_; }
  const std::vector<std::vector<uint8_t>>& accepted_records() const { return accepted_records_; }
  // The accepted records end to end: what a correct update has flashed.
  const std::vector<uint8_t>& flashed() const { return flashed_; }

  // [command, value] pairs the ESC took in, in order, end of settings included.
  const std::vector<std::array<uint8_t, 2>>& pairs() const { return pairs_; }
  int end_of_settings_count() const { return end_of_settings_; }
  const std::vector<ReceivedCurve>& received_curves() const { return received_curves_; }

 private:
  EscVariant variant_;
  size_t v1_block_length_;
  EscSettingsImage image_;
  std::string version_text_;
  CurveIndex curve_written_ = kBoostCurve;

  std::vector<std::array<uint8_t, 2>> pairs_;
  int end_of_settings_ = 0;
  std::vector<ReceivedCurve> received_curves_;
  int record_attempts_ = 0;
  std::vector<std::vector<uint8_t>> accepted_records_;
  std::vector<uint8_t> flashed_;
};

// Whether `name` names a field or a curve that the keep_field fault can keep.
bool IsKeepableField(const std::string& name);

// A plausible set of values a used ESC would hold, different from the tool's defaults so that
// a read visibly changes something.
EscSettingsImage SampleFullEscImage();
EscSettingsImage SampleV1EscImage();

}  // namespace tessel
