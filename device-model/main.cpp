// duskwell-device: runs the shipped device dylib under emulation.
//
//   duskwell-device hooks [--dylib FILE] [--arch arm64|armv7]
//       loads the library as the device does and lists what its constructor did: each class
//       look-up and each MSHookMessageEx call (class, selector, replacement and slot symbols).
//   duskwell-device trace SCENARIO... [--dylib FILE] [--arch arm64|armv7] [--out DIR]
//       runs each scenario on a freshly loaded library and prints its trace; with --out, writes
//       DIR/NAME.trace for each scenario NAME.json instead.
//   duskwell-device archs [--dylib FILE]
//       lists the slices of the file that the model can run.
//   duskwell-device coverage APP [--arch A] [--framework FILE]... [--json] [--dylib FILE] [--filter FILE]
//       which rows of the library's hook table install on this build of the host app (see
//       CoverageCommand.h).

#include "CoverageCommand.h"
#include "Loader.h"
#include "ScenarioReplay.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>

using namespace device;

namespace {

int Usage(const std::string &problem) {
  if (!problem.empty()) std::cerr << "duskwell-device: " << problem << "\n";
  std::cerr << "usage: duskwell-device hooks [--dylib FILE] [--arch arm64|armv7]\n"
               "       duskwell-device trace SCENARIO... [--dylib FILE] [--arch arm64|armv7] [--out DIR]\n"
               "       duskwell-device archs [--dylib FILE]\n"
               "       duskwell-device coverage APP [--arch A] [--framework FILE]... [--json]\n";
  return 2;
}

std::string SymbolAt(const Device &device, uint64_t address) {
  for (const Symbol &s : device.slice().symbols) {
    if (s.address + device.slide() == address) return s.name;
  }
  return "?";
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("");
  const std::string command = args[0];
  if (command == "coverage") {
    return device::coverage::CoverageCommand(std::vector<std::string>(args.begin() + 1, args.end()), DUSKWELL_DEFAULT_DYLIB,
                                             DUSKWELL_DEFAULT_FILTER);
  }
  std::string dylib = DUSKWELL_DEFAULT_DYLIB, archName = "arm64", outDir;
  std::vector<std::string> scenarios;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--dylib" || args[i] == "--arch" || args[i] == "--out") {
      if (i + 1 >= args.size()) return Usage(args[i] + " needs a value");
      (args[i] == "--dylib" ? dylib : args[i] == "--arch" ? archName : outDir) = args[i + 1];
      ++i;
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown option " + args[i]);
    } else if (command == "trace") {
      scenarios.push_back(args[i]);
    } else {
      return Usage("unexpected argument " + args[i]);
    }
  }
  if (command != "hooks" && command != "trace" && command != "archs") return Usage("unknown command " + command);
  std::vector<uint8_t> file;
  Arch arch;
  try {
    arch = ArchFromName(archName);
    file = ReadFile(dylib);
    if (command == "archs") {
      for (Arch a : ArchitecturesOf(file)) std::cout << ArchName(a) << "\n";
      return 0;
    }
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
  }
  if (scenarios.empty()) return Usage("trace needs a scenario file");
  if (scenarios.size() > 1 && outDir.empty()) return Usage("several scenarios need --out DIR");
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
    }
  }
  return status;
}
