// The wire trace: every transfer on the serial or the HID link, one line each, so that a user
// can send what crossed the cable when something goes wrong. The links write to it when one
// is attached (a null check otherwise); the engines name the step they are at.
//
// Format 1, plain text. The first line names the format and the tool:
//
//   # tesselarc wire trace 1 (tesselarc 1.4.0)
//
// then one line per transfer:
//
//   <ms> <kind> [<step>] <detail>
//
//   <ms>     milliseconds since the trace started, on the link's clock, when the transfer
//            ended (a read ends when its bytes came or its wait ran out)
//   <kind>   tx       serial bytes the tool wrote (one write call)
//            echo     serial bytes read back that are the tool's own bytes returning
//            rx       serial bytes read from the ESC (one read call)
//            control  HID report sent through the control pipe (the hello)
//            output   HID interrupt report sent
//            input    HID interrupt report received
//            timeout  a wait in which nothing came
//   <step>   the engine step that caused it: "probe", "read 12", "send 31", "hid 16",
//            "flash record 5"; "-" before any engine named one
//   <detail> tx, echo, rx: the bytes in hex ("D5 2A"). A read that got fewer bytes than it
//                asked for ends with "(short: 1 of 2 in 150 ms)"; a write the port did not
//                take whole ends with "(short: 0 of 1 written)".
//            control, output, input: "id=02 n=3 D5 01 02": report id, count, data. For data
//                reports (id 02) n is the report's count byte and the data are those bytes;
//                for other reports n counts the bytes after the id up to the last non-zero
//                one. A report the device refused ends with "(failed)".
//            timeout: what was awaited: "rx 2 in 150 ms", "echo 1 in 2000 ms", or for the HID
//                engine, which polls without waiting, "input: <what the engine gave up on>".
//
// Bytes purged unread (the echoes of settings pairs during a send) never reach a read call and
// so are not in the trace. A trace holds bytes and steps only: never a device path, a file
// name or a user name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessel {

// Help › "Save Wire Trace…" on every face: its menu text, the name it suggests, and what it
// says when nothing has crossed the cable yet.
inline constexpr const char* kSaveWireTraceText = "Save Wire Trace\u2026";
inline constexpr const char* kWireTraceFileName = "tesselarc-trace.txt";
inline constexpr const char* kNoTraceYetText = "no trace yet";

enum class TraceReport { kControl, kOutput, kInput };

class WireTrace {
 public:
  static constexpr int kFormatVersion = 1;
  static constexpr size_t kKeptLines = 10000;

  explicit WireTrace(std::string tool_version, size_t kept_lines = kKeptLines);

  // "# tesselarc wire trace 1 (tesselarc X)", without a line end.
  std::string Header() const;
  // Every line from now on also goes to `sink` (without its line end) as it is made; the
  // header goes at once. An empty function stops it.
  void SetSink(std::function<void(const std::string& line)> sink);
  // The time every stamp counts from. Without it, the first transfer starts the trace.
  void StartAt(uint64_t now_ms);

  // `what` must outlive the trace (a string literal); `number` < 0 shows none.
  void SetStep(const char* what, int number = -1) {
    step_what_ = what;
    step_number_ = number;
  }
  // The engines' way in: nothing at all without a trace.
  static void Step(WireTrace* trace, const char* what, int number = -1) {
    if (trace != nullptr) trace->SetStep(what, number);
  }

  void SerialWrite(uint64_t now_ms, const uint8_t* bytes, size_t written, size_t asked);
  // A read of `asked` bytes that got `got` of them within `timeout_ms`; nothing got is a
  // timeout line.
  void SerialRead(uint64_t now_ms, bool echo, const uint8_t* bytes, size_t got, size_t asked,
                  uint32_t timeout_ms);
  void HidReport(uint64_t now_ms, TraceReport kind, const uint8_t* report, size_t length,
                 bool ok = true);
  // The HID engine gave up waiting for an answer.
  void NoAnswer(uint64_t now_ms, const std::string& what);

  // The kept lines, oldest first, without line ends.
  std::vector<std::string> Lines() const;
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The header and the kept lines, each ending in a line end: what a saved trace holds.
  std::string Text() const;

 private:
  void Add(uint64_t now_ms, const char* kind, const std::string& detail);

  std::string tool_version_;
  std::vector<std::string> ring_;
  size_t next_ = 0;
  size_t count_ = 0;
  bool started_ = false;
  uint64_t origin_ms_ = 0;
  const char* step_what_ = nullptr;
  int step_number_ = -1;
  std::function<void(const std::string&)> sink_;
};

// A line of a trace taken apart again (tests, tools reading traces). False when `line` is
// not a transfer line of format 1 (the header, say).
struct TraceLine {
  uint64_t ms = 0;
  std::string kind;
  std::string step;
  int report_id = -1;  // HID reports only
  int count = -1;      // HID reports only: the n= value
  std::vector<uint8_t> bytes;
  std::string note;  // what follows the bytes ("(short: ...)", a timeout's text)
};
bool ParseTraceLine(const std::string& line, TraceLine& out);

}  // namespace tessel
