#include "gui/app/file_filter.h"

#include <QRegularExpression>
#include <QStringList>

namespace tessel {

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList entries;
  static const QRegularExpression kLabelPatterns(R"(\(([^()]*)\)\s*$)");
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i].trimmed();
    QString pattern = parts[i + 1].trimmed();
    if (label.isEmpty() && pattern.isEmpty()) break;
    pattern.replace(';', ' ');
    // A label that names its patterns already ("(*.DATA)", "All File (*.*)") keeps them in
    // one pair of brackets with the filter's own, each pattern once: Qt filters by the last
    // bracketed part, and "(*.DATA) (*.DATA)" only looks broken.
    QStringList patterns;
    const QRegularExpressionMatch m = kLabelPatterns.match(label);
    if (m.hasMatch()) {
      patterns = m.captured(1).split(' ', Qt::SkipEmptyParts);
      label = label.left(m.capturedStart()).trimmed();
    }
    for (const QString& p : pattern.split(' ', Qt::SkipEmptyParts)) {
      if (!patterns.contains(p)) patterns << p;
    }
    const QString bracket = "(" + patterns.join(' ') + ")";
    entries << (label.isEmpty() ? bracket : label + " " + bracket);
  }
  return entries.join(";;");
}

}  // namespace tessel
