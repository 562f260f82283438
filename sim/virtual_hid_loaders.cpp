// The firmware loaders of the devices behind the virtual HID adapter: the block loader of the
// LCD program box and of ESC types 12 and 15, and the record loader of every other ESC. The
// conversations are drawn at the top of virtual_hid_adapter.h.
#include <algorithm>

#include "sim/virtual_hid_adapter.h"

namespace tessel {

namespace {

constexpr uint8_t kCommandPrefix = 0x13;
constexpr uint8_t kBlockStart = 0x7E;
constexpr uint8_t kBlockDone = 0x81;
constexpr uint8_t kBlockRestart = 0xCF;
constexpr size_t kV1TypeBlocksShort = 12;
constexpr size_t kV1TypeBlocksLong = 15;

}  // namespace

bool VirtualHidAdapter::TakesBlocks() const {
  if (kind_ == HidDeviceKind::kLcdBox) return true;
  const bool v1 = kind_ == HidDeviceKind::kV1Esc || kind_ == HidDeviceKind::kV1EscBec;
  const size_t length = model_.v1_block_length();
  return v1 && (length == kV1TypeBlocksShort || length == kV1TypeBlocksLong);
}

void VirtualHidAdapter::StartBlockLoader(std::vector<uint8_t>& answer) {
  block_state_ = BlockState::kReady;
  block_field_.clear();
  answer.push_back(kLoaderReady);
}

void VirtualHidAdapter::BlockError(const std::string& what) {
  loader_errors_.push_back(what);
  block_state_ = BlockState::kIdle;
  block_field_.clear();
}

void VirtualHidAdapter::RestartDevice() {
  block_state_ = BlockState::kIdle;
  block_field_.clear();
  restarted_ = true;
  ++restarts_;
}

// Every "ok" of an update is counted, so that a restart can stand in for any one of them.
void VirtualHidAdapter::BlockOk(std::vector<uint8_t>& answer) {
  ++block_oks_;
  if (faults_.restart_at_ok > 0 && block_oks_ == faults_.restart_at_ok) {
    faults_.restart_at_ok = 0;
    RestartDevice();
    return;
  }
  answer.push_back('o');
  answer.push_back('k');
  split_answer_ = faults_.split_ok;
}

void VirtualHidAdapter::BlockByte(uint8_t byte, std::vector<uint8_t>& answer) {
  if (block_state_ == BlockState::kData) {
    block_image_.push_back(byte);
    if (--block_left_ > 0) return;
    ++block_count_;
    if (block_image_.size() == announced_length_) {
      block_state_ = BlockState::kFinish;
    } else {
      block_state_ = BlockState::kHeader;
    }
    if (block_count_ != faults_.silent_block_ack) BlockOk(answer);
    return;
  }
  // The host repeats its start command while it waits for the ready answer.
  if (block_state_ == BlockState::kReady && block_field_.empty() &&
      (byte == kLcdUpdate || byte == kEscUpdate)) {
    answer.push_back(kLoaderReady);
    return;
  }
  block_field_.push_back(byte);
  if (block_field_.size() < 2) return;
  const uint8_t high = block_field_[0];
  const uint8_t low = block_field_[1];
  const uint32_t value = static_cast<uint32_t>(high) << 8 | low;
  block_field_.clear();
  switch (block_state_) {
    case BlockState::kReady:
      if (high != kCommandPrefix || low != kBlockStart) return BlockError("expected 0x13 0x7E");
      block_oks_ = 0;
      BlockOk(answer);
      if (block_state_ == BlockState::kReady) block_state_ = BlockState::kLength;
      return;
    case BlockState::kLength:
      if (value == 0) return BlockError("image length 0");
      announced_length_ = value;
      block_image_.clear();
      block_lengths_.clear();
      block_count_ = 0;
      block_state_ = BlockState::kHeader;
      return;
    case BlockState::kHeader:
      if (value == 0 || value > kBlockBytes) return BlockError("block length out of range");
      if (block_image_.size() + value > announced_length_) {
        return BlockError("block runs past the announced length");
      }
      // Only the last block may be short.
      if (value < kBlockBytes && block_image_.size() + value != announced_length_) {
        return BlockError("short block before the end");
      }
      block_lengths_.push_back(value);
      block_left_ = value;
      block_state_ = BlockState::kData;
      return;
    case BlockState::kFinish:
      if (high != kCommandPrefix || low != kBlockDone) return BlockError("expected 0x13 0x81");
      BlockOk(answer);
      if (block_state_ == BlockState::kFinish) block_state_ = BlockState::kRestart;
      return;
    case BlockState::kRestart:
      if (high != kCommandPrefix || low != kBlockRestart) return BlockError("expected 0x13 0xCF");
      flashed_image_ = block_image_;
      RestartDevice();
      return;
    case BlockState::kIdle:
    case BlockState::kData:
      return;
  }
}

void VirtualHidAdapter::StartRecordLoader(std::vector<uint8_t>& answer) {
  record_state_ = RecordState::kLengthHigh;
  record_.clear();
  model_.ForgetFlashed();
  answer.push_back(kLoaderReady);
}

bool VirtualHidAdapter::RecordByte(uint8_t byte, std::vector<uint8_t>& answer) {
  switch (record_state_) {
    case RecordState::kLengthHigh:
      if (byte == kEscUpdate) {
        answer.push_back(kLoaderReady);
        return true;
      }
      if (byte == kPresence) {
        record_state_ = RecordState::kIdle;  // the new firmware runs
        return false;
      }
      record_.assign(1, byte);
      record_state_ = RecordState::kLengthLow;
      return true;
    case RecordState::kLengthLow:
      record_.push_back(byte);
      record_left_ = static_cast<size_t>(record_[0]) << 8 | byte;
      record_state_ = RecordState::kBody;
      if (record_left_ > 0) return true;
      break;
    case RecordState::kBody:
      record_.push_back(byte);
      if (--record_left_ > 0) return true;
      break;
    case RecordState::kIdle:
      return false;
  }
  answer.push_back(model_.TakeRecord(record_, faults_));
  record_state_ = RecordState::kLengthHigh;
  return true;
}

}  // namespace tessel
