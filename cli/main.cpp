// tesselarc-cli: the command-line companion. It drives the same session engine as the desktop
// tool, on a plain timer loop, with the command line's fixed answers to the engine's questions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_ui.h"
#include "cli/command_line.h"
#include "cli/doctor.h"
#include "cli/history.h"
#include "core/app/demo_kinds.h"
#include "core/model/field_values.h"
#include "cli/hid_flash.h"
#include "cli/setup_diff.h"
#include "cli/wire_trace_option.h"
#include "core/model/sheet.h"
#include "core/model/firmware_file.h"
#include "core/engine/serial_update.h"
#include "core/engine/hid_engine.h"
#include "core/engine/session.h"
#include "core/engine/settings_file_commands.h"
#include "core/model/settings_file.h"
#include "core/app/read_checks.h"
#include "core/app/tool.h"
#include "core/app/verify_read.h"
#include "core/model/page_rules.h"
#include "core/model/pages.h"
#include "core/model/presets.h"
#include "core/model/setup_compare.h"
#include "core/model/setup_json.h"
#include "core/model/setup_load.h"
#include "core/model/setup_link.h"
#include "core/model/curve_model.h"
#include "core/model/v1_settings.h"
#include "platform/hidapi_device.h"
#include "platform/history_folder.h"
#include "platform/port_listing.h"
#include "platform/qt_port_enumerator.h"
#include "platform/qt_serial_port.h"
#include "platform/socket_hid_device.h"
#include "sim/virtual_esc_port.h"
#include "sim/virtual_hid_adapter.h"

namespace tessel {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

// The first SIGINT, SIGTERM, SIGHUP or SIGPIPE asks the run to stop at its next safe step; a
// second SIGINT, SIGTERM or SIGHUP ends it at once. SIGPIPE never ends it by itself: once a
// reader has gone, every write to it raises SIGPIPE again, and those writes are simply lost.
volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_stop_signal = 0;

// The exit code of a run stopped by a signal: 129 for SIGHUP, 141 for SIGPIPE, else 130.
int StopExitCode(int signal) {
  if (signal == SIGHUP) return 128 + SIGHUP;
  if (signal == SIGPIPE) return 128 + SIGPIPE;
  return kExitInterrupted;
}

extern "C" void OnStopSignal(int signal) {
  if (g_stop != 0) {
    if (signal == SIGPIPE) return;
    constexpr char kText[] = "\ntesselarc-cli: stopped at once\n";
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, kText, sizeof kText - 1);
    _exit(StopExitCode(g_stop_signal));
  }
  g_stop_signal = signal;
  g_stop = 1;
}

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

// A run that stopped for a signal says so by the signal's own code.
int ExitCodeFor(int rc) {
  return rc == kExitInterrupted && g_stop != 0 ? StopExitCode(g_stop_signal) : rc;
}

bool StopRequested() {
  return g_stop != 0;
}

struct Options {
  std::string port;
  std::optional<EscVariant> demo;
  std::string hid;
  std::string hid_socket;
  std::optional<HidDeviceKind> hid_demo;
  double timeout_s = 10;
  bool quiet = false;
  // --trace: the file every transfer of the tool's wire trace is also written to.
  std::shared_ptr<TraceFileOption> trace_file;
  std::string command;
  std::vector<std::string> args;  // the command's positional arguments
  CommandLine cmd;                // and its options
};

int Usage(const Options& o, const std::string& problem) {
  return UsageError(problem, o.command);
}

// The adapter options of a parsed command line, checked against each other.
std::optional<Options> ToOptions(const CommandLine& line, std::string& problem) {
  Options o;
  o.cmd = line;
  o.command = line.command;
  o.args = line.args;
  o.port = line.Value("port");
  o.hid = line.Value("hid");
  o.hid_socket = line.Value("hid-socket");
  o.quiet = line.Has("quiet");
  for (const char* name : {"port", "hid", "hid-socket", "trace"}) {
    if (line.Has(name) && line.Value(name).empty()) {
      problem = std::string("--") + name + " needs a path";
      return std::nullopt;
    }
  }
  if (line.Has("demo")) {
    const std::string kind = line.Value("demo");
    const DemoKind* demo = FindDemoKind(kind);
    if (demo == nullptr) {
      std::string names = DemoKindNames(", ");
      names.replace(names.rfind(", "), 2, " or ");
      problem = "--demo takes " + names + ", not '" + kind + "'";
      return std::nullopt;
    }
    if (demo->hid) {
      o.hid_demo = static_cast<HidDeviceKind>(DemoKindPlace(*demo));
    } else {
      o.demo = static_cast<EscVariant>(DemoKindPlace(*demo));
    }
  }
  if (line.Has("timeout")) {
    const std::string value = line.Value("timeout");
    char* end = nullptr;
    o.timeout_s = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || !(o.timeout_s > 0) || o.timeout_s > 86400) {
      problem = "--timeout needs a positive number of seconds";
      return std::nullopt;
    }
  }
  const int adapters = !o.port.empty() + o.demo.has_value() + !o.hid.empty() +
                       !o.hid_socket.empty() + o.hid_demo.has_value();
  if (adapters > 1) {
    problem = "--port, --hid, --hid-socket and --demo exclude each other";
    return std::nullopt;
  }
  return o;
}

// The system's reason why `path` cannot be a serial adapter, or empty when it may be one.
// Asked before the search starts, so that a wrong --port fails at once rather than after the
// time-out.
std::string SerialDeviceProblem(const std::string& path, int& error) {
  struct stat st {};
  error = 0;
  if (stat(path.c_str(), &st) != 0) {
    error = errno;
    return std::strerror(error);
  }
  // Opened before the kind is looked at, so that a node this user may not open says so.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return std::strerror(error);
  }
  const bool tty = S_ISCHR(st.st_mode) && isatty(fd) != 0;
  close(fd);
  return tty ? std::string() : "not a serial device";
}

