#include "cli/command_line.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "core/model/field_values.h"
#include "core/model/setup_link.h"

namespace tessel {
namespace {

const std::vector<OptionDef>& AdapterOptions() {
  static const std::vector<OptionDef> options = {
      {"port", "DEVICE", "the serial adapter on DEVICE (e.g. /dev/ttyUSB0)"},
      {"hid", "PATH", "the HID adapter at PATH (e.g. /dev/hidraw3), without a search"},
      {"hid-socket", "PATH", "a virtual HID adapter served on PATH (tesselarc-sim --hid)"},
      {"demo", "KIND",
       "a built-in virtual device: full (also plain --demo), v1, v1-bec behind the serial "
       "adapter; hid-full, hid-v1, hid-v1-bec, hid-lcd behind the HID one (a fresh one each run)"},
      {"timeout", "SECONDS", "how long to wait for the adapter and the ESC (default 10)"},
      {"quiet", "", "no progress on stderr"},
      {"trace", "FILE",
       "write every byte (serial) or report (HID) that crosses the cable to FILE as it goes, "
       "one line each with a time stamp and the step that caused it (mode 0600; no paths or "
       "user names)"},
  };
  return options;
}

const char* const kDeviceExit =
    "  0  done\n"
    "  1  no adapter, no ESC, an adapter this user may not open, a transfer that failed, or\n"
    "     a curve that arrived damaged (wrong check value)\n"
    "  2  bad usage (nothing was sent)\n"
    "  130  stopped by SIGINT or SIGTERM (129: SIGHUP, 141: SIGPIPE)\n";
const OptionDef kForceDamaged{"force", "",
                              "also send a curve that arrived damaged (its default points)"};

const OptionDef kJson{"json", "", "print JSON for scripts instead of text"};
const OptionDef kVerify{"verify", "",
                        "read the ESC again after the send and compare: \"Verified\", or each "
                        "setting that read back other than sent (exit 1)"};

std::string OptionColumn(const OptionDef& o) {
  if (o.name == "demo") return "--demo[=KIND]";
  return "--" + o.name + (o.value_name.empty() ? "" : " " + o.value_name);
}

// `text` broken into lines of at most 79 columns; lines after the first start at `indent`.
std::string Wrap(const std::string& text, size_t first_column, size_t indent) {
  std::string out;
  size_t column = first_column;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (column > first_column || (column > indent && !out.empty())) {
      if (column + 1 + word.size() > 79) {
        out += "\n" + std::string(indent, ' ');
        column = indent;
      } else {
        out += ' ';
        ++column;
      }
    }
    out += word;
    column += word.size();
  }
  return out;
}

std::string OptionLines(const std::vector<OptionDef>& options) {
  std::string out;
  for (const OptionDef& o : options) {
    std::string left = "  " + OptionColumn(o);
    if (left.size() + 2 > 24) {
      out += left + "\n";
      left.clear();
    }
    left.resize(24, ' ');
    out += left + Wrap(o.description, 24, 24) + "\n";
  }
  return out;
}

std::string Synopsis(const CommandDef& c) {
  std::string out = "tesselarc-cli ";
  if (c.uses_adapter) out += "[ADAPTER] ";
  out += c.name;
  for (const OptionDef& o : c.options) out += " [" + OptionColumn(o) + "]";
  if (!c.arguments.empty()) out += " " + c.arguments;
  return out;
}

std::string Trimmed(QString text) {
  text = text.trimmed();
  if (text.endsWith('.')) text.chop(1);
  if (!text.isEmpty()) text[0] = text[0].toLower();
  return text.toStdString();
}

// The parser names an unknown option without its dashes; the user typed them.
std::string WithDashes(const std::string& problem, const std::vector<std::string>& argv) {
  const std::string lead = "unknown option '";
  if (problem.rfind(lead, 0) != 0) return problem;
  const std::string name =
      problem.substr(lead.size(), problem.find('\'', lead.size()) - lead.size());
  for (const std::string& a : argv) {
    if (a == "--" + name || a.rfind("--" + name + "=", 0) == 0) return lead + "--" + name + "'";
  }
  return lead + "-" + name + "'";
}

// Builds a parser that knows `options` (and -h/--help); values are checked by the caller.
void AddOptions(QCommandLineParser& parser, const std::vector<OptionDef>& options) {
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
  for (const OptionDef& o : options) {
    QCommandLineOption option(QString::fromStdString(o.name));
    if (!o.value_name.empty()) option.setValueName(QString::fromStdString(o.value_name));
    parser.addOption(option);
  }
}

void TakeValues(const QCommandLineParser& parser, const std::vector<OptionDef>& options,
                std::map<std::string, std::string>& values) {
  for (const OptionDef& o : options) {
    const QString name = QString::fromStdString(o.name);
    if (!parser.isSet(name)) continue;
    // The last of repeated options wins, as with most tools.
    values[o.name] =
        o.value_name.empty() ? std::string() : parser.values(name).last().toStdString();
  }
}

}  // namespace

