// The serial front of the virtual ESC: the echoing half-duplex line, the line speed the ESC
// understands, the byte-level command grammar and the loader's record framing. What the ESC
// answers and does with what it takes is EscModel's.
//
//   0xF9             presence probe  -> the presence reply (0xD5 0x41)
//   0xD5             identify        -> 0x2A full, 0x2B V1 with BEC, 0x2C V1
//   0xD8             settings        -> 31-byte block (full), 14 or 16 bytes (V1)
//   0xD7             version         -> 7 characters
//   0xDE 0xDB 0xD9   read a curve    -> 0x80, 120 bytes, the check value (4 bytes for throttle)
//   0xDF 0xDC 0xDA   write a curve   <- 120 bytes, 2 check bytes; no answer
//   [command value]  a setting       -> a V1 ESC answers 0x01; a full ESC nothing
//   0xD6             loader entry    -> 0x55; then records, each answered by a verdict
#include "sim/virtual_esc.h"

#include <algorithm>

namespace tessel {

namespace {

// Both device classes take settings as [command, value] pairs from these two ranges; the
// device class decides what a command means.
bool IsPairCommand(uint8_t byte) {
  return (byte >= 0xA1 && byte <= 0xAF) || (byte >= 0xE1 && byte <= 0xEF);
}

}  // namespace

VirtualEsc::VirtualEsc(EscVariant variant) : model_(variant) {}

std::vector<uint8_t> VirtualEsc::Feed(uint8_t byte, uint32_t baud) {
  std::vector<uint8_t> out;
  Feed(byte, baud, out);
  return out;
}

void VirtualEsc::Feed(uint8_t byte, uint32_t baud, std::vector<uint8_t>& out) {
  received_.push_back(byte);
  if (faults_.silent) return;
  out.push_back(byte);  // the half-duplex line returns every byte, at any speed
  // At a speed the ESC does not run at, the byte reaches it garbled: it neither takes it in
  // nor answers.
  if (!Understands(baud)) return;
  if (mode_ == Mode::kLoader) {
    LoaderByte(byte, out);
  } else {
    Command(byte, out);
  }
}

bool VirtualEsc::Understands(uint32_t baud) const {
  switch (faults_.answer_at) {
    case SpeedPolicy::kAny:
      return true;
    case SpeedPolicy::kOnly1200:
      return baud == 1200;
    case SpeedPolicy::kOnly19200:
      return baud == 19200;
  }
  return true;
}

void VirtualEsc::Command(uint8_t byte, std::vector<uint8_t>& out) {
  switch (state_) {
    case State::kPairValue:
      state_ = State::kIdle;
      if (model_.TakePair(pending_command_, byte, faults_)) out.push_back(kReady);
      return;
    case State::kCurveWrite:
      curve_bytes_[curve_pos_++] = byte;
      if (curve_pos_ == curve_bytes_.size()) {
        state_ = State::kIdle;
        model_.TakeCurve(curve_bytes_.data(), faults_);
      }
      return;
    case State::kRecordLength:
    case State::kRecordBody:
      state_ = State::kIdle;  // cannot happen outside the loader; start afresh
      break;
    case State::kIdle:
      break;
  }

  switch (byte) {
    case kProbe:
      ++probes_seen_;
      if (probes_seen_ > faults_.silent_probes) {
        out.insert(out.end(), faults_.presence_reply.begin(), faults_.presence_reply.end());
      }
      return;
    case kIdentify:
      if (!faults_.silent_identify) out.push_back(model_.identify_reply());
      return;
    case kReadBlock:
      SendParamBlock(out);
      return;
    case kVersion:
      out.insert(out.end(), model_.version_text().begin(), model_.version_text().end());
      return;
    case kEnterLoader:
      mode_ = Mode::kLoader;
      state_ = State::kIdle;
      record_.clear();
      out.push_back(kLoaderEntryReply);
      return;
    default:
      break;
  }

  if (const auto curve = model_.TakeCurveCommand(byte, faults_, out)) {
    if (curve->write) {
      curve_pos_ = 0;
      state_ = State::kCurveWrite;
    } else {
      // The throttle curve's check value is four bytes long on this line; only the first
      // two carry it.
      const int extra = CurveFields()[curve->which].check_reply_length - 2;
      out.insert(out.end(), static_cast<size_t>(std::max(extra, 0)), 0);
    }
    return;
  }

  if (IsPairCommand(byte)) {
    pending_command_ = byte;
    state_ = State::kPairValue;
  }
  // Anything else (the filler bytes of 1 among them) is ignored.
}

void VirtualEsc::SendParamBlock(std::vector<uint8_t>& out) const {
  std::vector<uint8_t> block = model_.SettingsBlock();
  if (faults_.param_block_limit >= 0) {
    block.resize(std::min(block.size(), static_cast<size_t>(faults_.param_block_limit)));
  }
  out.insert(out.end(), block.begin(), block.end());
}

// Loader: records are a 2-byte big-endian body length and the body. At a record boundary two
// bytes are not taken as a record start: 0xD6 (the host repeats its loader entry) and 0xF9
// (the host is probing again, so the new firmware runs). A record of 0xD600 body bytes or more
// therefore cannot be loaded, far beyond what any ESC firmware record holds.
void VirtualEsc::LoaderByte(uint8_t byte, std::vector<uint8_t>& out) {
  switch (state_) {
    case State::kRecordLength: {
      record_.push_back(byte);
      record_length_ = static_cast<size_t>(record_[0]) * 256 + byte + 2;
      if (record_.size() == record_length_) {
        FinishRecord(out);
      } else {
        state_ = State::kRecordBody;
      }
      return;
    }
    case State::kRecordBody:
      record_.push_back(byte);
      if (record_.size() == record_length_) FinishRecord(out);
      return;
    default:
      break;
  }
  if (byte == kEnterLoader) {
    out.push_back(kLoaderEntryReply);
    return;
  }
  if (byte == kProbe) {
    LeaveLoader();
    Command(byte, out);
    return;
  }
  record_.assign(1, byte);
  state_ = State::kRecordLength;
}

void VirtualEsc::FinishRecord(std::vector<uint8_t>& out) {
  const uint8_t verdict = model_.TakeRecord(record_, faults_);
  record_.clear();
  state_ = State::kIdle;
  out.push_back(verdict);
}

void VirtualEsc::LeaveLoader() {
  mode_ = Mode::kCommand;
  state_ = State::kIdle;
  record_.clear();
}

void VirtualEsc::ResetLine() {
  LeaveLoader();
  curve_pos_ = 0;
}

}  // namespace tessel
