// The two menu commands over settings files, "Export Esc Data" and "Inport ESC Data": the
// record and setup codecs below them do the work; these reach the windows only through
// SessionUi.
#pragma once

#include <functional>
#include <string>

#include "core/engine/session_ui.h"
#include "core/model/settings_image.h"

namespace tessel {

class Session;

// What the menu commands need from the session; ExportSettings(Session&) fills it in.
struct SettingsFileHost {
  EscSettingsImage& image;
  const SessionStatus& status;
  bool busy;
  SessionUi& ui;
  std::function<void()> load_all_curves;  // LoadCurve on every curve editor
};

// True when a file was written or an image imported.
bool ExportSettings(const SettingsFileHost& host);
bool ImportSettings(const SettingsFileHost& host);
bool ExportSettings(Session& session);
bool ImportSettings(Session& session);

// A full ESC's setup link taken as the menu import takes a settings file: a damaged link or
// one for a V1-series ESC shows "Import file error!" with the reason under it and keeps the
// image.
bool ImportSetupLink(const SettingsFileHost& host, const std::string& link);
bool ImportSetupLink(Session& session, const std::string& link);

// The menu import of a JSON setup (File > "Inport ESC Data" with a JSON file chosen): a
// refusal shows "Import file error!" with the line and field under it and keeps the image.
bool ImportJsonSetup(const SettingsFileHost& host, const std::string& path);

}  // namespace tessel
