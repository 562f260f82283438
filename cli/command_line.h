// The command line's grammar: the adapter options that every device command takes, one entry
// per command with its own options, example and exit codes, and the help texts made from
// them. Parsing goes through QCommandLineParser so that "--opt value", "--opt=value", "--"
// and misspelt options behave as in other Qt tools.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessel {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct OptionDef {
  std::string name;        // without dashes: "json", "out"
  std::string value_name;  // empty for a flag
  std::string description;
};

struct CommandDef {
  std::string name;
  std::string arguments;  // "FILE", "FIELD=VALUE ..."; empty when it takes none
  int min_args = 0;
  int max_args = 0;  // -1: any number
  bool uses_adapter = false;
  std::string summary;  // one line for the command list
  std::string details;  // a paragraph for its help
  std::vector<OptionDef> options;
  std::string example;
  std::string exit_codes;
};

const std::vector<CommandDef>& Commands();
const CommandDef* FindCommand(const std::string& name);

// The whole command line, parsed. Adapter options may stand before or after the command.
struct CommandLine {
  std::string command;                        // "help" and "version" too
  std::vector<std::string> args;              // the command's positional arguments
  std::map<std::string, std::string> values;  // options given, by name ("" for flags)

  bool Has(const std::string& name) const { return values.count(name) != 0; }
  std::string Value(const std::string& name) const {
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
  }
};

// Parses argv. On a usage error returns nullopt with `problem` set to one line and
// `problem_command` to the command it concerns (empty when none was recognised).
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& argv,
                                            std::string& problem, std::string& problem_command);

std::string MainHelpText();
std::string CommandHelpText(const CommandDef& command);

// One line on stderr naming the problem, then the hint where to read on; returns 2.
int UsageError(const std::string& problem, const std::string& command);

}  // namespace tessel
