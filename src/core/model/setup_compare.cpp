#include "core/model/setup_compare.h"

#include <algorithm>
#include <cctype>

#include "core/model/field_values.h"
#include "core/model/sheet.h"

namespace tessel {
namespace {

std::string CurveLabel(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    c = c == '_' ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string TableText(const CurveData& curve) {
  std::string out = "table";
  for (int i = 0; i < kCurvePointsOnWire; ++i)
    out += (i ? "," : " ") + std::to_string(curve.table[static_cast<size_t>(i)]);
  return out;
}

bool SameTable(const CurveData& a, const CurveData& b) {
  return std::equal(a.table.begin(), a.table.begin() + kCurvePointsOnWire, b.table.begin());
}

// A curve difference as the two sides' points; where the points agree and only the samples
// differ (a table the tool did not sample itself), as the tables.
void AddCurveDifference(std::vector<SetupDifference>& out, std::string_view name,
                        const CurveData& a, const CurveData& b) {
  std::string first = CurvePointsText(a);
  std::string second = CurvePointsText(b);
  if (first == second) {
    first = TableText(a);
    second = TableText(b);
  }
  out.push_back({true, std::string(name), CurveLabel(name), std::move(first), std::move(second)});
}

bool Sent(const SettableField& f) {
  const ParamField* p = FindFullEscField(f.name);
  return p != nullptr && p->set_command.has_value();
}

}  // namespace

CompareScope SentScope(int32_t device_class) {
  return device_class == kDeviceV1 ? CompareScope::kV1 : CompareScope::kSentFull;
}

std::vector<SetupDifference> CompareSetups(const EscSettingsImage& first,
                                           const EscSettingsImage& second, CompareScope scope,
                                           bool v1_bec) {
  std::vector<SetupDifference> out;
  for (const SettableField& f : SettableFields()) {
    if (f.v1 != (scope == CompareScope::kV1)) continue;
    if (f.v1 && f.bec_only && !v1_bec) continue;
    // A file does not hold the profile preset; a send writes only the sendable fields.
    if (!f.v1 && (f.name == "profile_preset" || (scope == CompareScope::kSentFull && !Sent(f)))) {
      continue;
    }
    const int32_t a = first.*(f.field);
    const int32_t b = second.*(f.field);
    if (a != b)
      out.push_back({false, f.name, f.label, OptionTextOrIndex(f, a), OptionTextOrIndex(f, b)});
  }
  if (scope == CompareScope::kV1) return out;
  for (const CurveField& c : CurveFields()) {
    const CurveData& a = first.*(c.curve);
    const CurveData& b = second.*(c.curve);
    if (scope == CompareScope::kSentFull) {
      // The ESC works from the table; a linear curve is not written at all.
      if (first.*(c.mode) == 0 || SameTable(a, b)) continue;
    } else if (CurvePointsText(a) == CurvePointsText(b) && SameTable(a, b)) {
      continue;
    }
    AddCurveDifference(out, c.name, a, b);
  }
  return out;
}

std::string DifferenceLine(const SetupDifference& d, const std::string& first_name,
                           const std::string& second_name) {
  std::string out = d.label + " (" + d.name + "): ";
  if (first_name.empty() && second_name.empty()) return out + d.first + " -> " + d.second;
  return out + first_name + " " + d.first + ", " + second_name + " " + d.second;
}

std::string DifferenceLines(const std::vector<SetupDifference>& differences,
                            const std::string& indent, const std::string& first_name,
                            const std::string& second_name) {
  std::string out;
  for (const SetupDifference& d : differences) {
    out += indent + DifferenceLine(d, first_name, second_name) + "\n";
  }
  return out;
}

std::string ReadBackLines(const std::vector<SetupDifference>& differences,
                          const std::string& indent) {
  return DifferenceLines(differences, indent, "sent", "read back");
}

std::vector<SetupDifference> SendChanges(const EscSettingsImage& current,
                                         const EscSettingsImage& target, int32_t device_class,
                                         bool v1_bec) {
  std::vector<SetupDifference> out =
      CompareSetups(target, current, SentScope(device_class), v1_bec);
  for (SetupDifference& d : out) std::swap(d.first, d.second);
  return out;
}

std::string ReadBackMismatchText(size_t count) {
  return std::to_string(count) + (count == 1 ? " setting" : " settings") +
         " read back other than sent";
}

}  // namespace tessel
