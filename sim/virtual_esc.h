// The device side of the serial programming protocol: a byte-level model of an ESC behind the
// half-duplex programming line. The host feeds it every byte it writes, together with the line
// speed it writes at; the model returns what the line carries back (the echo of the byte and,
// when the byte completes a command, the ESC's reply).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

enum class EscVariant {
  kFull,   // paged settings, curves
  kV1,     // V1-series, 14-byte block
  kV1Bec,  // V1-series, 16-byte block with the BEC setting
};

// Which line speed the ESC understands. Bytes at another speed still come back as echo (the
// line returns them) but the ESC neither takes them in nor answers them.
enum class SpeedPolicy { kAny, kOnly1200, kOnly19200 };

// Index into the curve arrays below, in the order the host reads and sends the curves.
enum CurveIndex : size_t { kBoostCurve = 0, kBrakeCurve = 1, kThrottleCurve = 2 };

// Faults a test or the pty server can switch on. Everything defaults to a healthy ESC.
struct EscFaults {
  // Nothing comes back at all, not even the echo (adapter without an ESC line).
  bool silent = false;
  SpeedPolicy answer_at = SpeedPolicy::kAny;
  // The first this many presence probes get no reply (the echo still comes).
  int silent_probes = 0;
  std::vector<uint8_t> presence_reply{0xD5, 0x41};
  // No reply to the identification byte.
  bool silent_identify = false;
  // When >= 0, only this many bytes of the parameter block are sent after 0xD8.
  int param_block_limit = -1;
  // Wrong check value after the named curve on a read.
  std::array<bool, 3> bad_curve_check{};
  // Loader verdicts still to come, one per record attempt, taken from the front; when none
  // is left a record gets 0x11.
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

class VirtualEsc {
 public:
  static constexpr uint8_t kProbe = 0xF9;
  static constexpr uint8_t kIdentify = 0xD5;
  static constexpr uint8_t kEnterLoader = 0xD6;
  static constexpr uint8_t kVersion = 0xD7;
  static constexpr uint8_t kReadBlock = 0xD8;
  static constexpr uint8_t kCurveHandshake = 0x80;
  static constexpr uint8_t kReady = 0x01;
  static constexpr uint8_t kFiller = 0x01;
  static constexpr uint8_t kVerdictAccept = 0x11;
  static constexpr uint8_t kVerdictRefuse = 0x12;
  // What the ESC answers to each loader entry byte (the host ignores its content).
  static constexpr uint8_t kLoaderEntryReply = 0x55;
  // Filler bytes of the V1 block (positions no setting uses).
  static constexpr uint8_t kV1BlockFiller = 0x00;

  explicit VirtualEsc(EscVariant variant = EscVariant::kFull);

  // One byte from the host at `baud`; returns the bytes the line carries back, echo first.
  std::vector<uint8_t> Feed(uint8_t byte, uint32_t baud);
  void Feed(uint8_t byte, uint32_t baud, std::vector<uint8_t>& out);

  EscVariant variant() const { return variant_; }
  bool is_v1() const { return variant_ != EscVariant::kFull; }
  // The identification reply: 0x2A full, 0x2B V1 with 16-byte block, 0x2C V1 with 14 bytes.
  uint8_t identify_reply() const;

  EscFaults& faults() { return faults_; }
  const EscFaults& faults() const { return faults_; }

  // The ESC's own settings. Tests may change them before a read.
  EscSettingsImage& image() { return image_; }
  const EscSettingsImage& image() const { return image_; }

  // Seven characters; the host reads a hex number from the fourth character on.
  void set_version_text(const std::string& text);
  const std::string& version_text() const { return version_text_; }

  // Every byte the host put on the line, in order, whatever the ESC made of it.
  const std::vector<uint8_t>& received() const { return received_; }
  void ClearReceived() { received_.clear(); }

  // [command, value] pairs the ESC took in (settings, end of settings, V1 extras).
  const std::vector<std::array<uint8_t, 2>>& pairs() const { return pairs_; }
  int end_of_settings_count() const { return end_of_settings_; }
  const std::vector<ReceivedCurve>& received_curves() const { return received_curves_; }
  int probes_seen() const { return probes_seen_; }

  // Loader.
  bool in_loader() const { return mode_ == Mode::kLoader; }
  // The new firmware starts: the ESC leaves its loader. The ESC also does this by itself when
  // the host probes for it at a record boundary.
  void LeaveLoader();
  int record_attempts() const { return record_attempts_; }
  // Records the loader accepted, whole (length bytes included), in order.
  const std::vector<std::vector<uint8_t>>& accepted_records() const { return accepted_records_; }
  // The accepted records end to end: what a correct update has flashed.
  std::vector<uint8_t> flashed() const;

  // Back to waiting for a command (a power cycle of the ESC, settings kept).
  void ResetLine();

 private:
  enum class Mode { kCommand, kLoader };
  enum class State {
    kIdle,
    kPairValue,     // a set command came; its value is next
    kCurveData,     // receiving the 120 bytes of a curve write
    kCurveCheck,    // receiving the 2 check bytes of a curve write
    kRecordLength,  // loader: second length byte
    kRecordBody,    // loader: record body
  };

  bool Understands(uint32_t baud) const;
  void Command(uint8_t byte, std::vector<uint8_t>& out);
  void LoaderByte(uint8_t byte, std::vector<uint8_t>& out);
  void ApplyPair(uint8_t command, uint8_t value, std::vector<uint8_t>& out);
  void SendParamBlock(std::vector<uint8_t>& out) const;
  void SendCurve(CurveIndex which, std::vector<uint8_t>& out) const;
  void FinishCurveWrite();
  void FinishRecord(std::vector<uint8_t>& out);

  EscVariant variant_;
  EscFaults faults_;
  EscSettingsImage image_;
  std::string version_text_;

  Mode mode_ = Mode::kCommand;
  State state_ = State::kIdle;
  uint8_t pending_command_ = 0;
  ReceivedCurve curve_in_;
  int curve_pos_ = 0;

  std::vector<uint8_t> record_;
  size_t record_length_ = 0;  // whole record, length bytes included

  std::vector<uint8_t> received_;
  std::vector<std::array<uint8_t, 2>> pairs_;
  int end_of_settings_ = 0;
  std::vector<ReceivedCurve> received_curves_;
  int probes_seen_ = 0;
  int record_attempts_ = 0;
  std::vector<std::vector<uint8_t>> accepted_records_;
};

// What an ESC does with a [command, value] settings pair: a full ESC's set command stores its
// field; a V1-series ESC stores its field (the BEC only when it has one, the cut-off by its
// code; an unknown code leaves it as it was). Other commands change nothing.
void TakeFullEscPair(EscSettingsImage& image, uint8_t command, uint8_t value);
void TakeV1EscPair(EscSettingsImage& image, uint8_t command, uint8_t value, bool has_bec);

// The `keep_field` fault: the image as it was before a send changed it, for the one field or
// curve `name` names; everything else as `changed` holds it. Nothing when `name` names none.
void KeepField(const std::string& name, const EscSettingsImage& before, EscSettingsImage& changed);
// Whether `name` names a field or a curve that KeepField can keep.
bool IsKeepableField(const std::string& name);

// A plausible set of values a used ESC would hold, different from the tool's defaults so that
// a read visibly changes something.
EscSettingsImage SampleFullEscImage();
EscSettingsImage SampleV1EscImage();

}  // namespace tessel
