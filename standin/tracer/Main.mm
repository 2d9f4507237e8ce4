// duskwell-trace SCENARIO [LIBRARY]: runs one scenario on the stand-in device and prints its trace.
// `duskwell-sim trace` runs this program: the trace needs a device without the simulated app's
// compiled classes, since the scenario declares the host itself.
#import <Foundation/Foundation.h>

#include "Runner.h"
#include "scenario/Scenario.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

std::string LibraryBesideExecutable() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "duskwell.so";
  path[length] = '\0';
  std::string directory(path);
  return directory.substr(0, directory.rfind('/') + 1) + "duskwell.so";
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3 || strcmp(argv[1], "--help") == 0) {
    fprintf(stderr, "usage: duskwell-sim trace SCENARIO.json [LIBRARY]\n");
    return 2;
  }
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  dw::scenario::Scenario scenario;
  try {
    scenario = dw::scenario::ReadScenario(argv[1]);
  } catch (const dw::scenario::ScenarioError &e) {
    fprintf(stderr, "duskwell-sim trace: %s\n", e.what());
    return 2;
  }
  std::string error;
  const std::string library = argc == 3 ? argv[2] : LibraryBesideExecutable();
  if (!dw::trace::RunScenario(scenario, library, stdout, &error)) {
    fprintf(stderr, "duskwell-sim trace: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  [pool release];
  return fflush(stdout) == 0 ? 0 : 1;
}
