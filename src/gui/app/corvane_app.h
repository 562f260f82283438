// Start-up of the desktop tool: one instance per user (a second start brings the first window
// to the front and ends), the skin folder beside the program, the main window.
#pragma once

#include <QLocalServer>
#include <QString>
#include <memory>
#include <optional>

#include "gui/app/corvane_dlg.h"

namespace tessel {

class CCorvaneApp {
 public:
  // `argv` options: --demo[=full|v1|v1-bec|hid-full|hid-v1|hid-v1-bec|hid-lcd], --hid-socket.
  // Returns the process exit code.
  int Run(int argc, char** argv);

  // The single-instance check. False when another instance of this user answered (and was
  // asked to come to the front); true when this one should run: it owns the name, or the
  // name is empty (no trustworthy place for the guard) or held by another user.
  bool ClaimInstance(const QString& name);
  // The channel: a socket in the user's private runtime folder ($XDG_RUNTIME_DIR, else a
  // 0700 folder of the user's in the temp folder), named by the uid and the graphical
  // session. Empty when no such folder can be trusted.
  static QString InstanceName();
  static QString InstanceNameIn(const QString& runtime_dir, const QString& temp_dir,
                                const QString& display);
  // A folder that is no symbolic link, belongs to this user and admits no one else.
  static bool IsPrivateFolder(const QString& path);
  CCorvaneDlg* main_window() { return main_window_.get(); }

 private:
  std::unique_ptr<QLocalServer> server_;
  std::unique_ptr<CCorvaneDlg> main_window_;
};

// Parses "--demo", "--demo=full", "--demo=v1", "--demo=v1-bec". False on a bad option.
bool ParseDemoOption(const QString& arg, std::optional<EscVariant>& demo);
// Parses "--demo=hid-full", "--demo=hid-v1", "--demo=hid-v1-bec", "--demo=hid-lcd".
bool ParseHidDemoOption(const QString& arg, std::optional<HidDeviceKind>& demo);

}  // namespace tessel