const std::vector<CommandDef>& Commands() {
  static const std::vector<CommandDef> commands = {
      {"ports",
       "",
       0,
       0,
       false,
       "list serial ports and HID adapters, with their USB ids",
       "Lists every serial port with its USB ids, product and serial number and whether it is "
       "a programming adapter, then the HID adapters. No port is opened.",
       {kJson},
       "tesselarc-cli ports",
       "  0  listed (also when nothing is plugged in)\n  2  bad usage\n"},
      {"info",
       "",
       0,
       0,
       true,
       "what is connected: link, adapter, device, ESC version",
       "Finds the adapter and the ESC and says what they are. The LCD program box alone behind "
       "the HID adapter reports \"no ESC\" and exits 0.",
       {kJson},
       "tesselarc-cli --demo info",
       kDeviceExit},
      {"read",
       "",
       0,
       0,
       true,
       "read the ESC and print its settings (or save a .DATA file)",
       "Reads every setting, the logged run data and the curves, and prints them: each line "
       "shows the label as the pages show it and the field name that 'set' takes. --out also "
       "saves a settings file (full ESCs only; .DATA is added to the name).",
       {{"out", "FILE", "also save the settings to FILE (\".DATA\" added unless it ends so)"},
        kJson},
       "tesselarc-cli --demo read\n  tesselarc-cli --port /dev/ttyUSB0 read --out mycar",
       kDeviceExit},
      {"set",
       "FIELD=VALUE ...",
       1,
       -1,
       true,
       "change settings by field name and send them",
       "Reads the ESC, changes each FIELD to VALUE and sends the settings. VALUE is the option's "
       "index or its text as 'fields' or 'read' shows it (any case; the \"(*)\" mark of the "
       "default may be left out); #N always means index N. Each change is printed as "
       "'field: old -> new'. A profile (profile_preset) writes its preset first; fields named "
       "after it still win. When the ESC already holds every value, nothing is sent.",
       {{"dry-run", "", "print the changes and send nothing"}, kForceDamaged, kVerify},
       "tesselarc-cli --demo set run_mode=Forward/Reverse punch_rate1=#9\n"
       "  tesselarc-cli --demo set --dry-run voltage_cutoff=auto",
       "  0  sent (with --dry-run: the changes are valid; with --verify: and read back as "
       "sent)\n"
       "  1  no adapter, no ESC, the send failed, a damaged curve would be sent (see "
       "--force), or --verify read back other values\n"
       "  2  bad usage: an unknown field, a value that is not one of its options, or a field "
       "of the other ESC kind (nothing was sent)\n"
       "  130  stopped by SIGINT or SIGTERM (129: SIGHUP, 141: SIGPIPE); the output says how much\n"
       "       was sent\n"},
      {"write",
       "FILE",
       1,
       1,
       true,
       "read the ESC, import a settings file and send it",
       "FILE is a .DATA settings file or a JSON setup as 'read --json' prints it (fields by\n"
       "name, values by index or option text, curves by points; fields it does not name keep\n"
       "what the ESC holds). Refuses a damaged file before the adapter is even looked for,\n"
       "naming the line and field of a JSON setup. A setup link as 'share' prints it (or its "
       "part from '#setup=') stands in for FILE.",
       {kForceDamaged, kVerify},
       "tesselarc-cli --demo write mycar.DATA",
       "  0  sent (with --verify: and read back as sent)\n  1  no adapter, no ESC, the send "
       "failed, a damaged curve would be sent (see --force), or --verify read back other "
       "values\n"
       "  2  bad usage, a damaged settings file or JSON setup, or a setup for the other kind of "
       "ESC (nothing was sent)\n"
       "  130  stopped by SIGINT or SIGTERM (129: SIGHUP, 141: SIGPIPE); the output says how much\n"
       "       was sent\n"},
      {"show",
       "FILE",
       1,
       1,
       false,
       "print a settings file without a device",
       "Prints a .DATA settings file or a JSON setup as 'read' prints the ESC (fields a JSON "
       "setup does not name show their factory default). A field a .DATA file holds beyond its "
       "option list shows the list's last option, as 'write' takes it, and stderr names it.",
       {kJson},
       "tesselarc-cli show mycar.DATA",
       "  0  shown\n  2  bad usage, or a file that cannot be read or is damaged\n"},
      {"diff",
       "A [B]",
       1,
       2,
       true,
       "compare two settings files, or the ESC with a file",
       "A and B are .DATA settings files or JSON setups as 'read --json' prints them. Prints "
       "each field that differs as 'LABEL (name): A's option -> B's option' and each curve "
       "that differs with both sets of points; nothing when they are equal (the count goes to "
       "stderr). With one file the ESC is read and compared with it; fields a JSON setup does "
       "not name count as the ESC's own (between two files: as factory defaults). "
       "--json prints {\"equal\", \"first\", \"second\", \"differences\": [{\"name\", "
       "\"label\", \"kind\" (field or curve), \"first\", \"second\"}]}; the ESC is "
       "named \"esc\". A setup link as 'share' prints it (or its part from '#setup=') stands "
       "in for a file and is named \"the setup link\".",
       {kJson},
       "tesselarc-cli diff race.DATA rain.DATA\n  tesselarc-cli --demo diff race.DATA",
       "  0  no differences\n  1  differences\n"
       "  2  trouble, as with diff(1): bad usage, a file that cannot be read or is damaged, "
       "setups for two kinds of ESC, no adapter, no ESC, or a read that failed (a curve that "
       "arrived damaged included)\n"
       "  130  stopped by SIGINT or SIGTERM (129: SIGHUP, 141: SIGPIPE)\n"},
      {"share",
       "FILE",
       1,
       1,
       false,
       "print a link that carries a setup, for a browser or another tool",
       "FILE is a .DATA settings file or a JSON setup. The link carries the setup in its "
       "fragment (after '#'), which a browser never sends to a server: a full ESC's settings "
       "file as it is on disk, check value and all, or a V1-series ESC's settings. Opened in "
       "the web edition it shows the setup beside what the ESC holds; 'diff', 'write' and "
       "'show' take the link (or just the part from '#setup=') in place of a file.",
       {{"base", "URL",
         std::string("the address the link points at (default ") + kDefaultShareBase +
             ", where 'scripts/web.sh serve' serves the web edition)"}},
       "tesselarc-cli share race.DATA\n  tesselarc-cli --demo write \"$(tesselarc-cli share race.DATA)\"",
       "  0  printed\n  2  bad usage, or a file that cannot be read or is damaged\n"},
      {"flash",
       "FILE",
       1,
       1,
       true,
       "update the ESC's (or the LCD program box's) firmware",
       "Reads the ESC, then updates its firmware from FILE: hex records (.xup; through the HID "
       "adapter upper-case hex only), or a masked image (.hgm) for ESC types 12 and 15 behind "
       "the HID adapter. --lcd updates the LCD program box behind the HID adapter (.xut).",
       {{"force", "", "also flash an older version (serial adapter)"},
        {"lcd", "", "update the LCD program box instead of the ESC"}},
       "tesselarc-cli --port /dev/ttyUSB0 flash esc.xup",
       "  0  the device confirmed every block or record\n"
       "  1  no adapter, no ESC, or the update failed\n"
       "  2  bad usage, or a damaged file or one of the wrong kind for the device (nothing was "
       "sent)\n"
       "  130  stopped by SIGINT or SIGTERM between two blocks or records (129: SIGHUP, "
       "141: SIGPIPE)\n"},
      {"history",
       "",
       0,
       0,
       false,
       "the settings kept from every read and send, newest first",
       "Lists the settings history that tesselarc-cli and the desktop tool share: every image "
       "read from an ESC and every image sent, with its time (local time; --json gives the stored UTC time), what caused it (read, Apply, "
       "Default, preset, import, undo, set, restore), the ESC kind and link, and the ESC's "
       "version. The newest 200 are kept, in the user's data folder "
       "(~/.local/share/tesselarc/history). 'restore' sends an entry back.",
       {kJson},
       "tesselarc-cli history",
       "  0  listed (also when nothing is kept yet)\n  2  bad usage\n"},
      {"restore",
       "ENTRY",
       1,
       1,
       true,
       "send a settings history entry back to the ESC",
       "Reads the ESC, prints each setting that ENTRY (an id 'history' lists) would change as "
       "'LABEL (field): now -> entry', and sends it as 'write' does. The ESC must be of the "
       "kind the entry was kept from (full ESC, V1-series, V1-series with BEC). The send is "
       "kept in the history too.",
       {{"dry-run", "", "print the changes and send nothing"}},
       "tesselarc-cli --demo restore 20261208-141503-123-000",
       "  0  sent, or the ESC already holds the entry (with --dry-run: the changes were "
       "printed)\n"
       "  1  no adapter, no ESC, or the send failed\n"
       "  2  bad usage, an unknown entry, or an entry of another ESC kind (nothing was sent)\n"
       "  130  stopped by SIGINT or SIGTERM (129: SIGHUP, 141: SIGPIPE); the output says how much\n"
       "       was sent\n"},
      {"fields",
       "[FIELD]",
       0,
       1,
       false,
       "every field 'set' takes, with its options",
       "Lists every settable field of the full ESC and of the V1-series ESC: its name, its "
       "label as the pages show it, its options (index and text; the default is marked) and "
       "what it depends on. No device is needed.",
       {kJson},
       "tesselarc-cli fields | less",
       "  0  listed\n  2  bad usage\n"},
      {"doctor",
       "",
       0,
       0,
       false,
       "what keeps this user from using an adapter, and the fix",
       "Checks every adapter plugged in: whether this user may open it and why not, the udev "
       "rule, ModemManager and the processes that hold it, each with the command that fixes it.",
       {kJson},
       "tesselarc-cli doctor",
       "  0  every adapter present can be used (also when none is plugged in)\n"
       "  1  an adapter cannot be used\n  2  bad usage\n"},
      {"help",
       "[COMMAND]",
       0,
       1,
       false,
       "this list, or the help of one command",
       "",
       {},
       "tesselarc-cli help set",
       "  0  shown\n  2  unknown command\n"},
  };
  return commands;
}

