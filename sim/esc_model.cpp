#include "sim/esc_model.h"

#include <algorithm>

#include "core/model/field_values.h"

namespace tessel {

namespace {

constexpr uint8_t kIdentifyFull = 0x2A;
constexpr uint8_t kIdentifyV1Bec = 0x2B;
constexpr uint8_t kIdentifyV1 = 0x2C;
constexpr uint8_t kFullEscOut = 0xE0;  // a full ESC's pair whose value it keeps as esc_out
constexpr size_t kV1BlockLong = 16;
constexpr size_t kV1BlockShort = 14;

void PutPoints(CurveData& curve, std::initializer_list<std::pair<uint8_t, uint8_t>> points) {
  size_t i = 0;
  for (auto [x, y] : points) {
    curve.x[i] = x;
    curve.y[i] = y;
    ++i;
  }
  SampleCurve(curve, static_cast<uint32_t>(i));
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

// The keep_field fault: the one field or curve `name` names goes back to how it was before the
// send changed it; everything else stays as `changed` holds it.
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

bool IsKeepableField(const std::string& name) {
  if (FindSettableField(name) != nullptr) return true;
  for (const CurveField& c : CurveFields()) {
    if (c.name == name) return true;
  }
  return false;
}

EscModel::EscModel(EscVariant variant, size_t v1_block_length)
    : variant_(variant),
      v1_block_length_(variant == EscVariant::kFull ? 0
                       : v1_block_length != 0       ? v1_block_length
                       : variant == EscVariant::kV1Bec ? kV1BlockLong
                                                       : kV1BlockShort),
      image_(variant == EscVariant::kFull ? SampleFullEscImage() : SampleV1EscImage()),
      version_text_(variant == EscVariant::kFull ? "ESC0120" : "V1E0105") {}

uint8_t EscModel::identify_reply() const {
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

void EscModel::set_version_text(const std::string& text) {
  version_text_ = text.substr(0, kVersionLength);
  version_text_.resize(kVersionLength, ' ');
}

std::vector<uint8_t> EscModel::SettingsBlock() const {
  std::vector<uint8_t> block;
  if (variant_ == EscVariant::kFull) {
    for (const ParamField& f : FullEscFields()) {
      block.push_back(static_cast<uint8_t>(image_.*f.field));
    }
    return block;
  }
  block.assign(v1_block_length_, kV1BlockFiller);
  for (const V1Field& f : V1Fields()) {
    const auto at = static_cast<size_t>(f.block_byte);
    if ((f.bec_only && !has_bec()) || at >= block.size()) continue;
    const int32_t value = image_.*f.field;
    block[at] = f.field == &EscSettingsImage::v1_cutoff_voltage ? V1CutoffCode(value)
                                                                : static_cast<uint8_t>(value);
  }
  return block;
}

std::optional<CurveCommand> EscModel::TakeCurveCommand(uint8_t byte, const EscModelFaults& faults,
                                                        std::vector<uint8_t>& out) {
  if (variant_ != EscVariant::kFull) return std::nullopt;
  const auto curves = CurveFields();
  for (size_t i = 0; i < curves.size(); ++i) {
    const auto which = static_cast<CurveIndex>(i);
    if (byte == curves[i].write_command) {
      curve_written_ = which;
      return CurveCommand{which, true};
    }
    if (byte != curves[i].read_command) continue;
    const CurveData& curve = image_.*curves[i].curve;
    out.push_back(kCurveMarker);
    for (int pos = 0; pos < kCurveWireBytes; ++pos) out.push_back(CurveWireByte(curve, pos));
    auto check = CurveCheckBytes(curve);
    if (faults.bad_curve_check[which]) check[1] = static_cast<uint8_t>((check[1] + 1) % 100);
    out.insert(out.end(), check.begin(), check.end());
    return CurveCommand{which, false};
  }
  return std::nullopt;
}

bool EscModel::TakePair(uint8_t command, uint8_t value, const EscModelFaults& faults) {
  pairs_.push_back({command, value});
  const EscSettingsImage before = image_;
  if (variant_ == EscVariant::kFull) {
    if (command == kEndOfSettingsCommand) {
      ++end_of_settings_;
    } else if (command == kFullEscOut) {
      image_.esc_out = value;
    } else {
      TakeFullEscPair(image_, command, value);
    }
  } else {
    TakeV1EscPair(image_, command, value, has_bec());
  }
  KeepField(faults.keep_field, before, image_);
  return is_v1();
}

void EscModel::TakeCurve(const uint8_t* bytes, const EscModelFaults& faults) {
  ReceivedCurve in;
  in.which = curve_written_;
  for (int pos = 0; pos < kCurveWireBytes; ++pos) {
    SetCurveWireByte(in.wire, pos, bytes[static_cast<size_t>(pos)]);
  }
  in.check = {bytes[kCurveWireBytes], bytes[kCurveWireBytes + 1]};
  in.check_matched = in.check == CurveCheckBytes(in.wire);
  if (in.check_matched) {
    const EscSettingsImage before = image_;
    CurveData& target = image_.*CurveFields()[in.which].curve;
    for (int pos = 0; pos < kCurveWireBytes; ++pos) {
      SetCurveWireByte(target, pos, CurveWireByte(in.wire, pos));
    }
    KeepField(faults.keep_field, before, image_);
  }
  received_curves_.push_back(in);
}

uint8_t EscModel::TakeRecord(const std::vector<uint8_t>& record, EscModelFaults& faults) {
  ++record_attempts_;
  uint8_t verdict = kVerdictAccept;
  if (!faults.loader_verdicts.empty()) {
    verdict = faults.loader_verdicts.front();
    faults.loader_verdicts.erase(faults.loader_verdicts.begin());
  }
  if (verdict == kVerdictAccept) {
    accepted_records_.push_back(record);
    flashed_.insert(flashed_.end(), record.begin(), record.end());
  }
  return verdict;
}

void EscModel::ForgetFlashed() {
  accepted_records_.clear();
  flashed_.clear();
}

}  // namespace tessel
