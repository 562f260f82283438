#include "core/model/settings_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/model/curve_model.h"
#include "core/model/setup_json.h"

namespace tessel {

namespace {

using I = EscSettingsImage;

// Curves in file order.
constexpr std::array<CurveData I::*, 3> kFileCurves{&I::boost_curve, &I::brake_curve,
                                                    &I::throttle_curve};

uint8_t LowByte(int32_t v) {
  return static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFF);
}

std::string ErrnoText(int err) {
  return err != 0 ? std::string(std::strerror(err)) : std::string("unknown error");
}

bool EndsWithDataExtension(std::string_view name) {
  const std::string_view ext = kSettingsFileExtension;
  if (name.size() < ext.size()) return false;
  const std::string_view tail = name.substr(name.size() - ext.size());
  return std::equal(tail.begin(), tail.end(), ext.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

// An existing target must be a regular file the user may write: a device, a fifo or a folder
// is never replaced, and neither is a file whose permissions say it is read-only (even for a
// user, such as root, whom the system would let write it).
std::optional<std::string> CheckReplaceable(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) return std::nullopt;
  if (fs::is_directory(st)) return "Cannot write " + QuotedPath(path) + ": it is a folder";
  if (!fs::is_regular_file(st)) return "Cannot write " + QuotedPath(path) + ": not a regular file";
  constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write |
                               fs::perms::others_write;
  if ((st.permissions() & kWrite) == fs::perms::none) {
    return "Cannot write " + QuotedPath(path) + ": the file is read-only";
  }
  // "r+" opens for update without truncating: it fails exactly when this user may not write.
  errno = 0;
  if (std::FILE* f = std::fopen(path.c_str(), "r+b")) {
    std::fclose(f);
  } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
    return "Cannot write " + QuotedPath(path) + ": " + ErrnoText(errno);
  }
  return std::nullopt;
}

bool WriteAll(std::FILE* f, std::span<const uint8_t> bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

}  // namespace

std::string_view SettingsFileErrorReason(SettingsFileError error) {
  switch (error) {
    case SettingsFileError::kNone:
      return "no error";
    case SettingsFileError::kTooShort:
      return "the file is shorter than 800 bytes";
    case SettingsFileError::kTooLong:
      return "the file is longer than 800 bytes";
    case SettingsFileError::kBadHeader:
      return "the file does not start with the settings header";
    case SettingsFileError::kBadLength:
      return "the length field does not match the file length";
    case SettingsFileError::kBadCheckValue:
      return "the check value does not match the contents";
    case SettingsFileError::kBadCurve:
      return "a curve holds values the ESC cannot take";
  }
  return "unknown error";
}

uint16_t SettingsCheckValue(std::span<const uint8_t> record) {
  uint32_t sum = 0;
  for (size_t i = 0; i < record.size(); ++i) {
    if (i == kSettingsCheckOffset || i == kSettingsCheckOffset + 1) continue;
    sum += record[i];
  }
  return static_cast<uint16_t>(sum & 0xFFFF);
}

std::optional<std::string> CheckRecordCurves(
    std::span<const uint8_t, kSettingsRecordLength> r) {
  constexpr const char* kNames[] = {"boost", "brake", "throttle"};
  constexpr uint8_t kMax = 100;
  for (size_t k = 0; k < kFileCurves.size(); ++k) {
    const size_t base = kSettingsCurvesOffset + k * kSettingsCurveBytes;
    const uint8_t* table = &r[base];
    const uint8_t* x = table + 50;
    const uint8_t* y = x + 100;
    const std::string name = kNames[k];
    // Only the points the editor loads make the curve: up to the end point (100,100) among
    // the first 40, else 41. Points beyond them and table[40..49] carry nothing the ESC takes,
    // and files hold anything there.
    size_t end = 0;
    while (end < 40 && !(x[end] == 100 && y[end] == 100)) ++end;
    // A curve with no end point is sampled looking one point past its 41st, so that one
    // shapes what the ESC gets too.
    const size_t judged = end == 40 ? end + 1 : end;
    for (size_t i = 0; i <= judged; ++i) {
      if (x[i] > kMax || y[i] > kMax) {
        return "the " + name + " curve has a point (" + std::to_string(x[i]) + "," +
               std::to_string(y[i]) + ") outside 0..100";
      }
      if (i > 0 && i <= end && x[i] < x[i - 1]) {
        return "the " + name + " curve's points do not rise from left to right (point " +
               std::to_string(i + 1) + ")";
      }
    }
    // The samples are rebuilt from the points, but a curve whose points stop short of x = 100
    // leaves the last ones as the file holds them, and those go to the ESC.
    for (size_t i = 0; i < 40; ++i) {
      if (table[i] > kMax) {
        return "the " + name + " curve's table holds " + std::to_string(table[i]) +
               ", outside 0..100";
      }
    }
  }
  return std::nullopt;
}

SettingsRecord BuildSettingsRecord(const EscSettingsImage& image) {
  SettingsRecord r{};
  r[0] = kSettingsHeader0;
  r[1] = kSettingsHeader1;
  const uint32_t length = kSettingsRecordLength;
  for (size_t i = 0; i < 4; ++i) {
    r[kSettingsLengthOffset + i] = static_cast<uint8_t>(length >> (8 * i));
  }
  r[9] = 1;

  const auto fields = FullEscFields();
  for (size_t i = 0; i < fields.size(); ++i) {
    r[kSettingsParamsOffset + i] = LowByte(image.*(fields[i].field));
  }
  // The last parameter byte is the low byte of log_motor_max_rpm; files keep 16 bits.
  r[kSettingsRpmHighOffset] = LowByte(image.log_motor_max_rpm >> 8);
  r[kSettingsEscOutOffset] = LowByte(image.esc_out);

  size_t pos = kSettingsCurvesOffset;
  for (auto member : kFileCurves) {
    const CurveData& c = image.*member;
    pos = std::copy(c.table.begin(), c.table.end(), r.begin() + pos) - r.begin();
    pos = std::copy(c.x.begin(), c.x.end(), r.begin() + pos) - r.begin();
    pos = std::copy(c.y.begin(), c.y.end(), r.begin() + pos) - r.begin();
  }

  const uint16_t check = SettingsCheckValue(r);
  r[kSettingsCheckOffset] = static_cast<uint8_t>(check & 0xFF);
  r[kSettingsCheckOffset + 1] = static_cast<uint8_t>(check >> 8);
  return r;
}

std::vector<uint8_t> EncodeSettingsFile(const EscSettingsImage& image) {
  const SettingsRecord r = BuildSettingsRecord(image);
  return std::vector<uint8_t>(r.rbegin(), r.rend());
}

SettingsFileError DecodeSettingsFile(std::span<const uint8_t> file, EscSettingsImage& image) {
  // A short file would leave fields undefined, a long one is not ours: both are refused
  // before anything is looked at.
  if (file.size() < kSettingsRecordLength) return SettingsFileError::kTooShort;
  if (file.size() > kSettingsRecordLength) return SettingsFileError::kTooLong;

  SettingsRecord r{};
  std::copy(file.rbegin(), file.rend(), r.begin());

  if (r[0] != kSettingsHeader0 || r[1] != kSettingsHeader1) return SettingsFileError::kBadHeader;

  uint32_t length = 0;
  for (size_t i = 0; i < 4; ++i) {
    length |= static_cast<uint32_t>(r[kSettingsLengthOffset + i]) << (8 * i);
  }
  if (length != file.size()) return SettingsFileError::kBadLength;

  const uint16_t stored =
      static_cast<uint16_t>(r[kSettingsCheckOffset] | (r[kSettingsCheckOffset + 1] << 8));
  if (stored != SettingsCheckValue(r)) return SettingsFileError::kBadCheckValue;
  if (CheckRecordCurves(r)) return SettingsFileError::kBadCurve;

  const auto fields = FullEscFields();
  for (size_t i = 0; i < fields.size(); ++i) {
    image.*(fields[i].field) = r[kSettingsParamsOffset + i];
  }
  image.log_motor_max_rpm =
      r[kSettingsParamsOffset + kFullEscParamCount - 1] + 256 * r[kSettingsRpmHighOffset];
  image.esc_out = r[kSettingsEscOutOffset];

  auto it = r.begin() + kSettingsCurvesOffset;
  for (auto member : kFileCurves) {
    CurveData& c = image.*member;
    std::copy_n(it, c.table.size(), c.table.begin());
    it += c.table.size();
    std::copy_n(it, c.x.size(), c.x.begin());
    it += c.x.size();
    std::copy_n(it, c.y.size(), c.y.begin());
    it += c.y.size();
  }
  return SettingsFileError::kNone;
}

std::string SettingsExportPath(std::string_view chosen) {
  // Nothing of the name is cut: "precious.new" must never become "precious.DATA".
  std::string path(chosen);
  if (!EndsWithDataExtension(path)) path += kSettingsFileExtension;
  return path;
}

bool ResolveExportPath(std::string_view chosen, std::string& path, std::string& error) {
  namespace fs = std::filesystem;
  const std::string given(chosen);
  if (given.empty()) {
    error = "Cannot write a settings file: no file name was given";
    return false;
  }
  if (given.back() == '/' || given.back() == '\\') {
    error = "Cannot write " + QuotedPath(given) + ": the name is a folder, not a file";
    return false;
  }
  std::error_code ec;
  const fs::file_status st = fs::status(given, ec);
  if (!ec && fs::is_directory(st)) {
    error = "Cannot write " + QuotedPath(given) + ": it is a folder";
    return false;
  }
  if (!ec && fs::exists(st) && !fs::is_regular_file(st)) {
    error = "Cannot write " + QuotedPath(given) + ": not a regular file";
    return false;
  }
  path = SettingsExportPath(given);
  if (auto problem = CheckReplaceable(path)) {
    error = *problem;
    return false;
  }
  return true;
}

bool ReadFileHead(const std::string& path, size_t limit, std::string& contents,
                  std::string& error) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
    error = "Cannot open " + QuotedPath(path) + ": not a regular file";
    return false;
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "Cannot open " + QuotedPath(path) + ": " + ErrnoText(errno);
    return false;
  }
  // One byte more than the limit is enough to refuse a longer file without reading it all.
  std::string buffer(limit + 1, '\0');
  errno = 0;
  const size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) {
    error = "Cannot read " + QuotedPath(path) + ": " + ErrnoText(err);
    return false;
  }
  buffer.resize(n);
  contents = std::move(buffer);
  return true;
}

