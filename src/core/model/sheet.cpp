#include "core/model/sheet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "core/model/data_page.h"
#include "core/model/pages.h"
#include "core/model/v1_settings.h"

namespace tessel {

namespace {

// "  name   LABEL ...... value": the name is what 'set' takes, the label what the page shows.
std::string Line(std::string_view name, std::string_view label, const std::string& value,
                 size_t name_width = 22) {
  std::string out = "  ";
  out += name;
  out.append(name.size() < name_width ? name_width - name.size() : 1, ' ');
  out += label;
  out += ' ';
  const size_t width = 22;
  for (size_t i = label.size() + 1; i < width; ++i) out += '.';
  out += ' ';
  out += value;
  out += '\n';
  return out;
}

std::string OptionOrIndex(const std::vector<std::string>& options, int32_t value) {
  if (value >= 0 && static_cast<size_t>(value) < options.size()) {
    return options[static_cast<size_t>(value)];
  }
  return "(index " + std::to_string(value) + ")";
}

}  // namespace

std::string ColumnsText(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> width;
  for (const auto& row : rows) {
    if (width.size() < row.size()) width.resize(row.size(), 0);
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
  }
  std::string out;
  for (const auto& row : rows) {
    for (size_t c = 0; c < row.size(); ++c) {
      std::string cell = row[c];
      if (c + 1 < row.size()) cell.resize(width[c] + 2, ' ');
      out += cell;
    }
    out += '\n';
  }
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", u);
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string CurvePointsText(const CurveData& curve) {
  std::string out;
  for (auto [x, y] : StoredCurvePoints(curve)) {
    if (!out.empty()) out += ' ';
    out += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
  }
  return out;
}

std::vector<std::pair<int, int>> StoredCurvePoints(const CurveData& curve) {
  std::vector<std::pair<int, int>> points;
  for (size_t i = 0; i < 41; ++i) {
    points.emplace_back(curve.x[i], curve.y[i]);
    if (i < 40 && curve.x[i] == 100 && curve.y[i] == 100) break;
  }
  return points;
}

std::string SettingsSheet(const SheetSource& src) {
  std::string out;
  if (src.device_class == kDeviceV1) {
    const bool bec = src.v1_block_variant == kV1Block16;
    out += "V1-series ESC (" + std::string(bec ? "16" : "14") + "-byte block)";
    if (!src.version.empty()) out += ", version " + src.version;
    out += "\n";
    for (const V1SettingDef& s : V1Settings()) {
      if (s.bec_only && !bec) continue;
      out += Line(s.field_name, s.label, OptionOrIndex(s.options, src.image.*(s.field)), 28);
    }
    return out;
  }
  out += "Full ESC";
  if (!src.version.empty()) out += ", version " + src.version;
  out += "\n";
  for (const PageDef& page : EditingPages()) {
    out += std::string(page.title) + "\n";
    for (const SettingDef& s : page.settings) {
      out += Line(s.field_name, s.caption, OptionOrIndex(s.options, src.image.*(s.field)));
    }
  }
  out += "DATA\n";
  for (const DataFieldDef& f : DataFields()) {
    out += Line(f.field_name, f.caption, f.format(src.image.*(f.field)));
  }
  out += "CURVES\n";
  for (const CurveField& c : CurveFields()) {
    const bool custom = src.image.*(c.mode) != 0;
    std::string label(c.name);
    for (char& ch : label) ch = ch == '_' ? ' ' : static_cast<char>(std::toupper(ch));
    out +=
        Line(c.name, label,
             std::string(custom ? "custom " : "linear (kept) ") + CurvePointsText(src.image.*(c.curve)));
  }
  return out;
}

std::string SettingsJson(const SheetSource& src) {
  std::string out = "{\"device_class\": " + std::to_string(src.device_class);
  if (!src.version.empty()) out += ", \"version\": " + JsonString(src.version);
  out += ", \"settings\": {";
  bool first = true;
  auto field = [&](std::string_view name, int32_t value) {
    if (!first) out += ", ";
    first = false;
    out += JsonString(name) + ": " + std::to_string(value);
  };
  auto text = [&](std::string_view name, const std::string& value) {
    if (!first) out += ", ";
    first = false;
    out += JsonString(name) + ": " + JsonString(value);
  };
  if (src.device_class == kDeviceV1) {
    for (const V1Field& f : V1Fields()) {
      if (f.bec_only && src.v1_block_variant != kV1Block16) continue;
      field(f.name, src.image.*(f.field));
    }
    // Beside the indices, the option texts as the dialog shows them.
    out += "}, \"settings_text\": {";
    first = true;
    for (const V1Field& f : V1Fields()) {
      if (f.bec_only && src.v1_block_variant != kV1Block16) continue;
      const V1SettingDef* def = FindV1Setting(f.field);
      if (def) text(f.name, OptionOrIndex(def->options, src.image.*(f.field)));
    }
    out += "}}";
    return out;
  }
  for (const ParamField& f : FullEscFields()) {
    if (f.set_command) field(f.name, src.image.*(f.field));
  }
  field("esc_out", src.image.esc_out);
  out += "}, \"settings_text\": {";
  first = true;
  for (const ParamField& f : FullEscFields()) {
    if (!f.set_command) continue;
    if (const SettingDef* def = FindSetting(f.field)) {
      text(f.name, OptionOrIndex(def->options, src.image.*(f.field)));
    }
  }
  if (const SettingDef* def = FindSetting(&EscSettingsImage::esc_out)) {
    text("esc_out", OptionOrIndex(def->options, src.image.esc_out));
  }
  out += "}, \"log\": {";
  first = true;
  for (const ParamField& f : FullEscFields()) {
    if (!f.set_command) field(f.name, src.image.*(f.field));
  }
  // The logged values in units, read as the Data page reads them.
  out += "}, \"log_units\": {";
  char volts[32];
  std::snprintf(volts, sizeof volts, "%.1f",
                static_cast<double>(static_cast<uint32_t>(src.image.log_batt_min_voltage)) / 10.0);
  out += "\"batt_min_voltage_v\": " + std::string(volts) +
         ", \"esc_max_temp_c\": " + std::to_string(src.image.log_esc_max_temp) +
         ", \"motor_max_temp_c\": " + std::to_string(src.image.log_motor_max_temp) +
         ", \"motor_max_rpm\": " +
         std::to_string(static_cast<long long>(src.image.log_motor_max_rpm) * 1000);
  out += "}, \"curves\": {";
  bool first_curve = true;
  for (const CurveField& c : CurveFields()) {
    const CurveData& data = src.image.*(c.curve);
    if (!first_curve) out += ", ";
    first_curve = false;
    out += JsonString(c.name) + ": {\"points\": [";
    bool first_point = true;
    for (auto [x, y] : StoredCurvePoints(data)) {
      if (!first_point) out += ", ";
      first_point = false;
      out += "[" + std::to_string(x) + "," + std::to_string(y) + "]";
    }
    out += "], \"table\": [";
    for (int i = 0; i < 40; ++i) {
      if (i) out += ",";
      out += std::to_string(data.table[static_cast<size_t>(i)]);
    }
    out += "]}";
  }
  out += "}, \"damaged\": [";
  for (size_t i = 0; i < src.damaged.size(); ++i) {
    if (i) out += ", ";
    out += JsonString(src.damaged[i]);
  }
  out += "]}";
  return out;
}

}  // namespace tessel