std::string LowerFirst(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

constexpr const char* kNoAdapterText =
    "no programming adapter found: check the cable, run 'tesselarc-cli doctor', or use "
    "--port/--hid/--demo";

// Fails at once, before any wait, when the adapter named on the command line cannot be
// opened or when no adapter of either family is plugged in. 0 when the search may start.
int CheckAdapterPresent(const Options& o) {
  if (o.demo || o.hid_demo) return kExitOk;
  if (!o.port.empty()) {
    int error = 0;
    const std::string why = SerialDeviceProblem(o.port, error);
    if (why.empty()) return kExitOk;
    if (error == EACCES || error == EPERM) {
      // The fix first (the udev rule, the group), then the reason in one line.
      std::fprintf(stderr, "tesselarc-cli: %s\n",
                   AccessDeniedText(AdapterFamily::kSerial, o.port).c_str());
      std::fprintf(stderr,
                   "tesselarc-cli: cannot open %s: permission denied (run tesselarc-cli doctor)\n",
                   o.port.c_str());
      return kExitFailure;
    }
    std::fprintf(stderr,
                 "tesselarc-cli: cannot open %s: %s; check the name ('tesselarc-cli ports' "
                 "lists the serial ports)\n",
                 o.port.c_str(), LowerFirst(why).c_str());
    return kExitFailure;
  }
  const std::string& named = !o.hid.empty() ? o.hid : o.hid_socket;
  if (!named.empty()) {
    int error = 0;
    const std::string why = !o.hid.empty() ? HidapiDevice::NodeProblem(named, error)
                                           : SocketHidDevice::PathProblem(named, error);
    if (why.empty()) return kExitOk;
    if (error == EACCES || error == EPERM) {
      std::fprintf(stderr, "tesselarc-cli: %s\n",
                   AccessDeniedText(AdapterFamily::kHid, named).c_str());
      std::fprintf(stderr,
                   "tesselarc-cli: cannot open %s: permission denied (run tesselarc-cli doctor)\n",
                   named.c_str());
      return kExitFailure;
    }
    const char* hint = !o.hid.empty() ? "; check the name ('tesselarc-cli ports' lists the HID "
                                        "adapters)"
                       : error == 0   ? " (tesselarc-sim --hid prints the path of its socket)"
                                      : "";
    std::fprintf(stderr, "tesselarc-cli: cannot open the HID adapter at %s: %s%s\n", named.c_str(),
                 LowerFirst(why).c_str(), hint);
    return kExitFailure;
  }
  QtPortEnumerator enumerator;
  for (const auto& entry : ListPorts(enumerator)) {
    if (entry.accepted) return kExitOk;
  }
  if (!ListHidAdapters().empty()) return kExitOk;
  std::fprintf(stderr, "tesselarc-cli: %s\n", kNoAdapterText);
  return kExitFailure;
}

// One running tool: the serial port (real, explicit or virtual), the HID adapter (real, a
// socket to a virtual one, or virtual in-process), the timer loop, and the tool on them with
// the command line as its face.
class CliWorld {
 public:
  explicit CliWorld(const Options& o) : loop_(clock_) {
    const bool hid_only = !o.hid.empty() || !o.hid_socket.empty() || o.hid_demo;
    if (o.demo) {
      auto port = std::make_unique<VirtualEscPort>(clock_, *o.demo);
      ports_ = std::make_unique<VirtualPortEnumerator>(*port);
      port_ = std::move(port);
    } else {
      auto port = std::make_unique<QtSerialPort>();
      qt_port_ = port.get();
      port_ = std::move(port);
      // The serial adapter is searched for unless the command line named another adapter.
      if (o.port.empty() && !hid_only) ports_ = std::make_unique<QtPortEnumerator>();
    }
    if (o.hid_demo) {
      hid_device_ = std::make_unique<VirtualHidAdapter>(*o.hid_demo);
    } else if (!o.hid_socket.empty()) {
      hid_device_ = std::make_unique<SocketHidDevice>(o.hid_socket);
    } else if (!o.demo && o.port.empty()) {
      hid_device_ = std::make_unique<HidapiDevice>();
    }
    tool_ = std::make_unique<Tool>(ui_, clock_, loop_, *port_, ports_.get(), hid_device_.get(),
                                   TESSEL_VERSION);
    if (o.trace_file) o.trace_file->Attach(tool_->trace());
    if (!o.port.empty()) session().link.SetExplicitDevice(o.port);
    ui_.Bind(*tool_);
    ui_.stop_requested = &g_stop;
    ui_.set_show_progress(!o.quiet, isatty(STDERR_FILENO) != 0);
    loop_.SetHandler([this](int id) { tool_->OnTimer(id); });
    tool_->Start();
    // A path given on the command line is opened as it is, without a search.
    if (hid() != nullptr && !o.hid.empty()) hid()->link.hid_path = o.hid;
    hid_named_ = !o.hid.empty() ? o.hid : o.hid_socket;
    timeout_ms_ = static_cast<uint64_t>(o.timeout_s * 1000);
    // Whatever the engine waits for, the run ends once nothing has come back for this long.
    session().link.SetIdleLimit(static_cast<uint32_t>(timeout_ms_));
  }

  // The engine facts the command line reports or waits on (the adapter's version, the link's
  // device, the idle limit, the image it edits) are reached through these two.
  Session& session() { return tool_->session(); }
  const Session& session() const { return tool_->session(); }
  HidEngine* hid() { return tool_->hid(); }
  CliUi& ui() { return ui_; }

  // The command line edits the image itself, where the desktop edits its pages: the pages
  // take the edited image in, so that the send collects it rather than what was read.
  void TakeEditedImage() {
    if (session().status.device_class == kDeviceV1) {
      tool_->pages().V1RefreshFromImage();
    } else {
      tool_->pages().RefreshFromImage();
    }
  }


  bool OnHid() const { return session().status.link_kind == kLinkHid; }
  // The HID adapter greeted and the device behind it stopped (or never started) answering,
  // or only the LCD program box answers.
  bool HidWithoutEsc() const {
    const SessionStatus& s = session().status;
    return OnHid() && s.adapter_state == kHidAdapterGreeted && s.esc_state == kEscNone &&
           (s.lcd_box_answered || session().last_transfer().outcome == TransferOutcome::kEscLost);
  }
  // A transfer ended with `outcome` after the wait that took `mark` began.
  bool EndedWith(uint64_t mark, TransferOutcome outcome) const {
    return session().transfer_ends() > mark && session().last_transfer().outcome == outcome;
  }
  bool EscConnected() const {
    const SessionStatus& s = session().status;
    return OnHid() ? s.esc_state == kHidEscPresent : s.esc_state == kEscDetected;
  }

  // Waits for the automatic read. 0, or 1 (130 when interrupted) with a message on stderr.
  // With `allow_no_esc` an adapter with nothing answering behind it also ends the wait with 0.
  int WaitForRead(bool allow_no_esc = false) {
    const uint64_t mark = session().transfer_ends();
    const bool done = loop_.RunUntil(
        [&] {
          return ui_.gave_up || StopRequested() || session().unrecognised_reply ||
                 session().link.idle_expired() || PortBusy() ||
                 EndedWith(mark, TransferOutcome::kNoVersion) || HidWithoutEsc() ||
                 (ui_.read_finished && !session().status.transfer_active);
        },
        timeout_ms_);
    if (StopRequested()) {
      std::fprintf(stderr, "\ntesselarc-cli: interrupted; nothing was sent\n");
      return kExitInterrupted;
    }
    if (ui_.gave_up) return Fail(ui_.failure);
    if (session().unrecognised_reply) {
      return Fail(
          "the ESC's reply was not recognised (a V1 block with values outside the V1 "
          "lists); nothing was taken from it");
    }
    if (PortBusy()) return Fail(qt_port_->last_error());
    if (EndedWith(mark, TransferOutcome::kNoVersion)) {
      return Fail("the ESC answered but sent no version (\"" + std::string(kHidVersionFailedText) +
                  "\")");
    }
    if (HidWithoutEsc()) {
      if (allow_no_esc) return kExitOk;
      return Fail("the HID adapter (" + hid()->AdapterVersion() +
                  ") answers but no ESC does: check that the ESC is connected to the adapter "
                  "and powered (battery on), then try again");
    }
    if (done && !session().link.idle_expired()) return kExitOk;
    const SessionStatus& s = session().status;
    if (EscConnected()) {
      return Fail("the ESC was found but its settings could not be read in time");
    }
    if (OnHid()) return Fail("the HID adapter at " + hid()->link.hid_path + " does not answer");
    if (s.adapter_state == kAdapterOpen || session().link.is_open) {
      return Fail("no ESC answers on the adapter at " + session().link.device_name +
                  ": check that the ESC is connected to the adapter "
                  "and powered (battery on), then try again");
    }
    if (!tool_->access_notice().last_denied().empty()) {
      return Fail("cannot open " + tool_->access_notice().last_denied() +
                  ": permission denied (run tesselarc-cli doctor)");
    }
    if (!session().link.explicit_device().empty()) {
      return Fail("cannot open " + session().link.explicit_device());
    }
    if (!hid_named_.empty()) return Fail("cannot open the HID adapter at " + hid_named_);
    return Fail(kNoAdapterText);
  }

  // Runs a send that was just started until its end. 0 only when the ESC confirmed the whole
  // send after the last (re)connect; otherwise 1 (130 when interrupted) with a message on
  // stderr that says how much of it the ESC took.
  int WaitForSend() {
    const SendAccount& account = session().send_account;
    const bool done = loop_.RunUntil(
        [&] {
          return !account.running() || ui_.gave_up || StopRequested() ||
                 session().link.idle_expired();
        },
        timeout_ms_ + 60000);
    if (account.completed()) return kExitOk;
    if (StopRequested()) {
      std::fprintf(stderr, "\ntesselarc-cli: interrupted %s\n", Partial().c_str());
      return kExitInterrupted;
    }
    if (ui_.gave_up) return Fail(ui_.failure + "; " + Partial());
    if (account.why == SendBreak::kAdapterLost) {
      return Fail("the adapter was lost during the send; " + Partial());
    }
    if (session().link.idle_expired()) {
      return Fail("no byte came back from the ESC for " + std::to_string(timeout_ms_ / 1000.0) +
                  " s; " + Partial());
    }
    if (!done) return Fail("the send did not finish in time; " + Partial());
    if (account.why == SendBreak::kSkipped) return Fail("steps were skipped; " + Partial());
    return Fail("the ESC went away during the send; " + Partial());
  }

  // How much of a send that broke off the ESC took.
  std::string Partial() const { return SendAccountText(session().send_account); }

  bool PortBusy() const {
    return qt_port_ != nullptr && qt_port_->last_error().rfind("port busy", 0) == 0;
  }

  // Lets the engine's next tick see a changed profile and start its send.
  void RunOneTick() { loop_.RunOne(); }
  TimerLoop& loop() { return loop_; }
  uint64_t timeout_ms() const { return timeout_ms_; }

  SheetSource Sheet() {
    const Session& s = session();
    return SheetSource{s.image, s.status.device_class, s.status.v1_block_variant, s.VersionText(),
                       DamagedCurveNames(s)};
  }

 private:
  int Fail(const std::string& text) {
    ui_.FinishProgress(false);
    std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
    return kExitFailure;
  }

  SystemClock clock_;
  TimerLoop loop_;
  CliUi ui_;
  std::unique_ptr<SerialPort> port_;
  QtSerialPort* qt_port_ = nullptr;  // the same port when it is a real one
  std::unique_ptr<PortEnumerator> ports_;
  std::unique_ptr<HidDevice> hid_device_;
  // Declared after the devices it uses, so that it goes first.
  std::unique_ptr<Tool> tool_;
  std::string hid_named_;
  uint64_t timeout_ms_ = 10000;
};

int CommandPorts(const Options& o) {
  QtPortEnumerator enumerator;
  const auto listing = ListPorts(enumerator);
  const auto hid = ListHidAdapters();
  if (o.cmd.Has("json")) {
    std::string out = "{\"serial\": [";
    for (size_t i = 0; i < listing.size(); ++i) {
      const PortInfo& p = listing[i].info;
      out += std::string(i ? ", " : "") + "{\"device\": " + JsonString(p.device) +
             ", \"vendor_id\": " + (p.has_usb_ids ? std::to_string(p.vendor_id) : "null") +
             ", \"product_id\": " + (p.has_usb_ids ? std::to_string(p.product_id) : "null") +
             ", \"product\": " + JsonString(p.product) +
             ", \"serial\": " + JsonString(p.serial_number) +
             ", \"adapter\": " + (listing[i].accepted ? "true" : "false") + "}";
    }
    out += "], \"hid\": [";
    for (size_t i = 0; i < hid.size(); ++i) {
      const HidDeviceInfo& h = hid[i];
      out += std::string(i ? ", " : "") + "{\"path\": " + JsonString(h.path) +
             ", \"vendor_id\": " + std::to_string(h.vendor_id) +
             ", \"product_id\": " + std::to_string(h.product_id) +
             ", \"product\": " + JsonString(h.product) +
             ", \"serial\": " + JsonString(h.serial_number) + "}";
    }
    std::printf("%s]}\n", out.c_str());
    return kExitOk;
  }
  // One table, headed, columns padded to their widest text.
  std::vector<std::vector<std::string>> rows = {
      {"DEVICE", "USB ID", "PRODUCT", "SERIAL", "ADAPTER"}};
  for (const auto& entry : listing) rows.push_back(PortColumns(entry));
  for (const auto& entry : hid) rows.push_back(HidColumns(entry));
  std::printf("%s", ColumnsText(rows).c_str());
  if (listing.empty()) std::printf("(no serial ports)\n");
  if (hid.empty()) std::printf("(no HID adapters)\n");
  return kExitOk;
}

// What is connected: the link, the adapter, the device and the versions.
int CommandInfo(const Options& o) {
  const bool json = o.cmd.Has("json");
  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  if (int rc = world.WaitForRead(/*allow_no_esc=*/true)) return rc;
  const Session& session = world.session();
  const SessionStatus& s = session.status;
  const bool hid = world.OnHid();
  std::string adapter;
  if (hid) {
    adapter = world.hid()->AdapterVersion();
  } else {
    adapter = session.link.device_name;
    if (!session.link.product_string.empty()) adapter += " (" + session.link.product_string + ")";
  }
  const bool esc = world.EscConnected();
  std::string device = "none";
  std::string device_text = "no ESC";
  if (esc && s.device_class == kDeviceFull) {
    device = "full";
    device_text = "full ESC";
  } else if (esc && s.device_class == kDeviceV1) {
    const bool bec = s.v1_block_variant == kV1Block16;
    device = bec ? "v1-bec" : "v1";
    device_text = bec ? "V1-series ESC with BEC" : "V1-series ESC";
  }
  const std::string version = esc ? session.VersionText() : "";
  if (json) {
    std::printf(
        "{\"link\": \"%s\", \"adapter\": %s, \"device\": \"%s\", \"device_class\": %d, "
        "\"esc_version\": %s}\n",
        hid ? "hid" : "serial", JsonString(adapter).c_str(), device.c_str(),
        esc ? s.device_class : 0, esc ? JsonString(version).c_str() : "null");
    return kExitOk;
  }
  std::printf("link:        %s\n", hid ? "hid" : "serial");
  std::printf("adapter:     %s\n", adapter.c_str());
  std::printf("device:      %s\n", device_text.c_str());
  if (esc) std::printf("esc version: %s\n", version.c_str());
  return kExitOk;
}

int CommandRead(const Options& o) {
  const bool json = o.cmd.Has("json");
  std::optional<std::string> out;
  if (o.cmd.Has("out")) out = o.cmd.Value("out");
  std::string target;
  if (out) {
    // A name that cannot be written is refused before the ESC is even looked for.
    std::string error;
    if (!ResolveExportPath(*out, target, error)) return Usage(o, "--out: " + error);
  }
  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  const auto history = WatchHistory(world.ui(), world.session());
  if (int rc = world.WaitForRead()) return rc;
  // What a page refresh does to the image (clamping to the option lists).
  RefreshAllPagesFromImage(world.session().image);
  const SheetSource sheet = world.Sheet();
  if (const std::string damaged = DamagedReadText(world.session()); !damaged.empty()) {
    std::fprintf(stderr, "tesselarc-cli: %s; default points are shown in its place%s\n",
                 damaged.c_str(), out ? " and no file was written" : "");
    std::printf("%s", json ? (SettingsJson(sheet) + "\n").c_str() : SettingsSheet(sheet).c_str());
    return kExitFailure;
  }
  if (out) {
    if (world.session().status.device_class != kDeviceFull) {
      std::fprintf(stderr, "tesselarc-cli: settings files hold full ESCs only\n");
      return kExitFailure;
    }
    world.ui().SetFile(*out);
    world.ui().overwrite = true;
    if (!ExportSettings(world.session())) {
      std::fprintf(stderr, "tesselarc-cli: %s\n",
                   world.ui().last_message.empty() ? "the settings file was not written"
                                                   : world.ui().last_message.c_str());
      return kExitFailure;
    }
    std::fprintf(stderr, "saved %s\n", target.c_str());
  }
  std::printf("%s", json ? (SettingsJson(sheet) + "\n").c_str() : SettingsSheet(sheet).c_str());
  return kExitOk;
}

// `show` of a JSON setup: the sheet over the factory defaults (what a setup does not name
// shows its default), for the kind of ESC the setup is for.
// A setup a JSON text or a link gives: `read` fills the image and says what it is for.
int ShowSetup(bool json,
              const std::function<bool(EscSettingsImage&, std::string&, SetupInfo&)>& read) {
  EscSettingsImage image = DefaultSetupBase();
  std::string error;
  SetupInfo setup;
  if (!read(image, error, setup)) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  const SheetSource sheet{image, setup.device_class,
                          setup.bec_only_fields ? kV1Block16 : kV1Block14, ""};
  std::printf("%s", json ? (SettingsJson(sheet) + "\n").c_str() : SettingsSheet(sheet).c_str());
  return kExitOk;
}

int ShowJsonSetup(const std::string& path, const std::string& text, bool json) {
  return ShowSetup(json, [&](EscSettingsImage& image, std::string& error, SetupInfo& setup) {
    return ParseSetupJson(text, path, image, error, &setup);
  });
}

int CommandShow(const Options& o) {
  const bool json = o.cmd.Has("json");
  const std::string& path = o.args.at(0);
  std::string error;
  if (IsSetupLink(path)) {
    return ShowSetup(json, [&](EscSettingsImage& image, std::string& e, SetupInfo& setup) {
      return DecodeSetupLink(path, image, e, &setup);
    });
  }
  if (std::string text; ReadSetupText(path, text, error) && IsJsonSetup(path, text)) {
    return ShowJsonSetup(path, text, json);
  }
  error.clear();
  auto image = ReadSettingsFile(path, error);
  if (!image) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  // Shown as `write` takes it, so that the JSON printed is a setup `write` accepts.
  const std::string note = ClampedFieldsNote(ClampImportedFields(*image));
  if (!note.empty()) std::fprintf(stderr, "tesselarc-cli: %s: %s\n", path.c_str(), note.c_str());
  const SheetSource sheet{*image, kDeviceFull, kV1Block14, ""};
  std::printf("%s", json ? (SettingsJson(sheet) + "\n").c_str() : SettingsSheet(sheet).c_str());
  return kExitOk;
}

// A send that would write a curve that arrived damaged (default points) over the ESC's own
// is refused unless forced. 0 when the send may go on.
int RefuseDamagedCurves(CliWorld& world, bool force) {
  const std::vector<std::string> names = world.session().DamagedCurvesToSend();
  if (names.empty()) return kExitOk;
  if (force) {
    world.ui().send_damaged = true;
    return kExitOk;
  }
  std::string list;
  for (const auto& n : names) list += (list.empty() ? "" : ", ") + n;
  std::fprintf(stderr,
               "tesselarc-cli: the %s curve arrived damaged and shows default points; sending "
               "would write them over the ESC's own. Read again, or use --force; nothing was "
               "sent\n",
               list.c_str());
  return kExitFailure;
}

// Keeps the image a send wrote, taken when the engine reports the send's end, for --verify.
void KeepSentImage(CliWorld& world, std::optional<EscSettingsImage>& sent) {
  world.ui().transfer_watchers.push_back([&world, &sent](const TransferEnd& end) {
    if (end.direction == kTransferSend && end.complete()) sent = world.session().image;
  });
}

// --verify: reads the ESC again through the engine's own read and compares what came back
// with what was sent. 0 verified; 1 a difference or a read that failed; 130 interrupted.
int VerifyAfterSend(CliWorld& world, const std::optional<EscSettingsImage>& sent) {
  Session& session = world.session();
  if (!sent) {
    std::fprintf(stderr, "tesselarc-cli: the send did not report its end; nothing to verify\n");
    return kExitFailure;
  }
  // The engine may still be closing the send (a V1 packet's end byte); the read starts once
  // it would let the user start one.
  world.loop().RunUntil([&] { return !session.IsBusy() || StopRequested(); },
                        world.timeout_ms());
  if (StopRequested()) {
    std::fprintf(stderr, "\ntesselarc-cli: interrupted before the verify; the send went out\n");
    return kExitInterrupted;
  }
  world.ui().read_finished = false;
  if (!StartVerifyRead(session)) {
    std::fprintf(stderr,
                 "tesselarc-cli: the ESC could not be read again to verify the send; the send "
                 "went out, read the ESC to check it\n");
    return kExitFailure;
  }
  if (int rc = world.WaitForRead()) {
    std::fprintf(stderr, "tesselarc-cli: the send went out but the read that verifies it "
                         "failed; read the ESC to check it\n");
    return rc;
  }
  const SessionStatus& s = session.status;
  const VerifyOutcome outcome =
      VerifySent(*sent, session.image, s.device_class, s.v1_block_variant == kV1Block16);
  std::printf("%s", outcome.text.c_str());
  std::fflush(stdout);
  if (outcome.verified) return kExitOk;
  std::fprintf(stderr, "tesselarc-cli: verify failed: %s; the ESC holds the values read back\n",
               ReadBackMismatchText(outcome.differences.size()).c_str());
  return kExitFailure;
}

// `write` of a JSON setup: the setup's kind must be the ESC's; a full ESC takes it through the
// menu import (as a .DATA file), a V1-series ESC through its settings send. Fields the setup
// does not name keep what the ESC holds.
int WriteJsonSetup(CliWorld& world, const std::string& path, const SetupInfo& setup, bool force,
                   bool verify) {
  Session& session = world.session();
  const std::string name = SetupSourceName(path);
  std::optional<EscSettingsImage> sent;
  if (verify) KeepSentImage(world, sent);
  const bool esc_v1 = session.status.device_class == kDeviceV1;
  if ((setup.device_class == kDeviceV1) != esc_v1) {
    std::fprintf(stderr, "tesselarc-cli: %s is a setup for a %s; this is a %s; nothing was sent\n",
                 name.c_str(), esc_v1 ? "full ESC" : "V1-series ESC",
                 esc_v1 ? "V1-series ESC" : "full ESC");
    return kExitUsage;
  }
  if (!esc_v1) {
    world.ui().SetFile(path);
    if (!ImportSettings(session)) {
      // The box's text alone says little; the file changed since it was checked, so say why.
      std::string error;
      EscSettingsImage scratch;
      LoadSetupFile(path, scratch, error);
      std::fprintf(stderr, "tesselarc-cli: %s; nothing was sent\n",
                   error.empty() ? world.ui().last_message.c_str() : error.c_str());
      return kExitUsage;
    }
    if (int rc = RefuseDamagedCurves(world, force)) return rc;
    if (!session.Apply()) {
      std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
      return kExitFailure;
    }
  } else {
    if (setup.bec_only_fields && session.status.v1_block_variant != kV1Block16) {
      std::fprintf(stderr,
                   "tesselarc-cli: %s names the BEC voltage, and this V1-series ESC has no BEC; "
                   "nothing was sent\n",
                   name.c_str());
      return kExitUsage;
    }
    // Read again into a copy: the file may have changed since it was checked.
    std::string error;
    EscSettingsImage image = session.image;
    SetupInfo again;
    if (!LoadSetupFile(path, image, error, &again) || again.device_class != kDeviceV1) {
      std::fprintf(stderr, "tesselarc-cli: %s\n",
                   error.empty() ? (name + " changed while it was read; nothing was sent").c_str()
                                 : error.c_str());
      return kExitUsage;
    }
    session.image = image;
    world.TakeEditedImage();
    if (!session.V1SendSettings()) {
      std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
      return kExitFailure;
    }
  }
  if (int rc = world.WaitForSend()) return rc;
  std::fprintf(stderr, "sent %s\n", name.c_str());
  if (verify) return VerifyAfterSend(world, sent);
  return kExitOk;
}

int CommandWrite(const Options& o) {
  const std::string& path = o.args.at(0);
  const std::string name = SetupSourceName(path);
  const bool force = o.cmd.Has("force");
  // A bad file is refused before the ESC is even looked for.
  std::string error;
  EscSettingsImage checked;
  SetupInfo setup;
  if (!LoadSetupFile(path, checked, error, &setup)) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!setup.clamped.empty()) {
    std::fprintf(stderr, "tesselarc-cli: %s: %s\n", name.c_str(),
                 ClampedFieldsNote(setup.clamped).c_str());
  }
  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  const auto history = WatchHistory(world.ui(), world.session());
  if (int rc = world.WaitForRead()) return rc;
  if (setup.json) {
    history->recorder.NoteSendCause(kCauseImport);
    return WriteJsonSetup(world, path, setup, force, o.cmd.Has("verify"));
  }
  if (world.session().status.device_class != kDeviceFull) {
    if (IsSetupLink(path)) {
      const SessionStatus& s = world.session().status;
      std::fprintf(stderr, "tesselarc-cli: %s; nothing was sent\n",
                   SetupKindRefusal(setup, s.device_class, s.v1_block_variant).value_or("").c_str());
      return kExitUsage;
    }
    std::fprintf(stderr,
                 "tesselarc-cli: settings files hold full ESCs only; this is a V1-series ESC\n");
    return kExitUsage;
  }
  world.ui().SetFile(path);
  const bool imported =
      IsSetupLink(path) ? ImportSetupLink(world.session(), path) : ImportSettings(world.session());
  if (!imported) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", world.ui().last_message.c_str());
    return kExitUsage;
  }
  if (int rc = RefuseDamagedCurves(world, force)) return rc;
  history->recorder.NoteSendCause(kCauseImport);
  std::optional<EscSettingsImage> sent;
  if (o.cmd.Has("verify")) KeepSentImage(world, sent);
  if (!world.session().Apply()) {
    std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
    return kExitFailure;
  }
  if (int rc = world.WaitForSend()) return rc;
  std::fprintf(stderr, "sent %s\n", name.c_str());
  if (o.cmd.Has("verify")) return VerifyAfterSend(world, sent);
  return kExitOk;
}

