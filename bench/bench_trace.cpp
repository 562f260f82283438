// The cost of the wire trace: CPU time of a full read of the virtual ESC on a virtual clock
// (nothing waits, so only the engine's and the trace's own work counts), without a trace,
// with the ring kept in memory, and with every line also written to a file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "core/link/wire_trace.h"
#include "core/engine/session.h"
#include "platform/trace_file.h"
#include "sim/virtual_esc_port.h"
#include "tests/support/recording_ui.h"

namespace tessel {
namespace {

struct Figure {
  double us_per_read = 0;
  size_t lines_per_read = 0;
};

// `reads` full reads, each in a fresh world, from start-up to the end of the read.
Figure Measure(int reads, WireTrace* trace) {
  double total_us = 0;
  size_t lines = 0;
  for (int i = 0; i < reads; ++i) {
    ManualClock clock;
    TimerLoop loop(clock);
    RecordingUi ui;
    VirtualEscPort port(clock, EscVariant::kFull);
    VirtualPortEnumerator ports(port);
    Session session(port, &ports, clock, loop, ui);
    if (trace) session.link.SetTrace(trace);
    loop.SetHandler([&](int id) { session.OnTimer(id); });
    const size_t before = trace ? trace->size() : 0;
    const auto t0 = std::chrono::steady_clock::now();
    session.Start();
    loop.RunUntil([&] { return ui.reads_finished > 0 && !session.status.transfer_active; }, 60000);
    const auto t1 = std::chrono::steady_clock::now();
    total_us += std::chrono::duration<double, std::micro>(t1 - t0).count();
    if (trace) lines = trace->size() - before;
  }
  return {total_us / reads, lines};
}

}  // namespace
}  // namespace tessel

int main() {
  using namespace tessel;
  constexpr int kReads = 40;  // 40 reads of ~150 lines stay inside the 10,000-line ring
  Measure(5, nullptr);        // warm-up
  const Figure plain = Measure(kReads, nullptr);
  WireTrace ring("bench");
  const Figure kept = Measure(kReads, &ring);
  const std::string path = "/tmp/tesselarc-bench-trace-" + std::to_string(getpid()) + ".txt";
  TraceFile file;
  std::string error;
  if (!file.Open(path, error)) {
    std::fprintf(stderr, "bench_trace: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  WireTrace to_file("bench");
  to_file.SetSink([&](const std::string& line) { file.Write(line); });
  const Figure written = Measure(kReads, &to_file);
  unlink(path.c_str());

  std::printf("full read of the virtual ESC, virtual clock, mean of %d reads\n", kReads);
  std::printf("  no trace             %8.1f us per read\n", plain.us_per_read);
  std::printf("  ring in memory       %8.1f us per read  (+%.1f us, %zu lines, %.2f us a line)\n",
              kept.us_per_read, kept.us_per_read - plain.us_per_read, kept.lines_per_read,
              (kept.us_per_read - plain.us_per_read) / static_cast<double>(kept.lines_per_read));
  std::printf(
      "  ring and file        %8.1f us per read  (+%.1f us, %.2f us a line)\n", written.us_per_read,
      written.us_per_read - plain.us_per_read,
      (written.us_per_read - plain.us_per_read) / static_cast<double>(written.lines_per_read));
  std::printf("  (a real full read takes about 0.4 s of line time at 19200 baud)\n");
  return 0;
}
