#include "core/model/setup_json.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "core/model/curve_model.h"
#include "core/model/settings_file.h"
#include "core/model/setup_link.h"
#include "core/model/field_values.h"
#include "core/model/json_reader.h"

namespace tessel {

namespace {

using Kind = JsonValue::Kind;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string Point(int64_t x, int64_t y) {
  return "(" + std::to_string(x) + "," + std::to_string(y) + ")";
}

CurveKind KindOf(CurveData EscSettingsImage::*curve) {
  if (curve == &EscSettingsImage::boost_curve) return CurveKind::kBoost;
  if (curve == &EscSettingsImage::brake_curve) return CurveKind::kBrake;
  return CurveKind::kThrottle;
}

struct Choice {
  const SettableField* field;
  int32_t index;
  int line;
  std::string where;  // "settings.run_mode"
};

struct CurvePoints {
  CurveData EscSettingsImage::*curve;
  std::vector<std::pair<uint8_t, uint8_t>> points;
};

class SetupReader {
 public:
  SetupReader(const std::string& name, const EscSettingsImage& image)
      : name_(name), image_(image) {}

  bool Read(std::string_view text) {
    JsonValue root;
    std::string problem;
    int line = 0;
    if (!ParseJson(text, root, problem, line)) return Refuse(line, "", problem);
    if (root.kind != Kind::kObject) {
      return Refuse(
          root.line, "",
          std::string("a setup is a JSON object ({...}), not ") + std::string(root.KindName()));
    }
    for (const JsonMember& m : root.members) {
      if (!TopLevel(m)) return false;
    }
    if (!ResolveDeviceClass()) return false;
    return Apply();
  }

  const std::string& error() const { return error_; }
  const EscSettingsImage& image() const { return image_; }
  const SetupInfo& info() const { return info_; }

 private:
  bool Refuse(int line, const std::string& where, const std::string& what) {
    error_ =
        name_ + " line " + std::to_string(line) + ": " + (where.empty() ? "" : where + ": ") + what;
    return false;
  }

  bool Expect(const JsonMember& m, Kind kind, const std::string& where, const char* what) {
    if (m.value.kind == kind) return true;
    return Refuse(m.value.line, where,
                  std::string("expected ") + what + ", found " + std::string(m.value.KindName()));
  }

  bool TopLevel(const JsonMember& m) {
    const std::string& key = m.key;
    if (key == "device_class") {
      if (m.value.kind != Kind::kNumber || !m.value.is_integer ||
          (m.value.integer != kDeviceFull && m.value.integer != kDeviceV1)) {
        return Refuse(
            m.value.line, key,
            "expected 3 (full ESC) or 1 (V1-series ESC), found " +
                (m.value.kind == Kind::kNumber ? m.value.text : std::string(m.value.KindName())));
      }
      device_class_ = static_cast<int32_t>(m.value.integer);
      device_class_line_ = m.line;
      return true;
    }
    if (key == "version") return Expect(m, Kind::kString, key, "a string");
    // The logged run data is what the ESC measured, nothing a setup can set.
    if (key == "log" || key == "log_units") return Expect(m, Kind::kObject, key, "an object");
    if (key == "damaged") return Damaged(m);
    if (key == "settings") return Settings(m, false);
    if (key == "settings_text") return Settings(m, true);
    if (key == "curves") return Curves(m);
    return Refuse(m.line, "",
                  "unknown key \"" + key +
                      "\" (a setup holds device_class, settings, settings_text and curves)");
  }

  bool Damaged(const JsonMember& m) {
    if (!Expect(m, Kind::kArray, "damaged", "a list")) return false;
    if (m.value.items.empty()) return true;
    std::string names;
    for (const JsonValue& item : m.value.items) {
      if (!names.empty()) names += ", ";
      names += item.kind == Kind::kString ? item.text : std::string(item.KindName());
    }
    return Refuse(m.value.line, "damaged",
                  "the " + names +
                      " curve arrived damaged when this setup was read, so the setup holds "
                      "default points, not the ESC's; read the ESC again");
  }

  bool Settings(const JsonMember& section, bool texts) {
    if (!Expect(section, Kind::kObject, section.key, "an object")) return false;
    for (const JsonMember& m : section.value.members) {
      const std::string where = section.key + "." + m.key;
      const SettableField* field = FindSettableField(m.key);
      if (field == nullptr) {
        std::string what = "unknown field";
        const auto close = ClosestFieldNames(m.key);
        if (!close.empty()) what += "; did you mean " + close[0] + "?";
        return Refuse(m.line, where, what + " ('tesselarc-cli fields' lists them all)");
      }
      // A profile is a preset that rewrites other fields: a setup carries those fields
      // themselves, and which of the two should win would be a guess.
      if (field->field == &EscSettingsImage::profile_preset) {
        return Refuse(m.line, where,
                      "a setup holds the fields a profile sets, not the profile; remove it or "
                      "use 'tesselarc-cli set " +
                          m.key + "=...'");
      }
      int32_t index = 0;
      if (!Value(*field, m.value, texts, where, index)) return false;
      // A field named under both keys must say the same in both, whichever comes first.
      auto same = std::find_if(choices_.begin(), choices_.end(),
                               [&](const Choice& c) { return c.field == field; });
      if (same == choices_.end()) {
        choices_.push_back({field, index, m.line, where});
      } else if (same->index != index) {
        return Refuse(m.line, where,
                      "\"" + OptionTextOrIndex(*field, index) + "\" disagrees with " + same->where +
                          " (" + std::to_string(same->index) + ", \"" +
                          OptionTextOrIndex(*field, same->index) + "\"); keep one of them");
      }
    }
    return true;
  }

