#include "core/app/settings_history.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string_view>

#include "core/engine/session.h"
#include "core/model/settings_file.h"
#include "core/model/sheet.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDataExtension = ".DATA";
constexpr const char* kSidecarExtension = ".json";
constexpr const char* kLockExtension = ".lock";  // an id taken by an entry being written
constexpr size_t kIdLength = 23;                 // "20261208-141503-123-000"

// Just enough JSON for the sidecars this file writes: objects, strings, integers, null.
struct JsonValue {
  enum class Kind { kNull, kString, kNumber, kObject, kOther } kind = Kind::kNull;
  std::string text;
  int64_t number = 0;
  std::map<std::string, JsonValue> object;
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}

  std::optional<JsonValue> Document() {
    auto value = Value(0);
    Space();
    if (!value || at_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  void Space() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool Take(char c) {
    Space();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(const char* word) {
    const std::string w(word);
    if (text_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out.push_back(e);
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'u': {
          if (at_ + 4 > text_.size()) return std::nullopt;
          unsigned code = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            if (!std::isxdigit(static_cast<unsigned char>(h))) return std::nullopt;
            code = code * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                         ? h - '0'
                                                         : std::tolower(h) - 'a' + 10);
          }
          // Version texts are ASCII; anything else is kept as a stand-in.
          out.push_back(code < 0x80 ? static_cast<char>(code) : '?');
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }
  std::optional<JsonValue> Value(int depth) {
    if (depth > 4) return std::nullopt;
    Space();
    if (at_ >= text_.size()) return std::nullopt;
    JsonValue v;
    const char c = text_[at_];
    if (c == '"') {
      auto s = String();
      if (!s) return std::nullopt;
      v.kind = JsonValue::Kind::kString;
      v.text = *s;
      return v;
    }
    if (c == '{') {
      ++at_;
      v.kind = JsonValue::Kind::kObject;
      if (Take('}')) return v;
      do {
        Space();
        auto key = String();
        if (!key || !Take(':')) return std::nullopt;
        auto member = Value(depth + 1);
        if (!member) return std::nullopt;
        v.object[*key] = std::move(*member);
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
      return v;
    }
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
      const size_t start = at_;
      if (c == '-') ++at_;
      while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
      const std::string digits = text_.substr(start, at_ - start);
      if (digits.empty() || digits == "-" || digits.size() > 12) return std::nullopt;
      v.kind = JsonValue::Kind::kNumber;
      v.number = std::stoll(digits);
      return v;
    }
    if (Word("null")) return v;
    if (Word("true") || Word("false")) {
      v.kind = JsonValue::Kind::kOther;
      return v;
    }
    return std::nullopt;
  }

  const std::string& text_;
  size_t at_ = 0;
};

const JsonValue* Member(const JsonValue& object, const std::string& key, JsonValue::Kind kind) {
  const auto it = object.object.find(key);
  if (it == object.object.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

std::string Two(int value, int width = 2) {
  char text[8];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

struct UtcParts {
  int year, month, day, hour, minute, second, ms;
};

// Days since 1970-01-01 to a civil date (proleptic Gregorian), by plain arithmetic so that
// every standard library this file is built with has what it needs.
UtcParts SplitUtc(int64_t ms_since_epoch) {
  constexpr int64_t kMsPerDay = 86400000;
  int64_t days = ms_since_epoch / kMsPerDay;
  int64_t rest = ms_since_epoch % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return {static_cast<int>(year),
          static_cast<int>(month),
          static_cast<int>(day),
          static_cast<int>(rest / 3600000),
          static_cast<int>(rest / 60000 % 60),
          static_cast<int>(rest / 1000 % 60),
          static_cast<int>(rest % 1000)};
}

// Days since 1970-01-01 for a civil date, the inverse of SplitUtc's (timegm is not in every
// C library this file is built with).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// "20261208-141503-123"
std::string IdStamp(int64_t ms_since_epoch) {
  const UtcParts p = SplitUtc(ms_since_epoch);
  return Two(p.year, 4) + Two(p.month) + Two(p.day) + "-" + Two(p.hour) + Two(p.minute) +
         Two(p.second) + "-" + Two(p.ms, 3);
}

int64_t SystemNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A history shows what a user's ESCs held: its files are for their owner only.
constexpr fs::perms kOwnerOnly = fs::perms::owner_read | fs::perms::owner_write;

bool WriteWhole(const std::string& path, const std::string& bytes, std::string& error) {
  return ReplaceFileAtomically(
      path,
      [&](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); },
      error, /*owner_only=*/true);
}

// A sidecar is a few hundred bytes; anything far larger is not one of ours.
constexpr size_t kMaxSidecarBytes = 64 * 1024;

// Through the settings files' reader: only a regular file, and never more than the limit (a
// sidecar that is a link to a device or a fifo is skipped, not read without end or waited on).
bool ReadText(const std::string& path, std::string& text) {
  std::string error;
  if (!ReadFileHead(path, kMaxSidecarBytes, text, error)) return false;
  return text.size() <= kMaxSidecarBytes;
}

bool KnownDevice(const std::string& kind) {
  return kind == "full" || kind == "v1" || kind == "v1-bec";
}

std::string Sidecar(const std::string& id, const std::string& time, const std::string& cause,
                    const std::string& device, const std::string& link, const std::string& version,
                    const EscSettingsImage& image) {
  std::string out = "{\"id\": " + JsonString(id) + ", \"time\": " + JsonString(time) +
                    ", \"cause\": " + JsonString(cause) + ", \"device\": " + JsonString(device) +
                    ", \"link\": " + JsonString(link) +
                    ", \"esc_version\": " + JsonString(version) + ", \"settings_file\": ";
  if (device == "full") {
    out += JsonString(id + kDataExtension);
  } else {
    out += "null, \"v1\": {";
    bool first = true;
    for (const V1Field& f : V1Fields()) {
      if (f.bec_only && device != "v1-bec") continue;
      out += std::string(first ? "" : ", ") + JsonString(f.name) + ": " +
             std::to_string(image.*(f.field));
      first = false;
    }
    out += "}";
  }
  return out + "}\n";
}

}  // namespace

std::string HistoryDeviceKind(const SessionStatus& status) {
  if (status.device_class == kDeviceFull) return "full";
  if (status.device_class == kDeviceV1) {
    return status.v1_block_variant == kV1Block16 ? "v1-bec" : "v1";
  }
  return {};
}

std::string HistoryDeviceText(const std::string& kind) {
  if (kind == "full") return "full ESC";
  if (kind == "v1") return "V1-series ESC";
  if (kind == "v1-bec") return "V1-series ESC with BEC";
  return kind;
}

std::string IsoTimeUtc(int64_t ms_since_epoch) {
  const UtcParts p = SplitUtc(ms_since_epoch);
  return Two(p.year, 4) + "-" + Two(p.month) + "-" + Two(p.day) + "T" + Two(p.hour) + ":" +
         Two(p.minute) + ":" + Two(p.second) + "." + Two(p.ms, 3) + "Z";
}

std::string HistoryTimeText(const std::string& stored) {
  // "YYYY-MM-DDTHH:MM:SS", then ".mmm" (which a person does not need to see) and "Z".
  static constexpr std::string_view kShape = "0000-00-00T00:00:00";
  if (stored.size() < kShape.size()) return stored;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(stored[i])) != 0;
    if (kShape[i] == '0' ? !digit : stored[i] != kShape[i]) return stored;
  }
  size_t at = kShape.size();
  if (at < stored.size() && stored[at] == '.') {
    do ++at;
    while (at < stored.size() && std::isdigit(static_cast<unsigned char>(stored[at])));
  }
  auto number = [&](size_t from, size_t count) { return std::stoi(stored.substr(from, count)); };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (stored.compare(at, std::string::npos, "Z") != 0 || month < 1 || month > 12 || day < 1 ||
      day > 31 || hour > 23 || minute > 59 || second > 60) {
    return stored;
  }
  const std::time_t utc = static_cast<std::time_t>(DaysFromCivil(year, month, day) * 86400 +
                                                   hour * 3600 + minute * 60 + second);
  std::tm local{};
#ifdef _WIN32
  const bool converted = localtime_s(&local, &utc) == 0;
#else
  const bool converted = localtime_r(&utc, &local) != nullptr;
#endif
  if (!converted) return stored;
  // Month names of our own: the C library's follow the user's locale, the rest of the tool
  // speaks English.
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return std::to_string(local.tm_mday) + " " + kMonths[local.tm_mon] + " " +
         std::to_string(local.tm_year + 1900) + " " + Two(local.tm_hour) + ":" + Two(local.tm_min) +
         ":" + Two(local.tm_sec);
}

bool IsHistoryId(const std::string& text) {
  if (text.size() != kIdLength) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 15 || i == 19;
    if (dash ? text[i] != '-' : !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

SettingsHistory::SettingsHistory(std::string folder)
    : folder_(std::move(folder)), now_ms_(SystemNowMs), writer_(WriteWhole) {}

std::vector<std::string> SettingsHistory::Ids(const char* extension) const {
  std::vector<std::string> ids;
  std::error_code ec;
  for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string ext(extension);
    if (name.size() != kIdLength + ext.size() || name.compare(kIdLength, ext.size(), ext) != 0) {
      continue;
    }
    const std::string id = name.substr(0, kIdLength);
    if (IsHistoryId(id)) ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::optional<std::string> SettingsHistory::Record(const EscSettingsImage& image,
                                                   const std::string& device,
                                                   const std::string& link,
                                                   const std::string& version,
                                                   const std::string& cause, std::string& error) {
  if (!KnownDevice(device)) {
    error = "no ESC kind to record";
    return std::nullopt;
  }
  std::error_code ec;
  fs::create_directories(folder_, ec);
  if (ec) {
    error = "cannot create the history folder " + folder_ + ": " + ec.message();
    return std::nullopt;
  }
  const int64_t now = now_ms_();
  // The desktop tool and tesselarc-cli share the folder and may both be making an entry at
  // the same moment: an id is taken by creating ID.lock exclusively, and one whose files are
  // there already is passed over.
  std::string id;
  std::string lock;
  std::string taken;  // the newest id found taken by another writer: counted on from
  for (int attempt = 0;; ++attempt) {
    if (attempt == 100) {
      error = "no free entry id in " + folder_;
      return std::nullopt;
    }
    // After every entry in the folder: the same millisecond, or a clock that went back, counts
    // on from the newest so that ids keep the order entries were made in. Locks and settings
    // files without a sidecar are no entries: one being written is found taken below, and one
    // left behind by a tool that stopped (its stamp perhaps far ahead) must not steer the ids.
    std::string newest = taken;
    const auto entries = Ids(kSidecarExtension);
    if (!entries.empty()) newest = std::max(newest, entries.back());
    id = IdStamp(now) + "-000";
    if (!newest.empty() && id <= newest) {
      const int count = std::stoi(newest.substr(20));
      if (count >= 999) {
        error = "too many history entries in one millisecond";
        return std::nullopt;
      }
      id = newest.substr(0, 20) + Two(count + 1, 3);
    }
    lock = folder_ + "/" + id + kLockExtension;
    errno = 0;
    std::FILE* f = std::fopen(lock.c_str(), "wbx");
    if (f == nullptr) {
      if (errno != EEXIST) {
        error = "cannot write in the history folder " + folder_ + ": " + std::strerror(errno);
        return std::nullopt;
      }
      taken = id;
      continue;
    }
    std::fclose(f);
    fs::permissions(lock, kOwnerOnly, ec);
    if (!fs::exists(folder_ + "/" + id + kSidecarExtension, ec) &&
        !fs::exists(folder_ + "/" + id + kDataExtension, ec)) {
      break;
    }
    fs::remove(lock, ec);
    taken = id;
  }
  const std::string base = folder_ + "/" + id;
  bool written = true;
  if (device == "full") {
    const std::vector<uint8_t> data = EncodeSettingsFile(image);
    written = writer_(base + kDataExtension, std::string(data.begin(), data.end()), error);
  }
  if (written &&
      !writer_(base + kSidecarExtension,
               Sidecar(id, IsoTimeUtc(now), cause, device, link, version, image), error)) {
    // The settings file alone is no entry; it goes so that it does not linger.
    fs::remove(base + kDataExtension, ec);
    written = false;
  }
  fs::remove(lock, ec);
  if (!written) return std::nullopt;
  Prune();
  return id;
}

std::optional<HistoryEntry> SettingsHistory::Load(const std::string& id) const {
  if (!IsHistoryId(id)) return std::nullopt;
  const std::string base = folder_ + "/" + id;
  std::string text;
  if (!ReadText(base + kSidecarExtension, text)) return std::nullopt;
  const auto doc = JsonReader(text).Document();
  if (!doc || doc->kind != JsonValue::Kind::kObject) return std::nullopt;
  HistoryEntry e;
  e.id = id;
  const struct {
    const char* key;
    std::string* to;
  } strings[] = {{"time", &e.time},
                 {"cause", &e.cause},
                 {"device", &e.device},
                 {"link", &e.link},
                 {"esc_version", &e.version}};
  for (const auto& s : strings) {
    const JsonValue* v = Member(*doc, s.key, JsonValue::Kind::kString);
    if (v == nullptr) return std::nullopt;
    *s.to = v->text;
  }
  const JsonValue* stored_id = Member(*doc, "id", JsonValue::Kind::kString);
  if (stored_id == nullptr || stored_id->text != id || !KnownDevice(e.device)) {
    return std::nullopt;
  }
  if (e.device == "full") {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadSettingsFileBytes(base + kDataExtension, bytes, error)) return std::nullopt;
    if (DecodeSettingsFile(bytes, e.image) != SettingsFileError::kNone) return std::nullopt;
    return e;
  }
  const JsonValue* v1 = Member(*doc, "v1", JsonValue::Kind::kObject);
  if (v1 == nullptr) return std::nullopt;
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && e.device != "v1-bec") continue;
    const JsonValue* value = Member(*v1, std::string(f.name), JsonValue::Kind::kNumber);
    if (value == nullptr || value->number < 0 || value->number > 255) return std::nullopt;
    e.image.*(f.field) = static_cast<int32_t>(value->number);
  }
  return e;
}

std::vector<HistoryEntry> SettingsHistory::List() const {
  std::vector<HistoryEntry> entries;
  const auto ids = Ids(kSidecarExtension);
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    if (auto e = Load(*it)) entries.push_back(std::move(*e));
  }
  return entries;
}

