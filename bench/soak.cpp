// Fault soak: many tesselarc-cli sessions against tesselarc-sim, on the serial adapter (a pty)
// and on the HID adapter (a socket), each with one random fault: silence, dropped bytes or
// reports, answers split across fetches, a dropped acknowledgement, a wrong curve check value,
// a loader that refuses or stops acknowledging, the device vanishing or freezing mid-transfer,
// the HID adapter pulled out and plugged back mid-read, mid-send or mid-update, the ESC
// vanishing behind the adapter, a signal to the CLI. After each session it checks: no crash,
// no run past its deadline, exit 0 only when the ESC holds exactly what a clean run of the
// same command leaves there, and every other exit truthful about what the ESC may hold.
//
// Usage: soak [--sessions N] [--jobs J] [--seed S] [--link serial|hid|both]
//        (defaults 1000, 3, time, both)
// Prints the counts and every violation; exits 1 when there was any.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCliTimeoutS = 2;

// The binaries, unless TESSEL_SIM and TESSEL_CLI name copies (so that a long run survives a
// rebuild of the tree).
std::string Binary(const char* env, const char* built) {
  const char* v = std::getenv(env);
  return v && *v ? v : built;
}

std::string TempDir() {
  const char* t = std::getenv("TMPDIR");
  return std::string(t ? t : "/tmp") + "/tessel-soak-" + std::to_string(getpid());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

struct Command {
  bool hid;
  std::string device;             // the sim's --device: full, v1 or lcd
  std::vector<std::string> args;  // after --port/--hid-socket and --timeout
  std::string Key() const {
    std::string k = (hid ? "hid " : "serial ") + device + ": ";
    for (const auto& a : args) k += a + " ";
    return k;
  }
  std::string StateKey() const { return (hid ? "hid " : "serial ") + device; }
  // The LCD box is taken for one only once about two seconds of presence queries went
  // unanswered, so its runs get a longer time-out.
  int TimeoutS() const { return device == "lcd" ? 5 : kCliTimeoutS; }
  bool Flash() const { return args[0] == "flash"; }
};

struct Fault {
  std::string kind;               // for the counts
  std::vector<std::string> sim;   // extra sim options
  int signal_after_ms = -1;       // a signal to the CLI after this long
  int signal = SIGINT;
};

// The exit code a run stopped by `signal` ends with.
int SignalExit(int signal) {
  return signal == SIGHUP ? 129 : signal == SIGPIPE ? 141 : 130;
}

struct Outcome {
  int exit_code = -1;
  bool crashed = false;
  double seconds = 0;
  std::string err;
  std::string state;
};

// The states with the line of one curve left out.
std::string WithoutLine(const std::string& state, const std::string& prefix) {
  std::istringstream in(state);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind(prefix, 0) != 0) out += line + "\n";
  }
  return out;
}

// A state with each curve cut after its end point (100,100): what lies beyond it carries no
// meaning, and a curve that arrived damaged leaves other bytes there than a good one.
std::string Meaningful(const std::string& state) {
  std::istringstream in(state);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.find("_curve ") != std::string::npos) {
      const auto end = line.find(" 100,100");
      if (end != std::string::npos) line.resize(end + 8);
    }
    out += line + "\n";
  }
  return out;
}

// The first line in which two states differ, both ways, for a report.
std::string FirstDifference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string la, lb;
  while (true) {
    const bool more_a = static_cast<bool>(std::getline(a, la));
    const bool more_b = static_cast<bool>(std::getline(b, lb));
    if (!more_a && !more_b) return "";
    if (la != lb || more_a != more_b) return "holds \"" + la + "\", meant \"" + lb + "\"";
  }
}

// One session: the sim with its fault, the CLI with its command, until both ended.
class Session {
 public:
  Session(int id, Command cmd, Fault fault, const std::string& dir)
      : id_(id), cmd_(std::move(cmd)), fault_(std::move(fault)), dir_(dir) {}

