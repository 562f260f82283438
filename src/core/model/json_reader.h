// A small strict JSON reader (RFC 8259: no comments, no trailing commas) that keeps the line of
// every value and every object key, so that a refused setup can name where the fault stands.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind = Kind::kNull;
  int line = 0;  // where the value starts, from 1
  bool boolean = false;
  // Numbers: `text` as written; `is_integer` when written without a fraction or an exponent
  // and within 18 digits, then `integer` holds it.
  bool is_integer = false;
  int64_t integer = 0;
  std::string text;  // a string's contents (escapes resolved, UTF-8) or a number as written
  std::vector<JsonValue> items;     // array elements
  std::vector<JsonMember> members;  // object members in file order

  // The member named `key`, or nullptr.
  const JsonValue* Find(std::string_view key) const;
  // "a number", "a string", ... for messages.
  std::string_view KindName() const;
};

struct JsonMember {
  std::string key;
  int line = 0;  // the key's line
  JsonValue value;
};

// Parses exactly one JSON value with nothing but white space around it. On failure `error`
// says what was expected and `error_line` where. Nesting deeper than 64 levels is refused
// (nothing a setup needs is deeper than four). A key that appears twice in one object is
// refused, since which one counts would be a guess.
bool ParseJson(std::string_view text, JsonValue& out, std::string& error, int& error_line);

}  // namespace tessel
