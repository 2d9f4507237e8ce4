// The Mach-O file format as the device build writes it and the device model reads it: magic numbers,
// processor and file types, load commands, section and symbol kinds, armv7 relocations, the dynamic
// loader's rebase and bind opcodes, code-signature blobs, and the on-disk layout of the records.
// Values are the format's own (there is no SDK on this machine, so none of its headers). Only what
// the linker, the signer, the model or the build's checker uses is here. The records describe the
// layout only: every reader reads its fields at their offsets through a bounded reader, never by
// casting bytes. The checker (device-build/checker/vocabulary.py) reads this file itself: keep each constant a
// `constexpr TYPE kName = VALUE;` line and each record a struct of fixed-width fields.
#pragma once

#include <cstddef>
#include <cstdint>

namespace macho {

// Magic numbers: thin files are little endian on these processors; fat headers are big endian.
constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kFatMagic = 0xcafebabe;
constexpr uint32_t kFatMagic64 = 0xcafebabf;

// Processors; the subtype's top byte holds capability bits, not the subtype.
constexpr uint32_t kCpuTypeArm = 12;
constexpr uint32_t kCpuTypeArm64 = 12 | 0x01000000;
constexpr uint32_t kCpuSubtypeArmV7 = 9;
constexpr uint32_t kCpuSubtypeMask = 0x00ffffff;

// File types.
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
constexpr uint32_t kLoadWeakDylib = 0x80000018;
constexpr uint32_t kSegment64 = 0x19;
constexpr uint32_t kUuid = 0x1b;
constexpr uint32_t kCodeSignature = 0x1d;
constexpr uint32_t kReexportDylib = 0x8000001f;
constexpr uint32_t kLazyLoadDylib = 0x20;
constexpr uint32_t kEncryptionInfo = 0x21;
constexpr uint32_t kDyldInfo = 0x22;
constexpr uint32_t kDyldInfoOnly = 0x80000022;
constexpr uint32_t kVersionMinIphoneos = 0x25;
constexpr uint32_t kDataInCode = 0x29;
constexpr uint32_t kLinkerOption = 0x2d;
constexpr uint32_t kEncryptionInfo64 = 0x2c;
constexpr uint32_t kBuildVersion = 0x32;
constexpr uint32_t kLoadUpwardDylib = 0x80000023;
constexpr uint32_t kDyldChainedFixups = 0x80000034;

// Segment protections.
constexpr uint32_t kProtRead = 0x1;
constexpr uint32_t kProtWrite = 0x2;
constexpr uint32_t kProtExecute = 0x4;

// Section types (low byte of the flags) and attributes.
constexpr uint32_t kSectionTypeMask = 0xff;
constexpr uint32_t kRegular = 0x0;
constexpr uint32_t kZerofill = 0x1;
constexpr uint32_t kCstringLiterals = 0x2;
constexpr uint32_t k4ByteLiterals = 0x3;
constexpr uint32_t k8ByteLiterals = 0x4;
constexpr uint32_t kLiteralPointers = 0x5;
constexpr uint32_t kNonLazySymbolPointers = 0x6;
constexpr uint32_t kLazySymbolPointers = 0x7;
constexpr uint32_t kSymbolStubs = 0x8;
constexpr uint32_t kModInitFuncPointers = 0x9;
constexpr uint32_t kGbZerofill = 0xc;
constexpr uint32_t k16ByteLiterals = 0xe;
constexpr uint32_t kThreadLocalZerofill = 0x12;
constexpr uint32_t kAttrPureInstructions = 0x80000000;
constexpr uint32_t kAttrDebug = 0x02000000;
constexpr uint32_t kAttrSomeInstructions = 0x00000400;

// Symbol table entries: the type byte's fields, and the description's flags.
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

// Dynamic loader information: each opcode byte is an opcode in the high nibble and an immediate in
// the low one.
constexpr uint8_t kOpcodeMask = 0xf0;
constexpr uint8_t kImmediateMask = 0x0f;

constexpr uint8_t kRebaseTypePointer = 1;
constexpr uint8_t kRebaseDone = 0x00;
constexpr uint8_t kRebaseSetTypeImm = 0x10;
constexpr uint8_t kRebaseSetSegmentAndOffsetUleb = 0x20;
constexpr uint8_t kRebaseAddAddrUleb = 0x30;
constexpr uint8_t kRebaseAddAddrImmScaled = 0x40;
constexpr uint8_t kRebaseDoRebaseImmTimes = 0x50;
constexpr uint8_t kRebaseDoRebaseUlebTimes = 0x60;
constexpr uint8_t kRebaseDoRebaseAddAddrUleb = 0x70;
constexpr uint8_t kRebaseDoRebaseUlebTimesSkippingUleb = 0x80;

constexpr uint8_t kBindTypePointer = 1;
constexpr uint8_t kBindDone = 0x00;
constexpr uint8_t kBindSetDylibOrdinalImm = 0x10;
constexpr uint8_t kBindSetDylibOrdinalUleb = 0x20;
constexpr uint8_t kBindSetDylibSpecialImm = 0x30;
constexpr uint8_t kBindSetSymbolTrailingFlagsImm = 0x40;
constexpr uint8_t kBindSetTypeImm = 0x50;
constexpr uint8_t kBindSetAddendSleb = 0x60;
constexpr uint8_t kBindSetSegmentAndOffsetUleb = 0x70;
constexpr uint8_t kBindAddAddrUleb = 0x80;
constexpr uint8_t kBindDoBind = 0x90;
constexpr uint8_t kBindDoBindAddAddrUleb = 0xa0;
constexpr uint8_t kBindDoBindAddAddrImmScaled = 0xb0;
constexpr uint8_t kBindDoBindUlebTimesSkippingUleb = 0xc0;
constexpr uint8_t kBindSymbolWeakImport = 0x1;

// Library ordinals of binds that name no loaded library.
constexpr int kOrdinalSelf = 0;
constexpr int kOrdinalMainExecutable = -1;
constexpr int kOrdinalFlatLookup = -2;

// Chained fix-ups (LC_DYLD_CHAINED_FIXUPS): pointer formats, page starts and import formats.
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

// Code signature blobs (big-endian on disk).
constexpr uint32_t kEmbeddedSignatureMagic = 0xfade0cc0;
constexpr uint32_t kCodeDirectoryMagic = 0xfade0c02;
constexpr uint32_t kRequirementsMagic = 0xfade0c01;
constexpr uint32_t kBlobWrapperMagic = 0xfade0b01;
constexpr uint32_t kSlotCodeDirectory = 0;
constexpr uint32_t kSlotRequirements = 2;
constexpr uint32_t kSlotAlternateCodeDirectory = 0x1000;
constexpr uint32_t kAlternateCodeDirectorySlots = 5;  // 0x1000 up to 0x1004
constexpr uint32_t kSlotSignature = 0x10000;
constexpr uint32_t kCodeDirectoryVersion = 0x20100;  // with scatter offset, read by every iOS kernel we target
constexpr uint32_t kCodeDirectoryVersionEarliest = 0x20001;  // the oldest layout a kernel reads: no scatter offset
constexpr uint32_t kCodeSignAdhoc = 0x2;
constexpr uint8_t kHashTypeSha1 = 1;
constexpr uint8_t kHashTypeSha256 = 2;
constexpr unsigned kSignaturePageShift = 12;

// The records' layout, field by field as they lie in the file. Names are the format's, so that a
// field is found by the name every description of the format gives it.
struct MachHeader32 {
  uint32_t magic, cputype, cpusubtype, filetype, ncmds, sizeofcmds, flags;
};
struct MachHeader64 {
  uint32_t magic, cputype, cpusubtype, filetype, ncmds, sizeofcmds, flags, reserved;
};
struct FatHeader {
  uint32_t magic, nfat_arch;
};
struct FatArch {
  uint32_t cputype, cpusubtype, offset, size, align;
};
struct LoadCommand {
  uint32_t cmd, cmdsize;
};
struct SegmentCommand32 {
  uint32_t cmd, cmdsize;
  char segname[16];
  uint32_t vmaddr, vmsize, fileoff, filesize, maxprot, initprot, nsects, flags;
};
struct SegmentCommand64 {
  uint32_t cmd, cmdsize;
  char segname[16];
  uint64_t vmaddr, vmsize, fileoff, filesize;
  uint32_t maxprot, initprot, nsects, flags;
};
struct Section32 {
  char sectname[16], segname[16];
  uint32_t addr, size, offset, align, reloff, nreloc, flags, reserved1, reserved2;
};
struct Section64 {
  char sectname[16], segname[16];
  uint64_t addr, size;
  uint32_t offset, align, reloff, nreloc, flags, reserved1, reserved2, reserved3;
};
struct DylibCommand {
  uint32_t cmd, cmdsize, name_offset, timestamp, current_version, compatibility_version;
};
struct SymtabCommand {
  uint32_t cmd, cmdsize, symoff, nsyms, stroff, strsize;
};
struct DysymtabCommand {
  uint32_t cmd, cmdsize, ilocalsym, nlocalsym, iextdefsym, nextdefsym, iundefsym, nundefsym, tocoff, ntoc,
      modtaboff, nmodtab, extrefsymoff, nextrefsyms, indirectsymoff, nindirectsyms, extreloff, nextrel, locreloff,
      nlocrel;
};
struct DyldInfoCommand {
  uint32_t cmd, cmdsize, rebase_off, rebase_size, bind_off, bind_size, weak_bind_off, weak_bind_size, lazy_bind_off,
      lazy_bind_size, export_off, export_size;
};
struct LinkeditDataCommand {
  uint32_t cmd, cmdsize, dataoff, datasize;
};
struct UuidCommand {
  uint32_t cmd, cmdsize;
  uint8_t uuid[16];
};
struct VersionMinCommand {
  uint32_t cmd, cmdsize, version, sdk;
};
struct Nlist32 {
  uint32_t strx;
  uint8_t type, sect;
  uint16_t desc;
  uint32_t value;
};
struct Nlist64 {
  uint32_t strx;
  uint8_t type, sect;
  uint16_t desc;
  uint64_t value;
};
struct RelocationInfo {
  uint32_t address, info;  // scattered when the address's top bit is set
};
struct SuperBlob {
  uint32_t magic, length, count;
};
struct BlobIndex {
  uint32_t type, offset;
};
struct CodeDirectory {
  uint32_t magic, length, version, flags, hashOffset, identOffset, nSpecialSlots, nCodeSlots, codeLimit;
  uint8_t hashSize, hashType, platform, pageSize;
  uint32_t spare2, scatterOffset;
};

// The compiler lays these out exactly as the file does; a field's place is offsetof(Record, field).
static_assert(sizeof(MachHeader32) == 28 && sizeof(MachHeader64) == 32);
static_assert(sizeof(FatHeader) == 8 && sizeof(FatArch) == 20);
static_assert(sizeof(SegmentCommand32) == 56 && sizeof(SegmentCommand64) == 72);
static_assert(sizeof(Section32) == 68 && sizeof(Section64) == 80);
static_assert(sizeof(DylibCommand) == 24 && sizeof(SymtabCommand) == 24 && sizeof(DysymtabCommand) == 80);
static_assert(sizeof(DyldInfoCommand) == 48 && sizeof(LinkeditDataCommand) == 16 && sizeof(UuidCommand) == 24);
static_assert(sizeof(VersionMinCommand) == 16);
static_assert(sizeof(Nlist32) == 12 && sizeof(Nlist64) == 16 && offsetof(Nlist64, value) == 8);
static_assert(sizeof(RelocationInfo) == 8);
static_assert(sizeof(SuperBlob) == 12 && sizeof(BlobIndex) == 8 && sizeof(CodeDirectory) == 48);

}  // namespace macho
