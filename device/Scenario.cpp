#include "Scenario.h"

#include "Device.h"

namespace device {

Scenario LoadScenario(const std::string &path) {
  Scenario s;
  s.name = path;
  return s;
}

std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &) {
  Device device(file, arch, [](const std::string &) { return FileContents{}; });
  device.Load();
  return device.trace().Text();
}

}  // namespace device
