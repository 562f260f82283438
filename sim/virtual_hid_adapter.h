// The USB HID programming adapter and the one device behind it, in process. The host talks to
// it through the HidDevice interface, exactly as to the hardware:
//
//   host -> adapter   control report   [0xFD 'C' 'O' 'N' 'N' ...]   hello
//   adapter -> host   input report     [0x02 8 0xD7 v1 .. v7 ...]   greeting, after each hello
//   host -> adapter   output report    [0x02 n d1 .. dn ...]        bytes for the device
//   adapter -> host   input report     [0x02 n d1 .. dn ...]        the device's answer
//
// Everything the device says in answer to one output report goes back at once, cut into
// input reports of at most 59 data bytes (123 bytes: 59, 59, 5). The device speaks:
//
//   0xD5             presence   -> 0x2A full ESC, 0x2B V1 ESC with BEC, 0x2C V1 ESC without;
//                                  the LCD program box never answers
//   0xD7             version    -> 7 bytes
//   0xD8             settings   -> 31-byte block (full ESC), 12 to 18 bytes (V1 ESC)
//   0xD4             back to idle, no answer
//   0xDE 0xDB 0xD9   read the boost / brake / throttle curve -> 0x80, 120 bytes, 2 check bytes
//   0xDF 0xDC 0xDA   write a curve -> 0x80; then 134 bytes (120, 2 check bytes, twelve 1s)
//                    -> 0x01
//   [command value]  a setting. A full ESC answers 0x01 once per output report that completed
//                    a pair; a V1 ESC answers every pair with 0x01. A lone 0xE0 to a V1 ESC
//                    closes its packet and gets no answer.
//
// A pair is taken whole from one output report: a command byte that ends a report (padding
// the host did not mean) is dropped rather than pairing with the next report's first byte.
// Bytes 0x00 and 0x01 where a command is expected, and unknown commands, are ignored.
//
// Firmware loaders (virtual_hid_loaders.cpp):
//
//   0xD3 to the LCD program box, 0xD6 to an ESC of type 12 or 15 -> 0xD7, then the block
//   loader: 0x13 0x7E -> "ok"; the image length (2 bytes); per block a 2-byte length (512, or
//   what is left for the last block) and the bytes -> "ok"; 0x13 0x81 -> "ok"; 0x13 0xCF: the
//   device keeps the image and restarts. A restarted box answers presence with 0x27.
//   0xD6 to any other ESC -> 0xD7, then the record loader: records (2-byte body length, body),
//   each answered by a verdict (0x11 accepted, 0x12 refused, scripted others). At a record
//   boundary 0xD6 is answered 0xD7 again, and 0xD5 ends the loader (the new firmware runs)
//   and is answered as a presence query.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/link/hid_device.h"
#include "core/model/settings_image.h"
#include "sim/esc_model.h"

namespace tessel {

enum class HidDeviceKind {
  kFullEsc,   // paged settings, curves
  kV1Esc,     // V1-series without BEC
  kV1EscBec,  // V1-series with the BEC setting
  kLcdBox,    // the LCD program box alone: the adapter greets, nothing answers
};

// Faults a test or the socket server can switch on: the ESC's own (curve checks, record loader
// verdicts, keep_field) and the adapter's. Everything defaults to a healthy adapter and device.
struct HidFaults : EscModelFaults {
  // The first this many presence queries get no answer.
  int silent_presence = 0;
  // No presence query is ever answered.
  bool never_answer_presence = false;
  // Version queries get no answer.
  bool silent_version = false;
  // The acknowledgement with this number is swallowed (1 = the first 0x01 or 0x80 the ESC
  // would send after a pair, a report of pairs, a curve write command or a curve's data);
  // 0 drops none. A curve read's 0x80 marker is part of the answer, not an acknowledgement.
  int drop_ack = 0;
  // Once the host has sent this many data bytes since the adapter was plugged in, the
  // adapter is pulled out right after taking them: no answer to that report comes back, and
  // the host's handle goes stale. -1: never. It fires once, then goes back to -1.
  long unplug_after_bytes = -1;
  // The answer to this command grows by `long_answer_extra` bytes of 0x00; -1: none.
  int long_answer_command = -1;
  size_t long_answer_extra = 0;
  // An answer longer than this many bytes is cut there: the rest is held back until the
  // host's next ReadInputReports call has returned. 0: off.
  size_t split_answer_at = 0;
  // At most this many input reports per ReadInputReports call; 0: as many as asked.
  uint32_t reports_per_fetch = 0;
  // The Nth data report the adapter would send the host (1 = the first, the greeting
  // included) is lost on the cable; 0: none. Fires once.
  int drop_report = 0;
  // Once the host has sent this many data bytes in all, the ESC behind the adapter is gone
  // (its cable pulled, its battery flat): the adapter still greets, but nothing answers and
  // nothing more is taken. -1: never.
  long esc_gone_after_bytes = -1;

