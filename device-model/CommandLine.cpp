#include "CommandLine.h"

#include <algorithm>
#include <cctype>

namespace device {

namespace {

std::string Lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Optimal string alignment distance: insertions, deletions, substitutions and adjacent swaps.
size_t EditDistance(const std::string &a, const std::string &b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

std::string DidYouMean(const std::string &word, const std::vector<std::string> &candidates) {
  const std::string suggestion = Suggestion(word, candidates);
  return suggestion.empty() ? "" : " (did you mean '" + suggestion + "'?)";
}

std::string Synopsis(const Command &command) {
  std::string text = command.name;
  if (!command.operands.empty()) text += " " + command.operands;
  for (const CommandOption &option : command.options) text += " [" + option.name + (option.value.empty() ? "" : " " + option.value) + "]";
  return text;
}

void PrintUsage(const std::string &tool, const std::vector<Command> &commands, std::ostream &stream) {
  stream << "usage: " << tool << " [-h | --help] [--version] COMMAND [OPTIONS]\n\ncommands:\n";
  for (const Command &command : commands) stream << "  " << Synopsis(command) << "\n      " << command.summary << "\n";
  stream << "  help [COMMAND]\n      this list, or one command's options (also: COMMAND --help)\n";
}

void PrintCommandHelp(const std::string &tool, const Command &command, std::ostream &stream) {
  stream << "usage: " << tool << " " << Synopsis(command) << "\n\n" << command.summary << "\n\noptions:\n";
  for (const CommandOption &option : command.options) {
    std::string left = option.name + (option.value.empty() ? "" : " " + option.value);
    left.resize(std::max<size_t>(left.size() + 2, 20), ' ');
    stream << "  " << left << option.help << "\n";
  }
  stream << "  -h, --help          this help\n";
}

const Command *Find(const std::vector<Command> &commands, const std::string &name) {
  for (const Command &command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::vector<std::string> CommandNames(const std::vector<Command> &commands) {
  std::vector<std::string> names;
  for (const Command &command : commands) names.push_back(command.name);
  names.push_back("help");
  return names;
}

}  // namespace

std::string Suggestion(const std::string &word, const std::vector<std::string> &candidates) {
  const std::string lower = Lower(word);
  for (const std::string &candidate : candidates) {
    if (Lower(candidate) == lower) return candidate;
  }
  const size_t allowed = std::min<size_t>(3, std::max<size_t>(1, word.size() / 3));
  std::string best;
  size_t bestDistance = allowed + 1;
  for (const std::string &candidate : candidates) {
    const size_t distance = EditDistance(lower, Lower(candidate));
    if (distance < bestDistance) best = candidate, bestDistance = distance;
  }
  return best;
}

int ParseCommandLine(const std::string &tool, const std::string &version, const std::vector<Command> &commands,
                     const std::vector<std::string> &args, CommandLine *line, std::ostream &out, std::ostream &err) {
  const std::string prefix = tool + ": ";
  const std::string tryHelp = " (try '" + tool + " --help')";
  size_t at = 0;
  for (; at < args.size() && !args[at].empty() && args[at][0] == '-'; ++at) {
    if (args[at] == "-h" || args[at] == "--help") {
      PrintUsage(tool, commands, out);
      return 0;
    }
    if (args[at] == "--version") {
      out << tool << " " << version << "\n";
      return 0;
    }
    const std::string word = args[at].substr(0, args[at].find('='));
    err << prefix << "unknown option '" << word << "'" << DidYouMean(word, {"--help", "--version"}) << tryHelp << "\n";
    return 2;
  }
  if (at == args.size()) {
    PrintUsage(tool, commands, err);
    return 2;
  }
  const std::string name = args[at++];
  if (name == "help") {
    if (at == args.size()) {
      PrintUsage(tool, commands, out);
      return 0;
    }
    const Command *command = at + 1 == args.size() ? Find(commands, args[at]) : nullptr;
    if (command == nullptr) {
      err << prefix << "help: no command '" << args[at] << "'" << DidYouMean(args[at], CommandNames(commands)) << "\n";
      return 2;
    }
    PrintCommandHelp(tool, *command, out);
    return 0;
  }
  const Command *command = Find(commands, name);
  if (command == nullptr) {
    err << prefix << "unknown command '" << name << "'" << DidYouMean(name, CommandNames(commands)) << tryHelp << "\n";
    return 2;
  }
  line->command = name;
  bool optionsEnded = false;
  for (; at < args.size(); ++at) {
    const std::string &arg = args[at];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      if (command->operands.empty()) {
        err << prefix << name << ": unexpected argument '" << arg << "'" << tryHelp << "\n";
        return 2;
      }
      line->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      PrintCommandHelp(tool, *command, out);
      return 0;
    }
    const size_t equals = arg.find('=');
    const std::string option = arg.substr(0, equals);
    std::vector<std::string> known = {"--help"};
    for (const CommandOption &o : command->options) known.push_back(o.name);
    if (std::find(known.begin() + 1, known.end(), option) == known.end()) {
      err << prefix << name << ": unknown option '" << option << "'" << DidYouMean(option, known) << "\n";
      return 2;
    }
    if (equals != std::string::npos) {
      line->values[option] = arg.substr(equals + 1);
    } else if (at + 1 < args.size()) {
      line->values[option] = args[++at];
    } else {
      err << prefix << name << ": option " << option << " needs a value\n";
      return 2;
    }
  }
  return -1;
}

}  // namespace device
