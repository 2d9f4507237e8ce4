// The Mach-O and Objective-C metadata values the app reader needs beyond those the linker already
// names in ios/linker/MachO.h: executables, encryption, the dyld info opcodes the linker never
// writes, chained fix-ups and the runtime's class, method-list and category layouts. Values are the
// file format's own.
#pragma once

#include "ios/linker/MachO.h"

#include <cstdint>

namespace device::objcformat {

using namespace dwl;

constexpr uint32_t kFatMagic = 0xcafebabe;    // stored big endian
constexpr uint32_t kFatMagic64 = 0xcafebabf;  // stored big endian
constexpr uint32_t kCpuArchMask = 0xff000000;
constexpr uint32_t kCpuSubtypeMask = 0x00ffffff;
constexpr uint32_t kFileExecute = 2;
constexpr uint32_t kFileBundle = 8;

constexpr uint32_t kLoadWeakDylib = 0x80000018;
constexpr uint32_t kReexportDylib = 0x8000001f;
constexpr uint32_t kLazyLoadDylib = 0x20;
constexpr uint32_t kLoadUpwardDylib = 0x80000023;
constexpr uint32_t kDyldInfo = 0x22;
constexpr uint32_t kEncryptionInfo = 0x21;
constexpr uint32_t kEncryptionInfo64 = 0x2c;
constexpr uint32_t kDyldChainedFixups = 0x80000034;

// Rebase and bind opcodes not in the linker's list (it writes only the few it needs).
constexpr uint8_t kOpcodeMask = 0xf0;
constexpr uint8_t kImmediateMask = 0x0f;
constexpr uint8_t kRebaseAddAddrUleb = 0x30;
constexpr uint8_t kRebaseAddAddrImmScaled = 0x40;
constexpr uint8_t kRebaseDoRebaseAddAddrUleb = 0x70;
constexpr uint8_t kRebaseDoRebaseUlebTimesSkippingUleb = 0x80;
constexpr uint8_t kBindSetDylibSpecialImm = 0x30;
constexpr uint8_t kBindAddAddrUleb = 0x80;
constexpr uint8_t kBindDoBindAddAddrUleb = 0xa0;
constexpr uint8_t kBindDoBindAddAddrImmScaled = 0xb0;
constexpr uint8_t kBindDoBindUlebTimesSkippingUleb = 0xc0;
constexpr uint8_t kBindThreaded = 0xd0;

// Chained fix-ups (LC_DYLD_CHAINED_FIXUPS).
constexpr uint16_t kChainedPtrArm64e = 1;
constexpr uint16_t kChainedPtr64 = 2;
constexpr uint16_t kChainedPtr32 = 3;
constexpr uint16_t kChainedPtr64Offset = 6;
constexpr uint16_t kChainedPtrArm64eUserland = 9;
constexpr uint16_t kChainedPtrArm64eUserland24 = 12;
constexpr uint16_t kChainedPageStartNone = 0xffff;
constexpr uint16_t kChainedPageStartMulti = 0x8000;
constexpr uint32_t kChainedImport = 1;
constexpr uint32_t kChainedImportAddend = 2;
constexpr uint32_t kChainedImportAddend64 = 3;

// Objective-C runtime layouts.
constexpr uint64_t kClassDataMask64 = 0x00007ffffffffff8ull;  // the low bits flag Swift classes
constexpr uint64_t kClassDataMask32 = 0xfffffffcull;
constexpr uint32_t kMethodListRelative = 0x80000000;  // entries are three 32-bit offsets
constexpr uint32_t kMethodListFlagMask = 0xffff0003;
constexpr uint32_t kRelativeMethodEntrySize = 12;
constexpr const char *kClassSymbolPrefix = "_OBJC_CLASS_$_";

}  // namespace device::objcformat
