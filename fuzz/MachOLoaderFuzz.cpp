// The device model's loader on arbitrary bytes: each slice the file names is read, its rebases and
// binds applied, its Objective-C sections fixed up and its constructor run, as the device loads the
// library, on a budget of basic blocks. Anything wrong must end as a LoadError (the file refused) or
// a RunError (the constructor's run stopped), never as a fault, a hang or an exhausted memory.
#include "Loader.h"

#include <cstddef>
#include <cstdint>

namespace {

// The shipped constructor runs a few thousand blocks on either slice.
constexpr uint64_t kBlockBudget = 200000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  std::vector<device::Arch> archs;
  try {
    archs = device::ArchitecturesOf(file);
  } catch (const device::LoadError &) {
    return 0;
  }
  for (device::Arch arch : archs) {
    try {
      device::Device device(file, arch, [](const std::string &) { return device::FileContents{}; });
      device.machine().LimitBlocks(kBlockBudget);
      device.Load();
    } catch (const device::LoadError &) {
    } catch (const device::RunError &) {
    }
  }
  return 0;
}
