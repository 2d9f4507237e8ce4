#include "MachO.h"
#include "Text.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace device {

namespace {

constexpr uint32_t kMagic32 = 0xfeedface;
constexpr uint32_t kMagic64 = 0xfeedfacf;
constexpr uint32_t kFatMagic = 0xcafebabe;  // stored big endian
constexpr uint32_t kFatMagic64 = 0xcafebabf;
constexpr int32_t kCpuArm = 12;
constexpr int32_t kCpuArm64 = 12 | 0x01000000;
constexpr int32_t kCpuSubtypeArmV7 = 9;
constexpr uint32_t kFileTypeDylib = 6;

constexpr uint32_t kLcSegment = 0x1;
constexpr uint32_t kLcSegment64 = 0x19;
constexpr uint32_t kLcLoadDylib = 0xc;
constexpr uint32_t kLcIdDylib = 0xd;
constexpr uint32_t kLcLoadWeakDylib = 0x80000018;
constexpr uint32_t kLcReexportDylib = 0x8000001f;
constexpr uint32_t kLcDyldInfo = 0x22;
constexpr uint32_t kLcDyldInfoOnly = 0x80000022;
constexpr uint32_t kLcDyldChainedFixups = 0x80000034;
constexpr uint32_t kLcSymtab = 0x2;
constexpr uint8_t kNTypeMask = 0x0e, kNSect = 0x0e, kNExt = 0x01, kNStab = 0xe0;
constexpr uint16_t kNArmThumbDef = 0x0008;

// Little-endian reads with bounds checks.
class Reader {
 public:
  Reader(const std::vector<uint8_t> &bytes, const char *what) : bytes_(bytes), what_(what) {}
  void Need(uint64_t offset, uint64_t size) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
      throw LoadError(std::string(what_) + ": truncated at offset " + Hex(offset) + " (needs " +
                      std::to_string(size) + " bytes, file has " + std::to_string(bytes_.size()) + ")");
    }
  }
  uint32_t U32(uint64_t offset) const {
    Need(offset, 4);
    uint32_t v;
    std::memcpy(&v, &bytes_[offset], 4);
    return v;
  }
  uint64_t U64(uint64_t offset) const {
    Need(offset, 8);
    uint64_t v;
    std::memcpy(&v, &bytes_[offset], 8);
    return v;
  }
  uint32_t U32BigEndian(uint64_t offset) const {
    Need(offset, 4);
    return uint32_t(bytes_[offset]) << 24 | uint32_t(bytes_[offset + 1]) << 16 | uint32_t(bytes_[offset + 2]) << 8 |
           uint32_t(bytes_[offset + 3]);
  }
  std::string Name16(uint64_t offset) const {
    Need(offset, 16);
    const char *p = reinterpret_cast<const char *>(&bytes_[offset]);
    return std::string(p, strnlen(p, 16));
  }
  std::string CString(uint64_t offset, uint64_t end) const {
    Need(offset, 0);
    if (end > bytes_.size()) end = bytes_.size();
    std::string out;
    for (uint64_t i = offset; i < end && bytes_[i] != 0; ++i) out.push_back(static_cast<char>(bytes_[i]));
    return out;
  }

 private:
  const std::vector<uint8_t> &bytes_;
  const char *what_;
};

struct FatEntry {
  int32_t cpuType;
  int32_t cpuSubtype;
  uint32_t offset;
  uint32_t size;
};

bool IsFat(const std::vector<uint8_t> &file) {
  if (file.size() < 8) return false;
  Reader r(file, "fat header");
  uint32_t magic = r.U32BigEndian(0);
  return magic == kFatMagic || magic == kFatMagic64;
}

std::vector<FatEntry> FatEntries(const std::vector<uint8_t> &file) {
  Reader r(file, "fat header");
  if (r.U32BigEndian(0) == kFatMagic64) throw LoadError("fat header: 64-bit fat files are not supported");
  uint32_t count = r.U32BigEndian(4);
  if (count == 0 || count > 16) throw LoadError("fat header: implausible architecture count " + std::to_string(count));
  std::vector<FatEntry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = 8 + uint64_t(i) * 20;
    FatEntry e{static_cast<int32_t>(r.U32BigEndian(at)), static_cast<int32_t>(r.U32BigEndian(at + 4)),
               r.U32BigEndian(at + 8), r.U32BigEndian(at + 12)};
    r.Need(e.offset, e.size);
    entries.push_back(e);
  }
  return entries;
}

