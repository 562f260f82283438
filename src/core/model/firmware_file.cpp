#include "core/model/firmware_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace tessel {

namespace {

// White space as the C locale's formatted input skips it.
bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The strict loader's nibble: upper-case digits only, anything else is 0.
int StrictNibble(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

bool IsStrictDigit(int c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

std::string ErrnoText(int err) {
  return err != 0 ? std::string(std::strerror(err)) : std::string("unknown error");
}

// A file read one character at a time, keeping the offset of the last character returned.
class CharReader {
 public:
  explicit CharReader(std::FILE* f) : f_(f) {}

  int Get() {
    int c = std::getc(f_);
    if (c == EOF) {
      if (std::ferror(f_) && err_ == 0) err_ = errno != 0 ? errno : EIO;
      return EOF;
    }
    offset_ = next_++;
    return c;
  }
  // Text mode as the HID path opens the file: CR LF reads as LF.
  int GetText() {
    int c = Get();
    if (c != '\r') return c;
    const uint64_t cr_offset = offset_;
    const int d = std::getc(f_);
    if (d == '\n') {
      offset_ = next_++;
      return '\n';
    }
    if (d != EOF) std::ungetc(d, f_);
    offset_ = cr_offset;
    return c;
  }
  // True when anything but white space is left.
  bool DataLeft() {
    int c;
    do {
      c = Get();
    } while (c != EOF && IsSpace(c));
    return c != EOF;
  }
  uint64_t offset() const { return offset_; }
  int error() const { return err_; }

 private:
  std::FILE* f_;
  uint64_t next_ = 0;
  uint64_t offset_ = 0;
  int err_ = 0;
};

std::FILE* OpenForLoad(const std::string& path, FirmwareLoadResult& r) {
  // A fifo would block the open for ever and a device may never end: only regular files.
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st)) {
    r.error = "Cannot open \"" + path + "\": not a regular file";
    return nullptr;
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    r.error = "Cannot open \"" + path + "\": " + ErrnoText(errno);
    return nullptr;
  }
  r.opened = true;
  return f;
}

void FinishLoad(std::FILE* f, const std::string& path, int read_error, FirmwareLoadResult& r) {
  std::fclose(f);
  if (read_error != 0) r.error = "Cannot read \"" + path + "\": " + ErrnoText(read_error);
}

std::string Describe(const FileCharacter& c) {
  char text[64];
  if (c.value >= 0x21 && c.value <= 0x7E) {
    std::snprintf(text, sizeof text, "'%c' (0x%02X) at offset %llu", c.value, c.value,
                  static_cast<unsigned long long>(c.offset));
  } else {
    std::snprintf(text, sizeof text, "0x%02X at offset %llu", c.value,
                  static_cast<unsigned long long>(c.offset));
  }
  return text;
}

}  // namespace

FirmwareLoadResult LoadHexRecordsLenient(const std::string& path) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kHexLenient;
  r.limit = kHexImageLimit;
  std::FILE* f = OpenForLoad(path, r);
  if (f == nullptr) return r;
  int read_error = 0;
  FirmwareLoadResult read = ReadHexRecordsLenient(f, &read_error);
  FinishLoad(f, path, read_error, read);
  return read;
}

FirmwareLoadResult ReadHexRecordsLenient(std::FILE* f, int* read_error) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kHexLenient;
  r.limit = kHexImageLimit;
  r.opened = true;
  CharReader in(f);
  for (;;) {
    if (r.image.size() >= r.limit) {
      r.data_beyond_limit = in.DataLeft();
      r.stop = r.data_beyond_limit ? HexStop::kLimit : HexStop::kEndOfFile;
      break;
    }
    int c;
    do {
      c = in.Get();
    } while (c != EOF && IsSpace(c));
    if (c == EOF) {
      r.stop = HexStop::kEndOfFile;
      break;
    }
    const int high = HexValue(c);
    if (high < 0) {
      r.stop = HexStop::kStrayCharacter;
      r.stray = FileCharacter{in.offset(), static_cast<uint8_t>(c)};
      break;
    }
    const FileCharacter first{in.offset(), static_cast<uint8_t>(c)};
    const int d = in.Get();
    const int low = d == EOF ? -1 : HexValue(d);
    if (low < 0) {
      // "BB" that lost a digit reads as 0x0B, and every later byte shifts: refuse it.
      r.stop = HexStop::kLoneDigit;
      r.lone_digit = first;
      break;
    }
    r.image.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  // A read error is reported by the caller, which knows the file's name.
  if (read_error) *read_error = in.error();
  return r;
}

