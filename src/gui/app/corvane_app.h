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

  // The single-instance check. False when another instance answered (and was asked to come
  // to the front); true when this one now owns the name.
  bool ClaimInstance(const QString& name);
  static QString InstanceName();
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
