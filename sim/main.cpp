// tesselarc-sim: a virtual ESC on a pseudo-terminal, or with --hid the virtual USB HID adapter
// on a Unix-domain socket. Prints the terminal's device path (or the socket's path) alone on
// the first line, then serves until SIGINT or SIGTERM.
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/hid_socket_server.h"
#include "sim/pty_server.h"

namespace {

tessel::PtyServer* g_server = nullptr;
tessel::HidSocketServer* g_hid_server = nullptr;

void OnSignal(int) {
  if (g_server) g_server->Stop();
  if (g_hid_server) g_hid_server->Stop();
}

void Usage(FILE* to) {
  std::fprintf(
      to,
      "usage: tesselarc-sim [options]\n"
      "  --device full|v1|v1-bec      ESC to model (default full)\n"
      "  --answer-at 1200|19200|any   line speed the ESC understands (default any)\n"
      "  --silent-probes N            leave the first N presence probes unanswered\n"
      "  --presence HEX,HEX           presence reply (default d5,41)\n"
      "  --no-identify                leave the identification unanswered\n"
      "  --bad-curve boost|brake|throttle   wrong check value on reading that curve\n"
      "  --keep-field NAME            a send leaves this field (or curve) as it was\n"
      "  --verdicts HEX,HEX,...       loader verdicts, one per record (then 11)\n"
      "  --version TEXT               7-character version text\n"
      "  --silent                     no echo, no answer at all\n"
      "  --freeze-after N             take and answer nothing after N host bytes\n"
      "  --vanish-after N             exit (the device is gone) at host byte N + 1\n"
      "  --drop-every N               lose every N-th byte of the answers\n"
      "  --state FILE                 on exit, write the ESC's settings, curve points\n"
      "                               and flashed firmware to FILE (for soak runs)\n"
      "  --trace                      log host bytes and answers to stderr\n"
      "\n"
      "usage: tesselarc-sim --hid [options]   (USB HID adapter on a Unix socket)\n"
      "  --device full|v1|v1-bec|lcd  device behind the adapter (default full)\n"
      "  --v1-length 12|14|15|18      V1 settings answer length (default 14; 18 with BEC)\n"
      "  --silent-probes N            leave the first N presence queries unanswered\n"
      "  --no-presence                never answer a presence query\n"
      "  --presence HEX               presence answer instead of the device's own\n"
      "  --no-version                 leave version queries unanswered\n"
      "  --version HEX,... (7)        version answer (default 00,00,dd,05,0c,03,07)\n"
      "  --adapter-version HEX,... (7)  greeting (default 01,00,05,00,0c,03,07)\n"
      "  --bad-curve boost|brake|throttle   wrong check value on reading that curve\n"
      "  --keep-field NAME            a send leaves this field (or curve) as it was\n"
      "  --drop-ack N                 swallow the Nth acknowledgement (0x01 or 0x80)\n"
      "  --unplug-after N             pull the adapter out after N data bytes\n"
      "  --long-answer HEX:N          N extra bytes after the answer to command HEX\n"
      "  --verdicts HEX,HEX,...       record loader verdicts, one per record (then 11)\n"
      "  --split-ok                   block loader: each \"ok\" as \"o\", then \"k\"\n"
      "  --silent-block N             block loader: never acknowledge block N\n"
      "  --restart-at-ok N            block loader: restart in place of the Nth \"ok\"\n"
      "  --drop-report N              lose the Nth report the adapter sends (1 = greeting)\n"
      "  --split-answer N             cut every answer after N bytes; the rest comes later\n"
      "  --esc-gone-after N           the ESC behind the adapter is gone after N data bytes\n"
      "  --state FILE                 on exit, write what the ESC (or LCD box) holds\n"
      "  --trace                      log every report both ways to stderr\n"
      "\n"
      "tesselarc-sim --version        print the program's version\n");
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
void WriteState(const tessel::EscSettingsImage& im, const std::vector<uint8_t>& flashed,
                const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return;
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
  for (uint8_t b : flashed) std::fprintf(f, "%02X", b);
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

bool ParseVersionBytes(const char* text, std::array<uint8_t, 7>& out) {
  std::vector<uint8_t> bytes;
  if (!ParseHexList(text, bytes) || bytes.size() != out.size()) return false;
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return true;
}

// "d7:3": the command in hex, then how many extra bytes follow its answer.
bool ParseLongAnswer(const char* text, tessel::HidFaults& faults) {
  const std::string all = text;
  const auto colon = all.find(':');
  if (colon == std::string::npos) return false;
  std::vector<uint8_t> command;
  int extra = 0;
  if (!ParseHexList(all.substr(0, colon).c_str(), command) || command.size() != 1) return false;
  if (!ParseCount(all.substr(colon + 1).c_str(), extra) || extra > 4096) return false;
  faults.long_answer_command = command[0];
  faults.long_answer_extra = static_cast<size_t>(extra);
  return true;
}

// Options that take a value, so that a value is never taken for --hid.
bool TakesValue(const std::string& arg) {
  for (const char* name :
       {"--device", "--answer-at", "--silent-probes", "--presence", "--bad-curve", "--verdicts",
        "--version", "--v1-length", "--drop-ack", "--unplug-after", "--long-answer",
        "--adapter-version", "--silent-block", "--restart-at-ok", "--keep-field",
        "--drop-report", "--split-answer", "--esc-gone-after", "--state"}) {
    if (arg == name) return true;
  }
  return false;
}

bool HidOnly(const std::string& arg) {
  for (const char* name :
       {"--v1-length", "--no-presence", "--no-version", "--drop-ack", "--unplug-after",
        "--long-answer", "--adapter-version", "--split-ok", "--silent-block", "--restart-at-ok",
        "--drop-report", "--split-answer", "--esc-gone-after"}) {
    if (arg == name) return true;
  }
  return false;
}

bool SerialOnly(const std::string& arg) {
  for (const char* name : {"--answer-at", "--no-identify", "--silent", "--freeze-after",
                           "--vanish-after", "--drop-every"}) {
    if (arg == name) return true;
  }
  return false;
}

void InstallSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

struct HidOptions {
  tessel::HidDeviceKind kind = tessel::HidDeviceKind::kFullEsc;
  size_t v1_length = 0;
  tessel::HidFaults faults;
  std::optional<uint8_t> presence;
  std::optional<std::array<uint8_t, 7>> version;
  std::optional<std::array<uint8_t, 7>> adapter_version;
};

int ServeHid(const HidOptions& options, bool trace, const std::string& state_file) {
  tessel::HidSocketServer server(options.kind, options.v1_length);
  tessel::VirtualHidAdapter& adapter = server.adapter();
  adapter.faults() = options.faults;
  if (options.presence) adapter.set_presence_answer(options.presence);
  if (options.version) adapter.set_esc_version(*options.version);
  if (options.adapter_version) adapter.set_adapter_version(*options.adapter_version);
  server.set_trace(trace);
  if (!server.Open()) {
    std::fprintf(stderr, "tesselarc-sim: cannot create the adapter's socket: %s\n",
                 std::strerror(errno));
    return 1;
  }

  g_hid_server = &server;
  InstallSignals();
  std::printf("%s\n", server.socket_path().c_str());
  std::fflush(stdout);

  const int rc = server.Run();
  g_hid_server = nullptr;
  if (!state_file.empty()) {
    // The record loader's records as the ESC took them, or the LCD box's flashed image.
    const bool box = options.kind == tessel::HidDeviceKind::kLcdBox;
    WriteState(adapter.image(), box ? adapter.flashed_image() : adapter.flashed_records(),
               state_file);
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  using tessel::EscVariant;
  using tessel::HidDeviceKind;
  using tessel::SpeedPolicy;

  bool hid = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--hid") hid = true;
    if (TakesValue(arg)) ++i;
  }

  EscVariant variant = EscVariant::kFull;
  tessel::EscFaults faults;
  std::string version;
  HidOptions hid_options;
  std::string device = "full";
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
    }
    // "--version TEXT" sets the ESC's version; alone (nothing after it, or another option) it
    // asks for the program's.
    if (arg == "--version" && (value == nullptr || value[0] == '-')) {
      std::printf("tesselarc-sim %s\n", TESSEL_VERSION);
      return 0;
    }
    if (hid && SerialOnly(arg)) {
      std::fprintf(stderr, "tesselarc-sim: %s does not apply with --hid\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
    if (!hid && HidOnly(arg)) {
      std::fprintf(stderr, "tesselarc-sim: %s needs --hid\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
    if (arg == "--hid") {
      // Seen above.
    } else if (arg == "--silent") {
      faults.silent = true;
    } else if (arg == "--no-identify") {
      faults.silent_identify = true;
    } else if (arg == "--no-presence") {
      hid_options.faults.never_answer_presence = true;
    } else if (arg == "--no-version") {
      hid_options.faults.silent_version = true;
    } else if (arg == "--split-ok") {
      hid_options.faults.split_ok = true;
    } else if (arg == "--trace") {
      trace = true;
    } else if (value == nullptr) {
      if (arg.rfind("--", 0) == 0) return bad();
      std::fprintf(stderr, "tesselarc-sim: unknown argument %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    } else if (arg == "--device") {
      device = value;
      if (device == "full") {
        variant = EscVariant::kFull;
        hid_options.kind = HidDeviceKind::kFullEsc;
      } else if (device == "v1") {
        variant = EscVariant::kV1;
        hid_options.kind = HidDeviceKind::kV1Esc;
      } else if (device == "v1-bec") {
        variant = EscVariant::kV1Bec;
        hid_options.kind = HidDeviceKind::kV1EscBec;
      } else if (device == "lcd" && hid) {
        hid_options.kind = HidDeviceKind::kLcdBox;
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
      if (!ParseCount(value, hid ? hid_options.faults.silent_presence : faults.silent_probes)) {
        return bad();
      }
      ++i;
    } else if (arg == "--state") {
      state_file = value;
      ++i;
    } else if (arg == "--freeze-after" || arg == "--vanish-after" || arg == "--drop-every") {
      int& target = arg == "--freeze-after"   ? freeze_after
                    : arg == "--vanish-after" ? vanish_after
                                              : drop_every;
      if (!ParseCount(value, target)) {
        return bad();
      }
      ++i;
    } else if (arg == "--presence") {
      if (hid) {
        std::vector<uint8_t> bytes;
        if (!ParseHexList(value, bytes) || bytes.size() != 1) return bad();
        hid_options.presence = bytes[0];
      } else if (!ParseHexList(value, faults.presence_reply)) {
        return bad();
      }
      ++i;
    } else if (arg == "--bad-curve") {
      const std::string v = value;
      size_t which = 0;
      if (v == "boost") {
        which = tessel::kBoostCurve;
      } else if (v == "brake") {
        which = tessel::kBrakeCurve;
      } else if (v == "throttle") {
        which = tessel::kThrottleCurve;
      } else {
        return bad();
      }
      faults.bad_curve_check[which] = true;
      hid_options.faults.bad_curve_check[which] = true;
      ++i;
    } else if (arg == "--keep-field") {
      if (!tessel::IsKeepableField(value)) {
        std::fprintf(stderr,
                     "tesselarc-sim: --keep-field takes a field name ('tesselarc-cli fields' "
                     "lists them) or boost_curve, brake_curve, throttle_curve; not '%s'\n",
                     value);
        return 2;
      }
      faults.keep_field = value;
      hid_options.faults.keep_field = value;
      ++i;
    } else if (arg == "--verdicts") {
      if (!ParseHexList(value, hid ? hid_options.faults.loader_verdicts : faults.loader_verdicts)) {
        return bad();
      }
      ++i;
    } else if (arg == "--silent-block" || arg == "--restart-at-ok") {
      int n = 0;
      if (!ParseCount(value, n) || n == 0) return bad();
      (arg == "--silent-block" ? hid_options.faults.silent_block_ack
                               : hid_options.faults.restart_at_ok) = n;
      ++i;
    } else if (arg == "--version") {
      if (hid) {
        std::array<uint8_t, 7> bytes{};
        if (!ParseVersionBytes(value, bytes)) return bad();
        hid_options.version = bytes;
      } else {
        version = value;
        if (version.size() != 7) return bad();
      }
      ++i;
    } else if (arg == "--adapter-version") {
      std::array<uint8_t, 7> bytes{};
      if (!ParseVersionBytes(value, bytes)) return bad();
      hid_options.adapter_version = bytes;
      ++i;
    } else if (arg == "--v1-length") {
      int length = 0;
      if (!ParseCount(value, length) ||
          (length != 12 && length != 14 && length != 15 && length != 18)) {
        return bad();
      }
      hid_options.v1_length = static_cast<size_t>(length);
      ++i;
    } else if (arg == "--drop-ack") {
      if (!ParseCount(value, hid_options.faults.drop_ack) || hid_options.faults.drop_ack == 0) {
        return bad();
      }
      ++i;
    } else if (arg == "--unplug-after") {
      int bytes = 0;
      if (!ParseCount(value, bytes)) return bad();
      hid_options.faults.unplug_after_bytes = bytes;
      ++i;
    } else if (arg == "--drop-report" || arg == "--split-answer" || arg == "--esc-gone-after") {
      int n = 0;
      if (!ParseCount(value, n) || n == 0) return bad();
      if (arg == "--drop-report") {
        hid_options.faults.drop_report = n;
      } else if (arg == "--split-answer") {
        hid_options.faults.split_answer_at = static_cast<size_t>(n);
      } else {
        hid_options.faults.esc_gone_after_bytes = n;
      }
      ++i;
    } else if (arg == "--long-answer") {
      if (!ParseLongAnswer(value, hid_options.faults)) return bad();
      ++i;
    } else {
      std::fprintf(stderr, "tesselarc-sim: unknown option %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
  }

  if (hid) {
    if (hid_options.v1_length != 0 && hid_options.kind != HidDeviceKind::kV1Esc &&
        hid_options.kind != HidDeviceKind::kV1EscBec) {
      std::fprintf(stderr, "tesselarc-sim: --v1-length needs --device v1 or v1-bec\n");
      Usage(stderr);
      return 2;
    }
    return ServeHid(hid_options, trace, state_file);
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
  InstallSignals();
  std::printf("%s\n", server.slave_path().c_str());
  std::fflush(stdout);

  const int rc = server.Run();
  g_server = nullptr;
  if (!state_file.empty()) WriteState(server.esc().image(), server.esc().flashed(), state_file);
  return rc;
}
