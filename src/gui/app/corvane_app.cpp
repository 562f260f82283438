#include "gui/app/corvane_app.h"


#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <cctype>
#include <cstdio>

#include "core/app/demo_kinds.h"
#include "gui/app/runtime_folder.h"
#include "platform/trace_file.h"
#include "platform/history_folder.h"

namespace tessel {

namespace {
constexpr const char* kRaiseRequest = "raise\n";

// The uid and pid of the process at the other end of a local socket.
bool PeerOf(qintptr fd, uid_t& uid, pid_t& pid) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (fd < 0 || getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
    return false;
  }
  uid = cred.uid;
  pid = cred.pid;
  return true;
}

bool PeerIsThisUser(qintptr fd) {
  uid_t uid = 0;
  pid_t pid = 0;
  return PeerOf(fd, uid, pid) && uid == getuid();
}

}  // namespace

bool CCorvaneApp::IsPrivateFolder(const QString& path) {
  struct stat st {};
  const QByteArray p = QFile::encodeName(path);
  return !path.isEmpty() && lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

QString CCorvaneApp::InstanceNameIn(const QString& runtime_dir, const QString& temp_dir,
                                    const QString& display) {
  QString folder;
  if (IsPrivateFolder(runtime_dir)) {
    folder = runtime_dir;
  } else {
    folder = temp_dir + "/tesselarc-" + QString::number(getuid());
    // Made here with no access for others; one that exists must pass the same test, since
    // another user may have made it first.
    mkdir(QFile::encodeName(folder).constData(), 0700);
    if (!IsPrivateFolder(folder)) return {};
  }
  QString session = display;
  for (QChar& c : session) {
    if (!c.isLetterOrNumber()) c = '_';
  }
  if (session.isEmpty()) session = "none";
  return folder + "/tesselarc-" + QString::number(getuid()) + "-" + session;
}

QString CCorvaneApp::InstanceName() {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  return InstanceNameIn(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(), display);
}

bool CCorvaneApp::ClaimInstance(const QString& name) {
  if (name.isEmpty()) {
    std::fprintf(stderr, "tesselarc: no private folder for the single-instance guard; starting "
                         "without it\n");
    return true;
  }
  {
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(500)) {
      uid_t uid = 0;
      pid_t pid = 0;
      // Only an instance of this very user is obeyed; anything else listening there is not
      // ours to defer to.
      if (!PeerOf(probe.socketDescriptor(), uid, pid) || uid != getuid()) {
        std::fprintf(stderr, "tesselarc: the single-instance channel %s is held by another "
                             "user; starting without the guard\n",
                     QFile::encodeName(name).constData());
        return true;
      }
      probe.write(kRaiseRequest);
      probe.waitForBytesWritten(500);
      probe.disconnectFromServer();
      std::printf("tesselarc is already running (process %d); raised its window\n",
                  static_cast<int>(pid));
      return false;
    }
  }
  // Nobody answered: a name left behind by a crashed instance may still be lying around.
  QLocalServer::removeServer(name);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) return true;  // run anyway; only the guard is lost
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      if (!PeerIsThisUser(client->socketDescriptor())) {
        client->disconnectFromServer();
        continue;
      }
      if (main_window_) {
        main_window_->showNormal();
        main_window_->raise();
        main_window_->activateWindow();
      }
    }
  });
  return true;
}

namespace {
// The kind --demo=KIND names, if it is one behind the adapter asked about.
const DemoKind* DemoKindOf(const QString& arg, bool hid) {
  if (!arg.startsWith("--demo=")) return nullptr;
  const DemoKind* kind = FindDemoKind(arg.mid(7).toStdString());
  return kind != nullptr && kind->hid == hid ? kind : nullptr;
}
}  // namespace

bool ParseDemoOption(const QString& arg, std::optional<EscVariant>& demo) {
  if (arg == "--demo") {
    demo = EscVariant::kFull;
    return true;
  }
  const DemoKind* kind = DemoKindOf(arg, false);
  if (kind == nullptr) return false;
  demo = static_cast<EscVariant>(DemoKindPlace(*kind));
  return true;
}

bool ParseHidDemoOption(const QString& arg, std::optional<HidDeviceKind>& demo) {
  const DemoKind* kind = DemoKindOf(arg, true);
  if (kind == nullptr) return false;
  demo = static_cast<HidDeviceKind>(DemoKindPlace(*kind));
  return true;
}

namespace {
std::string AppUsage() {
  return "usage: tesselarc [--demo[=" + DemoKindNames("|") +
         "]]\n"
         "                 [--hid-socket PATH] [--trace FILE] [--version]\n";
}
}  // namespace

int CCorvaneApp::Run(int argc, char** argv) {
  // --help and --version answer before the window system is asked for: they work with no
  // display at all.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--hid-socket" || arg == "--trace") && i + 1 < argc) {
      ++i;  // a value, whatever it reads
    } else if (arg == "-h" || arg == "--help") {
      std::printf("%s", AppUsage().c_str());
      return 0;
    } else if (arg == "--version") {
      std::printf("tesselarc %s\n", TESSEL_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  // tesselarc-cli takes the same name: both keep one settings history.
  QApplication::setApplicationName(kApplicationName);
  QApplication::setApplicationVersion(TESSEL_VERSION);
  // Lets the desktop match the window to its menu entry and icon.
  QGuiApplication::setDesktopFileName("tesselarc");
  CCorvaneDlg::Options options;
  options.skin_folder = RuntimeFolder();
  std::string trace_path;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (ParseDemoOption(arg, options.demo) || ParseHidDemoOption(arg, options.hid_demo)) continue;
    if (arg == "--hid-socket" && i + 1 < argc && argv[i + 1][0] != '\0') {
      options.hid_socket = QString::fromLocal8Bit(argv[++i]);
      continue;
    }
    if (arg == "--trace" && i + 1 < argc && argv[i + 1][0] != '\0') {
      trace_path = argv[++i];
      continue;
    }
    std::fprintf(stderr, "tesselarc: unknown option or missing value: %s\n%s", argv[i],
                 AppUsage().c_str());
    return 2;
  }
  if ((options.demo ? 1 : 0) + (options.hid_demo ? 1 : 0) + (options.hid_socket.isEmpty() ? 0 : 1) >
      1) {
    std::fprintf(stderr, "tesselarc: choose one of the --demo options or --hid-socket\n");
    return 2;
  }
  if (!ClaimInstance(InstanceName())) return 0;
  if (!trace_path.empty()) {
    // Opened before the window: a trace that cannot be kept stops the tool before it looks
    // for an adapter, let alone sends anything.
    auto file = std::make_shared<TraceFile>();
    std::string error;
    if (!file->Open(trace_path, error)) {
      if (!error.empty()) {
        error[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(error[0])));
      }
      std::fprintf(stderr, "tesselarc: --trace: cannot write %s: %s\n", trace_path.c_str(),
                   error.c_str());
      return 2;
    }
    options.trace_file = std::move(file);
  }
  main_window_ = std::make_unique<CCorvaneDlg>(options);
  if (std::string error = main_window_->trace_error(); !error.empty()) {
    error[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(error[0])));
    std::fprintf(stderr, "tesselarc: --trace: cannot write %s: %s; nothing was sent\n",
                 trace_path.c_str(), error.c_str());
    main_window_.reset();
    return 2;
  }
  if (!main_window_->ok()) {
    main_window_.reset();
    return 1;
  }
  main_window_->show();
  const int code = app.exec();
  // Every window and timer goes while the application object still exists.
  main_window_.reset();
  server_.reset();
  return code;
}

}  // namespace tessel
