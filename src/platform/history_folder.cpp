#include "platform/history_folder.h"

#include <QStandardPaths>

namespace tessel {

std::string HistoryFolder() {
  return (QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/history")
      .toStdString();
}

}  // namespace tessel
