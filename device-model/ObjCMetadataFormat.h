// The Objective-C runtime's layouts in an image that the app reader needs: the class, method-list
// and symbol conventions. They are the runtime's, not Mach-O's (whose vocabulary is MachOFormat.h).
// Values are the runtime's own.
#pragma once

#include <cstdint>

namespace device::objcformat {

constexpr uint64_t kClassDataMask64 = 0x00007ffffffffff8ull;  // the low bits flag Swift classes
constexpr uint64_t kClassDataMask32 = 0xfffffffcull;
constexpr uint32_t kMethodListRelative = 0x80000000;  // entries are three 32-bit offsets
constexpr uint32_t kMethodListFlagMask = 0xffff0003;
constexpr uint32_t kRelativeMethodEntrySize = 12;
constexpr const char *kClassSymbolPrefix = "_OBJC_CLASS_$_";

}  // namespace device::objcformat