const CommandDef* FindCommand(const std::string& name) {
  for (const CommandDef& c : Commands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

std::string MainHelpText() {
  std::string out =
      "usage: tesselarc-cli [ADAPTER] COMMAND [OPTIONS] [ARGUMENTS]\n"
      "\n"
      "Reads and changes the settings of an ESC through a USB programming adapter, saves and\n"
      "loads settings files and updates firmware.\n"
      "\nfirst steps, on the built-in virtual ESC (no hardware needed):\n"
      "  tesselarc-cli --demo read                    the settings, each with its field name\n"
      "  tesselarc-cli fields run_mode                a field's options, the default marked\n"
      "  tesselarc-cli --demo set run_mode=Forward/Reverse\n"
      "with a real adapter leave out --demo; 'tesselarc-cli doctor' helps when it is not found.\n"
      "\ncommands:\n";
  for (const CommandDef& c : Commands()) {
    std::string left = "  " + c.name;
    left.resize(12, ' ');
    out += left + c.summary + "\n";
  }
  out += "\nADAPTER (default: both adapter families are searched):\n";
  out += OptionLines(AdapterOptions());
  out +=
      "  --version             print the version\n"
      "\n'tesselarc-cli help COMMAND' or 'tesselarc-cli COMMAND --help' shows a command's "
      "options,\nan example and its exit codes.\n"
      "\nexit status: 0 success, 1 a device or transfer failure, 2 bad usage (nothing sent).\n";
  return out;
}

std::string CommandHelpText(const CommandDef& c) {
  std::string out = "usage: " + Synopsis(c) + "\n";
  if (!c.details.empty()) out += "\n" + Wrap(c.details, 0, 0) + "\n";
  if (!c.options.empty()) out += "\noptions:\n" + OptionLines(c.options);
  if (c.uses_adapter)
    out += "\nADAPTER (before or after the command):\n" + OptionLines(AdapterOptions());
  out += "\nexample:\n  " + c.example + "\n";
  out += "\nexit status:\n";
  // Each "  N  text" line wraps under its text.
  size_t at = 0;
  while (at < c.exit_codes.size()) {
    size_t end = c.exit_codes.find('\n', at);
    if (end == std::string::npos) end = c.exit_codes.size();
    const std::string line = c.exit_codes.substr(at, end - at);
    at = end + 1;
    // The text starts after the code and its two spaces, wherever a longer code puts it.
    const size_t code_end = line.find_first_not_of(' ');
    const size_t text_at = code_end == std::string::npos ? std::string::npos
                                                          : line.find_first_not_of("0123456789", code_end);
    if (text_at == std::string::npos || text_at >= line.size()) continue;
    const size_t column = std::max<size_t>(text_at + 2, 5);
    out += line.substr(0, text_at) + std::string(column - text_at, ' ') +
           Wrap(line.substr(text_at), column, 5) + "\n";
  }
  return out;
}

int UsageError(const std::string& problem, const std::string& command) {
  const std::string hint =
      command.empty() ? "tesselarc-cli --help" : "tesselarc-cli " + command + " --help";
  std::fprintf(stderr, "tesselarc-cli: %s; try '%s'\n", problem.c_str(), hint.c_str());
  return kExitUsage;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& argv,
                                            std::string& problem, std::string& problem_command) {
  QStringList args;
  for (const std::string& a : argv) {
    // --demo takes its kind after '='; alone it means the full ESC.
    args << (a == "--demo" ? QStringLiteral("--demo=full") : QString::fromStdString(a));
  }
  if (args.isEmpty()) args << "tesselarc-cli";

  std::vector<OptionDef> global = AdapterOptions();
  global.push_back({"version", "", ""});
  QCommandLineParser front;
  AddOptions(front, global);
  front.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  if (!front.parse(args)) {
    problem = WithDashes(Trimmed(front.errorText()), argv);
    return std::nullopt;
  }
  CommandLine line;
  TakeValues(front, global, line.values);
  QStringList rest = front.positionalArguments();
  if (rest.isEmpty()) {
    if (front.isSet("version")) {
      line.command = "version";
    } else if (front.isSet("help")) {
      line.command = "help";
    } else {
      problem = "no command given";
      return std::nullopt;
    }
    return line;
  }
  line.command = rest.takeFirst().toStdString();
  const CommandDef* def = FindCommand(line.command);
  if (def == nullptr) {
    problem = "unknown command '" + line.command + "'";
    // A near miss of one command ("raed", "flsh") is most likely that command.
    for (const CommandDef& c : Commands()) {
      if (EditDistance(line.command, c.name) <= 2) {
        problem += " (did you mean '" + c.name + "'?)";
        break;
      }
    }
    return std::nullopt;
  }
  problem_command = def->name;
  if (front.isSet("help")) {
    // "tesselarc-cli --help read" reads as "help read".
    line.args = {line.command};
    line.command = "help";
    return line;
  }
  std::vector<OptionDef> own = def->options;
  if (def->uses_adapter) own.insert(own.end(), AdapterOptions().begin(), AdapterOptions().end());
  QCommandLineParser back;
  AddOptions(back, own);
  rest.prepend("tesselarc-cli");
  for (QString& a : rest) {
    if (a == "--demo") a = "--demo=full";
  }
  if (!back.parse(rest)) {
    problem = def->name + ": " + WithDashes(Trimmed(back.errorText()), argv);
    return std::nullopt;
  }
  if (back.isSet("help")) {
    line.args = {def->name};
    line.command = "help";
    return line;
  }
  TakeValues(back, own, line.values);
  for (const QString& a : back.positionalArguments()) line.args.push_back(a.toStdString());
  const int n = static_cast<int>(line.args.size());
  if (n < def->min_args) {
    problem = def->name + " needs " + def->arguments;
    return std::nullopt;
  }
  if (def->max_args >= 0 && n > def->max_args) {
    problem =
        def->name + ": unexpected argument '" + line.args[static_cast<size_t>(def->max_args)] + "'";
    return std::nullopt;
  }
  return line;
}

}  // namespace tessel
