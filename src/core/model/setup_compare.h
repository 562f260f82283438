// Field-by-field comparison of two settings images, named as the pages name them: what
// `diff` prints, what a verify after a send reports, and what an undo asks about.
#pragma once

#include <string>
#include <vector>

#include "core/model/settings_image.h"

namespace tessel {

struct SetupDifference {
  bool curve = false;  // a curve rather than a field
  std::string name;    // "run_mode", "throttle_curve"
  std::string label;   // "RUN MODE", "THROTTLE CURVE"
  // Option text (or "(index N)"); a curve as its points, "(0,0) (25,31) (100,100)", or as
  // its samples, "table 0,3,...", where only those differ.
  std::string first;
  std::string second;
};

enum class CompareScope {
  // What a settings file holds: the full ESC's page fields (not the profile preset) and all
  // three curves, compared by their points and then their tables.
  kFile,
  // What a send of a full ESC writes and a read brings back: the 27 sendable fields and the
  // curves whose mode is custom in the first image, compared by their tables (samples 0..39,
  // what the ESC works from) and shown, as in a file's comparison, by their points.
  kSentFull,
  // The V1-series fields; `v1_bec` adds the BEC voltage of the 16-byte block.
  kV1,
};

std::vector<SetupDifference> CompareSetups(const EscSettingsImage& first,
                                           const EscSettingsImage& second, CompareScope scope,
                                           bool v1_bec = false);

// The scope for what a session with this device sends.
CompareScope SentScope(int32_t device_class);

// "RUN MODE (run_mode): Forward/Brake -> Forward/Reverse", or with `first_name` and
// `second_name` "RUN MODE (run_mode): sent Forward/Brake, read back Forward/Reverse".
std::string DifferenceLine(const SetupDifference& difference, const std::string& first_name = {},
                           const std::string& second_name = {});

// One DifferenceLine per difference, each after `indent` and ending in a newline: what
// `diff` prints and what a question lists.
std::string DifferenceLines(const std::vector<SetupDifference>& differences,
                            const std::string& indent = {}, const std::string& first_name = {},
                            const std::string& second_name = {});

// What sending `target` to an ESC that holds `current` changes, each difference from what the
// ESC holds to what goes out ("now -> then"): what an undo or a restore asks about. `target`
// decides which curves go out.
std::vector<SetupDifference> SendChanges(const EscSettingsImage& current,
                                         const EscSettingsImage& target, int32_t device_class,
                                         bool v1_bec);

// A verify's findings: one "LABEL (name): sent X, read back Y" line per difference, each after
// `indent`, and the count as "1 setting read back other than sent" / "N settings ...".
std::string ReadBackLines(const std::vector<SetupDifference>& differences,
                          const std::string& indent = {});
std::string ReadBackMismatchText(size_t count);

}  // namespace tessel
