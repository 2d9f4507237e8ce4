// The command-line conventions of the project's tools, as duskwell-sim has them, for the device
// model's tool: `TOOL --help`, `TOOL --version`, `TOOL help [COMMAND]`, `TOOL COMMAND --help`,
// `--opt VALUE` or `--opt=VALUE`, `--` before operands that begin with a dash, and for an unknown
// command or option the nearest known one ("did you mean").
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace device {

struct CommandOption {
  std::string name;   // "--dylib"
  std::string value;  // what it takes, "FILE"
  std::string help;
};

struct Command {
  std::string name;
  std::string operands;  // "SCENARIO..." or empty for a command that takes none
  std::string summary;
  std::vector<CommandOption> options;
};

struct CommandLine {
  std::string command;
  std::map<std::string, std::string> values;  // option name -> its value, for the options given
  std::vector<std::string> operands;
};

// Reads `args` (argv without the tool's name). Returns -1 when `line` holds a command to run;
// otherwise the exit status, once the help, the version or the fault is written (faults: 2).
int ParseCommandLine(const std::string &tool, const std::string &version, const std::vector<Command> &commands,
                     const std::vector<std::string> &args, CommandLine *line, std::ostream &out, std::ostream &err);

// The candidate nearest to `word` (case aside, one edit for a short word, up to a third of its
// length and at most three for longer ones); empty when none is that near.
std::string Suggestion(const std::string &word, const std::vector<std::string> &candidates);

}  // namespace device
