#include "cli/setup_diff.h"

#include <cstdio>

#include "cli/command_line.h"
#include "core/model/setup_link.h"
#include "core/model/sheet.h"

namespace tessel {

std::string DiffJson(const std::vector<SetupDifference>& differences, const std::string& first,
                     const std::string& second) {
  std::string out = std::string("{\"equal\": ") + (differences.empty() ? "true" : "false") +
                    ", \"first\": " + JsonString(first) + ", \"second\": " + JsonString(second) +
                    ", \"differences\": [";
  for (size_t i = 0; i < differences.size(); ++i) {
    const SetupDifference& d = differences[i];
    out += std::string(i ? ", " : "") + "{\"name\": " + JsonString(d.name) +
           ", \"label\": " + JsonString(d.label) + ", \"kind\": \"" +
           (d.curve ? "curve" : "field") + "\", \"first\": " + JsonString(d.first) +
           ", \"second\": " + JsonString(d.second) + "}";
  }
  return out + "]}";
}

namespace {

const char* KindText(int32_t device_class) {
  return device_class == kDeviceV1 ? "V1-series" : "full-ESC";
}

}  // namespace

int RunDiff(const std::vector<std::string>& files, bool json, const ReadEsc& read_esc) {
  // Every file is checked (through the one loader) before the ESC is looked for.
  std::vector<EscSettingsImage> loaded(files.size());
  std::vector<SetupInfo> kinds(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    std::string error;
    if (!LoadSetupForDiff(files[i], loaded[i], error, &kinds[i])) {
      std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
      return kExitUsage;
    }
  }
  EscSettingsImage first;
  EscSettingsImage second;
  std::string first_name;
  std::string second_name;
  int32_t device_class = kinds[0].device_class;
  bool v1_bec = kinds[0].bec_only_fields;
  if (files.size() == 2) {
    if (kinds[0].device_class != kinds[1].device_class) {
      std::fprintf(stderr,
                   "tesselarc-cli: %s holds %s settings and %s %s ones; no ESC takes both\n",
                   SetupSourceName(files[0]).c_str(), KindText(kinds[0].device_class),
                   SetupSourceName(files[1]).c_str(),
                   KindText(kinds[1].device_class));
      return kExitUsage;
    }
    first = loaded[0];
    second = loaded[1];
    first_name = SetupSourceName(files[0]);
    second_name = SetupSourceName(files[1]);
    v1_bec = v1_bec || kinds[1].bec_only_fields;
  } else {
    EscSetup esc;
    // 1 means "different" here, as with diff(1); any trouble reaching the ESC is 2, so that
    // a script never takes a missing adapter for a setup that needs writing.
    if (int rc = read_esc(esc)) return rc == kExitFailure ? kExitUsage : rc;
    if (esc.device_class != kinds[0].device_class) {
      std::fprintf(stderr, "tesselarc-cli: %s holds %s settings; this is a %s, nothing to "
                           "compare\n",
                   SetupSourceName(files[0]).c_str(), KindText(kinds[0].device_class),
                   esc.device_class == kDeviceV1 ? "V1-series ESC" : "full ESC");
      return kExitUsage;
    }
    // Read again over what the ESC holds, so that fields a JSON setup leaves out count as
    // the ESC's own (as `write` would leave them), not as defaults.
    std::string error;
    if (!LoadSetupForDiff(files[0], second, error, nullptr, &esc.image)) {
      std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
      return kExitUsage;
    }
    first = esc.image;
    first_name = json ? "esc" : "the ESC";
    second_name = SetupSourceName(files[0]);
    v1_bec = esc.v1_bec;
  }
  const std::vector<SetupDifference> differences = CompareSetups(
      first, second, device_class == kDeviceV1 ? CompareScope::kV1 : CompareScope::kFile, v1_bec);
  if (json) {
    std::printf("%s\n", DiffJson(differences, first_name, second_name).c_str());
  } else {
    std::printf("%s", DifferenceLines(differences).c_str());
    // Like diff(1), nothing on stdout when equal; the count for a person reading along.
    if (differences.empty()) {
      std::fprintf(stderr, "no differences between %s and %s\n", first_name.c_str(),
                   second_name.c_str());
    } else {
      std::fprintf(stderr, "%zu difference%s between %s and %s\n", differences.size(),
                   differences.size() == 1 ? "" : "s", first_name.c_str(), second_name.c_str());
    }
  }
  std::fflush(stdout);
  return differences.empty() ? kExitOk : kExitFailure;
}

VerifyOutcome VerifySent(const EscSettingsImage& sent, const EscSettingsImage& read_back,
                         int32_t device_class, bool v1_bec) {
  VerifyOutcome outcome;
  outcome.differences = CompareSetups(sent, read_back, SentScope(device_class), v1_bec);
  outcome.verified = outcome.differences.empty();
  if (outcome.verified) {
    outcome.text = "Verified\n";
    return outcome;
  }
  outcome.text = "Verify failed:\n" + ReadBackLines(outcome.differences, "  ");
  return outcome;
}

}  // namespace tessel
