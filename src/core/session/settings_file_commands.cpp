// The two menu commands over the session object; kept apart from the record code so that the
// file functions can be used without the session engine.
#include "core/session/session.h"
#include "core/session/settings_file.h"

namespace tessel {

namespace {

SettingsFileHost HostFor(Session& session) {
  return SettingsFileHost{session.image, session.status, session.IsBusy(), session.ui(),
                          [&session] { session.LoadAllCurves(); }};
}

}  // namespace

bool ExportSettings(Session& session) {
  return ExportSettings(HostFor(session));
}

bool ImportSettings(Session& session) {
  if (!ImportSettings(HostFor(session))) return false;
  // The curves now come from the file, not from a damaged read.
  session.damaged_curves.fill(false);
  return true;
}

}  // namespace tessel