bool ArchOf(int32_t cpuType, int32_t cpuSubtype, Arch *arch) {
  if (cpuType == kCpuArm64) {
    *arch = Arch::arm64;
    return true;
  }
  if (cpuType == kCpuArm && (cpuSubtype & 0xffffff) == kCpuSubtypeArmV7) {
    *arch = Arch::armv7;
    return true;
  }
  return false;
}

std::string CpuDescription(int32_t cpuType, int32_t cpuSubtype) {
  return "cpu type " + std::to_string(cpuType) + " subtype " + std::to_string(cpuSubtype & 0xffffff);
}

uint64_t Uleb(const std::vector<uint8_t> &p, size_t &i, const char *stream) {
  uint64_t result = 0;
  unsigned shift = 0;
  while (true) {
    if (i >= p.size()) throw LoadError(std::string(stream) + ": ULEB128 runs past the end");
    uint8_t byte = p[i++];
    if (shift >= 64 || (shift == 63 && (byte & 0x7e) != 0)) {
      throw LoadError(std::string(stream) + ": ULEB128 too large");
    }
    result |= uint64_t(byte & 0x7f) << shift;
    shift += 7;
    if ((byte & 0x80) == 0) return result;
  }
}

int64_t Sleb(const std::vector<uint8_t> &p, size_t &i, const char *stream) {
  int64_t result = 0;
  unsigned shift = 0;
  uint8_t byte;
  do {
    if (i >= p.size()) throw LoadError(std::string(stream) + ": SLEB128 runs past the end");
    if (shift >= 64) throw LoadError(std::string(stream) + ": SLEB128 too large");
    byte = p[i++];
    result |= int64_t(uint64_t(byte & 0x7f) << shift);
    shift += 7;
  } while (byte & 0x80);
  if (shift < 64 && (byte & 0x40)) result |= -(int64_t(1) << shift);
  return result;
}

// The address of a segment-relative location, checked to lie inside the segment's memory.
uint64_t SegmentAddress(const Slice &slice, uint64_t segmentIndex, uint64_t offset, const char *stream) {
  if (segmentIndex >= slice.segments.size()) {
    throw LoadError(std::string(stream) + ": segment index " + std::to_string(segmentIndex) + " out of range");
  }
  return slice.segments[segmentIndex].address + offset;
}

void CheckInSegment(const Slice &slice, uint64_t segmentIndex, uint64_t address, const char *stream) {
  const Segment &segment = slice.segments[segmentIndex];
  if (address < segment.address || address + slice.pointerSize > segment.address + segment.memorySize) {
    throw LoadError(std::string(stream) + ": address " + Hex(address) + " lies outside segment " + segment.name);
  }
}

