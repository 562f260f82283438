// `diff` and `--verify`: two setups compared field by field, as text and JSON. The device work
// (reading the ESC, sending) stays in main.cpp; this file only loads, compares and words.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/model/settings_image.h"
#include "core/model/setup_compare.h"
#include "core/model/setup_load.h"

namespace tessel {

// {"equal": bool, "first": NAME, "second": NAME, "differences": [{"name", "label", "kind":
// "field"|"curve", "first", "second"}]}
std::string DiffJson(const std::vector<SetupDifference>& differences, const std::string& first,
                     const std::string& second);

// What the connected ESC holds, read through the engine's own read. Returns 0, or the exit
// status when the read failed (its message already printed).
struct EscSetup {
  EscSettingsImage image;
  int32_t device_class = 0;
  bool v1_bec = false;  // a V1-series ESC with the 16-byte block (BEC)
};
using ReadEsc = std::function<int(EscSetup& esc)>;

// `diff A [B]`: with two files compares A with B; with one the ESC (read through `read_esc`)
// with the file. Setups of a V1-series ESC (JSON) compare by the V1 fields; a full-ESC setup
// against a V1-series one (or ESC) is refused. Exit 0 equal, 1 different, 2 a bad file, setups
// of two kinds or a read that failed (130 when interrupted), as diff(1) keeps 2 for trouble.
int RunDiff(const std::vector<std::string>& files, bool json, const ReadEsc& read_esc);

// The verify after a send: "Verified" when every sent field and curve table read back as
// sent; otherwise "Verify failed:" and one line per difference ("sent X, read back Y").
struct VerifyOutcome {
  bool verified = false;
  std::vector<SetupDifference> differences;
  std::string text;  // for stdout
};
VerifyOutcome VerifySent(const EscSettingsImage& sent, const EscSettingsImage& read_back,
                         int32_t device_class, bool v1_bec);

}  // namespace tessel
