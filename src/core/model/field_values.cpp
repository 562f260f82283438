#include "core/model/field_values.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "core/model/sheet.h"
#include "core/model/pages.h"
#include "core/model/v1_settings.h"

namespace tessel {
namespace {

// What the pages' enabling rules make a field depend on, so that a user knows why a change
// seems to do nothing.
std::string DependsOn(std::string_view name) {
  static const std::map<std::string_view, std::string> rules = {
      {"profile_preset",
       "choosing a profile (other than 0) writes its preset into the other fields"},
      {"boost_start_rpm", "boost_timing other than 0"},
      {"boost_end_rpm", "boost_timing other than 0"},
      {"stability_assist", "boost_timing other than 0"},
      {"boost_slope", "boost_timing other than 0; Custom uses the boost curve the ESC holds"},
      {"turbo_activation", "turbo_timing other than 0"},
      {"turbo_delay", "turbo_timing other than 0, and turbo_activation 0 or 2"},
      {"turbo_start_rpm", "turbo_timing other than 0, and turbo_activation 1 or 2"},
      {"turbo_slope_on", "turbo_timing other than 0"},
      {"turbo_slope_off", "turbo_timing other than 0"},
      {"throttle_curve_mode", "Custom uses the throttle curve the ESC holds"},
      {"brake_curve_mode", "Custom uses the brake curve the ESC holds"},
      {"v1_bec_voltage", "a V1-series ESC with BEC (16-byte block) only"},
  };
  const auto it = rules.find(name);
  return it == rules.end() ? std::string() : it->second;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string WithoutMark(const std::string& option) {
  const auto at = option.find("(*)");
  return at == std::string::npos ? option : option.substr(0, at) + option.substr(at + 3);
}

std::optional<int32_t> WholeNumber(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return std::stoi(text);
}

// The options on one line; a long list shows its ends and points to 'fields'.
std::string OptionList(const SettableField& f) {
  const auto& o = *f.options;
  auto item = [&](size_t i) { return std::to_string(i) + " \"" + o[i] + "\""; };
  std::string out;
  for (size_t i = 0; i < o.size(); ++i) {
    if (o.size() > 12 && i == 4) {
      out += ", ..., ";
      i = o.size() - 3;
    } else if (i > 0) {
      out += ", ";
    }
    out += item(i);
  }
  if (o.size() > 12) out += " (all of them: 'tesselarc-cli fields " + f.name + "')";
  return out;
}

}  // namespace

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

const std::vector<SettableField>& SettableFields() {
  static const std::vector<SettableField> fields = [] {
    std::vector<SettableField> out;
    for (const PageDef& page : EditingPages()) {
      for (const SettingDef& s : page.settings) {
        out.push_back({std::string(s.field_name), std::string(s.caption), std::string(page.name),
                       &s.options, s.default_index, s.field, false, false,
                       DependsOn(s.field_name)});
      }
    }
    for (const V1SettingDef& s : V1Settings()) {
      out.push_back({std::string(s.field_name), std::string(s.label), "V1", &s.options,
                     s.default_index, s.field, true, s.bec_only, DependsOn(s.field_name)});
    }
    return out;
  }();
  return fields;
}

const SettableField* FindSettableField(const std::string& name) {
  for (const SettableField& f : SettableFields()) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

std::vector<std::string> ClosestFieldNames(const std::string& name) {
  const std::string want = Lower(Trim(name));
  std::vector<std::pair<size_t, std::string>> scored;
  for (const SettableField& f : SettableFields()) {
    size_t score = EditDistance(want, f.name);
    std::string label = Lower(f.label);
    std::replace(label.begin(), label.end(), ' ', '_');
    if (want == label || want == Lower(f.label)) score = 0;
    // A part of a name ("cutoff") is as good as a near miss.
    if (want.size() >= 4 && f.name.find(want) != std::string::npos)
      score = std::min<size_t>(score, 1);
    if (score <= std::max<size_t>(2, want.size() / 3)) scored.emplace_back(score, f.name);
  }
  std::stable_sort(scored.begin(), scored.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> out;
  for (const auto& [score, n] : scored) {
    if (out.size() == 3) break;
    out.push_back(n);
  }
  return out;
}

OptionChoice ChooseOption(const SettableField& f, const std::string& raw) {
  const std::string value = Trim(raw);
  const auto& options = *f.options;
  const int32_t count = static_cast<int32_t>(options.size());
  OptionChoice choice;
  if (value.empty()) {
    choice.problem = f.name + " needs a value; options: " + OptionList(f);
    return choice;
  }
  if (value[0] == '#') {
    const auto n = WholeNumber(value.substr(1));
    if (n && *n < count) {
      choice.index = *n;
    } else {
      choice.problem = f.name + ": no option " + value + "; options: " + OptionList(f);
    }
    return choice;
  }
  std::vector<int32_t> hits;
  const std::string want = Lower(value);
  for (int32_t i = 0; i < count; ++i) {
    const std::string& text = options[static_cast<size_t>(i)];
    if (Lower(Trim(text)) == want || Lower(Trim(WithoutMark(text))) == want) hits.push_back(i);
  }
  const auto number = WholeNumber(value);
  if (number && *number < count && std::find(hits.begin(), hits.end(), *number) == hits.end()) {
    hits.push_back(*number);
  }
  if (hits.size() == 1) {
    choice.index = hits[0];
    return choice;
  }
  if (hits.empty()) {
    choice.problem = f.name + ": no option \"" + value + "\"; options: " + OptionList(f);
    return choice;
  }
  std::string which;
  for (int32_t i : hits) {
    if (!which.empty()) which += " or ";
    which += "#" + std::to_string(i) + " \"" + options[static_cast<size_t>(i)] + "\"";
  }
  choice.problem = f.name + ": \"" + value + "\" could be " + which + "; write #INDEX to pick one";
  return choice;
}

std::string OptionTextOrIndex(const SettableField& f, int32_t value) {
  if (value >= 0 && value < static_cast<int32_t>(f.options->size())) {
    return (*f.options)[static_cast<size_t>(value)];
  }
  return "(index " + std::to_string(value) + ")";
}

std::string ChangeLine(const SettableField& f, int32_t old_index, int32_t new_index) {
  return f.name + ": " + OptionTextOrIndex(f, old_index) + " -> " + OptionTextOrIndex(f, new_index);
}

std::string FieldsText(const std::string& only) {
  std::string out;
  std::string heading;
  for (const SettableField& f : SettableFields()) {
    if (!only.empty() && f.name != only) continue;
    const std::string kind = f.v1 ? "V1-series ESC" : "Full ESC";
    if (kind != heading) {
      out += (heading.empty() ? "" : "\n") + kind + "\n";
      heading = kind;
    }
    out += "  " + f.name + "  (" + f.label + (f.v1 ? "" : ", " + f.page + " page") + ")\n";
    if (!f.depends.empty()) out += "    depends on: " + f.depends + "\n";
    for (size_t i = 0; i < f.options->size(); ++i) {
      std::string index = std::to_string(i);
      index.insert(0, index.size() < 3 ? 3 - index.size() : 0, ' ');
      out += "  " + index + "  " + (*f.options)[i] +
             (static_cast<int32_t>(i) == f.default_index ? "  [default]" : "") + "\n";
    }
  }
  return out;
}

std::string FieldsJson(const std::string& only) {
  std::string out = "{\"full\": [";
  bool first = true;
  bool v1_started = false;
  for (const SettableField& f : SettableFields()) {
    if (f.v1 && !v1_started) {
      out += "], \"v1\": [";
      v1_started = true;
      first = true;
    }
    if (!only.empty() && f.name != only) continue;
    if (!first) out += ", ";
    first = false;
    out += "{\"name\": " + JsonString(f.name) + ", \"label\": " + JsonString(f.label);
    if (!f.v1) out += ", \"page\": " + JsonString(f.page);
    if (f.v1) out += std::string(", \"bec_only\": ") + (f.bec_only ? "true" : "false");
    out += ", \"default\": " + std::to_string(f.default_index) + ", \"options\": [";
    for (size_t i = 0; i < f.options->size(); ++i) {
      if (i) out += ", ";
      out += "{\"index\": " + std::to_string(i) + ", \"text\": " + JsonString((*f.options)[i]) +
             ", \"default\": " + (static_cast<int32_t>(i) == f.default_index ? "true" : "false") +
             "}";
    }
    out += "], \"depends\": " + (f.depends.empty() ? std::string("null") : JsonString(f.depends)) +
           "}";
  }
  if (!v1_started) out += "], \"v1\": [";
  return out + "]}";
}

}  // namespace tessel
