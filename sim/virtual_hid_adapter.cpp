#include "sim/virtual_hid_adapter.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessel {

namespace {

constexpr uint8_t kDataReportId = 2;
constexpr uint8_t kHelloReportId = 0xFD;
constexpr size_t kDataPerReport = 59;
constexpr size_t kV1BlockBecDefault = 18;
constexpr uint8_t kLongAnswerFiller = 0x00;
constexpr uint8_t kBoxRestarted = 0x27;
constexpr std::array<uint8_t, 7> kEscVersionDefault{0x00, 0x00, 0xDD, 5, 12, 3, 7};

// The device behind the adapter. The LCD program box holds no ESC settings. A V1 ESC with the
// BEC setting answers 18 bytes here unless told otherwise.
EscModel DeviceModel(HidDeviceKind kind, size_t v1_block_length, const std::string& version) {
  EscVariant variant = EscVariant::kFull;
  if (kind == HidDeviceKind::kV1Esc) variant = EscVariant::kV1;
  if (kind == HidDeviceKind::kV1EscBec) {
    variant = EscVariant::kV1Bec;
    if (v1_block_length == 0) v1_block_length = kV1BlockBecDefault;
  }
  EscModel model(variant, v1_block_length);
  if (kind == HidDeviceKind::kLcdBox) model.image() = EscSettingsImage{};
  model.set_version_text(version);
  return model;
}

bool IdsMatch(uint16_t vendor_id, uint16_t product_id) {
  return vendor_id == kHidVendorId && product_id == kHidProductId;
}

}  // namespace

VirtualHidAdapter::VirtualHidAdapter(HidDeviceKind kind, size_t v1_block_length, std::string path)
    : kind_(kind),
      model_(DeviceModel(kind, v1_block_length,
                         std::string(kEscVersionDefault.begin(), kEscVersionDefault.end()))),
      path_(std::move(path)) {}

// --- enumeration, open, close, hot-plug ---

uint32_t VirtualHidAdapter::DeviceCount(uint16_t vendor_id, uint16_t product_id) {
  if (!IdsMatch(vendor_id, product_id)) return 0;
  return static_cast<uint32_t>(extra_paths_.size()) + (plugged_ ? 1 : 0);
}

int VirtualHidAdapter::DevicePath(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                                  std::string* path) {
  if (path == nullptr) return kHidInvalidBuffer;
  if (index >= DeviceCount(vendor_id, product_id)) return kHidDeviceNotFound;
  *path = index < extra_paths_.size() ? extra_paths_[index] : path_;
  return kHidSuccess;
}

int VirtualHidAdapter::Open(uint32_t index, uint16_t vendor_id, uint16_t product_id,
                            uint32_t input_buffers) {
  if (open_) Close();
  // Extra adapters only enumerate; this one sits after them.
  if (index >= DeviceCount(vendor_id, product_id) || index < extra_paths_.size()) {
    return kHidDeviceNotFound;
  }
  open_ = true;
  stale_ = false;
  ++open_count_;
  input_buffers_ = input_buffers;
  input_.clear();
  held_.clear();
  return kHidSuccess;
}

int VirtualHidAdapter::SetTimeouts(uint32_t read_ms, uint32_t write_ms) {
  if (!open_) return kHidDeviceNotOpened;
  read_timeout_ms_ = read_ms;
  write_timeout_ms_ = write_ms;
  return kHidSuccess;
}

int VirtualHidAdapter::OpenPath(std::string* path) const {
  if (!open_) return kHidDeviceNotOpened;
  if (path == nullptr) return kHidInvalidBuffer;
  *path = path_;
  return kHidSuccess;
}

void VirtualHidAdapter::Close() {
  open_ = false;
  stale_ = false;
  input_.clear();
  held_.clear();
}

void VirtualHidAdapter::SetPlugged(bool plugged) {
  if (plugged == plugged_) return;
  plugged_ = plugged;
  if (!plugged) {
    if (open_) stale_ = true;
    input_.clear();
    held_.clear();
    // Whatever the device was in the middle of is lost with the cable.
    ResetLine();
  } else {
    bytes_since_plug_ = 0;
  }
  events_.push_back({plugged, path_});
}

std::vector<HidEvent> VirtualHidAdapter::TakeEvents() {
  std::vector<HidEvent> events;
  events.swap(events_);
  return events;
}

void VirtualHidAdapter::AddExtraAdapter(const std::string& path) {
  extra_paths_.push_back(path);
  events_.push_back({true, path});
}

void VirtualHidAdapter::ReplaceDevice(HidDeviceKind kind, size_t v1_block_length) {
  kind_ = kind;
  // The version answer is set on the adapter and stays with the new device.
  model_ = DeviceModel(kind, v1_block_length, model_.version_text());
  block_state_ = BlockState::kIdle;
  ResetLine();
  restarted_ = false;
  restarts_ = 0;
  block_image_.clear();
  flashed_image_.clear();
  presence_queries_ = 0;
  acks_ = 0;
}

