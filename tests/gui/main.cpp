#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Widget tests run without a display unless one is asked for.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Remembered folders and the like go to a test location, never the user's own settings.
  QStandardPaths::setTestModeEnabled(true);
  // One settings file per test process: ctest -j runs these side by side, and one test's
  // remembered folder must not turn up in another's.
  const QString settings = QDir::temp().filePath(
      QString("tesselarc-gui-settings-%1").arg(QApplication::applicationPid()));
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  QDir(settings).removeRecursively();
  return result;
}