struct FieldChange {
  const SettableField* field;
  int32_t index;
};

int CommandSet(const Options& o) {
  std::vector<FieldChange> changes;
  const bool force = o.cmd.Has("force");
  for (const auto& a : o.args) {
    const auto eq = a.find('=');
    if (eq == std::string::npos || eq == 0) {
      return Usage(o, "expected FIELD=VALUE, got '" + a + "'");
    }
    const std::string name = a.substr(0, eq);
    const SettableField* field = FindSettableField(name);
    if (field == nullptr) {
      std::string problem = "unknown field '" + name + "'";
      const auto close = ClosestFieldNames(name);
      for (size_t i = 0; i < close.size(); ++i) {
        problem +=
            (i == 0 ? "; did you mean " : (i + 1 == close.size() ? " or " : ", ")) + close[i];
      }
      if (!close.empty()) problem += "?";
      problem += " ('tesselarc-cli fields' lists them all)";
      return Usage(o, problem);
    }
    const OptionChoice choice = ChooseOption(*field, a.substr(eq + 1));
    if (!choice.index) return Usage(o, choice.problem);
    changes.push_back({field, *choice.index});
  }
  if (o.cmd.Has("verify") && o.cmd.Has("dry-run")) {
    return Usage(o, "--verify checks a send and --dry-run sends nothing; give one of them");
  }
  // No ESC takes fields of both kinds, so such a line is refused before the ESC is looked for.
  for (const auto& c : changes) {
    if (c.field->v1 != changes.front().field->v1) {
      const FieldChange& full = c.field->v1 ? changes.front() : c;
      const FieldChange& v1 = c.field->v1 ? c : changes.front();
      return Usage(o, full.field->name + " is a full-ESC field and " + v1.field->name +
                          " a V1-series one; no ESC takes both");
    }
  }
  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  const auto history = WatchHistory(world.ui(), world.session());
  if (int rc = world.WaitForRead()) return rc;
  Session& session = world.session();
  // What a page refresh does to the image, so that the old texts are the ones read shows.
  if (session.status.device_class != kDeviceV1) RefreshAllPagesFromImage(session.image);
  const bool v1 = session.status.device_class == kDeviceV1;
  const bool bec = session.status.v1_block_variant == kV1Block16;
  for (const auto& c : changes) {
    if (c.field->v1 != v1 || (c.field->bec_only && !bec)) {
      const char* kind = !v1           ? "a full ESC"
                         : c.field->v1 ? "this V1-series ESC (it has no BEC)"
                                       : "a V1-series ESC";
      std::fprintf(stderr,
                   "tesselarc-cli: %s does not apply to %s; nothing was sent ('tesselarc-cli "
                   "fields' lists the fields of each kind)\n",
                   c.field->name.c_str(), kind);
      return kExitUsage;
    }
  }
  const EscSettingsImage before = session.image;
  bool preset = false;
  for (const auto& c : changes) {
    session.image.*(c.field->field) = c.index;
    // Picking a profile writes its preset at once, as the General page does; later fields on
    // the command line still win.
    if (c.field->field == &EscSettingsImage::profile_preset) {
      ApplyProfilePreset(session.image);
      preset = true;
    }
  }
  world.TakeEditedImage();
  // Asked of the image as it will go out: a change may switch a damaged curve on or off.
  if (!v1) {
    if (int rc = RefuseDamagedCurves(world, force)) return rc;
  }
  // Every field that differs now, a preset's included.
  int changed = 0;
  for (const SettableField& f : SettableFields()) {
    if (f.v1 != v1 || (f.bec_only && !bec)) continue;
    const int32_t old_index = before.*(f.field);
    const int32_t new_index = session.image.*(f.field);
    if (old_index == new_index) continue;
    std::printf("%s\n", ChangeLine(f, old_index, new_index).c_str());
    ++changed;
  }
  std::fflush(stdout);
  if (o.cmd.Has("dry-run")) {
    std::fprintf(stderr, "dry run: %s\n",
                 changed ? "nothing was sent" : "the ESC already holds these values");
    return kExitOk;
  }
  if (changed == 0) {
    std::fprintf(stderr, "the ESC already holds these values; nothing was sent\n");
    return kExitOk;
  }
  history->recorder.NoteSendCause(preset && !v1 ? kCausePreset : kCauseSet);
  std::optional<EscSettingsImage> sent;
  if (o.cmd.Has("verify")) KeepSentImage(world, sent);
  if (v1) {
    if (!session.V1SendSettings()) {
      std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
      return kExitFailure;
    }
  } else if (preset && session.image.profile_preset != session.image.last_profile_preset) {
    // The engine sees the new profile on its next tick and sends everything.
    world.RunOneTick();
  } else if (!session.Apply()) {
    std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
    return kExitFailure;
  }
  if (int rc = world.WaitForSend()) return rc;
  std::fprintf(stderr, "sent\n");
  if (o.cmd.Has("verify")) return VerifyAfterSend(world, sent);
  return kExitOk;
}

