// Wall time of a full read and of a full send (all three curves custom), next to the pacing
// minimum of the same transfer:
// - serial: over a pseudo-terminal against tesselarc-sim at 19200 baud; the minimum is the
//   sum of the timer periods the engine armed plus the time its bytes take on the line;
// - HID: over the socket against tesselarc-sim --hid; the minimum is the sum of the periods
//   plus the engine's fixed waits.
#include <QCoreApplication>
#include <chrono>
#include <cstdio>

#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/model/page_rules.h"
#include "platform/qt_serial_port.h"
#include "platform/socket_hid_device.h"
#include "tests/support/process.h"
#include "tests/support/recording_ui.h"
#include "tests/support/tap_port.h"

namespace tessel {
namespace {

struct Measure {
  double wall_ms = 0;
  double periods_ms = 0;
  double wire_ms = 0;
  uint64_t ticks = 0;
};

class Bench {
 public:
  explicit Bench(const std::string& device)
      : counting_(port_, /*keep_bytes=*/false), loop_(clock_), session_(counting_, nullptr, clock_, loop_, ui_) {
    session_.link.SetExplicitDevice(device);
    loop_.SetHandler([this](int id) {
      if (id == kTimerSession && measuring_) {
        m_.periods_ms += loop_.Period(kTimerSession);
        ++m_.ticks;
      }
      session_.OnTimer(id);
    });
    session_.Start();
  }

  bool WaitDetected() {
    return loop_.RunUntil([&] { return session_.status.esc_state == kEscDetected; }, 15000);
  }

  // Runs from now until the transfer has finished.
  Measure Run(const std::function<void()>& start) {
    m_ = Measure{};
    counting_.bytes_read = 0;
    measuring_ = true;
    const auto t0 = std::chrono::steady_clock::now();
    start();
    loop_.RunUntil([&] { return !session_.status.transfer_active; }, 60000);
    const auto t1 = std::chrono::steady_clock::now();
    measuring_ = false;
    m_.wall_ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    m_.wire_ms =
        static_cast<double>(counting_.bytes_read) * 10.0 * 1000.0 / session_.link.baud_rate;
    return m_;
  }

  Session& session() { return session_; }

 private:
  SystemClock clock_;
  QtSerialPort port_;
  TapPort counting_;
  TimerLoop loop_;
  RecordingUi ui_;
  Session session_;
  Measure m_;
  bool measuring_ = false;
};

void Print(const char* what, const Measure& m, const char* extra = "wire") {
  const double minimum = m.periods_ms + m.wire_ms;
  std::printf(
      "%-34s %8.1f ms wall  %5llu ticks  pacing minimum %7.1f ms (%6.1f periods + %6.1f %s)"
      "  ratio %.2f\n",
      what, m.wall_ms, static_cast<unsigned long long>(m.ticks), minimum, m.periods_ms, m.wire_ms,
      extra, m.wall_ms / minimum);
}

// The system clock, counting the fixed waits the engine sleeps through.
class CountingClock : public Clock {
 public:
  uint64_t NowMs() override { return inner_.NowMs(); }
  void SleepMs(uint32_t ms) override {
    slept_ms += ms;
    inner_.SleepMs(ms);
  }
  uint64_t slept_ms = 0;

 private:
  SystemClock inner_;
};

class HidBench {
 public:
  explicit HidBench(const std::string& socket)
      : device_(socket),
        loop_(loop_clock_),
        session_(serial_, nullptr, clock_, loop_, ui_),
        hid_(session_, device_) {
    loop_.SetHandler([this](int id) {
      if (measuring_ && (id == kTimerHidSession || id == kTimerHidProbe)) {
        m_.periods_ms += loop_.Period(id);
        ++m_.ticks;
      }
      session_.OnTimer(id);
    });
  }

  // From start-up (adapter found, greeted, ESC identified) to the end of the read.
  Measure Read() {
    return Run([&] {
      session_.Start();
      hid_.Start();
    });
  }
  Measure Send() {
    return Run([&] {
      session_.image.throttle_curve_mode = session_.image.brake_curve_mode =
          session_.image.boost_slope = 1;
      session_.Apply();
    });
  }
  Session& session() { return session_; }

 private:
  Measure Run(const std::function<void()>& start) {
    m_ = Measure{};
    clock_.slept_ms = 0;
    measuring_ = true;
    const auto t0 = std::chrono::steady_clock::now();
    start();
    loop_.RunUntil(
        [&] {
          const SessionStatus& s = session_.status;
          return hid_.EscIdentified() && !s.transfer_active && !s.send_in_progress &&
                 hid_.CurrentStep() == kHidStepPresence;
        },
        60000);
    const auto t1 = std::chrono::steady_clock::now();
    measuring_ = false;
    m_.wall_ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    m_.wire_ms = static_cast<double>(clock_.slept_ms);
    return m_;
  }

  SocketHidDevice device_;
  SystemClock loop_clock_;
  CountingClock clock_;
  QtSerialPort serial_;
  TimerLoop loop_;
  RecordingUi ui_;
  Session session_;
  HidEngine hid_;
  Measure m_;
  bool measuring_ = false;
};

int HidMain() {
  test_support::SimProcess sim({"--hid"});
  if (sim.path().empty()) {
    std::fprintf(stderr, "bench_serial: tesselarc-sim --hid did not start\n");
    return 1;
  }
  std::printf("virtual HID adapter on %s\n", sim.path().c_str());
  HidBench bench(sim.path());
  const Measure read = bench.Read();
  Print("HID full read (from start-up)", read, "waits");
  const Measure send = bench.Send();
  Print("HID full send, three curves", send, "waits");
  return 0;
}

int Main() {
  test_support::SimProcess sim({"--answer-at", "19200"});
  if (sim.path().empty()) {
    std::fprintf(stderr, "bench_serial: tesselarc-sim did not start\n");
    return 1;
  }
  Bench bench(sim.path());
  if (!bench.WaitDetected()) {
    std::fprintf(stderr, "bench_serial: no ESC detected on %s\n", sim.path().c_str());
    return 1;
  }
  std::printf("virtual ESC on %s at %u baud\n", sim.path().c_str(), bench.session().link.baud_rate);
  // The read starts at once on detection; measure it from there.
  const Measure read = bench.Run([] {});
  Print("full read", read);
  const Measure send = bench.Run([&] {
    Session& s = bench.session();
    s.image.throttle_curve_mode = s.image.brake_curve_mode = s.image.boost_slope = 1;
    s.Apply();
  });
  Print("full send, three custom curves", send);
  std::printf(
      "(a ratio below 1 means the line time overlapped the waits: during a read the ESC streams\n"
      " each curve while the engine waits for its next tick)\n");
  return HidMain();
}

}  // namespace
}  // namespace tessel

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  return tessel::Main();
}