FirmwareLoadResult LoadHexRecordsStrict(const std::string& path) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kHexStrict;
  r.limit = kHexImageLimit;
  std::FILE* f = OpenForLoad(path, r);
  if (f == nullptr) return r;
  int read_error = 0;
  FirmwareLoadResult read = ReadHexRecordsStrict(f, &read_error);
  FinishLoad(f, path, read_error, read);
  return read;
}

FirmwareLoadResult ReadHexRecordsStrict(std::FILE* f, int* read_error) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kHexStrict;
  r.limit = kHexImageLimit;
  r.opened = true;
  CharReader in(f);
  uint64_t count = 0;        // characters read, in text mode
  uint64_t significant = 0;  // characters up to the last one that is not white space
  std::optional<FileCharacter> last;
  std::optional<FileCharacter> first_other;  // the first that is not an upper-case digit
  uint64_t first_other_index = 0;
  int high = -1;
  for (;;) {
    if (high < 0 && r.image.size() >= r.limit) {
      r.data_beyond_limit = in.DataLeft();
      r.stop = r.data_beyond_limit ? HexStop::kLimit : HexStop::kEndOfFile;
      break;
    }
    const int c = in.GetText();
    if (c == EOF) break;
    const FileCharacter here{in.offset(), static_cast<uint8_t>(c)};
    ++count;
    if (!IsSpace(c)) {
      significant = count;
      last = here;
    }
    if (!IsStrictDigit(c) && !first_other) {
      first_other = here;
      first_other_index = count - 1;
    }
    if (high < 0) {
      high = StrictNibble(c);
    } else {
      r.image.push_back(static_cast<uint8_t>(high * 16 + StrictNibble(c)));
      high = -1;
    }
  }
  // Line ends and blanks after the last digit close the file; they are not data.
  if (!r.data_beyond_limit) r.image.resize(std::min<size_t>(r.image.size(), significant / 2));
  if (first_other && first_other_index < significant) r.stray = first_other;
  // A lone last digit is not read: half a byte would be lost.
  if (significant % 2 == 1 && last && IsStrictDigit(last->value)) r.unpaired = last;
  if (read_error) *read_error = in.error();
  return r;
}

FirmwareLoadResult LoadMaskedImage(const std::string& path) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kMasked;
  r.limit = kMaskedImageLimit;
  std::FILE* f = OpenForLoad(path, r);
  if (f == nullptr) return r;
  int read_error = 0;
  FirmwareLoadResult read = ReadMaskedImage(f, &read_error);
  FinishLoad(f, path, read_error, read);
  return read;
}

FirmwareLoadResult ReadMaskedImage(std::FILE* f, int* read_error) {
  FirmwareLoadResult r;
  r.format = FirmwareFormat::kMasked;
  r.limit = kMaskedImageLimit;
  r.opened = true;
  r.image.resize(r.limit);
  errno = 0;
  const size_t n = std::fread(r.image.data(), 1, r.image.size(), f);
  int err = std::ferror(f) ? (errno != 0 ? errno : EIO) : 0;
  r.image.resize(n);
  for (auto& b : r.image) b ^= kFirmwareMask;
  if (err == 0 && n == r.limit) {
    errno = 0;
    r.data_beyond_limit = std::getc(f) != EOF;
    if (std::ferror(f)) err = errno != 0 ? errno : EIO;
  }
  r.stop = r.data_beyond_limit ? HexStop::kLimit : HexStop::kEndOfFile;
  if (read_error) *read_error = err;
  return r;
}

std::optional<size_t> RecordLengthAt(std::span<const uint8_t> image, size_t pos) {
  if (pos >= image.size() || image.size() - pos < 2) return std::nullopt;
  return static_cast<size_t>(image[pos]) * 256 + image[pos + 1] + 2;
}