// Sends a history entry to the connected ESC of the same kind, after the usual read.
int CommandRestore(const Options& o) {
  const std::string& id = o.args.at(0);
  const SettingsHistory store(HistoryFolder());
  const auto entry = store.Find(id);
  if (!entry) {
    std::fprintf(stderr,
                 "tesselarc-cli: no settings history entry '%s' in %s ('tesselarc-cli history' "
                 "lists them); nothing was sent\n",
                 id.c_str(), store.folder().c_str());
    return kExitUsage;
  }
  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  const auto history = WatchHistory(world.ui(), world.session());
  if (int rc = world.WaitForRead()) return rc;
  Session& session = world.session();
  const std::string kind = HistoryDeviceKind(session.status);
  if (kind != entry->device) {
    std::fprintf(stderr,
                 "tesselarc-cli: entry %s holds the settings of a %s, but this is a %s; nothing "
                 "was sent\n",
                 id.c_str(), HistoryDeviceText(entry->device).c_str(),
                 HistoryDeviceText(kind).c_str());
    return kExitUsage;
  }
  const bool v1 = session.status.device_class == kDeviceV1;
  if (!v1) RefreshAllPagesFromImage(session.image);
  const EscSettingsImage before = session.image;
  EscSettingsImage target = before;
  ApplyHistoryEntry(*entry, target);
  const auto differences =
      SendChanges(before, target, session.status.device_class, kind == "v1-bec");
  std::printf("%s", DifferenceLines(differences).c_str());
  std::fflush(stdout);
  if (o.cmd.Has("dry-run")) {
    std::fprintf(stderr, "dry run: %s\n",
                 differences.empty() ? "the ESC already holds this entry" : "nothing was sent");
    return kExitOk;
  }
  if (differences.empty()) {
    std::fprintf(stderr, "the ESC already holds entry %s; nothing was sent\n", id.c_str());
    return kExitOk;
  }
  session.image = target;
  // The entry's curves replace whatever arrived damaged, as an import does.
  if (!v1) session.damaged_curves = {};
  world.TakeEditedImage();
  history->recorder.NoteSendCause(kCauseRestore);
  if (!(v1 ? session.V1SendSettings() : session.Apply())) {
    std::fprintf(stderr, "tesselarc-cli: the tool is busy; nothing was sent\n");
    return kExitFailure;
  }
  if (int rc = world.WaitForSend()) return rc;
  std::fprintf(stderr, "restored %s\n", id.c_str());
  return kExitOk;
}