std::optional<uint8_t> VirtualHidAdapter::presence_answer() const {
  if (presence_override_) return presence_override_;
  if (kind_ != HidDeviceKind::kLcdBox) return model_.identify_reply();
  // The box is silent until it restarted (after an update, or in the middle of one).
  if (restarted_) return kBoxRestarted;
  return std::nullopt;
}

void VirtualHidAdapter::ClearReports() {
  reports_.clear();
  received_.clear();
}

// --- reports ---

int VirtualHidAdapter::TransferStatus() const {
  if (!open_) return kHidDeviceNotOpened;
  if (stale_ || !plugged_) return kHidDeviceIoFailed;
  return kHidSuccess;
}

int VirtualHidAdapter::SendControlReport(const uint8_t* report, size_t length) {
  if (const int status = TransferStatus(); status != kHidSuccess) return status;
  if (report == nullptr || length != kReportLength) return kHidInvalidBuffer;
  Record(HidReportKind::kControl, report);
  if (report[0] == kHelloReportId && std::memcmp(report + 1, "CONN", 4) == 0) {
    ++hello_count_;
    std::vector<uint8_t> greeting{kGreeting};
    greeting.insert(greeting.end(), adapter_version_.begin(), adapter_version_.end());
    QueueData(greeting.data(), greeting.size());
  }
  return kHidSuccess;
}

int VirtualHidAdapter::SendInterruptReport(const uint8_t* report, size_t length) {
  if (const int status = TransferStatus(); status != kHidSuccess) return status;
  if (report == nullptr || length != kReportLength) return kHidInvalidBuffer;
  Record(HidReportKind::kOutput, report);
  // The USB transfer itself went through; the adapter just has no data to relay.
  if (report[0] != kDataReportId || report[1] > kDataPerReport) {
    ++malformed_;
    return kHidSuccess;
  }
  // The held-back rest of an earlier answer reaches the host before anything newer.
  if (!held_.empty()) {
    const std::vector<uint8_t> rest = std::exchange(held_, {});
    QueueData(rest.data(), rest.size());
  }

  auto pull_out_due = [this] {
    return faults_.unplug_after_bytes >= 0 && bytes_since_plug_ >= faults_.unplug_after_bytes;
  };
  std::vector<uint8_t> answer;
  pairs_in_report_ = 0;
  split_answer_ = false;
  const size_t count = report[1];
  for (size_t i = 0; i <= count; ++i) {
    if (pull_out_due()) {
      faults_.unplug_after_bytes = -1;
      SetPlugged(false);
      return kHidSuccess;
    }
    if (i == count) break;
    ++bytes_since_plug_;
    // An ESC that is gone takes nothing, so it answers and acknowledges nothing either.
    if (faults_.esc_gone_after_bytes >= 0 && bytes_taken_ >= faults_.esc_gone_after_bytes) {
      continue;
    }
    ++bytes_taken_;
    Feed(report[2 + i], answer);
  }
  // Pairs never span reports: a command byte at the end of one is padding, not a setting.
  if (state_ == State::kPairValue) state_ = State::kCommand;
  if (pairs_in_report_ > 0) Ack(kAck, answer);
  // A split "ok" ends the answer: its "k" waits for the host's next fetch.
  Answer(answer, split_answer_ && !answer.empty() ? answer.size() - 1 : faults_.split_answer_at);
  return kHidSuccess;
}

int VirtualHidAdapter::ReadInputReports(uint8_t* buffer, size_t size, uint32_t count,
                                        uint32_t* returned) {
  if (returned != nullptr) *returned = 0;
  if (const int status = TransferStatus(); status != kHidSuccess) return status;
  if (buffer == nullptr || returned == nullptr || count == 0 || count > kMaxReportRequest ||
      size < static_cast<size_t>(count) * kReportLength) {
    return kHidInvalidBuffer;
  }
  size_t take = std::min<size_t>(count, input_.size());
  if (faults_.reports_per_fetch > 0) take = std::min<size_t>(take, faults_.reports_per_fetch);
  for (size_t i = 0; i < take; ++i) {
    std::copy(input_.front().begin(), input_.front().end(), buffer + i * kReportLength);
    input_.pop_front();
  }
  *returned = static_cast<uint32_t>(take * kReportLength);
  if (!held_.empty()) {
    const std::vector<uint8_t> rest = std::exchange(held_, {});
    QueueData(rest.data(), rest.size());
  }
  return take == count ? kHidSuccess : kHidTransferTimeout;
}

void VirtualHidAdapter::Answer(const std::vector<uint8_t>& bytes, size_t cut) {
  if (cut > 0 && bytes.size() > cut) {
    QueueData(bytes.data(), cut);
    held_.assign(bytes.begin() + static_cast<long>(cut), bytes.end());
    return;
  }
  QueueData(bytes.data(), bytes.size());
}

void VirtualHidAdapter::QueueData(const uint8_t* bytes, size_t count) {
  for (size_t at = 0; at < count; at += kDataPerReport) {
    const size_t n = std::min(count - at, kDataPerReport);
    Report report{};
    report[0] = kDataReportId;
    report[1] = static_cast<uint8_t>(n);
    std::copy_n(bytes + at, n, report.begin() + 2);
    if (++reports_queued_ == faults_.drop_report) continue;
    QueueReport(report);
  }
}

