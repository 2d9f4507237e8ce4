// Scenarios: the four files, the host side and the hooked calls, replayed on the device model.
#pragma once

#include "MachO.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace device {

struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Scenario {
  std::string name;
};

Scenario LoadScenario(const std::string &path);
// The trace of one run of the scenario on `arch`'s slice of `file`.
std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &scenario);

}  // namespace device