  bool Value(const SettableField& field, const JsonValue& v, bool texts, const std::string& where,
             int32_t& index) {
    const int32_t last = static_cast<int32_t>(field.options->size()) - 1;
    const std::string range = "(0.." + std::to_string(last) + ")";
    if (v.kind == Kind::kNumber && !texts) {
      if (!v.is_integer) {
        return Refuse(v.line, where, v.text + " is not an option index, a whole number " + range);
      }
      if (v.integer < 0 || v.integer > last) {
        return Refuse(v.line, where, v.text + " is out of range " + range);
      }
      index = static_cast<int32_t>(v.integer);
      return true;
    }
    if (v.kind != Kind::kString) {
      return Refuse(v.line, where,
                    std::string(texts ? "expected an option's text"
                                      : "expected an option index "
                                        "or an option's text") +
                        ", found " + std::string(v.KindName()));
    }
    // Under "settings_text" a value is a text: the exact text `read --json` prints wins over
    // reading it as an index ("25" in a list of numbers is the option shown as "25").
    if (texts) {
      const auto& options = *field.options;
      if (std::count(options.begin(), options.end(), v.text) == 1) {
        index = static_cast<int32_t>(std::find(options.begin(), options.end(), v.text) -
                                     options.begin());
        return true;
      }
    }
    const OptionChoice choice = ChooseOption(field, v.text);
    if (!choice.index) {
      std::string problem = choice.problem;
      const std::string prefix = field.name + ": ";
      if (problem.compare(0, prefix.size(), prefix) == 0) problem.erase(0, prefix.size());
      return Refuse(v.line, where, problem);
    }
    index = *choice.index;
    return true;
  }

  bool Curves(const JsonMember& section) {
    if (!Expect(section, Kind::kObject, "curves", "an object")) return false;
    curves_line_ = section.line;
    for (const JsonMember& m : section.value.members) {
      const std::string where = "curves." + m.key;
      const CurveField* found = nullptr;
      for (const CurveField& c : CurveFields()) {
        if (c.name == m.key) found = &c;
      }
      if (found == nullptr) {
        return Refuse(m.line, where,
                      "unknown curve (the curves are boost_curve, brake_curve and throttle_curve)");
      }
      if (!Expect(m, Kind::kObject, where, "an object with \"points\"")) return false;
      const JsonMember* points = nullptr;
      for (const JsonMember& k : m.value.members) {
        if (k.key == "points") {
          points = &k;
        } else if (k.key != "table") {
          // The table is what the ESC samples from the points; it is rebuilt from them.
          return Refuse(k.line, where + "." + k.key,
                        "unknown key (a curve holds \"points\"; \"table\" is rebuilt from them)");
        }
      }
      if (points == nullptr) return Refuse(m.line, where, "no \"points\"");
      CurvePoints curve{found->curve, {}};
      if (!Points(*points, where + ".points", curve)) return false;
      curves_.push_back(std::move(curve));
    }
    return true;
  }

  bool Points(const JsonMember& m, const std::string& where, CurvePoints& curve) {
    if (!Expect(m, Kind::kArray, where, "a list of [x, y] points")) return false;
    const auto& items = m.value.items;
    if (items.size() > static_cast<size_t>(kCurvePointsOnWire)) {
      return Refuse(m.value.line, where,
                    std::to_string(items.size()) + " points; a curve holds at most " +
                        std::to_string(kCurvePointsOnWire));
    }
    if (items.size() < 2) {
      return Refuse(m.value.line, where,
                    "a curve needs at least a start point and the end point (100,100)");
    }
    for (size_t i = 0; i < items.size(); ++i) {
      const JsonValue& p = items[i];
      const std::string at = "point " + std::to_string(i + 1);
      if (p.kind != Kind::kArray || p.items.size() != 2 || p.items[0].kind != Kind::kNumber ||
          p.items[1].kind != Kind::kNumber || !p.items[0].is_integer || !p.items[1].is_integer) {
        return Refuse(p.line, where, at + " is not [x, y] with two whole numbers");
      }
      const int64_t x = p.items[0].integer;
      const int64_t y = p.items[1].integer;
      if (x < 0 || x > 100 || y < 0 || y > 100) {
        return Refuse(p.line, where, at + " " + Point(x, y) + " lies outside 0..100");
      }
      if (!curve.points.empty() && x < curve.points.back().first) {
        return Refuse(p.line, where,
                      at + " " + Point(x, y) + ": x falls from " +
                          std::to_string(curve.points.back().first) +
                          "; the points must run from left to right");
      }
      // The ESC takes the first (100,100) as the curve's end: points after it would vanish.
      if (x == 100 && y == 100 && i + 1 < items.size()) {
        return Refuse(p.line, where, at + " (100,100) ends a curve, so it must be the last point");
      }
      curve.points.emplace_back(static_cast<uint8_t>(x), static_cast<uint8_t>(y));
    }
    if (curve.points.back() != std::pair<uint8_t, uint8_t>{100, 100}) {
      const auto [x, y] = curve.points.back();
      return Refuse(items.back().line, where,
                    "the last point is " + Point(x, y) + ", not the end point (100,100)");
    }
    return true;
  }

