#include "core/link/wire_trace.h"

#include <algorithm>
#include <cctype>

namespace tessel {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, const uint8_t* bytes, size_t count) {
  out.reserve(out.size() + count * 3);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) out += ' ';
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 0x0F];
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char* ReportKindName(TraceReport kind) {
  switch (kind) {
    case TraceReport::kControl:
      return "control";
    case TraceReport::kOutput:
      return "output";
    default:
      return "input";
  }
}

// Matches the data report id of the HID link; kept here so the trace needs no HID header.
constexpr uint8_t kDataReportId = 2;

}  // namespace

WireTrace::WireTrace(std::string tool_version, size_t kept_lines)
    : tool_version_(std::move(tool_version)), ring_(std::max<size_t>(kept_lines, 1)) {}

std::string WireTrace::Header() const {
  return "# tesselarc wire trace " + std::to_string(kFormatVersion) + " (tesselarc " +
         tool_version_ + ")";
}

void WireTrace::SetSink(std::function<void(const std::string&)> sink) {
  sink_ = std::move(sink);
  if (sink_) sink_(Header());
}

void WireTrace::StartAt(uint64_t now_ms) {
  started_ = true;
  origin_ms_ = now_ms;
}

void WireTrace::Add(uint64_t now_ms, const char* kind, const std::string& detail) {
  if (!started_) StartAt(now_ms);
  std::string line = std::to_string(now_ms >= origin_ms_ ? now_ms - origin_ms_ : 0);
  line += ' ';
  line += kind;
  line += " [";
  if (step_what_ == nullptr) {
    line += '-';
  } else {
    line += step_what_;
    if (step_number_ >= 0) {
      line += ' ';
      line += std::to_string(step_number_);
    }
  }
  line += "] ";
  line += detail;
  if (sink_) sink_(line);
  ring_[next_] = std::move(line);
  next_ = (next_ + 1) % ring_.size();
  count_ = std::min(count_ + 1, ring_.size());
}

void WireTrace::SerialWrite(uint64_t now_ms, const uint8_t* bytes, size_t written, size_t asked) {
  std::string detail;
  AppendHex(detail, bytes, written);
  if (written < asked) {
    if (!detail.empty()) detail += ' ';
    detail += "(short: " + std::to_string(written) + " of " + std::to_string(asked) + " written)";
  }
  Add(now_ms, "tx", detail);
}

void WireTrace::SerialRead(uint64_t now_ms, bool echo, const uint8_t* bytes, size_t got,
                           size_t asked, uint32_t timeout_ms) {
  const char* kind = echo ? "echo" : "rx";
  if (got == 0 && asked > 0) {
    Add(now_ms, "timeout",
        std::string(kind) + " " + std::to_string(asked) + " in " + std::to_string(timeout_ms) +
            " ms");
    return;
  }
  std::string detail;
  AppendHex(detail, bytes, got);
  if (got < asked) {
    detail += " (short: " + std::to_string(got) + " of " + std::to_string(asked) + " in " +
              std::to_string(timeout_ms) + " ms)";
  }
  Add(now_ms, kind, detail);
}

void WireTrace::HidReport(uint64_t now_ms, TraceReport kind, const uint8_t* report, size_t length,
                          bool ok) {
  std::string detail = "id=";
  if (length == 0) {
    detail += "-- n=0";
  } else {
    const uint8_t id = report[0];
    size_t n = 0;
    const uint8_t* data = report + 1;
    if (id == kDataReportId && length >= 2) {
      n = report[1];
      data = report + 2;
      // The count byte may come from the device: show what it says, print what is there.
      detail += "02 n=" + std::to_string(n);
      n = std::min(n, length - 2);
    } else {
      n = length - 1;
      while (n > 0 && data[n - 1] == 0) --n;
      detail += std::string{kHex[id >> 4], kHex[id & 0x0F]} + " n=" + std::to_string(n);
    }
    if (n > 0) {
      detail += ' ';
      AppendHex(detail, data, n);
    }
  }
  if (!ok) detail += " (failed)";
  Add(now_ms, ReportKindName(kind), detail);
}

void WireTrace::NoAnswer(uint64_t now_ms, const std::string& what) {
  Add(now_ms, "timeout", "input: " + what);
}

std::vector<std::string> WireTrace::Lines() const {
  std::vector<std::string> out;
  out.reserve(count_);
  const size_t first = (next_ + ring_.size() - count_) % ring_.size();
  for (size_t i = 0; i < count_; ++i) out.push_back(ring_[(first + i) % ring_.size()]);
  return out;
}

std::string WireTrace::Text() const {
  std::string out = Header() + "\n";
  for (const std::string& line : Lines()) {
    out += line;
    out += '\n';
  }
  return out;
}

bool ParseTraceLine(const std::string& line, TraceLine& out) {
  out = TraceLine{};
  size_t at = 0;
  if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) return false;
  while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))) {
    out.ms = out.ms * 10 + static_cast<uint64_t>(line[at] - '0');
    ++at;
  }
  if (at >= line.size() || line[at] != ' ') return false;
  const size_t kind_end = line.find(' ', ++at);
  if (kind_end == std::string::npos) return false;
  out.kind = line.substr(at, kind_end - at);
  at = kind_end + 1;
  if (at >= line.size() || line[at] != '[') return false;
  const size_t step_end = line.find("] ", at);
  if (step_end == std::string::npos) return false;
  out.step = line.substr(at + 1, step_end - at - 1);
  at = step_end + 2;
  std::string rest = line.substr(at);
  if (out.kind == "timeout") {
    out.note = rest;
    return true;
  }
  if (out.kind == "control" || out.kind == "output" || out.kind == "input") {
    // "id=XX n=N ..."
    if (rest.size() < 9 || rest.compare(0, 3, "id=") != 0) return false;
    const int hi = HexDigit(rest[3]);
    const int lo = HexDigit(rest[4]);
    if (hi >= 0 && lo >= 0) out.report_id = hi * 16 + lo;
    if (rest.compare(5, 3, " n=") != 0) return false;
    size_t p = 8;
    out.count = 0;
    while (p < rest.size() && std::isdigit(static_cast<unsigned char>(rest[p]))) {
      out.count = out.count * 10 + (rest[p] - '0');
      ++p;
    }
    rest = p < rest.size() ? rest.substr(p + 1) : std::string();
  }
  size_t p = 0;
  while (p < rest.size()) {
    if (p + 2 <= rest.size() && HexDigit(rest[p]) >= 0 && HexDigit(rest[p + 1]) >= 0 &&
        (p + 2 == rest.size() || rest[p + 2] == ' ')) {
      out.bytes.push_back(static_cast<uint8_t>(HexDigit(rest[p]) * 16 + HexDigit(rest[p + 1])));
      p += 3;
      continue;
    }
    break;
  }
  if (p < rest.size()) out.note = rest.substr(p);
  return true;
}

}  // namespace tessel
