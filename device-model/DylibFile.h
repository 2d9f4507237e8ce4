// Reading a Mach-O dylib as the device's loader does: one slice of a fat file or a thin file, its
// segments and sections, the libraries it loads, and the rebases and binds of LC_DYLD_INFO_ONLY.
// Limits: dylibs of arm64 and armv7 only (64- and 32-bit little endian), classic dyld info (no
// chained fixups), pointer rebases and binds only, segments within kMaxImageSpan of each other.
//
// Every offset, size and count the file gives is checked against the file (or, for addresses,
// against the segments) before it is used; a file that fails a check is refused with a LoadError
// naming the field, never read past its end.
#pragma once

#include "MachOFormat.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace device {

enum class Arch { arm64, armv7 };

inline const char *ArchName(Arch arch) { return arch == Arch::arm64 ? "arm64" : "armv7"; }
// The slice a header's processor type names (arm64 and arm64e alike); false for any other.
inline bool ArchOf(uint32_t cpuType, uint32_t cpuSubtype, Arch *arch) {
  if (cpuType == macho::kCpuTypeArm64) {
    *arch = Arch::arm64;
    return true;
  }
  if (cpuType == macho::kCpuTypeArm && (cpuSubtype & macho::kCpuSubtypeMask) == macho::kCpuSubtypeArmV7) {
    *arch = Arch::armv7;
    return true;
  }
  return false;
}
// "arm64" or "armv7"; throws LoadError for anything else.
Arch ArchFromName(const std::string &name);

// A file the loader cannot load, with what is wrong.
struct LoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr uint64_t kPageSize = 0x1000;
// The memory the model maps for one image: the library takes well under a MiB; a larger span is a
// corrupt file, refused before anything is mapped.
constexpr uint64_t kMaxImageSpan = 256ull << 20;
// The longest symbol name a bind may carry: every import the model answers is far shorter, and the
// bound keeps a stream of repeated binds from copying an arbitrarily long name many times.
constexpr size_t kMaxBoundSymbolName = 1024;
// Two-level library ordinals larger than this name no library a dylib could load.
constexpr uint64_t kMaxLibraryOrdinal = 0xffff;

struct Section {
  std::string segment;
  std::string name;
  uint64_t address = 0;  // unslid
  uint64_t size = 0;
  uint32_t fileOffset = 0;  // within the slice; 0 for zero-fill sections
  uint32_t flags = 0;

  // Zero-fill sections (S_ZEROFILL and its kinds) have no bytes in the file.
  bool zeroFill() const;
};

struct Segment {
  std::string name;
  uint64_t address = 0;  // unslid
  uint64_t memorySize = 0;
  uint64_t fileOffset = 0;  // within the slice
  uint64_t fileSize = 0;
  uint32_t initialProtection = 0;  // macho::kProtRead, kProtWrite, kProtExecute
};

// One pointer that the loader slides by the load address.
struct Rebase {
  uint64_t address = 0;  // unslid
};

// One pointer that the loader points at an imported symbol (plus addend).
struct Bind {
  uint64_t address = 0;  // unslid
  std::string symbol;
  int ordinal = 0;       // 1-based index into the loaded libraries; 0 self, negative special
  int64_t addend = 0;
  bool lazy = false;
  bool weakImport = false;
};

// The ordinal of BIND_OPCODE_SET_DYLIB_SPECIAL_IMM: the special ordinals are small negative numbers,
// their immediate sign-extended.
inline int SpecialOrdinal(uint8_t immediate) {
  return immediate == 0 ? macho::kOrdinalSelf
                        : static_cast<int>(static_cast<int8_t>(macho::kOpcodeMask | (immediate & macho::kImmediateMask)));
}

// A symbol of the image's symbol table that it defines (local or exported).
struct Symbol {
  std::string name;
  uint64_t address = 0;  // unslid; Thumb functions carry their odd bit as pointers to them do
  bool external = false;
};

struct DyldInfo {
  std::vector<uint8_t> rebase, bind, weakBind, lazyBind, exports;
};

struct Slice {
  Arch arch = Arch::arm64;
  unsigned pointerSize = 8;
  uint32_t fileType = 0;
  std::vector<uint8_t> bytes;  // the slice alone
  std::vector<Segment> segments;
  std::vector<Section> sections;
  std::vector<std::string> libraries;  // LC_LOAD_DYLIB paths, in ordinal order
  std::string installName;
  DyldInfo dyldInfo;
  bool hasDyldInfo = false;
  std::vector<Symbol> symbols;

  // The address of a defined symbol (unslid); throws LoadError when there is none.
  uint64_t SymbolAddress(const std::string &name) const;

  const Section *FindSection(const std::string &segment, const std::string &name) const;
  // The mapped segment whose memory holds `size` bytes at the unslid `address`; nullptr when none
  // holds them all.
  const Segment *SegmentHolding(uint64_t address, uint64_t size) const;
  // The library of a bind's ordinal, or a description of a special ordinal.
  std::string LibraryOf(int ordinal) const;
};

// The architectures a file holds (one for a thin file).
std::vector<Arch> ArchitecturesOf(const std::vector<uint8_t> &file);

// Parses the slice of `arch` from a thin or fat file; throws LoadError naming what is wrong.
Slice ParseSlice(const std::vector<uint8_t> &file, Arch arch);

// Decoders of the dyld info opcode streams. Addresses are unslid; `slice` gives segment addresses.
std::vector<Rebase> DecodeRebases(const Slice &slice, const std::vector<uint8_t> &opcodes);
std::vector<Bind> DecodeBinds(const Slice &slice, const std::vector<uint8_t> &opcodes, bool lazy);

std::vector<uint8_t> ReadFile(const std::string &path);

}  // namespace device