  bool ResolveDeviceClass() {
    // Without "device_class" the first field named tells the kind.
    std::optional<int32_t> kind;
    if (device_class_) kind = device_class_;
    for (const Choice& c : choices_) {
      const int32_t field_kind = c.field->v1 ? kDeviceV1 : kDeviceFull;
      if (!kind) kind = field_kind;
      if (field_kind == *kind) continue;
      if (device_class_) {
        return Refuse(c.line, c.where,
                      std::string(c.field->v1 ? "a V1-series field" : "a full-ESC field") +
                          ", but device_class (line " + std::to_string(device_class_line_) +
                          ") says " + (*kind == kDeviceV1 ? "V1-series ESC" : "full ESC"));
      }
      return Refuse(c.line, c.where,
                    "the setup mixes full-ESC and V1-series fields; no ESC takes both");
    }
    if (!curves_.empty() && kind == kDeviceV1) {
      return Refuse(curves_line_, "curves", "a V1-series ESC has no curves");
    }
    info_.device_class = kind.value_or(kDeviceFull);
    info_.json = true;
    for (const Choice& c : choices_) info_.bec_only_fields |= c.field->bec_only;
    return true;
  }

  bool Apply() {
    for (const Choice& c : choices_) image_.*(c.field->field) = c.index;
    if (info_.device_class == kDeviceV1) return true;
    // Points beyond the last one keep what the image holds: a curve read from an ESC thus
    // comes back byte for byte, as a .DATA file of the same read brings it back.
    for (const CurvePoints& c : curves_) {
      CurveData& data = image_.*(c.curve);
      for (size_t i = 0; i < c.points.size(); ++i) {
        data.x[i] = c.points[i].first;
        data.y[i] = c.points[i].second;
      }
    }
    // Every table from its points, after the fields (the boost curve's default depends on
    // boost_timing), as the .DATA import and the curve editors rebuild them.
    for (const CurveField& c : CurveFields()) CurveModel(KindOf(c.curve), image_).LoadCurve();
    return true;
  }

  std::string name_;
  EscSettingsImage image_;
  std::string error_;
  SetupInfo info_;
  std::optional<int32_t> device_class_;
  int device_class_line_ = 0;
  int curves_line_ = 0;
  std::vector<Choice> choices_;
  std::vector<CurvePoints> curves_;
};

bool EndsWithJson(const std::string& path) {
  constexpr std::string_view ext = ".json";
  if (path.size() < ext.size()) return false;
  return std::equal(
      ext.begin(), ext.end(), path.end() - static_cast<long>(ext.size()),
      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

bool ParseSetupJson(std::string_view text, const std::string& name, EscSettingsImage& image,
                    std::string& error, SetupInfo* info) {
  // Some editors start a UTF-8 file with a byte order mark; it is no part of the JSON.
  if (text.substr(0, 3) == kUtf8Bom) text.remove_prefix(3);
  SetupReader reader(name, image);
  if (!reader.Read(text)) {
    error = reader.error();
    return false;
  }
  image = reader.image();
  if (info) *info = reader.info();
  return true;
}

bool IsJsonSetup(const std::string& path, std::string_view contents) {
  if (EndsWithJson(path)) return true;
  if (contents.substr(0, 3) == kUtf8Bom) contents.remove_prefix(3);
  const size_t first = contents.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && contents[first] == '{';
}

bool ReadSetupText(const std::string& path, std::string& text, std::string& error) {
  std::string buffer;
  if (!ReadFileHead(path, kMaxSetupFileBytes, buffer, error)) return false;
  // The file may have grown since it was looked at.
  if (buffer.size() > kMaxSetupFileBytes) {
    error = "Cannot read " + QuotedPath(path) + ": the file is larger than 1 MB, which no setup is";
    return false;
  }
  text = std::move(buffer);
  return true;
}

bool LoadSetupFile(const std::string& path, EscSettingsImage& image, std::string& error,
                   SetupInfo* info) {
  if (IsSetupLink(path)) return DecodeSetupLink(path, image, error, info);
  std::string text;
  if (!ReadSetupText(path, text, error)) return false;
  if (IsJsonSetup(path, text)) return ParseSetupJson(text, path, image, error, info);
  std::vector<ClampedField> clamped;
  if (!ImportSettingsFromPath(path, image, error, &clamped)) return false;
  if (info) *info = SetupInfo{.clamped = std::move(clamped)};
  return true;
}

}  // namespace tessel