void VirtualHidAdapter::QueueReport(const Report& report) {
  Record(HidReportKind::kInput, report.data());
  input_.push_back(report);
  // Like the driver's ring of input buffers: the oldest report gives way.
  if (input_buffers_ > 0 && input_.size() > input_buffers_) {
    input_.pop_front();
    ++overflowed_;
  }
}

void VirtualHidAdapter::Record(HidReportKind kind, const uint8_t* report) {
  HidReportRecord record;
  record.kind = kind;
  std::copy_n(report, kReportLength, record.bytes.begin());
  reports_.push_back(record);
}

// --- the device behind the adapter ---

void VirtualHidAdapter::ResetLine() {
  state_ = State::kCommand;
  pending_command_ = 0;
  curve_pos_ = 0;
  // A box in the middle of its update loses power with the cable and comes back restarted.
  if (block_state_ != BlockState::kIdle && kind_ == HidDeviceKind::kLcdBox) RestartDevice();
  block_state_ = BlockState::kIdle;
  block_field_.clear();
  record_state_ = RecordState::kIdle;
}

void VirtualHidAdapter::Feed(uint8_t byte, std::vector<uint8_t>& answer) {
  received_.push_back(byte);
  if (block_state_ != BlockState::kIdle) {
    BlockByte(byte, answer);
    return;
  }
  if (record_state_ != RecordState::kIdle && RecordByte(byte, answer)) return;
  switch (state_) {
    case State::kPairValue:
      state_ = State::kCommand;
      TakePair(pending_command_, byte, answer);
      return;
    case State::kCurveData:
      curve_bytes_[curve_pos_++] = byte;
      if (curve_pos_ == kCurveWriteLength) {
        state_ = State::kCommand;
        curve_pos_ = 0;
        // The twelve 1s after the check value are the adapter's; the ESC takes the rest.
        model_.TakeCurve(curve_bytes_.data(), faults_);
        Ack(kAck, answer);
      }
      return;
    case State::kCommand:
      break;
  }
  const size_t before = answer.size();
  Command(byte, answer);
  if (faults_.long_answer_command == byte && answer.size() > before) {
    answer.insert(answer.end(), faults_.long_answer_extra, kLongAnswerFiller);
  }
}

void VirtualHidAdapter::Command(uint8_t byte, std::vector<uint8_t>& answer) {
  if (byte == kPresence) {
    ++presence_queries_;
    const auto reply = presence_answer();
    if (reply && !faults_.never_answer_presence && presence_queries_ > faults_.silent_presence) {
      answer.push_back(*reply);
    }
    return;
  }
  if (kind_ == HidDeviceKind::kLcdBox) {
    if (byte == kLcdUpdate) StartBlockLoader(answer);
    return;  // nothing else: it only greets through the adapter
  }
  if (byte == kEscUpdate) {
    if (TakesBlocks()) {
      StartBlockLoader(answer);
    } else {
      StartRecordLoader(answer);
    }
    return;
  }

  switch (byte) {
    case kVersion:
      if (!faults_.silent_version) {
        answer.insert(answer.end(), model_.version_text().begin(), model_.version_text().end());
      }
      return;
    case kSettings: {
      const std::vector<uint8_t> block = model_.SettingsBlock();
      answer.insert(answer.end(), block.begin(), block.end());
      return;
    }
    case kIdle:
      return;
    default:
      break;
  }

  if (const auto curve = model_.TakeCurveCommand(byte, faults_, answer)) {
    if (curve->write) {
      curve_pos_ = 0;
      state_ = State::kCurveData;
      Ack(kCurveMarker, answer);
    }
    return;
  }
  if (model_.is_v1() && byte == kEscOut) {
    model_.TakeEndOfPacket();  // a V1 ESC's packet ends with a lone 0xE0
    return;
  }

  if (IsSetCommand(byte)) {
    pending_command_ = byte;
    state_ = State::kPairValue;
  }
  // Anything else (the 0x00 and 0x01 fillers among them) is ignored.
}

bool VirtualHidAdapter::IsSetCommand(uint8_t byte) const {
  if (kind_ == HidDeviceKind::kFullEsc) {
    if (byte == kEscOut || byte == kEndOfSettingsCommand) return true;
    for (const ParamField& f : FullEscFields()) {
      if (f.set_command == byte) return true;
    }
    return false;
  }
  constexpr uint8_t kV1BecCommand = 0xA1;
  return (byte >= 0xE2 && byte <= 0xEC) || byte == kV1BecCommand;
}

void VirtualHidAdapter::TakePair(uint8_t command, uint8_t value, std::vector<uint8_t>& answer) {
  if (model_.TakePair(command, value, faults_)) {
    Ack(kAck, answer);
  } else {
    ++pairs_in_report_;  // the adapter acknowledges a report of pairs once, when it is taken
  }
}

void VirtualHidAdapter::Ack(uint8_t byte, std::vector<uint8_t>& answer) {
  ++acks_;
  if (acks_ == faults_.drop_ack) return;
  answer.push_back(byte);
}

}  // namespace tessel
