// Runs a scenario on the stand-in device: files into a fresh device root, host classes and objects
// made, the library loaded, the calls made; the trace goes to `output`.
#pragma once

#include "scenario/Scenario.h"

#include <stdio.h>
#include <string>

namespace dw::trace {

using scenario::ClassSpec;
using scenario::FileSpec;
using scenario::Message;
using scenario::MethodSpec;
using scenario::ObjectSpec;
using scenario::Scenario;
using scenario::Selector;
using scenario::Shape;
using scenario::Value;

// False, with `error` set, when the device cannot be set up (the library does not load, a class
// cannot be made); the trace is then incomplete.
bool RunScenario(const Scenario &scenario, const std::string &libraryPath, FILE *output, std::string *error);

}  // namespace dw::trace
