#include "gui/app/runtime_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace tessel {

QString RuntimeFolder(const QString& program_folder, const QString& relative_data) {
  // The installed place is tried first; a build folder has no share/tesselarc next to it, and
  // the skins there sit beside the binary.
  const QString installed = QDir::cleanPath(QDir(program_folder).filePath(relative_data));
  if (QFileInfo::exists(installed + "/Back.bmp")) return installed;
  return program_folder;
}

QString RuntimeFolder() {
  return RuntimeFolder(QCoreApplication::applicationDirPath(), QStringLiteral(TESSEL_DATA_FROM_BIN));
}

}  // namespace tessel