// diff A [B]: the files are checked first; with one file the ESC is read as 'read' reads it.
int CommandDiff(const Options& o) {
  return RunDiff(o.args, o.cmd.Has("json"), [&o](EscSetup& esc) {
    if (int rc = CheckAdapterPresent(o)) return rc;
    CliWorld world(o);
    if (int rc = world.WaitForRead()) return rc;
    // Default points in place of a curve are not what the ESC holds: nothing to compare.
    if (const std::string damaged = DamagedReadText(world.session()); !damaged.empty()) {
      std::fprintf(stderr, "tesselarc-cli: %s; nothing was compared, read the ESC again\n",
                   damaged.c_str());
      return kExitFailure;
    }
    Session& session = world.session();
    if (session.status.device_class == kDeviceFull) RefreshAllPagesFromImage(session.image);
    esc.image = session.image;
    esc.device_class = session.status.device_class;
    esc.v1_bec = session.status.v1_block_variant == kV1Block16;
    return kExitOk;
  });
}

// `share FILE`: the link that carries the setup in FILE (or a link, pointed at --base).
int CommandShare(const Options& o) {
  const std::string& path = o.args.at(0);
  const std::string base = o.cmd.Has("base") ? o.cmd.Value("base") : kDefaultShareBase;
  if (base.empty()) return Usage(o, "--base: an empty address");
  EscSettingsImage image = DefaultSetupBase();
  SetupInfo setup;
  std::string error;
  if (!LoadSetupFile(path, image, error, &setup)) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", error.c_str());
    return kExitUsage;
  }
  if (!setup.clamped.empty()) {
    std::fprintf(stderr, "tesselarc-cli: %s: %s\n", SetupSourceName(path).c_str(),
                 ClampedFieldsNote(setup.clamped).c_str());
  }
  std::printf("%s\n",
              SetupLink(base, image, setup.device_class, setup.bec_only_fields).c_str());
  return kExitOk;
}