std::optional<HistoryEntry> SettingsHistory::Find(const std::string& id) const {
  return Load(id);
}

std::optional<SettingsHistory::UndoStep> SettingsHistory::BeforeLastSend(
    const std::string& device) const {
  std::optional<HistoryEntry> latest;
  std::optional<HistoryEntry> sent;
  for (HistoryEntry& e : List()) {
    if (e.device != device) continue;
    if (sent) return UndoStep{*latest, *sent, std::move(e)};
    if (!latest) latest = e;
    if (e.cause != kCauseRead) sent = e;
  }
  return std::nullopt;
}

void SettingsHistory::Prune() const {
  const auto ids = Ids(kSidecarExtension);
  if (ids.size() <= kHistoryKeep) return;
  const size_t drop = ids.size() - kHistoryKeep;
  std::error_code ec;
  for (size_t i = 0; i < drop; ++i) {
    // The sidecar first: once it is gone the entry is no longer listed.
    fs::remove(folder_ + "/" + ids[i] + kSidecarExtension, ec);
    fs::remove(folder_ + "/" + ids[i] + kDataExtension, ec);
  }
  // Settings files and locks left without a sidecar (a write cut short) older than every
  // kept entry.
  const std::string& oldest_kept = ids[drop];
  for (const char* ext : {kDataExtension, kLockExtension}) {
    for (const std::string& id : Ids(ext)) {
      if (id < oldest_kept) fs::remove(folder_ + "/" + id + ext, ec);
    }
  }
}