void ParseLoadCommands(Slice &slice) {
  Reader r(slice.bytes, "Mach-O header");
  const bool is64 = slice.pointerSize == 8;
  const uint64_t headerSize = is64 ? 32 : 28;
  const uint32_t ncmds = r.U32(16);
  const uint32_t sizeofcmds = r.U32(20);
  r.Need(headerSize, sizeofcmds);
  uint64_t at = headerSize;
  const uint64_t end = headerSize + sizeofcmds;
  for (uint32_t n = 0; n < ncmds; ++n) {
    if (at + 8 > end) throw LoadError("load command " + std::to_string(n) + " runs past the load commands");
    const uint32_t cmd = r.U32(at);
    const uint32_t cmdsize = r.U32(at + 4);
    if (cmdsize < 8 || at + cmdsize > end) {
      throw LoadError("load command " + std::to_string(n) + " has a bad size " + std::to_string(cmdsize));
    }
    if (cmd == kLcSegment64 || cmd == kLcSegment) {
      Segment seg;
      seg.name = r.Name16(at + 8);
      uint32_t nsects;
      uint64_t sectAt;
      if (cmd == kLcSegment64) {
        seg.address = r.U64(at + 24);
        seg.memorySize = r.U64(at + 32);
        seg.fileOffset = r.U64(at + 40);
        seg.fileSize = r.U64(at + 48);
        seg.initialProtection = r.U32(at + 60);
        nsects = r.U32(at + 64);
        sectAt = at + 72;
      } else {
        seg.address = r.U32(at + 24);
        seg.memorySize = r.U32(at + 28);
        seg.fileOffset = r.U32(at + 32);
        seg.fileSize = r.U32(at + 36);
        seg.initialProtection = r.U32(at + 44);
        nsects = r.U32(at + 48);
        sectAt = at + 56;
      }
      if (seg.fileSize > seg.memorySize) throw LoadError("segment " + seg.name + " is larger in the file than in memory");
      r.Need(seg.fileOffset, seg.fileSize);
      const uint64_t sectSize = cmd == kLcSegment64 ? 80 : 68;
      if (sectAt + uint64_t(nsects) * sectSize > at + cmdsize) throw LoadError("segment " + seg.name + ": sections overrun");
      for (uint32_t s = 0; s < nsects; ++s, sectAt += sectSize) {
        Section sect;
        sect.name = r.Name16(sectAt);
        sect.segment = r.Name16(sectAt + 16);
        if (cmd == kLcSegment64) {
          sect.address = r.U64(sectAt + 32);
          sect.size = r.U64(sectAt + 40);
          sect.fileOffset = r.U32(sectAt + 48);
          sect.flags = r.U32(sectAt + 64);
        } else {
          sect.address = r.U32(sectAt + 32);
          sect.size = r.U32(sectAt + 36);
          sect.fileOffset = r.U32(sectAt + 40);
          sect.flags = r.U32(sectAt + 56);
        }
        if (sect.address < seg.address || sect.address + sect.size > seg.address + seg.memorySize) {
          throw LoadError("section " + sect.segment + "," + sect.name + " lies outside its segment");
        }
        slice.sections.push_back(sect);
      }
      slice.segments.push_back(seg);
    } else if (cmd == kLcLoadDylib || cmd == kLcLoadWeakDylib || cmd == kLcReexportDylib || cmd == kLcIdDylib) {
      const uint32_t nameOffset = r.U32(at + 8);
      if (nameOffset >= cmdsize) throw LoadError("dylib load command has a bad name offset");
      std::string name = r.CString(at + nameOffset, at + cmdsize);
      if (cmd == kLcIdDylib) {
        slice.installName = name;
      } else {
        slice.libraries.push_back(name);
      }
    } else if (cmd == kLcDyldInfo || cmd == kLcDyldInfoOnly) {
      auto blob = [&](uint64_t field) {
        uint32_t off = r.U32(at + field), size = r.U32(at + field + 4);
        r.Need(off, size);
        return std::vector<uint8_t>(slice.bytes.begin() + off, slice.bytes.begin() + off + size);
      };
      slice.dyldInfo.rebase = blob(8);
      slice.dyldInfo.bind = blob(16);
      slice.dyldInfo.weakBind = blob(24);
      slice.dyldInfo.lazyBind = blob(32);
      slice.dyldInfo.exports = blob(40);
      slice.hasDyldInfo = true;
    } else if (cmd == kLcSymtab) {
      const uint32_t symoff = r.U32(at + 8), nsyms = r.U32(at + 12), stroff = r.U32(at + 16), strsize = r.U32(at + 20);
      const uint64_t entrySize = is64 ? 16 : 12;
      r.Need(symoff, uint64_t(nsyms) * entrySize);
      r.Need(stroff, strsize);
      for (uint32_t s = 0; s < nsyms; ++s) {
        const uint64_t e = symoff + uint64_t(s) * entrySize;
        const uint32_t strx = r.U32(e);
        const uint8_t type = slice.bytes[e + 4];
        uint16_t desc;
        std::memcpy(&desc, &slice.bytes[e + 6], 2);
        if ((type & kNStab) != 0 || (type & kNTypeMask) != kNSect || strx >= strsize) continue;
        Symbol sym;
        sym.name = r.CString(stroff + strx, uint64_t(stroff) + strsize);
        sym.address = is64 ? r.U64(e + 8) : r.U32(e + 8);
        if (!is64 && (desc & kNArmThumbDef)) sym.address |= 1;
        sym.external = (type & kNExt) != 0;
        slice.symbols.push_back(sym);
      }
    } else if (cmd == kLcDyldChainedFixups) {
      throw LoadError("chained fixups are not supported (the device's iOS 9.2 loader knows only LC_DYLD_INFO_ONLY)");
    }
    at += cmdsize;
  }
}

}  // namespace

const char *ArchName(Arch arch) { return arch == Arch::arm64 ? "arm64" : "armv7"; }

Arch ArchFromName(const std::string &name) {
  if (name == "arm64") return Arch::arm64;
  if (name == "armv7") return Arch::armv7;
  throw LoadError("unknown architecture '" + name + "' (arm64 or armv7)");
}

const Section *Slice::FindSection(const std::string &segment, const std::string &name) const {
  for (const Section &s : sections) {
    if (s.segment == segment && s.name == name) return &s;
  }
  return nullptr;
}

uint64_t Slice::SymbolAddress(const std::string &name) const {
  for (const Symbol &s : symbols) {
    if (s.name == name) return s.address;
  }
  throw LoadError("no symbol " + name + " in the image");
}

