// Ad-hoc code signatures for the device's kernels: a SHA-1 code directory, which iOS 9 reads, and a
// SHA-256 alternate, which later kernels prefer, both over 4 KiB pages of everything before the
// signature, with an empty requirement set.
#pragma once

#include <string>

#include "Bytes.h"

namespace dwl {

Bytes Sha1(const uint8_t *data, size_t size);
Bytes Sha256(const uint8_t *data, size_t size);

// Replaces the signature of a thin Mach-O image (armv7 or arm64) in place. The image must have an
// LC_CODE_SIGNATURE inside a __LINKEDIT that ends the file; everything before the old signature is
// kept except the sizes that the new signature changes.
void SignAdhoc(Bytes &image, const std::string &identifier);

}  // namespace dwl