bool ReadSettingsFileBytes(const std::string& path, std::vector<uint8_t>& bytes,
                           std::string& error) {
  std::string contents;
  if (!ReadFileHead(path, kSettingsRecordLength, contents, error)) return false;
  bytes.assign(contents.begin(), contents.end());
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write,
                           std::string& error, bool owner_only) {
  std::string temp;
  std::FILE* f = nullptr;
  int err = 0;
  // "x": never reuse a file that happens to be there already.
  for (int attempt = 0; attempt < 100 && f == nullptr; ++attempt) {
    temp = path + ".tmp" + std::to_string(attempt);
    errno = 0;
    f = std::fopen(temp.c_str(), "wbx");
    err = errno;
    if (f == nullptr && err != EEXIST) break;
  }
  if (f == nullptr) {
    error = "Cannot create " + QuotedPath(path) + ": " + ErrnoText(err);
    return false;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  // Narrowed before a byte is written, so that no one else can read it in between.
  if (owner_only) {
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write, ec);
    if (ec) {
      std::fclose(f);
      std::remove(temp.c_str());
      error = "Cannot create " + QuotedPath(path) + ": " + ec.message();
      return false;
    }
  }

  errno = 0;
  bool ok = write(f);
  ok = ok && std::fflush(f) == 0 && std::ferror(f) == 0;
  err = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    error = "Cannot write " + QuotedPath(path) + ": " + ErrnoText(err);
    return false;
  }

  // A replaced file keeps its permissions; a new one gets the temporary's (umask) mode.
  const auto old = fs::status(path, ec);
  if (!owner_only && !ec && fs::is_regular_file(old)) fs::permissions(temp, old.permissions(), ec);
  errno = 0;
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    std::remove(temp.c_str());
    error = "Cannot write " + QuotedPath(path) + ": " + ErrnoText(err);
    return false;
  }
  return true;
}