  bool Start() {
    const std::string p = dir_ + "/s" + std::to_string(id_);
    state_ = p + ".state";
    sim_out_ = p + ".simout";
    cli_err_ = p + ".err";
    std::remove(state_.c_str());
    std::vector<std::string> sim{Binary("TESSEL_SIM", TESSEL_SIM_BINARY), "--state", state_,
                                 "--device", cmd_.device};
    if (cmd_.hid) {
      sim.push_back("--hid");
    } else {
      sim.insert(sim.end(), {"--answer-at", "19200"});
    }
    sim.insert(sim.end(), fault_.sim.begin(), fault_.sim.end());
    sim_ = Spawn(sim, sim_out_, p + ".simerr");
    if (sim_ <= 0) return false;
    std::string path;
    for (int i = 0; i < 500 && path.empty(); ++i) {
      const std::string text = ReadFile(sim_out_);
      const auto nl = text.find('\n');
      if (nl != std::string::npos) path = text.substr(0, nl);
      if (path.empty()) usleep(10000);
    }
    if (path.empty()) return false;
    std::vector<std::string> cli{Binary("TESSEL_CLI", TESSEL_CLI_BINARY),
                                 cmd_.hid ? "--hid-socket" : "--port", path, "--timeout",
                                 std::to_string(cmd_.TimeoutS())};
    cli.insert(cli.end(), cmd_.args.begin(), cmd_.args.end());
    start_ = Clock::now();
    cli_ = Spawn(cli, p + ".out", cli_err_);
    return cli_ > 0;
  }

  // True once the session is over and `out` is filled in.
  bool Poll(Outcome& out) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
    if (fault_.signal_after_ms >= 0 && !signalled_ && elapsed * 1000 >= fault_.signal_after_ms) {
      kill(cli_, fault_.signal);
      signalled_ = true;
    }
    int status = 0;
    const pid_t r = waitpid(cli_, &status, WNOHANG);
    if (r == 0) {
      if (elapsed > 120) kill(cli_, SIGKILL);  // reported as a crash and a deadline miss
      return false;
    }
    out.seconds = elapsed;
    out.crashed = WIFSIGNALED(status);
    out.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    kill(sim_, SIGTERM);  // a vanished sim has exited already
    int sim_status = 0;
    waitpid(sim_, &sim_status, 0);
    if (WIFSIGNALED(sim_status)) out.crashed = true;
    out.err = ReadFile(cli_err_);
    out.state = Meaningful(ReadFile(state_));
    return true;
  }

  const Command& command() const { return cmd_; }
  const Fault& fault() const { return fault_; }
  int id() const { return id_; }

 private:
  int id_;
  Command cmd_;
  Fault fault_;
  std::string dir_, state_, sim_out_, cli_err_;
  pid_t sim_ = -1, cli_ = -1;
  Clock::time_point start_;
  bool signalled_ = false;
};

