#include "gui/app/wire_trace_save.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>

#include "core/model/settings_file.h"

namespace tessel {

namespace {

constexpr const char* kCaption = "Save Wire Trace";

QString StartFolder() {
  QString folder = QSettings("tesselarc", "tesselarc").value("folders/trace").toString();
  if (folder.isEmpty() || !QDir(folder).exists()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
  }
  return folder;
}

}  // namespace

std::optional<QString> SaveWireTrace(QWidget* parent, const WireTrace& trace) {
  if (trace.empty()) {
    QMessageBox::information(parent, kCaption, kNoTraceYetText);
    return std::nullopt;
  }
  const QString path = QFileDialog::getSaveFileName(
      parent, kCaption, StartFolder() + "/" + kWireTraceFileName, "Text (*.txt);;All File (*.*)");
  if (path.isEmpty()) return std::nullopt;
  QSettings("tesselarc", "tesselarc").setValue("folders/trace", QFileInfo(path).absolutePath());
  // The lines as they stand once the file is chosen: the engines went on while the dialog
  // was open.
  const std::string text = trace.Text();
  std::string error;
  const bool saved = ReplaceFileAtomically(
      path.toStdString(),
      [&](std::FILE* f) {
        // A trace shows what a user's ESC holds: a new file is the owner's only.
        fchmod(fileno(f), 0600);
        return std::fwrite(text.data(), 1, text.size(), f) == text.size();
      },
      error);
  if (!saved) {
    QMessageBox::warning(parent, kCaption, QString::fromStdString(error));
    return std::nullopt;
  }
  return path;
}

}  // namespace tessel
