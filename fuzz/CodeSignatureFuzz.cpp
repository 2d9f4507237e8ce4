// The code-signature verifier on arbitrary bytes, as a user's dylib slice reaches it: whatever the
// load commands, the super blob and the code directories say, it ends with a report, never a fault,
// a read outside the bytes or a hang.
#include "CodeSignature.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const macho::SignatureReport report = macho::CheckCodeSignature(data, size, "duskwell");
  // A report without problems has read both code directories.
  if (report.problems.empty() && report.directories.size() < 2) __builtin_trap();
  return 0;
}
