// The scenario reader on arbitrary text: JSON parsed, every member checked, the preference files
// written as property lists. Anything wrong must end as a ScenarioError, never as a fault, a hang
// or an exhausted memory.
#include "scenario/Scenario.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  try {
    dw::scenario::ReadScenarioText(std::string(reinterpret_cast<const char *>(data), size), "input.json");
  } catch (const dw::scenario::ScenarioError &) {
  }
  return 0;
}
