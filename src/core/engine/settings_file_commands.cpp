#include "core/engine/settings_file_commands.h"

#include "core/engine/session.h"
#include "core/model/settings_file.h"
#include "core/model/setup_json.h"
#include "core/model/setup_link.h"

namespace tessel {

bool ExportSettings(const SettingsFileHost& host) {
  if (host.busy || host.status.device_class != kDeviceFull) return false;

  const std::optional<std::string> chosen = host.ui.ChooseSaveFile(kSettingsFileFilter);
  if (!chosen) return false;
  std::string path;
  std::string error;
  if (!ResolveExportPath(*chosen, path, error)) {
    host.ui.Ask(error, kExportCaption, Buttons::kOk);
    return false;
  }

  if (NonEmptyFileExists(path) &&
      host.ui.Ask(kOverwriteText, kOverwriteCaption, Buttons::kYesNo) != Answer::kYes) {
    return false;
  }

  host.ui.RefreshMainWindow();
  host.ui.CollectPageSelections();
  if (host.load_all_curves) host.load_all_curves();

  if (!ExportSettingsToPath(host.image, path, /*overwrite=*/true, error)) {
    host.ui.Ask(error, kExportCaption, Buttons::kOk);
    host.ui.ReportFailure("Export failed: " + error);
    return false;
  }
  host.ui.ReportOutcome("Exported to " + path);
  return true;
}

namespace {

// What every import does once the image holds the new settings.
void ShowImported(const SettingsFileHost& host, const std::string& name, const std::string& note) {
  if (host.load_all_curves) host.load_all_curves();
  host.ui.RefreshPagesFromImage();
  host.ui.ShowLoggedData();
  host.ui.ReportOutcome("Imported " + name + (note.empty() ? "" : "; " + note));
  host.ui.RefreshMainWindow();
}

}  // namespace

bool ImportSettings(const SettingsFileHost& host) {
  if (host.busy || host.status.device_class != kDeviceFull) return false;

  const std::optional<std::string> chosen = host.ui.ChooseOpenFile(kSettingsFileFilter);
  if (!chosen) return false;

  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadSettingsFileBytes(*chosen, bytes, error)) {
    host.ui.Ask(error, kImportCaption, Buttons::kOk);
    host.ui.ReportFailure("Import failed: " + error);
    return false;
  }
  if (IsJsonSetup(*chosen, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                            bytes.size()))) {
    return ImportJsonSetup(host, *chosen);
  }
  const SettingsFileError result = DecodeSettingsFile(bytes, host.image);
  if (result != SettingsFileError::kNone) {
    // The box keeps its text; the reason, as the command line gives it, goes under it.
    const std::string reason = QuotedPath(*chosen) + ": " + SettingsFileRejection(bytes, result);
    host.ui.AskQuestion(Question{kImportErrorText, kImportCaption, Buttons::kOkCancel, reason, {}, {}});
    host.ui.ReportFailure("Import failed: " + reason);
    return false;
  }

  // Clamped here rather than left to the pages' refresh, so that the user is told.
  const std::string note = ClampedFieldsNote(ClampImportedFields(host.image));
  ShowImported(host, *chosen, note);
  return true;
}

bool ImportSetupLink(const SettingsFileHost& host, const std::string& link) {
  if (host.busy || host.status.device_class != kDeviceFull) return false;
  EscSettingsImage image = host.image;
  SetupInfo info;
  std::string error;
  bool ok = DecodeSetupLink(link, image, error, &info);
  if (ok) {
    if (auto refusal = SetupKindRefusal(info, host.status.device_class, host.status.v1_block_variant)) {
      ok = false;
      error = *refusal;
    }
  }
  if (!ok) {
    host.ui.AskQuestion(Question{kImportErrorText, kImportCaption, Buttons::kOkCancel, error, {}, {}});
    host.ui.ReportFailure("Import failed: " + error);
    return false;
  }
  host.image = image;
  ShowImported(host, kSetupLinkName, ClampedFieldsNote(info.clamped));
  return true;
}

bool ImportJsonSetup(const SettingsFileHost& host, const std::string& path) {
  std::string text;
  std::string error;
  EscSettingsImage image = host.image;
  SetupInfo info;
  bool ok = ReadSetupText(path, text, error) && ParseSetupJson(text, path, image, error, &info);
  if (ok && info.device_class != kDeviceFull) {
    ok = false;
    error = path + ": a setup for a V1-series ESC; the connected ESC is a full ESC";
  }
  if (!ok) {
    host.ui.AskQuestion(Question{kImportErrorText, kImportCaption, Buttons::kOkCancel, error, {}, {}});
    host.ui.ReportFailure("Import failed: " + error);
    return false;
  }
  host.image = image;
  ShowImported(host, path, {});
  return true;
}


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

bool ImportSetupLink(Session& session, const std::string& link) {
  if (!ImportSetupLink(HostFor(session), link)) return false;
  session.damaged_curves.fill(false);
  return true;
}

}  // namespace tessel
