// A small JSON writer for the web edition's snapshots: objects, arrays, numbers, booleans
// and strings (escaped so that any byte sequence the engines produce stays valid JSON).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessel {

class JsonWriter {
 public:
  JsonWriter& BeginObject() { return Open('{'); }
  JsonWriter& EndObject() { return Close('}'); }
  JsonWriter& BeginArray() { return Open('['); }
  JsonWriter& EndArray() { return Close(']'); }
  JsonWriter& Key(const std::string& key);
  JsonWriter& String(const std::string& value);
  JsonWriter& Int(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  std::string Take() { return std::move(out_); }

 private:
  JsonWriter& Open(char c);
  JsonWriter& Close(char c);
  void Separate();
  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
  bool after_key_ = false;
};

}  // namespace tessel