int CommandFields(const Options& o) {
  const std::string only = o.args.empty() ? std::string() : o.args[0];
  if (!only.empty() && FindSettableField(only) == nullptr) {
    std::string problem = "unknown field '" + only + "'";
    const auto close = ClosestFieldNames(only);
    if (!close.empty()) problem += "; did you mean " + close[0] + "?";
    return Usage(o, problem);
  }
  std::printf("%s",
              o.cmd.Has("json") ? (FieldsJson(only) + "\n").c_str() : FieldsText(only).c_str());
  return kExitOk;
}

// What the user learns of an update that went wrong on the ESC's side.
const char* UpdateFailureText(SerialUpdateOutcome outcome) {
  switch (outcome) {
    case SerialUpdateOutcome::kWriteFailed:
      return "a firmware record could not be written to the adapter";
    case SerialUpdateOutcome::kNoVerdict:
      return "the ESC did not answer a firmware record within 2 seconds";
    case SerialUpdateOutcome::kRefused:
      return "the ESC refused a firmware record";
    default:
      return "the ESC rejected the same firmware record 4 times";
  }
}

const char* UpdateFailureCaption(SerialUpdateOutcome outcome) {
  switch (outcome) {
    case SerialUpdateOutcome::kWriteFailed:
      return kUpdateWriteCaption;
    case SerialUpdateOutcome::kNoVerdict:
      return kUpdateNoVerdictCaption;
    case SerialUpdateOutcome::kRefused:
      return kUpdateRefusedCaption;
    default:
      return kUpdateRetriesCaption;
  }
}

