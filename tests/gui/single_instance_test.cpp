// The single-instance channel: where it lives, and that nobody but this user can take it over.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "gui/app/corvane_app.h"

namespace tessel {
namespace {

TEST(SingleInstanceChannel, LivesInAPrivateFolderNamedByUidAndSession) {
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  const QString uid = QString::number(getuid());
  const QString runtime = base.path() + "/run";
  ASSERT_EQ(mkdir(QFile::encodeName(runtime).constData(), 0700), 0);
  const QString tmp = base.path() + "/tmp";
  ASSERT_EQ(mkdir(QFile::encodeName(tmp).constData(), 0777), 0);

  EXPECT_EQ(CCorvaneApp::InstanceNameIn(runtime, tmp, ":0"), runtime + "/tesselarc-" + uid + "-_0");
  EXPECT_NE(CCorvaneApp::InstanceNameIn(runtime, tmp, ":0"),
            CCorvaneApp::InstanceNameIn(runtime, tmp, ":1"));

  // A runtime folder others may enter is not used: a 0700 folder of the user's instead.
  chmod(QFile::encodeName(runtime).constData(), 0755);
  const QString fallback = tmp + "/tesselarc-" + uid;
  EXPECT_EQ(CCorvaneApp::InstanceNameIn(runtime, tmp, ""), fallback + "/tesselarc-" + uid + "-none");
  EXPECT_TRUE(CCorvaneApp::IsPrivateFolder(fallback));

  // One that someone made open to all, or a link put in its place, is not trusted: no guard.
  chmod(QFile::encodeName(fallback).constData(), 0777);
  EXPECT_TRUE(CCorvaneApp::InstanceNameIn(runtime, tmp, ":0").isEmpty());
  ASSERT_TRUE(QDir(fallback).removeRecursively());
  ASSERT_EQ(symlink(QFile::encodeName(runtime).constData(), QFile::encodeName(fallback).constData()),
            0);
  EXPECT_TRUE(CCorvaneApp::InstanceNameIn(runtime, tmp, ":0").isEmpty());
  CCorvaneApp app;
  EXPECT_TRUE(app.ClaimInstance(QString()));  // starts normally
}

TEST(SingleInstanceChannel, AListenerOfAnotherUserIsNotObeyed) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to listen as another user";
  QTemporaryDir base;
  ASSERT_TRUE(base.isValid());
  chmod(QFile::encodeName(base.path()).constData(), 0777);
  const QByteArray path = QFile::encodeName(base.path() + "/tesselarc-channel");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Another local user who made the name first, answering whoever comes.
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 4) != 0) {
      _exit(1);
    }
    [[maybe_unused]] ssize_t n = write(ready[1], "x", 1);
    for (;;) {
      const int c = accept(fd, nullptr, nullptr);
      if (c >= 0) close(c);
    }
  }
  close(ready[1]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);
  CCorvaneApp app;
  EXPECT_TRUE(app.ClaimInstance(QFile::decodeName(path)));  // the tool starts, it does not exit
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace tessel
