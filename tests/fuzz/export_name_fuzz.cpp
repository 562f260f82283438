// libFuzzer target for the export name rule: the name given is kept whole, ".DATA" is added
// only when it is missing, and names that cannot be a file are refused.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/model/settings_file.h"

namespace {

bool EndsWithData(const std::string& s) {
  if (s.size() < 5) return false;
  std::string tail = s.substr(s.size() - 5);
  for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return tail == ".DATA";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Names live in a folder of their own so that no existing file of the system is looked at.
  std::string name(reinterpret_cast<const char*>(data), size);
  const std::string path = tessel::SettingsExportPath(name);
  if (path.compare(0, name.size(), name) != 0) std::abort();  // nothing of the name is cut
  if (!EndsWithData(path)) std::abort();
  if (EndsWithData(name) != (path == name)) std::abort();
  if (path.size() != name.size() && path.size() != name.size() + 5) std::abort();

  if (name.find('\0') != std::string::npos) return 0;
  const std::string chosen = "/nonexistent-tessel-fuzz/" + name;
  std::string resolved, error;
  const bool ok = tessel::ResolveExportPath(chosen, resolved, error);
  if (!ok && error.empty()) std::abort();  // a refusal always says why
  if (ok && (resolved != tessel::SettingsExportPath(chosen))) std::abort();
  if (ok && (chosen.back() == '/' || chosen.back() == '\\')) std::abort();
  std::string empty_path, empty_error;
  if (tessel::ResolveExportPath("", empty_path, empty_error)) std::abort();
  return 0;
}