int CommandFlash(const Options& o) {
  const std::string& path = o.args.at(0);
  const bool force = o.cmd.Has("force");
  const bool lcd = o.cmd.Has("lcd");
  // A file that cannot be sent is refused before the ESC is even looked for.
  if (int rc = PrecheckFirmwareFile(path, lcd)) return rc;

  if (int rc = CheckAdapterPresent(o)) return rc;
  CliWorld world(o);
  if (int rc = world.WaitForRead(/*allow_no_esc=*/lcd)) return rc;
  Session& session = world.session();
  if (world.OnHid()) {
    HidFlashRequest request;
    request.path = path;
    request.lcd = lcd;
    // Every wait for the device honours --timeout, with 2 s for the device's own pace.
    request.wait_ms = world.timeout_ms() + 2000;
    return RunHidFlash(session, *world.hid(), world.ui(), world.loop(), request);
  }
  if (lcd) {
    std::fprintf(stderr,
                 "tesselarc-cli: the LCD program box is reached through the HID adapter "
                 "only; nothing was sent\n");
    return kExitFailure;
  }
  if (FirmwareExtension(path) == ".hgm") {
    std::fprintf(stderr,
                 "tesselarc-cli: %s: .hgm firmware goes through the HID adapter only; "
                 "nothing was sent\n",
                 path.c_str());
    return kExitUsage;
  }
  world.ui().SetFile(path);
  world.ui().StartFlashing(force);
  const SerialUpdateVariant variant = session.status.device_class == kDeviceV1
                                          ? SerialUpdateVariant::kV1Dialog
                                          : SerialUpdateVariant::kInformationPage;
  SerialUpdateDetails d;
  const SerialUpdateOutcome outcome = RunSerialFirmwareUpdate(session, variant, &d);
  world.ui().FinishProgress(outcome == SerialUpdateOutcome::kUpdated);

  auto fail = [](const std::string& text) {
    std::fprintf(stderr, "tesselarc-cli: %s\n", text.c_str());
    return kExitFailure;
  };
  switch (outcome) {
    case SerialUpdateOutcome::kUpdated:
      std::fprintf(stderr, "flashed %s (%zu bytes)\n", path.c_str(), d.accepted);
      return kExitOk;
    case SerialUpdateOutcome::kDeclined:
      return fail(UpdateRefusal(d.start, d.asked_version_old
                                             ? "use --force to flash an older version"
                                             : "not confirmed"));
    case SerialUpdateOutcome::kFileNotOpened:
    case SerialUpdateOutcome::kDamagedFile:
      std::fprintf(stderr, "tesselarc-cli: %s\n", d.problem.c_str());
      return kExitUsage;
    case SerialUpdateOutcome::kNoVersionReply:
      return fail("the ESC did not answer the version query; nothing was sent");
    case SerialUpdateOutcome::kNoEsc:
      return fail("the ESC is no longer detected; nothing was sent");
    case SerialUpdateOutcome::kLoaderEntryFailed:
      return fail("the ESC's loader could not be entered (the adapter took no byte)");
    case SerialUpdateOutcome::kNoFileChosen:
    case SerialUpdateOutcome::kAlreadyRunning:
      return fail("the update did not start");
    case SerialUpdateOutcome::kInterrupted:
      std::fprintf(stderr,
                   "\ntesselarc-cli: interrupted after %zu of %zu bytes of firmware; the ESC may "
                   "not start until an update completes\n",
                   d.accepted, d.image_size);
      return kExitInterrupted;
    case SerialUpdateOutcome::kWriteFailed:
    case SerialUpdateOutcome::kNoVerdict:
    case SerialUpdateOutcome::kRefused:
    case SerialUpdateOutcome::kTooManyRetries:
      break;
  }
  return fail(std::string(kUpdateErrorText) + " \"" + UpdateFailureCaption(outcome) +
              "\": " + UpdateFailureText(outcome) + " (" + std::to_string(d.accepted) + " of " +
              std::to_string(d.image_size) +
              " bytes accepted); the ESC may not start until an update completes");
}

