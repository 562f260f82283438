// How the command line prints a settings image: a sheet for people and JSON for scripts.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

struct SheetSource {
  const EscSettingsImage& image;
  int32_t device_class;                   // 3 full ESC, 1 V1-series
  int32_t v1_block_variant;               // 10 or 11
  std::string version;                    // empty when there is none (a file)
  std::vector<std::string> damaged = {};  // curves that arrived damaged ("throttle", ...)
};

// Rows as a table for a terminal: each column padded to its widest cell, one line a row.
std::string ColumnsText(const std::vector<std::vector<std::string>>& rows);

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);

std::string SettingsSheet(const SheetSource& source);
std::string SettingsJson(const SheetSource& source);

// The points of a stored curve up to and including its end marker (100, 100), or 41 points
// when none of the first 40 is the marker.
std::vector<std::pair<int, int>> StoredCurvePoints(const CurveData& curve);

// Those points as "(0,0) (50,70) (100,100)".
std::string CurvePointsText(const CurveData& curve);

}  // namespace tessel