Outcome RunAlone(int id, const Command& cmd, const Fault& fault, const std::string& dir) {
  Session s(id, cmd, fault, dir);
  Outcome out;
  if (!s.Start()) {
    out.crashed = true;
    return out;
  }
  while (!s.Poll(out)) usleep(20000);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int sessions = 1000, jobs = 3;
  std::string links = "both";
  unsigned seed = static_cast<unsigned>(Clock::now().time_since_epoch().count());
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--sessions") sessions = std::atoi(argv[i + 1]);
    if (a == "--jobs") jobs = std::max(1, std::atoi(argv[i + 1]));
    if (a == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    if (a == "--link") links = argv[i + 1];
  }
  if (links != "serial" && links != "hid" && links != "both") {
    std::fprintf(stderr, "soak: --link takes serial, hid or both\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  const std::string dir = TempDir();
  std::system(("mkdir -p '" + dir + "'").c_str());
  // Firmware newer than the virtual ESC's (ESC0120): three records.
  const std::string firmware = dir + "/ESC0130.xup";
  const std::string firmware_bytes = "000401020304000610111213141500022122";
  std::ofstream(firmware) << firmware_bytes << "\n";
  // The LCD program box's image: 1500 bytes in three blocks, masked as the files are.
  const std::string box_firmware = dir + "/BOX.XUT";
  {
    std::ofstream out(box_firmware, std::ios::binary);
    for (int i = 0; i < 1500; ++i) out.put(static_cast<char>((i * 13 + 5) ^ 0xB6));
  }
  // A setup that changes settings and all three curves: a send that breaks off leaves some
  // of it behind.
  const std::string setup = dir + "/setup.json";
  std::ofstream(setup) << R"({"settings": {"drag_brake": "#3", "run_mode": "#0", )"
                       << R"("turbo_slope_off": "#5"}, "curves": {)"
                       << R"("throttle_curve": {"points": [[0,0], [30,50], [100,100]]}, )"
                       << R"("brake_curve": {"points": [[0,0], [50,20], [100,100]]}, )"
                       << R"("boost_curve": {"points": [[0,0], [40,60], [100,100]]}}})"
                       << "\n";

  std::vector<Command> commands;
  for (const bool hid : {false, true}) {
    if (links != "both" && (links == "hid") != hid) continue;
    const std::vector<Command> per_link{
        {hid, "full", {"read", "--json"}},
        // Values by index (#N): in lists of numbers a bare number may name an option's text.
        {hid, "full", {"set", "run_mode=#0"}},
        {hid, "full", {"set", "run_mode=#2", "--force"}},
        {hid, "full", {"set", "drag_brake=#5"}},
        {hid, "full", {"set", "punch_rate1=#10", "turbo_delay=#1"}},
        {hid, "full", {"write", setup}},
        {hid, "full", {"flash", firmware}},
        {hid, "v1", {"read"}},
        {hid, "v1", {"set", "v1_motor_timing=#3"}},
        {hid, "v1", {"set", "v1_drag_brake=#1", "v1_neutral_range=#2"}},
    };
    commands.insert(commands.end(), per_link.begin(), per_link.end());
    if (hid) commands.push_back({true, "lcd", {"flash", "--lcd", box_firmware}});
  }

  // What a clean run of each command leaves in the ESC, and how long it takes.
  std::map<std::string, Outcome> reference;
  std::map<std::string, std::string> initial;  // what each device holds before any command
  for (size_t i = 0; i < commands.size(); ++i) {
    const Outcome o = RunAlone(-1 - static_cast<int>(i), commands[i], Fault{"none", {}, -1}, dir);
    if (o.exit_code != 0 || o.state.empty()) {
      std::fprintf(stderr, "soak: the clean run of %s failed (exit %d): %s\n",
                   commands[i].Key().c_str(), o.exit_code, o.err.c_str());
      return 2;
    }
    reference[commands[i].Key()] = o;
    if (commands[i].args[0] == "read") initial[commands[i].StateKey()] = o.state;
  }
  // The LCD box has no read: a run with no command leaves what it holds.
  for (const Command& c : commands) {
    if (initial.count(c.StateKey()) == 0) {
      const Outcome o = RunAlone(-100, {c.hid, c.device, {"info"}}, Fault{"none", {}, -1}, dir);
      initial[c.StateKey()] = o.state;
    }
  }

  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char* curves[] = {"boost", "brake", "throttle"};
  auto random_signal = [&]() {
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGINT};
    return signals[pick(0, 3)];
  };
  auto random_hid_fault = [&](const Command& cmd) {
    const bool flash = cmd.Flash();
    const bool box = cmd.device == "lcd";
    switch (pick(0, flash ? 9 : 8)) {
      case 0:
        return Fault{"none", {}, -1};
      case 1:
        return Fault{"hid silence", {"--no-presence"}, -1};
      case 2:
        return Fault{"hid dropped report", {"--drop-report", std::to_string(pick(1, 40))}, -1};
      case 3:
        return Fault{"hid split answers", {"--split-answer", std::to_string(pick(1, 40))}, -1};
      case 4:
        return Fault{"hid dropped ack", {"--drop-ack", std::to_string(pick(1, 12))}, -1};
      case 5:
        return Fault{"hid unplug", {"--unplug-after", std::to_string(pick(1, box ? 1600 : 700))},
                     -1};
      case 6:
        return Fault{"hid esc gone", {"--esc-gone-after", std::to_string(pick(1, 700))}, -1};
      case 7:
        return box ? Fault{"hid split ok", {"--split-ok"}, -1}
                   : Fault{"hid wrong check value", {"--bad-curve", curves[pick(0, 2)]}, -1};
      case 8:
        return Fault{"hid signal", {}, pick(100, 4000), random_signal()};
      default:
        if (box) {
          return pick(0, 1) ? Fault{"hid box silent", {"--silent-block", std::to_string(pick(1, 3))}, -1}
                            : Fault{"hid box restarts", {"--restart-at-ok", std::to_string(pick(1, 5))}, -1};
        }
        return Fault{"hid loader refuses", {"--verdicts", pick(0, 1) ? "12" : "00,00,00,00"}, -1};
    }
  };
  auto random_fault = [&](const Command& cmd) {
    if (cmd.hid) return random_hid_fault(cmd);
    const bool flash = cmd.Flash();
    switch (pick(0, flash ? 7 : 6)) {
      case 0:
        return Fault{"none", {}, -1};
      case 1:
        return Fault{"silence", {"--silent"}, -1};
      case 2:
        return Fault{"dropped bytes", {"--drop-every", std::to_string(pick(5, 400))}, -1};
      case 3:
        return Fault{"wrong check value", {"--bad-curve", curves[pick(0, 2)]}, -1};
      case 4:
        return Fault{"vanish", {"--vanish-after", std::to_string(pick(3, 700))}, -1};
      case 5:
        return Fault{"freeze", {"--freeze-after", std::to_string(pick(3, 700))}, -1};
      case 6:
        return Fault{"signal", {}, pick(100, 4000), random_signal()};
      default:
        return Fault{"loader refuses",
                     {"--verdicts", pick(0, 1) ? "12" : "00,00,00,00"}, -1};
    }
  };

  std::map<std::string, int> by_fault, by_exit;
  std::vector<std::string> violations;
  std::vector<Session> running;
  int started = 0, done = 0;
  const auto t0 = Clock::now();
  while (done < sessions) {
    while (static_cast<int>(running.size()) < jobs && started < sessions) {
      const Command& cmd = commands[static_cast<size_t>(pick(0, static_cast<int>(commands.size()) - 1))];
      running.emplace_back(started++, cmd, random_fault(cmd), dir);
      if (!running.back().Start()) {
        violations.push_back("session " + std::to_string(running.back().id()) +
                             ": could not start the sim or the CLI");
        running.pop_back();
        ++done;
      }
    }
    for (size_t i = 0; i < running.size();) {
      Outcome o;
      if (!running[i].Poll(o)) {
        ++i;
        continue;
      }
      const Session& s = running[i];
      const std::string what = "session " + std::to_string(s.id()) + " (" + s.command().Key() +
                               "fault " + s.fault().kind + ")";
      ++by_fault[s.fault().kind];
      ++by_exit[o.crashed ? "crash" : std::to_string(o.exit_code)];
      const Outcome& ref = reference[s.command().Key()];
      const std::string& before = initial[s.command().StateKey()];
      // A clean run's time, the CLI's time-out and its 2 s of grace, and a second for load.
      const double deadline = ref.seconds * 2 + s.command().TimeoutS() + 2 + 1;
      const bool flash = s.command().Flash();
      const bool signalled = s.fault().signal_after_ms >= 0;
      // --force sends a curve that arrived damaged: its default points are what was meant.
      const auto& f = s.fault().sim;
      const bool forced_damaged = s.command().args.back() == "--force" && f.size() == 2 &&
                                  f[0] == "--bad-curve";
      const std::string damaged_curve = forced_damaged ? f[1] : "";
      if (o.crashed || (o.exit_code != 0 && o.exit_code != 1 && o.exit_code != 2 &&
                        o.exit_code != SignalExit(s.fault().signal))) {
        violations.push_back(what + ": crashed or odd exit " + std::to_string(o.exit_code));
      } else if (o.exit_code > 2 && !signalled) {
        violations.push_back(what + ": exit " + std::to_string(o.exit_code) + " with no signal");
      } else if (o.seconds > deadline) {
        violations.push_back(what + ": ran " + std::to_string(o.seconds) + " s, deadline " +
                             std::to_string(deadline));
      } else if (o.exit_code == 0 && o.state != ref.state &&
                 !(forced_damaged && WithoutLine(o.state, damaged_curve + "_curve") ==
                                         WithoutLine(ref.state, damaged_curve + "_curve"))) {
        violations.push_back(what + ": exit 0 but the ESC " + FirstDifference(o.state, ref.state));
      } else if (o.exit_code != 0 && o.state != before && o.state != ref.state &&
                 o.err.find(flash ? "may not start" : "holds a mix") == std::string::npos) {
        violations.push_back(what + ": a partial " + (flash ? "update" : "send") +
                             " not reported as such: " + o.err);
      } else if (o.exit_code != 0 && o.state != before &&
                 o.err.find("nothing was sent") != std::string::npos) {
        violations.push_back(what + ": says nothing was sent, but the ESC changed: " + o.err);
      }
      running.erase(running.begin() + static_cast<long>(i));
      if (++done % 50 == 0) {
        std::fprintf(stderr, "soak: %d of %d sessions, %zu violations\n", done, sessions,
                     violations.size());
      }
    }
    usleep(20000);
  }
  const double total = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("soak: %d sessions in %.0f s (seed %u, %d at a time)\n", sessions, total, seed, jobs);
  for (const auto& [k, n] : by_fault) std::printf("  fault %-18s %d\n", k.c_str(), n);
  for (const auto& [k, n] : by_exit) std::printf("  exit %-5s %d\n", k.c_str(), n);
  for (const auto& v : violations) std::printf("VIOLATION %s\n", v.c_str());
  std::printf("soak: %zu violations\n", violations.size());
  std::system(("rm -rf '" + dir + "'").c_str());
  return violations.empty() ? 0 : 1;
}
