#include "gui/app/file_filter.h"

#include <QStringList>

namespace tessel {

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString label = parts[i].trimmed();
    QString pattern = parts[i + 1].trimmed();
    if (label.isEmpty() && pattern.isEmpty()) break;
    pattern.replace(';', ' ');
    entries << QString("%1 (%2)").arg(label, pattern);
  }
  return entries.join(";;");
}

}  // namespace tessel
