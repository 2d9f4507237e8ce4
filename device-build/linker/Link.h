// Links armv7 objects and text stubs into an armv7 dylib, unsigned: its LC_CODE_SIGNATURE is left
// empty at the end of __LINKEDIT for SignAdhoc to fill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Object.h"
#include "TextStub.h"

namespace dwl {

struct LinkOptions {
  std::string install_name;
  uint32_t minimum_os = 0;  // packed, as LC_VERSION_MIN_IPHONEOS stores it
  uint32_t sdk = 0;
  uint32_t current_version = 0x10000;
  uint32_t compatibility_version = 0x10000;
};

// `libraries` in load order: the first library that exports a symbol provides it, and its place in
// this list is its two-level ordinal.
Bytes LinkDylib(const std::vector<ObjectFile> &objects, const std::vector<DylibStub> &libraries, const LinkOptions &options);

}  // namespace dwl
