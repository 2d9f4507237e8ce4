// Scenarios (tests/scenarios/NAME.json, format in docs/design.md): the four preference files, the
// host classes and what each host implementation does, the objects, and the hooked calls, replayed
// on the device model.
#pragma once

#include "MachO.h"
#include "Selectors.h"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace device {

// A scenario file that cannot be read or does not fit the format; says which member and why.
struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ScenarioValue {
  enum Kind { nil, objectName, hexColor, rgbaColor, namedColor, patternColor, imageNamed, boolean } kind = nil;
  bool cgColor = false;  // a CGColor reference of the hex or rgba colour
  std::string text;      // object name, hex string, colour message or image name
  std::array<double, 4> rgba{};
  bool flag = false;
};

struct ScenarioMessage {
  std::string to;  // "self", "super" or an object name
  const SelectorInfo *selector = nullptr;
  ScenarioValue argument;
};

struct ScenarioMethod {
  const SelectorInfo *selector = nullptr;
  std::vector<ScenarioMessage> steps;
  ScenarioValue returns;
};

struct ScenarioClass {
  std::string name, superclass;
  std::vector<std::string> ivars;
  std::vector<ScenarioMethod> methods;
};

struct ScenarioObject {
  std::string name, className;
  std::vector<std::pair<std::string, std::string>> ivars;  // variable, object name ("" for nil)
};

struct ScenarioFile {
  enum Kind { absent, unreadable, bytes } kind = absent;
  std::vector<uint8_t> contents;
};

struct Scenario {
  bool traceInstallation = false;
  std::vector<std::pair<std::string, ScenarioFile>> files;  // device path, content
  std::vector<ScenarioClass> classes;
  std::vector<ScenarioObject> objects;
  std::vector<ScenarioMessage> calls;
};

// Reads and checks a scenario; throws ScenarioError naming the file, the member and the problem.
Scenario LoadScenario(const std::string &path);

// The trace of one run of the scenario on `arch`'s slice of `file`. Throws LoadError when the
// device would not load the file, RunError when the run stops, ScenarioError when the scenario
// asks for something the device does not have.
std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &scenario);

}  // namespace device
