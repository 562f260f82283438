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

#include "sim/esc_model.h"

namespace tessel {

// Which line speed the ESC understands. Bytes at another speed still come back as echo (the
// line returns them) but the ESC neither takes them in nor answers them.
enum class SpeedPolicy { kAny, kOnly1200, kOnly19200 };

// Faults a test or the pty server can switch on: the ESC's own (curve checks, loader verdicts,
// keep_field) and the line's. Everything defaults to a healthy ESC.
struct EscFaults : EscModelFaults {
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
};

class VirtualEsc {
 public:
  static constexpr uint8_t kProbe = 0xF9;
  static constexpr uint8_t kIdentify = 0xD5;
  static constexpr uint8_t kEnterLoader = 0xD6;
  static constexpr uint8_t kVersion = 0xD7;
  static constexpr uint8_t kReadBlock = 0xD8;
  static constexpr uint8_t kCurveHandshake = EscModel::kCurveMarker;
  static constexpr uint8_t kReady = 0x01;
  static constexpr uint8_t kFiller = 0x01;
  static constexpr uint8_t kVerdictAccept = EscModel::kVerdictAccept;
  static constexpr uint8_t kVerdictRefuse = 0x12;
  // What the ESC answers to each loader entry byte (the host ignores its content).
  static constexpr uint8_t kLoaderEntryReply = 0x55;
  static constexpr uint8_t kV1BlockFiller = EscModel::kV1BlockFiller;

  explicit VirtualEsc(EscVariant variant = EscVariant::kFull);

  // One byte from the host at `baud`; returns the bytes the line carries back, echo first.
  std::vector<uint8_t> Feed(uint8_t byte, uint32_t baud);
  void Feed(uint8_t byte, uint32_t baud, std::vector<uint8_t>& out);

  EscVariant variant() const { return model_.variant(); }
  bool is_v1() const { return model_.is_v1(); }
  // The identification reply: 0x2A full, 0x2B V1 with 16-byte block, 0x2C V1 with 14 bytes.
  uint8_t identify_reply() const { return model_.identify_reply(); }

  EscFaults& faults() { return faults_; }
  const EscFaults& faults() const { return faults_; }

  // The ESC's own settings. Tests may change them before a read.
  EscSettingsImage& image() { return model_.image(); }
  const EscSettingsImage& image() const { return model_.image(); }

  // Seven characters; the host reads a hex number from the fourth character on.
  void set_version_text(const std::string& text) { model_.set_version_text(text); }
  const std::string& version_text() const { return model_.version_text(); }

  // Every byte the host put on the line, in order, whatever the ESC made of it.
  const std::vector<uint8_t>& received() const { return received_; }
  void ClearReceived() { received_.clear(); }

  // [command, value] pairs the ESC took in (settings, end of settings, V1 extras).
  const std::vector<std::array<uint8_t, 2>>& pairs() const { return model_.pairs(); }
  int end_of_settings_count() const { return model_.end_of_settings_count(); }
  const std::vector<ReceivedCurve>& received_curves() const { return model_.received_curves(); }
  int probes_seen() const { return probes_seen_; }

  // Loader.
  bool in_loader() const { return mode_ == Mode::kLoader; }
  // The new firmware starts: the ESC leaves its loader. The ESC also does this by itself when
  // the host probes for it at a record boundary.
  void LeaveLoader();
  int record_attempts() const { return model_.record_attempts(); }
  // Records the loader accepted, whole (length bytes included), in order.
  const std::vector<std::vector<uint8_t>>& accepted_records() const {
    return model_.accepted_records();
  }
  // The accepted records end to end: what a correct update has flashed.
  std::vector<uint8_t> flashed() const { return model_.flashed(); }

  // Back to waiting for a command (a power cycle of the ESC, settings kept).
  void ResetLine();

 private:
  enum class Mode { kCommand, kLoader };
  enum class State {
    kIdle,
    kPairValue,     // a set command came; its value is next
    kCurveWrite,    // receiving the 120 bytes and 2 check bytes of a curve write
    kRecordLength,  // loader: second length byte
    kRecordBody,    // loader: record body
  };

  bool Understands(uint32_t baud) const;
  void Command(uint8_t byte, std::vector<uint8_t>& out);
  void LoaderByte(uint8_t byte, std::vector<uint8_t>& out);
  void SendParamBlock(std::vector<uint8_t>& out) const;
  void FinishRecord(std::vector<uint8_t>& out);

  EscModel model_;
  EscFaults faults_;

  Mode mode_ = Mode::kCommand;
  State state_ = State::kIdle;
  uint8_t pending_command_ = 0;
  std::array<uint8_t, EscModel::kCurveWriteBytes> curve_bytes_{};
  size_t curve_pos_ = 0;

  std::vector<uint8_t> record_;
  size_t record_length_ = 0;  // whole record, length bytes included

  std::vector<uint8_t> received_;
  int probes_seen_ = 0;
};

}  // namespace tessel
