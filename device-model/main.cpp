// duskwell-device: runs the shipped device dylib under emulation. Its commands are the table below
// (`duskwell-device --help` lists them, `duskwell-device help COMMAND` gives each one's options).

#include "CommandLine.h"
#include "CoverageCommand.h"
#include "Loader.h"
#include "ScenarioReplay.h"
#include "SignatureCheck.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>

using namespace device;

namespace {

const CommandOption kDylib = {"--dylib", "FILE", "a thin or fat dylib (default: the one the build makes)"};
const CommandOption kArch = {"--arch", "arm64|armv7", "the slice to run (default: arm64)"};

const std::vector<Command> kCommands = {
    {"hooks", "", "load the library as the device does and list each MSHookMessageEx of its constructor", {kDylib, kArch}},
    {"trace", "SCENARIO...",
     "run each scenario on a freshly loaded library and print its trace",
     {kDylib, kArch, {"--out", "DIR", "write DIR/NAME.trace for each scenario NAME.json instead"}}},
    {"archs", "", "list the slices of the file that the model can run", {kDylib}},
    {"verify-signature", "",
     "check each slice's code signature as the device's kernel does (every page hash; exit 1 when it would refuse one)",
     {kDylib, {"--identifier", "ID", "the identifier every code directory must name (default: any, the same in all)"}}},
    {"coverage", "APP",
     "which rows of the hook table install on this build of the host app (exit 1 when some do not)",
     {{"--arch", "A", "the app's slice to read (default: arm64 when it has one)"},
      {"--framework", "FILE", "a framework binary whose classes the app uses (repeatable)"},
      {"--json", "", "the same as one JSON document"},
      kDylib,
      {"--filter", "FILE", "the loader filter to check (default: the one the build writes)"}}},
};

int Usage(const std::string &problem) {
  std::cerr << "duskwell-device: " << problem << " (try 'duskwell-device --help')\n";
  return 2;
}

std::string SymbolAt(const Device &device, uint64_t address) {
  for (const Symbol &s : device.slice().symbols) {
    if (s.address + device.slide() == address) return s.name;
  }
  return "?";
}

// Anything the model throws that is not one of its own errors (an exhausted memory, a fault of its
// own) still ends the run with the file named and a non-zero status.
int Unexpected(const std::string &file, const char *what) {
  std::cerr << "duskwell-device: " << file << ": the model stopped unexpectedly: " << what << "\n";
  return 1;
}

int Run(const std::vector<std::string> &args) {
  // coverage reads its own options (a repeated --framework, the --json flag).
  if (!args.empty() && args[0] == "coverage") {
    return device::coverage::CoverageCommand(std::vector<std::string>(args.begin() + 1, args.end()), DUSKWELL_DEFAULT_DYLIB,
                                             DUSKWELL_DEFAULT_FILTER);
  }
  CommandLine line;
  const int handled = ParseCommandLine("duskwell-device", DUSKWELL_VERSION, kCommands,
                                       args, &line, std::cout, std::cerr);
  if (handled >= 0) return handled;
  const std::string &command = line.command;
  auto value = [&](const std::string &option, const std::string &fallback) {
    auto given = line.values.find(option);
    return given != line.values.end() ? given->second : fallback;
  };
  const std::string dylib = value("--dylib", DUSKWELL_DEFAULT_DYLIB), archName = value("--arch", "arm64"),
                    outDir = value("--out", "");
  const std::vector<std::string> &scenarios = line.operands;
  std::vector<uint8_t> file;
  Arch arch;
  try {
    arch = ArchFromName(archName);
    file = ReadFile(dylib);
    if (command == "archs") {
      for (Arch a : ArchitecturesOf(file)) std::cout << ArchName(a) << "\n";
      return 0;
    }
    if (command == "verify-signature") return VerifySignatureCommand(file, dylib, value("--identifier", ""), std::cout, std::cerr);
    RequireSignatures(file);
    if (command == "hooks") {
      Device device(file, arch, [](const std::string &) { return FileContents{}; });
      device.Load();
      const LoadRecord &record = device.loadRecord();
      std::cout << "lookups " << record.lookups.size() << ", installs " << record.installs.size() << "\n";
      size_t row = 0;
      for (const LoadRecord::Install &install : record.installs) {
        std::cout << ++row << "\t" << (install.className.empty() ? "(absent)" : install.className) << "\t"
                  << install.selector << "\t" << SymbolAt(device, install.replacement) << "\t"
                  << SymbolAt(device, install.slot) << "\n";
      }
      return 0;
    }
  } catch (const LoadError &e) {
    std::cerr << "duskwell-device: " << dylib << ": " << e.what() << "\n";
    return 1;
  } catch (const RunError &e) {
    std::cerr << "duskwell-device: " << dylib << " (" << archName << "): the run stopped: " << e.what() << "\n";
    return 1;
  } catch (const std::exception &e) {
    return Unexpected(dylib, e.what());
  }
  if (scenarios.empty()) return Usage("trace needs a scenario file");
  if (scenarios.size() > 1 && outDir.empty()) return Usage("trace: several scenarios need --out DIR");
  int status = 0;
  for (const std::string &path : scenarios) {
    try {
      const Scenario scenario = dw::scenario::ReadScenario(path);  // its errors name the file already
      std::string trace;
      try {
        trace = RunScenario(file, arch, scenario);
      } catch (const ScenarioError &e) {
        throw ScenarioError(path + ": " + e.what());
      }
      if (outDir.empty()) {
        std::cout << trace;
        continue;
      }
      std::string name = path.substr(path.find_last_of('/') + 1);
      if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) name.resize(name.size() - 5);
      const std::string target = outDir + "/" + name + ".trace";
      std::ofstream out(target, std::ios::binary);
      out << trace;
      if (!out.flush()) {
        std::cerr << "duskwell-device: " << target << ": cannot be written\n";
        status = 1;
      }
    } catch (const ScenarioError &e) {
      std::cerr << "duskwell-device: " << e.what() << "\n";
      status = 1;
    } catch (const LoadError &e) {
      std::cerr << "duskwell-device: " << dylib << ": " << e.what() << "\n";
      return 1;
    } catch (const RunError &e) {
      std::cerr << "duskwell-device: " << path << " on " << dylib << " (" << archName << "): the run stopped: " << e.what()
                << "\n";
      status = 1;
    } catch (const std::exception &e) {
      return Unexpected(path + " on " + dylib, e.what());
    }
  }
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const std::exception &e) {
    std::cerr << "duskwell-device: the model stopped unexpectedly: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "duskwell-device: the model stopped unexpectedly\n";
  }
  return 1;
}
