// duskwell-device: runs the shipped device dylib under emulation.
//
//   duskwell-device hooks [--dylib FILE] [--arch arm64|armv7]
//       loads the library as the device does and lists what its constructor did: each class
//       look-up and each MSHookMessageEx call (class, selector, replacement and slot symbols).
//   duskwell-device trace SCENARIO [--dylib FILE] [--arch arm64|armv7]
//       runs one scenario and prints its trace.

#include "Device.h"
#include "Scenario.h"

#include <cstdio>
#include <iostream>
#include <map>

using namespace device;

namespace {

int Usage(const std::string &problem) {
  if (!problem.empty()) std::cerr << "duskwell-device: " << problem << "\n";
  std::cerr << "usage: duskwell-device hooks [--dylib FILE] [--arch arm64|armv7]\n"
               "       duskwell-device trace SCENARIO [--dylib FILE] [--arch arm64|armv7]\n";
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
  std::string dylib = DUSKWELL_DEFAULT_DYLIB, archName = "arm64", scenario;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--dylib" || args[i] == "--arch") {
      if (i + 1 >= args.size()) return Usage(args[i] + " needs a value");
      (args[i] == "--dylib" ? dylib : archName) = args[i + 1];
      ++i;
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown option " + args[i]);
    } else if (command == "trace" && scenario.empty()) {
      scenario = args[i];
    } else {
      return Usage("unexpected argument " + args[i]);
    }
  }
  try {
    const Arch arch = ArchFromName(archName);
    const std::vector<uint8_t> file = ReadFile(dylib);
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
    if (command == "trace") {
      if (scenario.empty()) return Usage("trace needs a scenario file");
      std::cout << RunScenario(file, arch, LoadScenario(scenario));
      return 0;
    }
    return Usage("unknown command " + command);
  } catch (const LoadError &e) {
    std::cerr << "duskwell-device: " << dylib << ": " << e.what() << "\n";
    return 1;
  } catch (const ScenarioError &e) {
    std::cerr << "duskwell-device: " << scenario << ": " << e.what() << "\n";
    return 1;
  } catch (const RunError &e) {
    std::cerr << "duskwell-device: " << dylib << " (" << archName << "): the run stopped: " << e.what() << "\n";
    return 1;
  }
}
