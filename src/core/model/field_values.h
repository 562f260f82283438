// Settable fields as the command line names them: the full ESC's page settings and the
// V1-series settings, an option chosen by its index or its text, the closest names for a
// misspelt field, and the 'fields' listing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

struct SettableField {
  std::string name;   // "run_mode"
  std::string label;  // "RUN MODE", as the page shows it
  std::string page;   // "General"; "V1" for the V1-series settings
  const std::vector<std::string>* options;
  int32_t default_index;
  ImageField field;
  bool v1;
  bool bec_only;        // V1 with BEC (16-byte block) only
  std::string depends;  // empty when the field always counts
};

// Full-ESC fields in page order, then the V1-series fields in the dialog's order.
const std::vector<SettableField>& SettableFields();
const SettableField* FindSettableField(const std::string& name);

// Edits (insert, delete, replace) that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b);

// Up to three field names close to `name` (spelling, a part of a name, or a label).
std::vector<std::string> ClosestFieldNames(const std::string& name);

struct OptionChoice {
  std::optional<int32_t> index;
  std::string problem;  // one line, when there is no index
};

// VALUE is "#N" (index N), a bare index, or an option's text (any case, trimmed, the "(*)"
// mark optional). A value that is an index of one option and the text of another is
// ambiguous and refused: for a list of numbers "5" could mean either.
OptionChoice ChooseOption(const SettableField& field, const std::string& value);

// "field: old -> new", option texts as the pages show them.
std::string ChangeLine(const SettableField& field, int32_t old_index, int32_t new_index);

// Text of an image value, or "(index N)" when it lies outside the list.
std::string OptionTextOrIndex(const SettableField& field, int32_t value);

// The 'fields' listing; `only` limits it to one field name.
std::string FieldsText(const std::string& only = {});
std::string FieldsJson(const std::string& only = {});

}  // namespace tessel
