#include "core/model/json_reader.h"

#include <cstdio>
#include <unordered_set>

namespace tessel {

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool ParseDocument(JsonValue& out) {
    SkipSpace();
    if (!ParseValue(out, 0)) return false;
    SkipSpace();
    if (pos_ != text_.size())
      return Fail("unexpected " + Describe() + " after the end of the JSON");
    return true;
  }

  const std::string& error() const { return error_; }
  int error_line() const { return error_line_; }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void Advance() {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }

  void SkipSpace() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') break;
      Advance();
    }
  }

  bool Fail(std::string message) {
    if (error_.empty()) {
      error_ = std::move(message);
      error_line_ = line_;
    }
    return false;
  }

  // What stands at the current position, for messages.
  std::string Describe() const {
    if (AtEnd()) return "end of the file";
    const auto c = static_cast<unsigned char>(text_[pos_]);
    if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
    char code[16];
    std::snprintf(code, sizeof code, "byte 0x%02X", c);
    return code;
  }

  bool ParseValue(JsonValue& out, int depth) {
    out.line = line_;
    const char c = Peek();
    if (c == '{' || c == '[') {
      if (depth >= kMaxDepth) return Fail("nested more than 64 levels deep");
      return c == '{' ? ParseObject(out, depth) : ParseArray(out, depth);
    }
    if (c == '"') {
      out.kind = JsonValue::Kind::kString;
      return ParseString(out.text);
    }
    if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber(out);
    if (Word("true")) {
      out.kind = JsonValue::Kind::kBool;
      out.boolean = true;
      return true;
    }
    if (Word("false")) {
      out.kind = JsonValue::Kind::kBool;
      return true;
    }
    if (Word("null")) {
      out.kind = JsonValue::Kind::kNull;
      return true;
    }
    return Fail("expected a value, found " + Describe());
  }

  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool ParseObject(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kObject;
    Advance();  // '{'
    SkipSpace();
    if (Peek() == '}') {
      Advance();
      return true;
    }
    // A set, not a search of the members: a large object must not cost quadratic time.
    std::unordered_set<std::string> keys;
    while (true) {
      if (Peek() != '"') return Fail("expected a key in double quotes, found " + Describe());
      JsonMember member;
      member.line = line_;
      if (!ParseString(member.key)) return false;
      if (!keys.insert(member.key).second) {
        error_line_ = member.line;
        return Fail("the key \"" + member.key + "\" appears twice in one object");
      }
      SkipSpace();
      if (Peek() != ':')
        return Fail("expected ':' after \"" + member.key + "\", found " + Describe());
      Advance();
      SkipSpace();
      if (!ParseValue(member.value, depth + 1)) return false;
      out.members.push_back(std::move(member));
      SkipSpace();
      if (Peek() == ',') {
        Advance();
        SkipSpace();
        continue;
      }
      if (Peek() == '}') {
        Advance();
        return true;
      }
      return Fail("expected ',' or '}' after a member, found " + Describe());
    }
  }

  bool ParseArray(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kArray;
    Advance();  // '['
    SkipSpace();
    if (Peek() == ']') {
      Advance();
      return true;
    }
    while (true) {
      JsonValue item;
      if (!ParseValue(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
      SkipSpace();
      if (Peek() == ',') {
        Advance();
        SkipSpace();
        continue;
      }
      if (Peek() == ']') {
        Advance();
        return true;
      }
      return Fail("expected ',' or ']' in a list, found " + Describe());
    }
  }

  bool ParseNumber(JsonValue& out) {
    out.kind = JsonValue::Kind::kNumber;
    const size_t start = pos_;
    auto digits = [&] {
      const size_t from = pos_;
      while (!AtEnd() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ - from;
    };
    if (Peek() == '-') ++pos_;
    const size_t int_start = pos_;
    const size_t int_digits = digits();
    if (int_digits == 0) return Fail("expected a digit, found " + Describe());
    if (int_digits > 1 && text_[int_start] == '0') {
      pos_ = int_start;
      return Fail("a number may not start with 0");
    }
    bool plain = true;
    if (Peek() == '.') {
      ++pos_;
      plain = false;
      if (digits() == 0) return Fail("expected a digit after '.', found " + Describe());
    }
    if (Peek() == 'e' || Peek() == 'E') {
      ++pos_;
      plain = false;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (digits() == 0) return Fail("expected a digit in the exponent, found " + Describe());
    }
    out.text = std::string(text_.substr(start, pos_ - start));
    if (plain && int_digits <= 18) {
      int64_t value = 0;
      for (size_t i = int_start; i < int_start + int_digits; ++i)
        value = value * 10 + (text_[i] - '0');
      out.integer = text_[start] == '-' ? -value : value;
      out.is_integer = true;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool Hex4(uint32_t& out) {
    out = 0;
    for (int i = 0; i < 4; ++i) {
      if (AtEnd()) return Fail("the file ends inside a \\u escape");
      const char c = text_[pos_];
      uint32_t v = 0;
      if (c >= '0' && c <= '9') {
        v = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        v = static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        v = static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return Fail("expected four hex digits after \\u, found " + Describe());
      }
      out = out * 16 + v;
      ++pos_;
    }
    return true;
  }

  bool ParseString(std::string& out) {
    Advance();  // '"'
    out.clear();
    while (true) {
      if (AtEnd()) return Fail("the file ends inside a string");
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) {
        return Fail(c == '\n' ? "a string runs past the end of its line"
                              : "a control character stands inside a string");
      }
      if (c != '\\') {
        out += c;
        ++pos_;
        continue;
      }
      ++pos_;
      if (AtEnd()) return Fail("the file ends inside a string");
      const char e = text_[pos_++];
      constexpr std::string_view kEscapes = "\"\\/bfnrt";
      constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
      if (const size_t k = kEscapes.find(e); k != std::string_view::npos) {
        out += kMeanings[k];
        continue;
      }
      if (e != 'u') {
        --pos_;
        return Fail("unknown escape \\" + Describe());
      }
      uint32_t cp = 0;
      if (!Hex4(cp)) return false;
      if (cp >= 0xD800 && cp < 0xDC00) {
        uint32_t low = 0;
        if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000) {
          return Fail("a \\u escape holds half a surrogate pair");
        }
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      } else if (cp >= 0xDC00 && cp < 0xE000) {
        return Fail("a \\u escape holds half a surrogate pair");
      }
      AppendUtf8(out, cp);
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
  int error_line_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const JsonMember& m : members) {
    if (m.key == key) return &m.value;
  }
  return nullptr;
}

std::string_view JsonValue::KindName() const {
  switch (kind) {
    case Kind::kNull:
      return "null";
    case Kind::kBool:
      return "true or false";
    case Kind::kNumber:
      return "a number";
    case Kind::kString:
      return "a string";
    case Kind::kArray:
      return "a list";
    case Kind::kObject:
      return "an object";
  }
  return "a value";
}

bool ParseJson(std::string_view text, JsonValue& out, std::string& error, int& error_line) {
  Parser parser(text);
  JsonValue value;
  if (!parser.ParseDocument(value)) {
    error = parser.error();
    error_line = parser.error_line();
    return false;
  }
  out = std::move(value);
  return true;
}

}  // namespace tessel