int Run(int argc, char** argv) {
  std::string problem;
  std::string problem_command;
  const auto line =
      ParseCommandLine(std::vector<std::string>(argv, argv + argc), problem, problem_command);
  if (!line) return UsageError(problem, problem_command);
  auto options = ToOptions(*line, problem);
  if (!options) return UsageError(problem, line->command == "help" ? "" : line->command);
  if (line->Has("trace")) {
    // Before anything is looked for or sent: a trace that cannot be kept is no trace.
    const std::string path = line->Value("trace");
    std::string error;
    options->trace_file = TraceFileOption::Open(path, error);
    if (!options->trace_file) {
      std::fprintf(stderr, "tesselarc-cli: --trace: cannot write %s: %s; nothing was sent\n",
                   path.c_str(), LowerFirst(error).c_str());
      return kExitUsage;
    }
  }
  const Options& o = *options;
  if (o.command == "help") {
    if (o.args.empty()) {
      std::fputs(MainHelpText().c_str(), stdout);
      return kExitOk;
    }
    const CommandDef* def = FindCommand(o.args[0]);
    if (def == nullptr) return UsageError("no command '" + o.args[0] + "'", "");
    std::fputs(CommandHelpText(*def).c_str(), stdout);
    return kExitOk;
  }
  if (o.command == "version") {
    std::printf("tesselarc-cli %s\n", TESSEL_VERSION);
    return kExitOk;
  }
  if (o.command == "doctor") {
    return CommandDoctor(o.cmd.Has("json") ? std::vector<std::string>{"--json"}
                                           : std::vector<std::string>{});
  }
  if (o.command == "ports") return CommandPorts(o);
  if (o.command == "fields") return CommandFields(o);
  if (o.command == "info") return CommandInfo(o);
  if (o.command == "read") return CommandRead(o);
  if (o.command == "show") return CommandShow(o);
  if (o.command == "write") return CommandWrite(o);
  if (o.command == "set") return CommandSet(o);
  if (o.command == "flash") return CommandFlash(o);
  if (o.command == "history") return CommandHistory(o.cmd.Has("json"));
  if (o.command == "restore") return CommandRestore(o);
  if (o.command == "diff") return CommandDiff(o);
  if (o.command == "share") return CommandShare(o);
  return Usage(o, "unknown command '" + o.command + "'");
}

}  // namespace
}  // namespace tessel

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // The same name as the desktop tool, so that both keep one settings history.
  QCoreApplication::setApplicationName(tessel::kApplicationName);
  tessel::CatchStopSignals();
  return tessel::ExitCodeFor(tessel::Run(argc, argv));
}
