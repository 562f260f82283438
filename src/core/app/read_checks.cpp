#include "core/app/read_checks.h"

namespace tessel {

std::vector<std::string> DamagedCurveNames(const Session& session) {
  std::vector<std::string> names;
  const auto curves = CurveFields();
  for (size_t i = 0; i < curves.size(); ++i) {
    if (session.damaged_curves[i]) names.emplace_back(curves[i].name);
  }
  return names;
}

std::string DamagedReadText(const Session& session) {
  std::string names;
  for (const auto& n : DamagedCurveNames(session)) names += (names.empty() ? "" : ", ") + n;
  return names.empty() ? names : "damaged curve (wrong check value): " + names;
}

}  // namespace tessel
