// Scenarios (read by scenario/, format in docs/design.md) replayed on the device model: the four
// preference files, the host classes and what each host implementation does, the objects, and the
// hooked calls.
#pragma once

#include "DylibFile.h"
#include "SelectorTable.h"
#include "scenario/Scenario.h"

#include <string>
#include <vector>

namespace device {

using dw::scenario::Scenario;
using dw::scenario::ScenarioError;

// The device's row for a selector scenarios may use; throws ScenarioError when the model has none.
const SelectorInfo &DeviceSelector(const dw::scenario::Selector &selector);

// The trace of one run of the scenario on `arch`'s slice of `file`. Throws LoadError when the
// device would not load the file, RunError when the run stops, ScenarioError when the scenario
// asks for something the device does not have.
std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &scenario);

}  // namespace device