  // Block loader: every "ok" goes out as "o", then "k" after the host's next fetch.
  bool split_ok = false;
  // The "ok" of this block (1 = the first block) is never sent; 0: none.
  int silent_block_ack = 0;
  // The device restarts in place of its Nth "ok" of an update (1 = the answer to 0x13 0x7E,
  // then one per block, the last for 0x13 0x81): the transfer is lost. 0: never. Fires once.
  int restart_at_ok = 0;
};

enum class HidReportKind { kControl, kOutput, kInput };

// One report as it crossed the USB cable.
struct HidReportRecord {
  HidReportKind kind = HidReportKind::kOutput;
  std::array<uint8_t, 64> bytes{};
};

class VirtualHidAdapter : public HidDevice {
 public:
  static constexpr uint16_t kReportLength = 64;
  // Eight reports of 59 bytes per fetch: more than any single answer (123 bytes) needs.
  static constexpr uint32_t kMaxReportRequest = 8;
  static constexpr uint8_t kGreeting = 0xD7;
  static constexpr uint8_t kPresence = 0xD5;
  static constexpr uint8_t kVersion = 0xD7;
  static constexpr uint8_t kSettings = 0xD8;
  static constexpr uint8_t kIdle = 0xD4;
  static constexpr uint8_t kEscOut = 0xE0;  // full ESC: a pair; V1 ESC: closes the packet
  static constexpr uint8_t kAck = 0x01;
  static constexpr uint8_t kCurveMarker = EscModel::kCurveMarker;
  static constexpr uint8_t kLcdUpdate = 0xD3;
  static constexpr uint8_t kEscUpdate = 0xD6;
  static constexpr uint8_t kLoaderReady = 0xD7;
  static constexpr size_t kBlockBytes = 512;
  static constexpr size_t kCurveWriteLength = 134;  // 120 bytes, 2 check bytes, twelve 1s

  // `v1_block_length` is the length of a V1 ESC's settings answer; 0 picks 14 (kV1Esc) or
  // 18 (kV1EscBec). Any length is served: fields beyond its end are left out.
  explicit VirtualHidAdapter(HidDeviceKind kind = HidDeviceKind::kFullEsc,
                             size_t v1_block_length = 0, std::string path = "virtual-hid-0");