std::string Slice::LibraryOf(int ordinal) const {
  if (ordinal >= 1 && static_cast<size_t>(ordinal) <= libraries.size()) return libraries[ordinal - 1];
  if (ordinal == 0) return "(this image)";
  if (ordinal == -1) return "(main executable)";
  if (ordinal == -2) return "(flat lookup)";
  return "(library ordinal " + std::to_string(ordinal) + ")";
}

std::vector<Arch> ArchitecturesOf(const std::vector<uint8_t> &file) {
  std::vector<Arch> archs;
  if (IsFat(file)) {
    for (const FatEntry &e : FatEntries(file)) {
      Arch a;
      if (ArchOf(e.cpuType, e.cpuSubtype, &a)) archs.push_back(a);
    }
    return archs;
  }
  Reader r(file, "Mach-O header");
  const uint32_t magic = r.U32(0);
  if (magic != kMagic32 && magic != kMagic64) throw LoadError("not a Mach-O file (magic " + Hex(magic) + ")");
  Arch a;
  if (ArchOf(static_cast<int32_t>(r.U32(4)), static_cast<int32_t>(r.U32(8)), &a)) archs.push_back(a);
  return archs;
}

Slice ParseSlice(const std::vector<uint8_t> &file, Arch arch) {
  Slice slice;
  slice.arch = arch;
  if (IsFat(file)) {
    bool found = false;
    for (const FatEntry &e : FatEntries(file)) {
      Arch a;
      if (ArchOf(e.cpuType, e.cpuSubtype, &a) && a == arch) {
        slice.bytes.assign(file.begin() + e.offset, file.begin() + e.offset + e.size);
        found = true;
        break;
      }
    }
    if (!found) throw LoadError(std::string("the fat file has no ") + ArchName(arch) + " slice");
  } else {
    slice.bytes = file;
  }
  Reader r(slice.bytes, "Mach-O header");
  const uint32_t magic = r.U32(0);
  if (magic != kMagic32 && magic != kMagic64) throw LoadError("not a Mach-O file (magic " + Hex(magic) + ")");
  const int32_t cpuType = static_cast<int32_t>(r.U32(4));
  const int32_t cpuSubtype = static_cast<int32_t>(r.U32(8));
  Arch found;
  if (!ArchOf(cpuType, cpuSubtype, &found)) throw LoadError("unsupported " + CpuDescription(cpuType, cpuSubtype));
  if (found != arch) {
    throw LoadError(std::string("the file is ") + ArchName(found) + ", not " + ArchName(arch));
  }
  slice.pointerSize = magic == kMagic64 ? 8 : 4;
  if ((slice.pointerSize == 8) != (arch == Arch::arm64)) throw LoadError("header width does not match the cpu type");
  slice.fileType = r.U32(12);
  if (slice.fileType != kFileTypeDylib) {
    throw LoadError("not a dylib (file type " + std::to_string(slice.fileType) + ")");
  }
  ParseLoadCommands(slice);
  if (!slice.hasDyldInfo) throw LoadError("no LC_DYLD_INFO_ONLY: the loader has no rebases or binds to apply");
  if (slice.segments.empty()) throw LoadError("no segments");
  return slice;
}

std::vector<Rebase> DecodeRebases(const Slice &slice, const std::vector<uint8_t> &p) {
  const char *stream = "rebase opcodes";
  std::vector<Rebase> out;
  uint64_t segment = 0, address = 0;
  bool haveSegment = false;
  const uint64_t ptr = slice.pointerSize;
  auto emit = [&]() {
    if (!haveSegment) throw LoadError(std::string(stream) + ": rebase before a segment was set");
    CheckInSegment(slice, segment, address, stream);
    out.push_back(Rebase{address});
  };
  size_t i = 0;
  while (i < p.size()) {
    const uint8_t byte = p[i++];
    const uint8_t op = byte & 0xf0, imm = byte & 0x0f;
    switch (op) {
      case 0x00:  // DONE
        return out;
      case 0x10:  // SET_TYPE_IMM
        if (imm != 1) throw LoadError(std::string(stream) + ": rebase type " + std::to_string(imm) + " is not a pointer");
        break;
      case 0x20:  // SET_SEGMENT_AND_OFFSET_ULEB
        segment = imm;
        address = SegmentAddress(slice, segment, Uleb(p, i, stream), stream);
        haveSegment = true;
        break;
      case 0x30:  // ADD_ADDR_ULEB
        address += Uleb(p, i, stream);
        break;
      case 0x40:  // ADD_ADDR_IMM_SCALED
        address += imm * ptr;
        break;
      case 0x50:  // DO_REBASE_IMM_TIMES
        for (unsigned n = 0; n < imm; ++n, address += ptr) emit();
        break;
      case 0x60: {  // DO_REBASE_ULEB_TIMES
        uint64_t count = Uleb(p, i, stream);
        for (uint64_t n = 0; n < count; ++n, address += ptr) emit();
        break;
      }
      case 0x70:  // DO_REBASE_ADD_ADDR_ULEB
        emit();
        address += Uleb(p, i, stream) + ptr;
        break;
      case 0x80: {  // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB
        uint64_t count = Uleb(p, i, stream), skip = Uleb(p, i, stream);
        for (uint64_t n = 0; n < count; ++n) {
          emit();
          address += skip + ptr;
        }
        break;
      }
      default:
        throw LoadError(std::string(stream) + ": unknown opcode " + Hex(byte) + " at " + std::to_string(i - 1));
    }
  }
  return out;
}

