// Settings files ("*.DATA"): the complete settings image of a full ESC as one 800-byte record
// with a header, a length field and an additive check value, stored on disk byte-reversed.
// The pure record functions come first, then the path-based functions the command line uses.
// The two menu commands over them live with the engines (engine/settings_file_commands.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/page_rules.h"

namespace tessel {

constexpr size_t kSettingsRecordLength = 800;
constexpr uint8_t kSettingsHeader0 = 0x10;
constexpr uint8_t kSettingsHeader1 = 0xA0;

// Record offsets (logical byte order).
constexpr size_t kSettingsLengthOffset = 2;   // 4 bytes, little-endian
constexpr size_t kSettingsCheckOffset = 6;    // 2 bytes, little-endian
constexpr size_t kSettingsParamsOffset = 16;  // the 31 parameter bytes in read order
constexpr size_t kSettingsRpmHighOffset = 47;
constexpr size_t kSettingsEscOutOffset = 48;
constexpr size_t kSettingsCurvesOffset = 49;  // boost, brake, throttle: table, x, y each
constexpr size_t kSettingsCurveBytes = 250;

constexpr const char* kSettingsFileFilter = "(*.DATA)|*.DATA|All File (*.*)|*.*||";
constexpr const char* kSettingsFileExtension = ".DATA";
constexpr const char* kImportErrorText = "Import file error!";
constexpr const char* kImportCaption = "Import";
constexpr const char* kOverwriteText = "This file exists,do you want overwrite it?";
constexpr const char* kOverwriteCaption = "Save as...";
constexpr const char* kExportCaption = "Export";

using SettingsRecord = std::array<uint8_t, kSettingsRecordLength>;

enum class SettingsFileError {
  kNone,
  kTooShort,       // fewer than 800 bytes
  kTooLong,        // more than 800 bytes
  kBadHeader,      // record bytes 0 and 1 are not 0x10 0xA0
  kBadLength,      // the length field differs from the file length
  kBadCheckValue,  // the stored check value differs from the byte sum
  kBadCurve,       // a curve holds values the ESC cannot take (see CheckRecordCurves)
};

// A short English reason for the command line; the menu command shows kImportErrorText.
std::string_view SettingsFileErrorReason(SettingsFileError error);

// Sum of all record bytes with offsets 6 and 7 taken as 0, low 16 bits.
uint16_t SettingsCheckValue(std::span<const uint8_t> record);

// A record can carry a valid check value and still hold curves no ESC can take (a file
// written by something else, or bytes of 0xFF). Judges the points that make each curve (up to
// and including the end point (100,100) among the first 40 slots, else 41) and the 40 samples,
// and names the first curve whose points leave 0..100 or do not rise, or whose samples exceed
// 100. Points beyond the end and table[40..49] are kept as the file holds them.
std::optional<std::string> CheckRecordCurves(std::span<const uint8_t, kSettingsRecordLength> record);

// The record in logical order, check value filled in.
SettingsRecord BuildSettingsRecord(const EscSettingsImage& image);

// The file contents: the record byte-reversed (file byte k is record byte L - 1 - k).
std::vector<uint8_t> EncodeSettingsFile(const EscSettingsImage& image);

// Validates the file contents and only then assigns the stored fields to `image`; on any
// rejection the image is left exactly as it was. Fields the file does not hold (V1 fields,
// profile preset) are never touched. The curve tables are taken as stored; the import
// commands rebuild table[0..39] from the points afterwards.
SettingsFileError DecodeSettingsFile(std::span<const uint8_t> file, EscSettingsImage& image);

// The name an export writes to: the name as given, with ".DATA" appended unless it already
// ends so in any case: "race.v2" becomes "race.v2.DATA", "a.data" stays as it is.
std::string SettingsExportPath(std::string_view chosen);

// Applies the name rule and checks the target: an empty name, a folder, a name ending in a
// separator, an existing target that is not a regular file, and a file the user cannot write
// are refused with a message naming the reason. `path` receives the name to write.
bool ResolveExportPath(std::string_view chosen, std::string& path, std::string& error);

// Reads at most 801 bytes (enough to tell a file that is too long). False with a message
// naming the file and the reason when it cannot be opened or read, or is not a regular file
// (a fifo or a device would block or never end).
bool ReadSettingsFileBytes(const std::string& path, std::vector<uint8_t>& bytes,
                           std::string& error);
// The same for any file: at most `limit` + 1 bytes, so that a caller can tell a longer file.
bool ReadFileHead(const std::string& path, size_t limit, std::string& contents,
                  std::string& error);

// Writes through a temporary file beside `path` and renames it over `path`, so that a failed
// write never leaves a half-written file in place of a good one; a replaced file keeps its
// permissions (with `owner_only`, the file is its owner's alone, 0600, whatever was there).
// `write` returns false when it could not write everything. False with a message naming the
// file and the reason.
bool ReplaceFileAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write,
                           std::string& error, bool owner_only = false);

// Command-line export: writes `image` to exactly `path` (no name rule, no page collection).
// An existing non-empty file is replaced only when `overwrite` is set, and never when it is
// not a regular file or the user cannot write it.
bool ExportSettingsToPath(const EscSettingsImage& image, const std::string& path, bool overwrite,
                          std::string& error);

// What an import does with a field the file holds beyond its option list (every byte 0xFF,
// say): it takes the list's last option, as the pages' refresh does. Returns the fields it
// changed, for ClampedFieldsNote; every import (menu, command line, show) goes through here.
std::vector<ClampedField> ClampImportedFields(EscSettingsImage& image);
// "2 fields lie beyond their option lists and are taken as their last option: run_mode 255 ->
// 2, drag_brake 40 -> 30"; empty when none.
std::string ClampedFieldsNote(const std::vector<ClampedField>& clamped);

// Table[0..39] of each curve from its points, as every import takes a curve.
void RebuildCurveTables(EscSettingsImage& image);

// Command-line import: reads and validates `path`, assigns the stored fields, clamps them
// (ClampImportedFields, listed in `clamped` when given) and rebuilds table[0..39] of each curve
// from its points, as the menu import does. The image is untouched on any failure.
bool ImportSettingsFromPath(const std::string& path, EscSettingsImage& image, std::string& error,
                            std::vector<ClampedField>* clamped = nullptr);
// The same for file contents already in memory.
bool ImportSettingsFromBytes(std::span<const uint8_t> file, EscSettingsImage& image,
                             std::string& error);

// For showing a file without a device: the fields as stored (tables not rebuilt) over a
// default image. `show` clamps them as an import would (ClampImportedFields).
std::optional<EscSettingsImage> ReadSettingsFile(const std::string& path, std::string& error);

// The pieces the menu commands share with the functions above: a path in double quotes, as
// every message names a file; whether a file with contents is already there; and the reason a
// file was refused (the curve check names the curve and the value).
std::string QuotedPath(const std::string& path);
bool NonEmptyFileExists(const std::string& path);
std::string SettingsFileRejection(std::span<const uint8_t> file, SettingsFileError result);

}  // namespace tessel