  // HidDevice.
  uint32_t DeviceCount(uint16_t vendor_id, uint16_t product_id) override;
  int DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                 std::string* path) override;
  int Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
           uint32_t input_buffers) override;
  bool IsOpened() const override { return open_; }
  uint16_t ReportLength() const override { return kReportLength; }
  int SetTimeouts(uint32_t read_ms, uint32_t write_ms) override;
  int SendControlReport(const uint8_t* report, size_t length) override;
  int SendInterruptReport(const uint8_t* report, size_t length) override;
  int ReadInputReports(uint8_t* buffer, size_t size, uint32_t count, uint32_t* returned) override;
  uint32_t MaxReportRequest() const override { return kMaxReportRequest; }
  // The path stays readable on a stale handle: the host compares it with a removal event's.
  int OpenPath(std::string* path) const override;
  void Close() override;

  // Plugging in and pulling out. Pulling out empties the input reports and leaves an open
  // handle stale (every transfer fails until the host closes and opens again); plugging in
  // brings a fresh adapter that greets after the next hello. The device keeps its image.
  void SetPlugged(bool plugged);
  bool plugged() const { return plugged_; }
  // Hot-plug events since the last call, oldest first.
  std::vector<HidEvent> TakeEvents() override;
  // Another adapter with the same ids that only enumerates (it cannot be opened). Extra
  // adapters come before this one, so this one always has the highest index.
  void AddExtraAdapter(const std::string& path);
  const std::string& path() const { return path_; }

  // A freshly powered device of another kind behind the same adapter.
  void ReplaceDevice(HidDeviceKind kind, size_t v1_block_length = 0);
  HidDeviceKind kind() const { return kind_; }
  size_t v1_block_length() const { return model_.v1_block_length(); }

  HidFaults& faults() { return faults_; }
  const HidFaults& faults() const { return faults_; }

  // The greeting's seven version bytes (default 1, 0, 5, 0, 12, 3, 7).
  void set_adapter_version(const std::array<uint8_t, 7>& bytes) { adapter_version_ = bytes; }
  // The device's answer to 0xD7 (default 0x00, 0x00, 0xDD, 5, 12, 3, 7).
  void set_esc_version(const std::array<uint8_t, 7>& bytes) {
    model_.set_version_text(std::string(bytes.begin(), bytes.end()));
  }
  // Overrides the presence answer (0x27, 0x28, 0xD6, ...); nullopt: the kind's own, none for
  // the LCD box.
  void set_presence_answer(std::optional<uint8_t> answer) { presence_override_ = answer; }
  std::optional<uint8_t> presence_answer() const;

  // The device's own settings. Tests may change them before a read and compare after a send.
  EscSettingsImage& image() { return model_.image(); }
  const EscSettingsImage& image() const { return model_.image(); }

  // Every report both ways, in the order they crossed: output reports when the host sent
  // them, input reports when the adapter queued them.
  const std::vector<HidReportRecord>& reports() const { return reports_; }
  // Every data byte the device received, in order, whatever it made of it.
  const std::vector<uint8_t>& received() const { return received_; }
  void ClearReports();
  int hello_count() const { return hello_count_; }
  int presence_queries() const { return presence_queries_; }
  // [command, value] pairs the device took in, in order, end of settings included.
  const std::vector<std::array<uint8_t, 2>>& pairs() const { return model_.pairs(); }
  // [0xAF, value] pairs of a full ESC; lone 0xE0 bytes of a V1 ESC.
  int end_of_settings_count() const { return model_.end_of_settings_count(); }
  const std::vector<ReceivedCurve>& received_curves() const { return model_.received_curves(); }
  // Acknowledgements the device would have sent, dropped ones included.
  int acks() const { return acks_; }

  // Block loader: the bytes of the transfer under way (or the last one), the image the device
  // kept at its last completed update, the length it was told and the block lengths it took.
  bool block_loader_active() const { return block_state_ != BlockState::kIdle; }
  const std::vector<uint8_t>& block_image() const { return block_image_; }
  const std::vector<uint8_t>& flashed_image() const { return flashed_image_; }
  uint32_t announced_length() const { return announced_length_; }
  const std::vector<uint32_t>& block_lengths() const { return block_lengths_; }
  int restarts() const { return restarts_; }
  // Bytes the block loader could not make sense of (a host fault); should stay empty.
  const std::vector<std::string>& loader_errors() const { return loader_errors_; }
  // Record loader.
  bool record_loader_active() const { return record_state_ != RecordState::kIdle; }
  int record_attempts() const { return model_.record_attempts(); }
  // Records accepted since the loader was entered, whole, end to end: what was flashed.
  const std::vector<uint8_t>& flashed_records() const { return model_.flashed(); }

  int open_count() const { return open_count_; }
  uint32_t input_buffers() const { return input_buffers_; }
  uint32_t read_timeout_ms() const { return read_timeout_ms_; }
  uint32_t write_timeout_ms() const { return write_timeout_ms_; }
  // Input reports waiting for the host (held-back parts not counted).
  size_t pending_reports() const { return input_.size(); }
  // Input reports lost because the host let more pile up than it asked to buffer.
  size_t overflowed_reports() const { return overflowed_; }
  // Output reports the adapter could not read as data (wrong id or count).
  int malformed_reports() const { return malformed_; }

 private:
  enum class State {
    kCommand,    // waiting for a command byte
    kPairValue,  // a set command came; its value is next
    kCurveData,  // receiving the 134 bytes of a curve write
  };
  using Report = std::array<uint8_t, kReportLength>;

  enum class BlockState { kIdle, kReady, kLength, kHeader, kData, kFinish, kRestart };
  enum class RecordState { kIdle, kLengthHigh, kLengthLow, kBody };

  int TransferStatus() const;
  void ResetLine();
  bool TakesBlocks() const;
  void StartBlockLoader(std::vector<uint8_t>& answer);
  void BlockByte(uint8_t byte, std::vector<uint8_t>& answer);
  void BlockOk(std::vector<uint8_t>& answer);
  void BlockError(const std::string& what);
  void RestartDevice();
  void StartRecordLoader(std::vector<uint8_t>& answer);
  bool RecordByte(uint8_t byte, std::vector<uint8_t>& answer);  // false: not a loader byte
  void Feed(uint8_t byte, std::vector<uint8_t>& answer);
  void Command(uint8_t byte, std::vector<uint8_t>& answer);
  bool IsSetCommand(uint8_t byte) const;
  void TakePair(uint8_t command, uint8_t value, std::vector<uint8_t>& answer);
  void Ack(uint8_t byte, std::vector<uint8_t>& answer);
  void Answer(const std::vector<uint8_t>& bytes, size_t cut);
  void QueueData(const uint8_t* bytes, size_t count);
  void QueueReport(const Report& report);
  void Record(HidReportKind kind, const uint8_t* report);

  HidDeviceKind kind_;
  EscModel model_;  // the device behind the adapter (the LCD box too: it holds no settings)
  std::string path_;
  std::vector<std::string> extra_paths_;
  HidFaults faults_;
  std::array<uint8_t, 7> adapter_version_{1, 0, 5, 0, 12, 3, 7};
  std::optional<uint8_t> presence_override_;

  bool plugged_ = true;
  bool open_ = false;
  bool stale_ = false;  // opened before the adapter was pulled
  int open_count_ = 0;
  uint32_t input_buffers_ = 0;
  uint32_t read_timeout_ms_ = 0;
  uint32_t write_timeout_ms_ = 0;
  std::deque<Report> input_;
  std::vector<uint8_t> held_;  // the held-back rest of a split answer
  size_t overflowed_ = 0;
  long bytes_since_plug_ = 0;
  long bytes_taken_ = 0;    // data bytes from the host since the adapter was made
  int reports_queued_ = 0;  // data reports put on the cable, for `drop_report`
  std::vector<HidEvent> events_;

  State state_ = State::kCommand;
  uint8_t pending_command_ = 0;
  std::array<uint8_t, kCurveWriteLength> curve_bytes_{};
  size_t curve_pos_ = 0;
  int pairs_in_report_ = 0;  // a full ESC acknowledges a report of pairs once

  BlockState block_state_ = BlockState::kIdle;
  std::vector<uint8_t> block_field_;  // a 2-byte command or length being collected
  uint32_t announced_length_ = 0;
  uint32_t block_left_ = 0;  // bytes of the current block still to come
  int block_count_ = 0;
  int block_oks_ = 0;
  bool split_answer_ = false;  // this report's answer ends with a split "ok"
  bool restarted_ = false;     // the box restarted at least once: it answers presence 0x27
  int restarts_ = 0;
  std::vector<uint8_t> block_image_;
  std::vector<uint8_t> flashed_image_;
  std::vector<uint32_t> block_lengths_;
  std::vector<std::string> loader_errors_;
  RecordState record_state_ = RecordState::kIdle;
  std::vector<uint8_t> record_;
  size_t record_left_ = 0;

  std::vector<HidReportRecord> reports_;
  std::vector<uint8_t> received_;
  int hello_count_ = 0;
  int presence_queries_ = 0;
  int acks_ = 0;
  int malformed_ = 0;
};

}  // namespace tessel