bool ExportSettingsToPath(const EscSettingsImage& image, const std::string& path, bool overwrite,
                          std::string& error) {
  if (!overwrite && NonEmptyFileExists(path)) {
    error = "Cannot write " + QuotedPath(path) + ": the file exists";
    return false;
  }
  if (auto problem = CheckReplaceable(path)) {
    error = *problem;
    return false;
  }
  const std::vector<uint8_t> bytes = EncodeSettingsFile(image);
  return ReplaceFileAtomically(
      path, [&](std::FILE* f) { return WriteAll(f, bytes); }, error);
}

std::string QuotedPath(const std::string& path) {
  return "\"" + path + "\"";
}

bool NonEmptyFileExists(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size > 0;
}

std::string SettingsFileRejection(std::span<const uint8_t> file, SettingsFileError result) {
  if (result == SettingsFileError::kBadCurve && file.size() == kSettingsRecordLength) {
    SettingsRecord r{};
    std::copy(file.rbegin(), file.rend(), r.begin());
    if (auto why = CheckRecordCurves(r)) return *why;
  }
  return std::string(SettingsFileErrorReason(result));
}

namespace {

bool DecodeNamed(std::span<const uint8_t> bytes, const std::string& name,
                 EscSettingsImage& image, std::string& error) {
  const SettingsFileError result = DecodeSettingsFile(bytes, image);
  if (result != SettingsFileError::kNone) {
    error = std::string(kImportErrorText) + " " + name + ": " + SettingsFileRejection(bytes, result);
    return false;
  }
  return true;
}

bool ReadAndDecode(const std::string& path, EscSettingsImage& image, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadSettingsFileBytes(path, bytes, error)) return false;
  return DecodeNamed(bytes, QuotedPath(path), image, error);
}

}  // namespace

