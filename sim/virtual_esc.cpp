#include "sim/virtual_esc.h"

#include <algorithm>

#include "core/model/field_values.h"

namespace tessel {

namespace {

constexpr uint8_t kIdentifyFull = 0x2A;
constexpr uint8_t kIdentifyV1Bec = 0x2B;
constexpr uint8_t kIdentifyV1 = 0x2C;
constexpr size_t kVersionLength = 7;
constexpr size_t kV1BlockLong = 16;
constexpr size_t kV1BlockShort = 14;

// Both device classes take settings as [command, value] pairs from these two ranges; the
// device class decides what a command means.
bool IsPairCommand(uint8_t byte) {
  return (byte >= 0xA1 && byte <= 0xAF) || (byte >= 0xE1 && byte <= 0xEF);
}

void PutPoints(CurveData& curve, std::initializer_list<std::pair<uint8_t, uint8_t>> points) {
  size_t i = 0;
  for (auto [x, y] : points) {
    curve.x[i] = x;
    curve.y[i] = y;
    ++i;
  }
  SampleCurve(curve, static_cast<uint32_t>(i));
}

}  // namespace

EscSettingsImage SampleFullEscImage() {
  EscSettingsImage im;
  im.run_mode = 1;
  im.reverse_speed = 2;
  im.voltage_cutoff = 34;  // 6.2 V
  im.esc_heat_protect = 2;
  im.motor_rotation = 1;
  im.throttle_switch_point = 39;
  im.punch_rate1 = 24;
  im.punch_rate2 = 27;
  im.throttle_curve_mode = 1;
  im.drag_brake = 8;
  im.brake_strength = 7;
  im.initial_brake = 2;
  im.brake_switch_point = 59;
  im.brake_rate1 = 14;
  im.brake_rate2 = 11;
  im.brake_curve_mode = 1;
  im.boost_timing = 24;
  im.boost_start_rpm = 12;
  im.boost_end_rpm = 33;
  im.boost_slope = 1;
  im.stability_assist = 1;
  im.turbo_timing = 15;
  im.turbo_activation = 2;
  im.turbo_delay = 4;
  im.turbo_start_rpm = 17;
  im.turbo_slope_on = 6;
  im.turbo_slope_off = 2;
  im.log_batt_min_voltage = 74;
  im.log_esc_max_temp = 65;
  im.log_motor_max_temp = 58;
  im.log_motor_max_rpm = 45;
  PutPoints(im.throttle_curve, {{0, 0}, {20, 35}, {45, 60}, {70, 82}, {100, 100}});
  PutPoints(im.brake_curve, {{0, 0}, {30, 15}, {65, 55}, {100, 100}});
  PutPoints(im.boost_curve, {{0, 0}, {50, 70}, {100, 100}});
  return im;
}

EscSettingsImage SampleV1EscImage() {
  EscSettingsImage im;
  im.v1_cutoff_voltage = 3;  // code 44
  im.v1_running_mode = 2;
  im.v1_percentage_braking = 6;
  im.v1_drag_brake = 3;
  im.v1_motor_timing = 1;
  im.v1_initial_acceleration = 3;
  im.v1_throttle_limit = 2;
  im.v1_throttle_percent_reverse = 7;
  im.v1_neutral_range = 4;
  im.v1_motor_rotation = 1;
  im.v1_bec_voltage = 1;
  return im;
}

VirtualEsc::VirtualEsc(EscVariant variant)
    : variant_(variant),
      image_(variant == EscVariant::kFull ? SampleFullEscImage() : SampleV1EscImage()),
      version_text_(variant == EscVariant::kFull ? "ESC0120" : "V1E0105") {}

uint8_t VirtualEsc::identify_reply() const {
  switch (variant_) {
    case EscVariant::kFull:
      return kIdentifyFull;
    case EscVariant::kV1Bec:
      return kIdentifyV1Bec;
    case EscVariant::kV1:
      break;
  }
  return kIdentifyV1;
}

void VirtualEsc::set_version_text(const std::string& text) {
  version_text_ = text.substr(0, kVersionLength);
  version_text_.resize(kVersionLength, ' ');
}

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
      ApplyPair(pending_command_, byte, out);
      return;
    case State::kCurveData:
      SetCurveWireByte(curve_in_.wire, curve_pos_++, byte);
      if (curve_pos_ == kCurveWireBytes) {
        curve_pos_ = 0;
        state_ = State::kCurveCheck;
      }
      return;
    case State::kCurveCheck:
      curve_in_.check[static_cast<size_t>(curve_pos_++)] = byte;
      if (curve_pos_ == 2) {
        state_ = State::kIdle;
        FinishCurveWrite();
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
      if (!faults_.silent_identify) out.push_back(identify_reply());
      return;
    case kReadBlock:
      SendParamBlock(out);
      return;
    case kVersion:
      out.insert(out.end(), version_text_.begin(), version_text_.end());
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

  if (variant_ == EscVariant::kFull) {
    const auto curves = CurveFields();
    for (size_t i = 0; i < curves.size(); ++i) {
      if (byte == curves[i].read_command) {
        SendCurve(static_cast<CurveIndex>(i), out);
        return;
      }
      if (byte == curves[i].write_command) {
        curve_in_ = ReceivedCurve{};
        curve_in_.which = static_cast<CurveIndex>(i);
        curve_pos_ = 0;
        state_ = State::kCurveData;
        return;
      }
    }
  }

  if (IsPairCommand(byte)) {
    pending_command_ = byte;
    state_ = State::kPairValue;
  }
  // Anything else (the filler bytes of 1 among them) is ignored.
}

void TakeFullEscPair(EscSettingsImage& image, uint8_t command, uint8_t value) {
  for (const ParamField& f : FullEscFields()) {
    if (f.set_command && *f.set_command == command) {
      image.*f.field = value;
      return;
    }
  }
}

void TakeV1EscPair(EscSettingsImage& image, uint8_t command, uint8_t value, bool has_bec) {
  for (const V1Field& f : V1Fields()) {
    if (f.set_command != command) continue;
    if (f.bec_only && !has_bec) return;
    if (f.field == &EscSettingsImage::v1_cutoff_voltage) {
      // An unknown code leaves the setting as it was.
      if (auto index = V1CutoffIndexFromCode(value)) image.v1_cutoff_voltage = *index;
    } else {
      image.*f.field = value;
    }
    return;
  }
}

bool IsKeepableField(const std::string& name) {
  if (FindSettableField(name) != nullptr) return true;
  for (const CurveField& c : CurveFields()) {
    if (c.name == name) return true;
  }
  return false;
}

void KeepField(const std::string& name, const EscSettingsImage& before, EscSettingsImage& changed) {
  if (name.empty()) return;
  if (const SettableField* f = FindSettableField(name)) {
    changed.*(f->field) = before.*(f->field);
    return;
  }
  for (const CurveField& c : CurveFields()) {
    if (c.name == name) changed.*(c.curve) = before.*(c.curve);
  }
}

void VirtualEsc::ApplyPair(uint8_t command, uint8_t value, std::vector<uint8_t>& out) {
  pairs_.push_back({command, value});
  const EscSettingsImage before = image_;
  if (variant_ == EscVariant::kFull) {
    if (command == kEndOfSettingsCommand) {
      ++end_of_settings_;
      return;
    }
    TakeFullEscPair(image_, command, value);
    KeepField(faults_.keep_field, before, image_);
    return;
  }
  TakeV1EscPair(image_, command, value, variant_ == EscVariant::kV1Bec);
  KeepField(faults_.keep_field, before, image_);
  // Pairs without a setting here ([0xE9, 1], [0xA2, 1], ...) are taken in silently too.
  out.push_back(kReady);
}

void VirtualEsc::SendParamBlock(std::vector<uint8_t>& out) const {
  std::vector<uint8_t> block;
  if (variant_ == EscVariant::kFull) {
    for (const ParamField& f : FullEscFields()) {
      block.push_back(static_cast<uint8_t>(image_.*f.field));
    }
  } else {
    const bool bec = variant_ == EscVariant::kV1Bec;
    block.assign(bec ? kV1BlockLong : kV1BlockShort, kV1BlockFiller);
    for (const V1Field& f : V1Fields()) {
      if (f.bec_only && !bec) continue;
      const int32_t value = image_.*f.field;
      block[static_cast<size_t>(f.block_byte)] = f.field == &EscSettingsImage::v1_cutoff_voltage
                                                     ? V1CutoffCode(value)
                                                     : static_cast<uint8_t>(value);
    }
  }
  if (faults_.param_block_limit >= 0) {
    block.resize(std::min(block.size(), static_cast<size_t>(faults_.param_block_limit)));
  }
  out.insert(out.end(), block.begin(), block.end());
}

void VirtualEsc::SendCurve(CurveIndex which, std::vector<uint8_t>& out) const {
  const CurveField& field = CurveFields()[which];
  const CurveData& curve = image_.*field.curve;
  out.push_back(kCurveHandshake);
  for (int pos = 0; pos < kCurveWireBytes; ++pos) out.push_back(CurveWireByte(curve, pos));
  auto check = CurveCheckBytes(curve);
  if (faults_.bad_curve_check[which]) check[1] = static_cast<uint8_t>((check[1] + 1) % 100);
  out.insert(out.end(), check.begin(), check.end());
  // The throttle curve's check value is four bytes long; only the first two carry it.
  for (int i = 2; i < field.check_reply_length; ++i) out.push_back(0);
}

void VirtualEsc::FinishCurveWrite() {
  curve_in_.check_matched = curve_in_.check == CurveCheckBytes(curve_in_.wire);
  if (curve_in_.check_matched) {
    const EscSettingsImage before = image_;
    CurveData& target = image_.*CurveFields()[curve_in_.which].curve;
    for (int pos = 0; pos < kCurveWireBytes; ++pos) {
      SetCurveWireByte(target, pos, CurveWireByte(curve_in_.wire, pos));
    }
    KeepField(faults_.keep_field, before, image_);
  }
  received_curves_.push_back(curve_in_);
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
  ++record_attempts_;
  uint8_t verdict = kVerdictAccept;
  if (!faults_.loader_verdicts.empty()) {
    verdict = faults_.loader_verdicts.front();
    faults_.loader_verdicts.erase(faults_.loader_verdicts.begin());
  }
  if (verdict == kVerdictAccept) accepted_records_.push_back(record_);
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

std::vector<uint8_t> VirtualEsc::flashed() const {
  std::vector<uint8_t> all;
  for (const auto& r : accepted_records_) all.insert(all.end(), r.begin(), r.end());
  return all;
}

}  // namespace tessel
