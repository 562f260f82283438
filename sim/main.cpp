// tesselarc-sim: a virtual ESC on a pseudo-terminal. Prints the terminal's device path alone on
// the first line, then serves until SIGINT or SIGTERM.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/pty_server.h"

namespace {

tessel::PtyServer* g_server = nullptr;

void OnSignal(int) {
  if (g_server) g_server->Stop();
}

void Usage(FILE* to) {
  std::fprintf(to,
               "usage: tesselarc-sim [options]\n"
               "  --device full|v1|v1-bec      ESC to model (default full)\n"
               "  --answer-at 1200|19200|any   line speed the ESC understands (default any)\n"
               "  --silent-probes N            leave the first N presence probes unanswered\n"
               "  --presence HEX,HEX           presence reply (default d5,41)\n"
               "  --no-identify                leave the identification unanswered\n"
               "  --bad-curve boost|brake|throttle   wrong check value on reading that curve\n"
               "  --verdicts HEX,HEX,...       loader verdicts, one per record (then 11)\n"
               "  --version TEXT               7-character version text\n"
               "  --silent                     no echo, no answer at all\n"
               "  --freeze-after N             take and answer nothing after N host bytes\n"
               "  --vanish-after N             exit (the device is gone) at host byte N + 1\n"
               "  --drop-every N               lose every N-th byte of the answers\n"
               "  --state FILE                 on exit, write the ESC's settings, curve points\n"
               "                               and flashed firmware to FILE (for soak runs)\n"
               "  --trace                      log host bytes and answers to stderr\n");
}

bool ParseHexList(const char* text, std::vector<uint8_t>& out) {
  out.clear();
  std::string item;
  const std::string all = std::string(text) + ",";
  for (char c : all) {
    if (c != ',') {
      item += c;
      continue;
    }
    if (item.empty() || item.size() > 2) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(item.c_str(), &end, 16);
    if (*end != '\0') return false;
    out.push_back(static_cast<uint8_t>(v));
    item.clear();
  }
  return true;
}

// What the ESC holds, one item a line, so that a soak run can tell what reached it.
void WriteState(const tessel::VirtualEsc& esc, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return;
  const tessel::EscSettingsImage& im = esc.image();
  for (const tessel::ParamField& p : tessel::FullEscFields()) {
    std::fprintf(f, "%.*s %d\n", static_cast<int>(p.name.size()), p.name.data(), im.*(p.field));
  }
  for (const tessel::V1Field& v : tessel::V1Fields()) {
    std::fprintf(f, "%.*s %d\n", static_cast<int>(v.name.size()), v.name.data(), im.*(v.field));
  }
  for (const tessel::CurveField& c : tessel::CurveFields()) {
    const tessel::CurveData& d = im.*(c.curve);
    std::fprintf(f, "%.*s", static_cast<int>(c.name.size()), c.name.data());
    for (int i = 0; i < 40; ++i) std::fprintf(f, " %d,%d", d.x[i], d.y[i]);
    std::fprintf(f, "\n");
  }
  std::fprintf(f, "flashed");
  for (uint8_t b : esc.flashed()) std::fprintf(f, "%02X", b);
  std::fprintf(f, "\n");
  std::fclose(f);
}

bool ParseCount(const char* text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || v < 0 || v > 1'000'000) return false;
  out = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using tessel::EscVariant;
  using tessel::SpeedPolicy;

  EscVariant variant = EscVariant::kFull;
  tessel::EscFaults faults;
  std::string version;
  bool trace = false;
  int freeze_after = 0, vanish_after = 0, drop_every = 0;
  std::string state_file;

  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto bad = [&]() {
      std::fprintf(stderr, "tesselarc-sim: bad or missing value for %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    };
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--silent") {
      faults.silent = true;
    } else if (arg == "--no-identify") {
      faults.silent_identify = true;
    } else if (arg == "--trace") {
      trace = true;
    } else if (value == nullptr) {
      if (arg.rfind("--", 0) == 0) return bad();
      std::fprintf(stderr, "tesselarc-sim: unknown argument %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    } else if (arg == "--device") {
      const std::string v = value;
      if (v == "full") {
        variant = EscVariant::kFull;
      } else if (v == "v1") {
        variant = EscVariant::kV1;
      } else if (v == "v1-bec") {
        variant = EscVariant::kV1Bec;
      } else {
        return bad();
      }
      ++i;
    } else if (arg == "--answer-at") {
      const std::string v = value;
      if (v == "1200") {
        faults.answer_at = SpeedPolicy::kOnly1200;
      } else if (v == "19200") {
        faults.answer_at = SpeedPolicy::kOnly19200;
      } else if (v == "any") {
        faults.answer_at = SpeedPolicy::kAny;
      } else {
        return bad();
      }
      ++i;
    } else if (arg == "--silent-probes") {
      if (!ParseCount(value, faults.silent_probes)) return bad();
      ++i;
    } else if (arg == "--freeze-after" || arg == "--vanish-after" || arg == "--drop-every") {
      int& target = arg == "--freeze-after" ? freeze_after
                    : arg == "--vanish-after" ? vanish_after
                                              : drop_every;
      if (!ParseCount(value, target)) return bad();
      ++i;
    } else if (arg == "--state") {
      state_file = value;
      ++i;
    } else if (arg == "--presence") {
      if (!ParseHexList(value, faults.presence_reply)) return bad();
      ++i;
    } else if (arg == "--bad-curve") {
      const std::string v = value;
      if (v == "boost") {
        faults.bad_curve_check[tessel::kBoostCurve] = true;
      } else if (v == "brake") {
        faults.bad_curve_check[tessel::kBrakeCurve] = true;
      } else if (v == "throttle") {
        faults.bad_curve_check[tessel::kThrottleCurve] = true;
      } else {
        return bad();
      }
      ++i;
    } else if (arg == "--verdicts") {
      if (!ParseHexList(value, faults.loader_verdicts)) return bad();
      ++i;
    } else if (arg == "--version") {
      version = value;
      if (version.size() != 7) return bad();
      ++i;
    } else {
      std::fprintf(stderr, "tesselarc-sim: unknown option %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
  }

  tessel::PtyServer server(variant);
  server.esc().faults() = faults;
  if (!version.empty()) server.esc().set_version_text(version);
  server.set_trace(trace);
  server.set_freeze_after(static_cast<uint64_t>(freeze_after));
  server.set_vanish_after(static_cast<uint64_t>(vanish_after));
  server.set_drop_every(static_cast<uint64_t>(drop_every));
  if (!server.Open()) {
    std::fprintf(stderr, "tesselarc-sim: cannot create a pseudo-terminal: %s\n",
                 std::strerror(errno));
    return 1;
  }

  g_server = &server;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::printf("%s\n", server.slave_path().c_str());
  std::fflush(stdout);

  const int rc = server.Run();
  g_server = nullptr;
  if (!state_file.empty()) WriteState(server.esc(), state_file);
  return rc;
}