std::vector<Bind> DecodeBinds(const Slice &slice, const std::vector<uint8_t> &p, bool lazy) {
  const char *stream = lazy ? "lazy bind opcodes" : "bind opcodes";
  std::vector<Bind> out;
  uint64_t segment = 0, address = 0;
  bool haveSegment = false;
  int ordinal = 0;
  int64_t addend = 0;
  std::string symbol;
  uint8_t symbolFlags = 0;
  const uint64_t ptr = slice.pointerSize;
  auto emit = [&]() {
    if (!haveSegment) throw LoadError(std::string(stream) + ": bind before a segment was set");
    if (symbol.empty()) throw LoadError(std::string(stream) + ": bind without a symbol");
    CheckInSegment(slice, segment, address, stream);
    out.push_back(Bind{address, symbol, ordinal, addend, lazy, (symbolFlags & 1) != 0});
  };
  size_t i = 0;
  while (i < p.size()) {
    const uint8_t byte = p[i++];
    const uint8_t op = byte & 0xf0, imm = byte & 0x0f;
    switch (op) {
      case 0x00:  // DONE: ends the stream, except that lazy binds separate their entries with it
        if (!lazy) return out;
        break;
      case 0x10:  // SET_DYLIB_ORDINAL_IMM
        ordinal = imm;
        break;
      case 0x20:  // SET_DYLIB_ORDINAL_ULEB
        ordinal = static_cast<int>(Uleb(p, i, stream));
        break;
      case 0x30:  // SET_DYLIB_SPECIAL_IMM
        ordinal = imm == 0 ? 0 : static_cast<int>(static_cast<int8_t>(0xf0 | imm));
        break;
      case 0x40: {  // SET_SYMBOL_TRAILING_FLAGS_IMM
        symbolFlags = imm;
        symbol.clear();
        while (i < p.size() && p[i] != 0) symbol.push_back(static_cast<char>(p[i++]));
        if (i >= p.size()) throw LoadError(std::string(stream) + ": symbol name runs past the end");
        ++i;
        break;
      }
      case 0x50:  // SET_TYPE_IMM
        if (imm != 1) throw LoadError(std::string(stream) + ": bind type " + std::to_string(imm) + " is not a pointer");
        break;
      case 0x60:  // SET_ADDEND_SLEB
        addend = Sleb(p, i, stream);
        break;
      case 0x70:  // SET_SEGMENT_AND_OFFSET_ULEB
        segment = imm;
        address = SegmentAddress(slice, segment, Uleb(p, i, stream), stream);
        haveSegment = true;
        break;
      case 0x80:  // ADD_ADDR_ULEB
        address += Uleb(p, i, stream);
        break;
      case 0x90:  // DO_BIND
        emit();
        address += ptr;
        break;
      case 0xa0:  // DO_BIND_ADD_ADDR_ULEB
        emit();
        address += Uleb(p, i, stream) + ptr;
        break;
      case 0xb0:  // DO_BIND_ADD_ADDR_IMM_SCALED
        emit();
        address += imm * ptr + ptr;
        break;
      case 0xc0: {  // DO_BIND_ULEB_TIMES_SKIPPING_ULEB
        uint64_t count = Uleb(p, i, stream), skip = Uleb(p, i, stream);
        for (uint64_t n = 0; n < count; ++n) {
          emit();
          address += skip + ptr;
        }
        break;
      }
      default:
        throw LoadError(std::string(stream) + ": unknown opcode " + Hex(byte) + " at " + std::to_string(i - 1));
    }
  }
  return out;
}

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw LoadError(path + ": cannot open");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw LoadError(path + ": read error");
  return bytes;
}

}  // namespace device
