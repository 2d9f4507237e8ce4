// The Mach-O constants and records the linker reads and writes: only those it uses. Values are the
// file format's own (there is no SDK on this machine, so none of its headers).
#pragma once

#include <cstdint>

namespace dwl {

constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kCpuTypeArm = 12;
constexpr uint32_t kCpuTypeArm64 = 12 | 0x01000000;
constexpr uint32_t kCpuSubtypeArmV7 = 9;
constexpr uint32_t kFileObject = 1;
constexpr uint32_t kFileDylib = 6;

// Header flags.
constexpr uint32_t kNoUndefs = 0x1;
constexpr uint32_t kDyldLink = 0x4;
constexpr uint32_t kTwoLevel = 0x80;
constexpr uint32_t kSubsectionsViaSymbols = 0x2000;
constexpr uint32_t kNoReexportedDylibs = 0x100000;

// Load commands.
constexpr uint32_t kSegment = 0x1;
constexpr uint32_t kSymtab = 0x2;
constexpr uint32_t kDysymtab = 0xb;
constexpr uint32_t kLoadDylib = 0xc;
constexpr uint32_t kIdDylib = 0xd;
constexpr uint32_t kSegment64 = 0x19;
constexpr uint32_t kUuid = 0x1b;
constexpr uint32_t kCodeSignature = 0x1d;
constexpr uint32_t kDyldInfoOnly = 0x80000022;
constexpr uint32_t kVersionMinIphoneos = 0x25;
constexpr uint32_t kBuildVersion = 0x32;
constexpr uint32_t kDataInCode = 0x29;
constexpr uint32_t kLinkerOption = 0x2d;

// Section types (low byte of the flags) and attributes.
constexpr uint32_t kSectionTypeMask = 0xff;
constexpr uint32_t kRegular = 0x0;
constexpr uint32_t kZerofill = 0x1;
constexpr uint32_t kCstringLiterals = 0x2;
constexpr uint32_t k4ByteLiterals = 0x3;
constexpr uint32_t k8ByteLiterals = 0x4;
constexpr uint32_t kLiteralPointers = 0x5;
constexpr uint32_t kNonLazySymbolPointers = 0x6;
constexpr uint32_t kSymbolStubs = 0x8;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t k16ByteLiterals = 0xe;
constexpr uint32_t kAttrPureInstructions = 0x80000000;
constexpr uint32_t kAttrDebug = 0x02000000;
constexpr uint32_t kAttrSomeInstructions = 0x00000400;

// Symbol table entries.
constexpr uint8_t kStab = 0xe0;
constexpr uint8_t kPrivateExtern = 0x10;
constexpr uint8_t kTypeMask = 0x0e;
constexpr uint8_t kExternal = 0x01;
constexpr uint8_t kUndefined = 0x0;
constexpr uint8_t kAbsolute = 0x2;
constexpr uint8_t kInSection = 0xe;
constexpr uint16_t kWeakDefinition = 0x0080;
constexpr uint16_t kArmThumbDefinition = 0x0008;
constexpr uint32_t kIndirectSymbolLocal = 0x80000000;
constexpr uint32_t kIndirectSymbolAbsolute = 0x40000000;

// armv7 relocation types.
constexpr uint32_t kArmVanilla = 0;
constexpr uint32_t kArmPair = 1;
constexpr uint32_t kArmThumbBranch22 = 6;
constexpr uint32_t kArmHalfSectionDifference = 9;

// Dynamic loader information.
constexpr uint8_t kRebaseTypePointer = 1;
constexpr uint8_t kRebaseDone = 0x00;
constexpr uint8_t kRebaseSetTypeImm = 0x10;
constexpr uint8_t kRebaseSetSegmentAndOffsetUleb = 0x20;
constexpr uint8_t kRebaseDoRebaseImmTimes = 0x50;
constexpr uint8_t kRebaseDoRebaseUlebTimes = 0x60;
constexpr uint8_t kBindTypePointer = 1;
constexpr uint8_t kBindDone = 0x00;
constexpr uint8_t kBindSetDylibOrdinalImm = 0x10;
constexpr uint8_t kBindSetDylibOrdinalUleb = 0x20;
constexpr uint8_t kBindSetSymbolTrailingFlagsImm = 0x40;
constexpr uint8_t kBindSetTypeImm = 0x50;
constexpr uint8_t kBindSetAddendSleb = 0x60;
constexpr uint8_t kBindSetSegmentAndOffsetUleb = 0x70;
constexpr uint8_t kBindDoBind = 0x90;

// Code signature blobs (big-endian on disk).
constexpr uint32_t kEmbeddedSignatureMagic = 0xfade0cc0;
constexpr uint32_t kCodeDirectoryMagic = 0xfade0c02;
constexpr uint32_t kRequirementsMagic = 0xfade0c01;
constexpr uint32_t kBlobWrapperMagic = 0xfade0b01;
constexpr uint32_t kSlotCodeDirectory = 0;
constexpr uint32_t kSlotRequirements = 2;
constexpr uint32_t kSlotAlternateCodeDirectory = 0x1000;
constexpr uint32_t kSlotSignature = 0x10000;
constexpr uint32_t kCodeDirectoryVersion = 0x20100;  // with scatter offset, read by every iOS kernel we target
constexpr uint32_t kCodeSignAdhoc = 0x2;
constexpr uint8_t kHashTypeSha1 = 1;
constexpr uint8_t kHashTypeSha256 = 2;
constexpr unsigned kSignaturePageShift = 12;

}  // namespace dwl
