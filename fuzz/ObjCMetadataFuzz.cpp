// The app reader on arbitrary bytes: every slice it finds is read and its classes joined into a class
// set; anything wrong must end as an ImageError, never as a fault, a hang or an exhausted memory.
#include "device-model/Coverage.h"
#include "device-model/ObjCMetadata.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  try {
    for (device::Arch arch : device::objc::SlicesOf(file)) {
      try {
        const device::objc::ImageMetadata metadata = device::objc::ReadObjCMetadata(file, arch);
        const device::coverage::ClassSet classes(metadata, {});
        (void)classes.entries().size();
      } catch (const device::objc::ImageError &) {
      }
    }
  } catch (const device::objc::ImageError &) {
  }
  return 0;
}