std::optional<std::string> CheckRecordChain(std::span<const uint8_t> image) {
  size_t pos = 0;
  while (pos < image.size()) {
    const std::optional<size_t> n = RecordLengthAt(image, pos);
    if (!n) {
      return "the firmware data ends with a single byte at offset " + std::to_string(pos) +
             ", too short for a record length";
    }
    const size_t left = image.size() - pos;
    if (*n > left) {
      return "the firmware record at offset " + std::to_string(pos) + " needs " +
             std::to_string(*n) + " bytes but only " + std::to_string(left) + " remain";
    }
    pos += *n;
  }
  return std::nullopt;
}

std::optional<std::string> CheckFirmwareImage(const FirmwareLoadResult& load) {
  if (!load.opened) {
    return load.error.empty() ? std::string("the firmware file could not be opened") : load.error;
  }
  if (!load.error.empty()) return load.error;
  if (load.data_beyond_limit) {
    return "the firmware file holds more than " + std::to_string(load.limit) + " bytes of data";
  }
  if (load.stray) {
    if (load.format == FirmwareFormat::kHexStrict) {
      // A file of this kind is one unbroken run of digits; a line break or a blank may only
      // close it. Say so in words: a bare "0x0A" tells a user nothing.
      const char* blank = nullptr;
      switch (load.stray->value) {
        case '\n': blank = "a line break"; break;
        case '\r': blank = "a carriage return"; break;
        case ' ': blank = "a space"; break;
        case '\t': blank = "a tab"; break;
        default: break;
      }
      if (blank != nullptr) {
        return std::string("the firmware file has ") + blank + " inside its hex digits (" +
               Describe(*load.stray) +
               "); this file must be one unbroken run of upper-case hex digits";
      }
      return "the firmware file has a character that is not an upper-case hex digit: " +
             Describe(*load.stray);
    }
    return "the firmware file has a stray character " + Describe(*load.stray);
  }
  if (load.lone_digit) {
    return "the firmware file is damaged: the hex digit " + Describe(*load.lone_digit) +
           " stands alone, but every byte is written with two";
  }
  if (load.unpaired) {
    return "the firmware file has an odd number of hex digits: " + Describe(*load.unpaired) +
           " is left over";
  }
  if (load.image.empty()) return std::string("the firmware file holds no firmware data");
  if (load.format != FirmwareFormat::kMasked) return CheckRecordChain(load.image);
  // One block or less would leave the last block's header without a block before it.
  if (load.image.size() <= kMaskedBlockBytes) {
    return "the firmware image holds only " + std::to_string(load.image.size()) +
           " bytes; a block update needs more than " + std::to_string(kMaskedBlockBytes);
  }
  return std::nullopt;
}

std::optional<uint32_t> HexNumberFromFourthCharacter(std::string_view text) {
  if (text.size() < 4) return std::nullopt;
  size_t i = 3;
  while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
  uint32_t value = 0;
  int digits = 0;
  for (; i < text.size() && digits < 6; ++i, ++digits) {
    const int v = HexValue(static_cast<unsigned char>(text[i]));
    if (v < 0) break;
    value = value * 16 + static_cast<uint32_t>(v);
  }
  if (digits == 0) return std::nullopt;
  return value;
}

FileVersion FileVersionFromName(std::string_view path) {
  constexpr std::string_view kXup = ".xup";
  constexpr size_t kPositions = 250;
  FileVersion v;
  size_t found = std::string_view::npos;
  for (size_t i = 1; i <= kPositions && i + kXup.size() <= path.size(); ++i) {
    bool same = true;
    for (size_t k = 0; k < kXup.size() && same; ++k) {
      char c = path[i + k];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      same = c == kXup[k];
    }
    if (same) {
      found = i;
      break;
    }
  }

  // Without ".xup" (a ".lcv" file, or a very long path) the path stays whole and the
  // number is read from its last component.
  v.xup_found = found != std::string_view::npos;
  const std::string_view cut = v.xup_found ? path.substr(0, found + kXup.size()) : path;
  const size_t sep = cut.substr(0, v.xup_found ? found : cut.size()).find_last_of("\\/");
  v.path = std::string(cut);
  v.name = std::string(cut.substr(sep == std::string_view::npos ? 0 : sep + 1));
  v.number = HexNumberFromFourthCharacter(v.name);
  return v;
}

}  // namespace tessel