void RebuildCurveTables(EscSettingsImage& image) {
  for (CurveKind kind : {CurveKind::kThrottle, CurveKind::kBrake, CurveKind::kBoost}) {
    CurveModel(kind, image).LoadCurve();
  }
}

std::vector<ClampedField> ClampImportedFields(EscSettingsImage& image) {
  std::vector<ClampedField> clamped = FieldsBeyondOptions(image);
  RefreshAllPagesFromImage(image);
  return clamped;
}

std::string ClampedFieldsNote(const std::vector<ClampedField>& clamped) {
  if (clamped.empty()) return {};
  std::string out = std::to_string(clamped.size()) +
                    (clamped.size() == 1 ? " field lies beyond its option list and is taken as "
                                           "its last option:"
                                         : " fields lie beyond their option lists and are taken "
                                           "as their last option:");
  for (size_t i = 0; i < clamped.size(); ++i) {
    const ClampedField& c = clamped[i];
    out += std::string(i ? ", " : " ") + std::string(c.setting->field_name) + " " +
           std::to_string(c.stored) + " -> " + std::to_string(c.used);
  }
  return out;
}

bool ImportSettingsFromPath(const std::string& path, EscSettingsImage& image, std::string& error,
                            std::vector<ClampedField>* clamped) {
  EscSettingsImage read = image;
  if (!ReadAndDecode(path, read, error)) return false;
  std::vector<ClampedField> changed = ClampImportedFields(read);
  RebuildCurveTables(read);
  image = read;
  if (clamped) *clamped = std::move(changed);
  return true;
}

bool ImportSettingsFromBytes(std::span<const uint8_t> file, EscSettingsImage& image,
                             std::string& error) {
  if (!DecodeNamed(file, "(data)", image, error)) return false;
  ClampImportedFields(image);
  RebuildCurveTables(image);
  return true;
}

std::optional<EscSettingsImage> ReadSettingsFile(const std::string& path, std::string& error) {
  EscSettingsImage image;
  if (!ReadAndDecode(path, image, error)) return std::nullopt;
  return image;
}

}  // namespace tessel
