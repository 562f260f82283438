// The desktop tool and an adapter this user may not open: one non-modal warning naming the
// device and the fix, the search going on underneath, and the adapter taken as soon as the
// fix lets it open, without a restart.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include "gui/app/corvane_dlg.h"
#include "gui/app/runtime_folder.h"
#include "tests/gui/window_support.h"

namespace tessel {
namespace {

TEST(AdapterNotice, ARefusedAdapterIsToldOnceAndTakenAfterTheFix) {
  CCorvaneDlg::Options options;
  options.demo = EscVariant::kFull;
  options.skin_folder = TESSEL_SKIN_DIR;
  options.hotplug = false;
  auto w = std::make_unique<CCorvaneDlg>(options);
  VirtualEscPort* port = w->virtual_port();
  ASSERT_NE(port, nullptr);
  // Before the first searching tick.
  port->set_open_denied(true);
  w->show();
  const int opens = port->open_count();

  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return w->adapter_notice() != nullptr && w->adapter_notice()->isVisible(); }, 5000));
  QMessageBox* box = w->adapter_notice();
  EXPECT_FALSE(box->isModal());
  EXPECT_TRUE(box->text().contains("serial programming adapter at vesc0: permission denied"));
  EXPECT_TRUE(box->text().contains("60-tesselarc.rules"));
  EXPECT_TRUE(box->text().contains("tesselarc-cli doctor"));
  test::Screenshot(*w, "adapter-notice-window.png");
  test::Screenshot(*box, "adapter-notice.png");

  // Dismissed, it stays away although the search goes on.
  box->close();
  QTest::qWait(1500);
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(w->session().status.adapter_state, kAdapterNone);
  EXPECT_EQ(port->open_count(), opens);  // no opening got through

  // The rule is installed and the adapter plugged in again.
  port->set_open_denied(false);
  ASSERT_TRUE(test::WaitRead(*w));
  EXPECT_FALSE(box->isVisible());
}

TEST(RuntimeFolderTest, InstalledSkinsFirstThenBesideTheBinary) {
  const QString root = QDir::temp().filePath("tesselarc-runtime-" + QString::number(getpid()));
  QDir(root).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(root + "/bin"));
  // A build folder: nothing under ../share, the skins sit beside the binary.
  EXPECT_EQ(RuntimeFolder(root + "/bin", "../share/tesselarc"), root + "/bin");
  // Installed: share/tesselarc with the skins wins.
  ASSERT_TRUE(QDir().mkpath(root + "/share/tesselarc"));
  EXPECT_EQ(RuntimeFolder(root + "/bin", "../share/tesselarc"), root + "/bin");  // still empty
  QFile skin(root + "/share/tesselarc/Back.bmp");
  ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
  skin.close();
  EXPECT_EQ(RuntimeFolder(root + "/bin", "../share/tesselarc"), root + "/share/tesselarc");
  QDir(root).removeRecursively();
}

}  // namespace
}  // namespace tessel
