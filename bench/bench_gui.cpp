// The desktop tool's start-up time to a shown main window, its resident memory after the first
// read of the virtual ESC, and the CPU it uses in 10 idle seconds with no adapter.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "gui/app/corvane_dlg.h"

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QElapsedTimer since_start;
  since_start.start();
  QApplication app(argc, argv);
  using tessel::CCorvaneDlg;
  {
    CCorvaneDlg::Options options;
    options.demo = tessel::EscVariant::kFull;
    options.skin_folder = TESSEL_SKIN_DIR;
    options.hotplug = false;
    CCorvaneDlg window(options);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    std::printf("start-up to a shown main window: %lld ms\n",
                static_cast<long long>(since_start.elapsed()));
    const bool read = QTest::qWaitFor(
        [&] {
          const auto& s = window.session().status;
          return s.esc_state == tessel::kEscDetected && !s.transfer_active &&
                 window.session().serial().version_known();
        },
        15000);
    if (!read) {
      std::fprintf(stderr, "bench_gui: the virtual ESC was not read\n");
      return 1;
    }
    std::printf("resident memory after the first read: %ld KiB\n", ResidentKiB());
  }
  {
    CCorvaneDlg::Options options;
    options.skin_folder = TESSEL_SKIN_DIR;
    options.hotplug = true;  // the real adapter path: no adapter is plugged in here
    CCorvaneDlg window(options);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    // A plain event loop: QTest::qWait wakes every 10 ms on its own and would be measured too.
    auto run_for = [](int ms) {
      QEventLoop loop;
      QTimer::singleShot(ms, &loop, &QEventLoop::quit);
      loop.exec();
    };
    run_for(1000);
    const double cpu0 = CpuSeconds();
    QElapsedTimer idle;
    idle.start();
    run_for(10000);
    const double cpu = CpuSeconds() - cpu0;
    const double wall = idle.elapsed() / 1000.0;
    std::printf("idle with no adapter: %.3f s CPU in %.1f s (%.2f%% of one core; goal < 0.5%%)\n",
                cpu, wall, 100.0 * cpu / wall);
  }
  return 0;
}