void ApplyHistoryEntry(const HistoryEntry& entry, EscSettingsImage& image) {
  if (entry.device == "full") {
    for (const ParamField& f : FullEscFields()) {
      if (f.set_command) image.*(f.field) = entry.image.*(f.field);
    }
    for (const CurveField& c : CurveFields()) image.*(c.curve) = entry.image.*(c.curve);
    return;
  }
  for (const V1Field& f : V1Fields()) {
    if (f.bec_only && entry.device != "v1-bec") continue;
    image.*(f.field) = entry.image.*(f.field);
  }
}

void HistoryRecorder::OnTransferDone(const TransferEnd& end) {
  const std::string noted = send_cause_;
  send_cause_.clear();
  if (!end.complete()) return;
  const int32_t direction = end.direction;
  const SessionStatus& s = session_.status;
  const std::string device = HistoryDeviceKind(s);
  if (device.empty()) return;
  std::string cause;
  if (direction == kTransferRead) {
    imported_ = false;
    if (end.outcome == TransferOutcome::kDamagedCurves) return;
    cause = kCauseRead;
  } else {
    imported_ = false;
    cause = !noted.empty() ? noted : device == "full" ? kCausePreset : kCauseApply;
  }
  std::string error;
  const auto id =
      history_.Record(session_.image, device, s.link_kind == kLinkHid ? "hid" : "serial",
                      session_.VersionText(), cause, error);
  if (id) {
    last_id_ = *id;
    last_error_.clear();
    return;
  }
  last_error_ = error;
  if (on_error) on_error(error);
}

}  // namespace tessel
