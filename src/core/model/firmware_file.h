// Firmware image files: the hex-text record files (".xup", ".lcv") read leniently for the
// serial update and strictly for the HID update, the masked binary images (".xut", ".hgm"),
// the version number carried in a file name, and the damage check that every update path
// runs before the first byte goes to a device. The loaders are pure functions of the file
// contents; they never touch a link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessel {

constexpr size_t kHexImageLimit = 262144;    // 256 KiB of decoded hex-text data
constexpr size_t kMaskedImageLimit = 65535;  // its length travels as a 16-bit value
constexpr uint8_t kFirmwareMask = 0xB6;

constexpr const char* kSerialFirmwareFilter = "All File (*.*)|*.*|(*.LCV)|*.lcv||";
// The first entry's label names the firmware kind; its pattern shows that kind as well as the
// "*.bin" the label alone would hide it behind.
constexpr const char* kLcdFirmwareFilter =
    "config Files (*.xut)|*.xut;*.bin| all file  (*.*)|*.*||";
constexpr const char* kHgmFirmwareFilter =
    "config Files (*.hgm)|*.hgm;*.bin| all file  (*.*)|*.*||";
constexpr const char* kXupFirmwareFilter =
    "config Files (*.xup)|*.xup;*.bin| all file  (*.*)|*.*||";
// A masked image goes out in 512-byte blocks with the last block under its own header, so it
// must be longer than one block.
constexpr size_t kMaskedBlockBytes = 512;

enum class FirmwareFormat { kHexLenient, kHexStrict, kMasked };

// Where a hex-text loader stopped reading.
enum class HexStop {
  kEndOfFile,       // every character was read
  kStrayCharacter,  // lenient: a character that is neither white space nor a hex digit
  kLimit,           // the decoded image reached its limit
  kLoneDigit,       // lenient: a byte written with one digit (a digit was lost)
};

// A character of the file, by its offset in the file as stored.
struct FileCharacter {
  uint64_t offset = 0;
  uint8_t value = 0;
};

struct FirmwareLoadResult {
  FirmwareFormat format = FirmwareFormat::kHexLenient;
  bool opened = false;
  std::string error;  // why the file could not be opened or read
  std::vector<uint8_t> image;
  size_t limit = 0;  // the loader's capacity in decoded bytes
  HexStop stop = HexStop::kEndOfFile;
  // The file holds more data than `limit` bytes (for hex text: more than white space).
  bool data_beyond_limit = false;
  // Lenient: the character it stopped at. Strict: the first character it read as nibble 0
  // although it is not "0" (a blank, a line end, a lower-case digit...).
  std::optional<FileCharacter> stray;
  // Strict: a hex digit left over at the end because the text has an odd number of them.
  std::optional<FileCharacter> unpaired;
  // Lenient: the digit that stood alone. Every byte of a sound file has two digits, so a
  // lone one means a digit was lost and every byte read from here on would be wrong.
  std::optional<FileCharacter> lone_digit;
};

// The "%2X" reading: white space is skipped, then two hex digits (either case) make a byte;
// reading stops at the end of the file, at any other character, at a digit that stands alone
// (`lone_digit`: the file is damaged), or at 262,144 bytes.
FirmwareLoadResult LoadHexRecordsLenient(const std::string& path);
// The same reading from an open stream (the file loader and the fuzz target share it).
// `read_error` receives the errno of a failed read (0 when none).
FirmwareLoadResult ReadHexRecordsLenient(std::FILE* f, int* read_error = nullptr);

// Text mode (CR LF reads as LF), two characters per byte while at least two remain; "A"-"F"
// and "0"-"9" are their value, every other character (lower case included) counts as 0 and
// is reported as `stray`. Line ends and blanks after the last other character are not data.
FirmwareLoadResult LoadHexRecordsStrict(const std::string& path);
FirmwareLoadResult ReadHexRecordsStrict(std::FILE* f, int* read_error = nullptr);

// Every file byte XORed with 0xB6, at most 65,535 bytes.
FirmwareLoadResult LoadMaskedImage(const std::string& path);
FirmwareLoadResult ReadMaskedImage(std::FILE* f, int* read_error = nullptr);

// Bytes to send for the record at `pos`: image[pos] * 256 + image[pos + 1] + 2. Empty when
// fewer than two bytes remain there. The record may still run past the end of the image;
// CheckFirmwareImage rules that out before anything is sent.
std::optional<size_t> RecordLengthAt(std::span<const uint8_t> image, size_t pos);

// Checks that the records chain from offset 0 exactly to the last byte. Returns a text that
// names the fault, or nothing.
std::optional<std::string> CheckRecordChain(std::span<const uint8_t> image);

// The damage check: nothing that the tool can tell is damaged may be sent, because an ESC
// whose update broke off part way may not start again. Returns a text naming the problem,
// or nothing when the image may be sent. A masked image must also be longer than one block.
std::optional<std::string> CheckFirmwareImage(const FirmwareLoadResult& load);

struct FileVersion {
  std::string path;                // cut just after ".xup" (whole when it was not found)
  std::string name;                // the file name the number is read from
  bool xup_found = false;          // ".xup" within the first 250 positions
  std::optional<uint32_t> number;  // empty: no hex digit at the name's fourth character
};

// The firmware version carried in a file name: ".xup" is searched case-insensitively from
// the path's second character over at most 250 positions, the path is cut after it, and the
// number is read "%6x"-style from the fourth character of the file name.
FileVersion FileVersionFromName(std::string_view path);

// The same "%6x" reading from the fourth character of a text (the device's version text).
std::optional<uint32_t> HexNumberFromFourthCharacter(std::string_view text);

}  // namespace tessel
