#include "core/session/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/curves/curve_model.h"

namespace tessel {

namespace {

using I = EscSettingsImage;

// Curves in file order.
constexpr std::array<CurveData I::*, 3> kFileCurves{&I::boost_curve, &I::brake_curve,
                                                    &I::throttle_curve};

uint8_t LowByte(int32_t v) {
  return static_cast<uint8_t>(static_cast<uint32_t>(v) & 0xFF);
}

std::string Quoted(const std::string& path) {
  return "\"" + path + "\"";
}

std::string ErrnoText(int err) {
  return err != 0 ? std::string(std::strerror(err)) : std::string("unknown error");
}

bool NonEmptyFileExists(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return !ec && size > 0;
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
  // Only the file name is cut: a dot in a folder name must not move the file elsewhere.
  const size_t sep = chosen.find_last_of("/\\");
  const size_t name_start = sep == std::string_view::npos ? 0 : sep + 1;
  const size_t dot = chosen.find('.', name_start);
  std::string path(chosen.substr(0, dot));
  path += kSettingsFileExtension;
  return path;
}

bool ReadSettingsFileBytes(const std::string& path, std::vector<uint8_t>& bytes,
                           std::string& error) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    error = "Cannot open " + Quoted(path) + ": " + ErrnoText(errno);
    return false;
  }
  // One byte more than a record is enough to refuse a longer file without reading it all.
  std::vector<uint8_t> buffer(kSettingsRecordLength + 1);
  errno = 0;
  const size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) {
    error = "Cannot read " + Quoted(path) + ": " + ErrnoText(err);
    return false;
  }
  buffer.resize(n);
  bytes = std::move(buffer);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write,
                           std::string& error) {
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
    error = "Cannot create " + Quoted(path) + ": " + ErrnoText(err);
    return false;
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
    error = "Cannot write " + Quoted(path) + ": " + ErrnoText(err);
    return false;
  }

  errno = 0;
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    err = errno;
    std::remove(temp.c_str());
    error = "Cannot write " + Quoted(path) + ": " + ErrnoText(err);
    return false;
  }
  return true;
}

bool ExportSettingsToPath(const EscSettingsImage& image, const std::string& path, bool overwrite,
                          std::string& error) {
  if (!overwrite && NonEmptyFileExists(path)) {
    error = "Cannot write " + Quoted(path) + ": the file exists";
    return false;
  }
  const std::vector<uint8_t> bytes = EncodeSettingsFile(image);
  return ReplaceFileAtomically(
      path, [&](std::FILE* f) { return WriteAll(f, bytes); }, error);
}

namespace {

bool ReadAndDecode(const std::string& path, EscSettingsImage& image, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadSettingsFileBytes(path, bytes, error)) return false;
  const SettingsFileError result = DecodeSettingsFile(bytes, image);
  if (result != SettingsFileError::kNone) {
    error = std::string(kImportErrorText) + " " + Quoted(path) + ": " +
            std::string(SettingsFileErrorReason(result));
    return false;
  }
  return true;
}

void RebuildCurveTables(EscSettingsImage& image) {
  for (CurveKind kind : {CurveKind::kThrottle, CurveKind::kBrake, CurveKind::kBoost}) {
    CurveModel(kind, image).LoadCurve();
  }
}

}  // namespace

bool ImportSettingsFromPath(const std::string& path, EscSettingsImage& image, std::string& error) {
  if (!ReadAndDecode(path, image, error)) return false;
  RebuildCurveTables(image);
  return true;
}

std::optional<EscSettingsImage> ReadSettingsFile(const std::string& path, std::string& error) {
  EscSettingsImage image;
  if (!ReadAndDecode(path, image, error)) return std::nullopt;
  return image;
}

bool ExportSettings(const SettingsFileHost& host) {
  if (host.busy || host.status.device_class != kDeviceFull) return false;

  const std::optional<std::string> chosen = host.ui.ChooseSaveFile(kSettingsFileFilter);
  if (!chosen) return false;
  const std::string path = SettingsExportPath(*chosen);

  if (NonEmptyFileExists(path) &&
      host.ui.Ask(kOverwriteText, kOverwriteCaption, Buttons::kYesNo) != Answer::kYes) {
    return false;
  }

  host.ui.RefreshMainWindow();
  host.ui.CollectPageSelections();
  if (host.load_all_curves) host.load_all_curves();

  std::string error;
  if (!ExportSettingsToPath(host.image, path, /*overwrite=*/true, error)) {
    host.ui.Ask(error, kExportCaption, Buttons::kOk);
    host.ui.ReportFailure("Export failed: " + error);
    return false;
  }
  host.ui.ReportOutcome("Exported to " + path);
  return true;
}

bool ImportSettings(const SettingsFileHost& host) {
  if (host.busy || host.status.device_class != kDeviceFull) return false;

  const std::optional<std::string> chosen = host.ui.ChooseOpenFile(kSettingsFileFilter);
  if (!chosen) return false;

  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadSettingsFileBytes(*chosen, bytes, error)) {
    host.ui.Ask(error, kImportCaption, Buttons::kOk);
    host.ui.ReportFailure("Import failed: " + error);
    return false;
  }
  const SettingsFileError result = DecodeSettingsFile(bytes, host.image);
  if (result != SettingsFileError::kNone) {
    // The box keeps its text; the reason, as the command line gives it, goes under it.
    const std::string reason = Quoted(*chosen) + ": " + std::string(SettingsFileErrorReason(result));
    host.ui.AskQuestion(Question{kImportErrorText, kImportCaption, Buttons::kOkCancel, reason, {}});
    host.ui.ReportFailure("Import failed: " + reason);
    return false;
  }

  if (host.load_all_curves) host.load_all_curves();
  host.ui.RefreshPagesFromImage();
  host.ui.ShowLoggedData();
  host.ui.ReportOutcome("Imported " + *chosen);
  host.ui.RefreshMainWindow();
  return true;
}

}  // namespace tessel
