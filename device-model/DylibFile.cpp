#include "DylibFile.h"
#include "Text.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "ByteReader.h"
#include "MachOFormat.h"

namespace device {

namespace {

using namespace macho;

// The model's own reading of the file, on the shared bounded reader: the linker reads and writes
// with its own code, so that each checks the other.
using Reader = ByteReader<LoadError>;

struct FatEntry {
  uint32_t cpuType;
  uint32_t cpuSubtype;
  uint32_t offset;
  uint32_t size;
};

bool IsFat(const std::vector<uint8_t> &file) {
  if (file.size() < 8) return false;
  Reader r(file, "fat header");
  uint32_t magic = r.U32BigEndian(offsetof(FatHeader, magic));
  return magic == kFatMagic || magic == kFatMagic64;
}

std::vector<FatEntry> FatEntries(const std::vector<uint8_t> &file) {
  Reader r(file, "fat header");
  if (r.U32BigEndian(offsetof(FatHeader, magic)) == kFatMagic64) throw LoadError("fat header: 64-bit fat files are not supported");
  uint32_t count = r.U32BigEndian(offsetof(FatHeader, nfat_arch));
  if (count == 0 || count > 16) throw LoadError("fat header: implausible architecture count " + std::to_string(count));
  std::vector<FatEntry> entries;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = sizeof(FatHeader) + uint64_t(i) * sizeof(FatArch);
    FatEntry e{r.U32BigEndian(at + offsetof(FatArch, cputype)), r.U32BigEndian(at + offsetof(FatArch, cpusubtype)),
               r.U32BigEndian(at + offsetof(FatArch, offset)), r.U32BigEndian(at + offsetof(FatArch, size))};
    r.Need(e.offset, e.size, "architecture " + std::to_string(i) + "'s offset and size");
    entries.push_back(e);
  }
  return entries;
}

std::string CpuDescription(uint32_t cpuType, uint32_t cpuSubtype) {
  return "cpu type " + std::to_string(static_cast<int32_t>(cpuType)) + " subtype " +
         std::to_string(cpuSubtype & kCpuSubtypeMask);
}

// Where a rebase or bind stream points: a segment and an address in it, moved by the opcodes. Every
// pointer taken is checked to lie inside the part of the segment that the file fills (a pointer in
// zero-fill memory holds nothing to slide or bind), and a stream takes no more pointers than the
// file's segments hold: the opcodes' counts and skips cannot make more fixups than there are places.
class Location {
 public:
  Location(const Slice &slice, const char *stream, const char *fixup) : slice_(slice), stream_(stream), fixup_(fixup) {
    for (const Segment &s : slice.segments) limit_ += s.fileSize / slice.pointerSize;
  }

  void SetSegment(uint64_t index, uint64_t offset) {
    if (index >= slice_.segments.size()) {
      throw LoadError(std::string(stream_) + ": segment index " + std::to_string(index) + " out of range");
    }
    segment_ = index;
    address_ = slice_.segments[index].address + offset;
    haveSegment_ = true;
  }
  void Move(uint64_t delta) { address_ += delta; }

  void RequireSegment() const {
    if (!haveSegment_) throw LoadError(std::string(stream_) + ": " + fixup_ + " before a segment was set");
  }

  // The pointer at the location, checked; the location then moves past it and `skip` more bytes.
  uint64_t Take(uint64_t skip = 0) {
    RequireSegment();
    const Segment &segment = slice_.segments[segment_];
    const uint64_t address = address_;
    if (address < segment.address || segment.fileSize < slice_.pointerSize ||
        address - segment.address > segment.fileSize - slice_.pointerSize) {
      throw LoadError(std::string(stream_) + ": address " + Hex(address) + " lies outside segment " + segment.name +
                      "'s contents in the file");
    }
    if (++taken_ > limit_) {
      throw LoadError(std::string(stream_) + ": more " + fixup_ + "s than the " + std::to_string(limit_) +
                      " pointers the segments hold");
    }
    address_ += skip + slice_.pointerSize;
    return address;
  }

  [[noreturn]] void Unknown(uint8_t opcode, size_t at) const {
    throw LoadError(std::string(stream_) + ": unknown opcode " + Hex(opcode) + " at " + std::to_string(at));
  }

 private:
  const Slice &slice_;
  const char *stream_;
  const char *fixup_;
  uint64_t segment_ = 0, address_ = 0;
  bool haveSegment_ = false;
  uint64_t taken_ = 0, limit_ = 0;
};

// What a load command is, for messages.
std::string CommandName(uint32_t n, uint32_t cmd) {
  const char *name = cmd == kSegment64     ? "LC_SEGMENT_64"
                     : cmd == kSegment     ? "LC_SEGMENT"
                     : cmd == kLoadDylib   ? "LC_LOAD_DYLIB"
                     : cmd == kLoadWeakDylib ? "LC_LOAD_WEAK_DYLIB"
                     : cmd == kReexportDylib ? "LC_REEXPORT_DYLIB"
                     : cmd == kIdDylib     ? "LC_ID_DYLIB"
                     : cmd == kDyldInfo    ? "LC_DYLD_INFO"
                     : cmd == kDyldInfoOnly ? "LC_DYLD_INFO_ONLY"
                     : cmd == kSymtab      ? "LC_SYMTAB"
                                           : nullptr;
  return "load command " + std::to_string(n) + " (" + (name != nullptr ? std::string(name) : Hex(cmd)) + ")";
}

// A field that is 64 bits wide in the 64-bit record and 32 in the 32-bit one.
uint64_t WideField(const Reader &r, uint64_t at, size_t size) { return size == 8 ? r.U64(at) : r.U32(at); }

// One segment command and its sections, of either width.
template <typename Command, typename SectionRecord>
void ParseSegment(Slice &slice, const Reader &r, uint64_t at, uint64_t cmdsize) {
  Segment seg;
  seg.name = r.Name16(at + offsetof(Command, segname));
  seg.address = WideField(r, at + offsetof(Command, vmaddr), sizeof(Command::vmaddr));
  seg.memorySize = WideField(r, at + offsetof(Command, vmsize), sizeof(Command::vmsize));
  seg.fileOffset = WideField(r, at + offsetof(Command, fileoff), sizeof(Command::fileoff));
  seg.fileSize = WideField(r, at + offsetof(Command, filesize), sizeof(Command::filesize));
  seg.initialProtection = r.U32(at + offsetof(Command, initprot));
  const uint32_t nsects = r.U32(at + offsetof(Command, nsects));
  if (seg.fileSize > seg.memorySize) throw LoadError("segment " + seg.name + " is larger in the file than in memory");
  // Its pages, the last one rounded up, must fit below the top of the address space.
  constexpr uint64_t kRoom = UINT64_MAX - kPageSize;
  if (seg.address > kRoom || seg.memorySize > kRoom - seg.address) {
    throw LoadError("segment " + seg.name + ": vmaddr " + Hex(seg.address) + " and vmsize " + Hex(seg.memorySize) +
                    " wrap around the address space");
  }
  r.Need(seg.fileOffset, seg.fileSize, "segment " + seg.name + "'s fileoff and filesize");
  uint64_t sectAt = at + sizeof(Command);
  if (uint64_t(nsects) * sizeof(SectionRecord) > cmdsize - sizeof(Command)) {
    throw LoadError("segment " + seg.name + ": its " + std::to_string(nsects) + " sections (nsects) overrun the command");
  }
  for (uint32_t s = 0; s < nsects; ++s, sectAt += sizeof(SectionRecord)) {
    Section sect;
    sect.name = r.Name16(sectAt + offsetof(SectionRecord, sectname));
    sect.segment = r.Name16(sectAt + offsetof(SectionRecord, segname));
    sect.address = WideField(r, sectAt + offsetof(SectionRecord, addr), sizeof(SectionRecord::addr));
    sect.size = WideField(r, sectAt + offsetof(SectionRecord, size), sizeof(SectionRecord::size));
    sect.fileOffset = r.U32(sectAt + offsetof(SectionRecord, offset));
    sect.flags = r.U32(sectAt + offsetof(SectionRecord, flags));
    const std::string name = "section " + sect.segment + "," + sect.name;
    if (sect.address < seg.address || sect.size > seg.memorySize || sect.address - seg.address > seg.memorySize - sect.size) {
      throw LoadError(name + " lies outside its segment");
    }
    // A section with contents has them in the file, inside its segment's part of it.
    if (!sect.zeroFill()) {
      r.Need(sect.fileOffset, sect.size, name + "'s offset and size");
      if (sect.size > seg.fileSize || sect.address - seg.address > seg.fileSize - sect.size) {
        throw LoadError(name + " runs past its segment's contents in the file");
      }
    }
    slice.sections.push_back(sect);
  }
  slice.segments.push_back(seg);
}

void ParseLoadCommands(Slice &slice) {
  Reader r(slice.bytes, "Mach-O header");
  const bool is64 = slice.pointerSize == 8;
  const uint64_t headerSize = is64 ? sizeof(MachHeader64) : sizeof(MachHeader32);
  const uint32_t ncmds = r.U32(offsetof(MachHeader32, ncmds));
  const uint32_t sizeofcmds = r.U32(offsetof(MachHeader32, sizeofcmds));
  r.Need(headerSize, sizeofcmds, "the load commands (sizeofcmds)");
  uint64_t at = headerSize;
  const uint64_t end = headerSize + sizeofcmds;
  for (uint32_t n = 0; n < ncmds; ++n) {
    if (at + sizeof(LoadCommand) > end) {
      throw LoadError("load command " + std::to_string(n) + " runs past the load commands");
    }
    const uint32_t cmd = r.U32(at + offsetof(LoadCommand, cmd));
    const uint32_t cmdsize = r.U32(at + offsetof(LoadCommand, cmdsize));
    if (cmdsize < sizeof(LoadCommand) || at + cmdsize > end) {
      throw LoadError("load command " + std::to_string(n) + " has a bad size " + std::to_string(cmdsize));
    }
    // Each command read below is at least as long as its fixed fields.
    auto needFields = [&](uint64_t size) {
      if (cmdsize < size) {
        throw LoadError(CommandName(n, cmd) + ": cmdsize " + std::to_string(cmdsize) + " is shorter than its " +
                        std::to_string(size) + " bytes of fields");
      }
    };
    if (cmd == kSegment64) {
      needFields(sizeof(SegmentCommand64));
      ParseSegment<SegmentCommand64, Section64>(slice, r, at, cmdsize);
    } else if (cmd == kSegment) {
      needFields(sizeof(SegmentCommand32));
      ParseSegment<SegmentCommand32, Section32>(slice, r, at, cmdsize);
    } else if (cmd == kLoadDylib || cmd == kLoadWeakDylib || cmd == kReexportDylib || cmd == kIdDylib) {
      needFields(sizeof(DylibCommand));
      const uint32_t nameOffset = r.U32(at + offsetof(DylibCommand, name_offset));
      if (nameOffset < sizeof(DylibCommand) || nameOffset >= cmdsize) {
        throw LoadError(CommandName(n, cmd) + ": name offset " + std::to_string(nameOffset) + " lies outside the name's bytes (" +
                        std::to_string(sizeof(DylibCommand)) + " to " + std::to_string(cmdsize) + ")");
      }
      std::string name = r.CString(at + nameOffset, at + cmdsize);
      if (cmd == kIdDylib) {
        slice.installName = name;
      } else {
        slice.libraries.push_back(name);
      }
    } else if (cmd == kDyldInfo || cmd == kDyldInfoOnly) {
      needFields(sizeof(DyldInfoCommand));
      // Each stream is an offset field followed by its size field.
      auto blob = [&](uint64_t offsetField, const char *field) {
        uint32_t off = r.U32(at + offsetField), size = r.U32(at + offsetField + 4);
        r.Need(off, size, CommandName(n, cmd) + " " + field);
        return std::vector<uint8_t>(slice.bytes.begin() + off, slice.bytes.begin() + off + size);
      };
      slice.dyldInfo.rebase = blob(offsetof(DyldInfoCommand, rebase_off), "rebase_off and rebase_size");
      slice.dyldInfo.bind = blob(offsetof(DyldInfoCommand, bind_off), "bind_off and bind_size");
      slice.dyldInfo.weakBind = blob(offsetof(DyldInfoCommand, weak_bind_off), "weak_bind_off and weak_bind_size");
      slice.dyldInfo.lazyBind = blob(offsetof(DyldInfoCommand, lazy_bind_off), "lazy_bind_off and lazy_bind_size");
      slice.dyldInfo.exports = blob(offsetof(DyldInfoCommand, export_off), "export_off and export_size");
      slice.hasDyldInfo = true;
    } else if (cmd == kSymtab) {
      needFields(sizeof(SymtabCommand));
      const uint32_t symoff = r.U32(at + offsetof(SymtabCommand, symoff));
      const uint32_t nsyms = r.U32(at + offsetof(SymtabCommand, nsyms));
      const uint32_t stroff = r.U32(at + offsetof(SymtabCommand, stroff));
      const uint32_t strsize = r.U32(at + offsetof(SymtabCommand, strsize));
      const uint64_t entrySize = is64 ? sizeof(Nlist64) : sizeof(Nlist32);
      r.Need(symoff, uint64_t(nsyms) * entrySize, "the symbol table (symoff and nsyms)");
      r.Need(stroff, strsize, "the string table (stroff and strsize)");
      for (uint32_t s = 0; s < nsyms; ++s) {
        const uint64_t e = symoff + uint64_t(s) * entrySize;
        const uint32_t strx = r.U32(e + offsetof(Nlist32, strx));
        const uint8_t type = r.U8(e + offsetof(Nlist32, type));
        const uint16_t desc = r.U16(e + offsetof(Nlist32, desc));
        if ((type & kStab) != 0 || (type & kTypeMask) != kInSection || strx >= strsize) continue;
        Symbol sym;
        sym.name = r.CString(stroff + strx, uint64_t(stroff) + strsize);
        sym.address = is64 ? r.U64(e + offsetof(Nlist64, value)) : r.U32(e + offsetof(Nlist32, value));
        if (!is64 && (desc & kArmThumbDefinition)) sym.address |= 1;
        sym.external = (type & kExternal) != 0;
        slice.symbols.push_back(sym);
      }
    } else if (cmd == kDyldChainedFixups) {
      throw LoadError("chained fixups are not supported (the device's iOS 9.2 loader knows only LC_DYLD_INFO_ONLY)");
    }
    at += cmdsize;
  }
}

uint64_t PageEnd(uint64_t address, uint64_t size) { return (address + size + kPageSize - 1) & ~(kPageSize - 1); }

// The segments the loader maps: each on a page of its own, none overlapping another (pages
// included, as they are mapped), all within kMaxImageSpan of each other.
void CheckSegments(const Slice &slice) {
  std::vector<const Segment *> mapped;
  for (const Segment &s : slice.segments) {
    if (s.memorySize == 0) continue;
    if ((s.address & (kPageSize - 1)) != 0) throw LoadError("segment " + s.name + ": vmaddr " + Hex(s.address) + " is not page aligned");
    for (const Segment *other : mapped) {
      if (s.address < PageEnd(other->address, other->memorySize) && other->address < PageEnd(s.address, s.memorySize)) {
        throw LoadError("segments " + other->name + " and " + s.name + " overlap");
      }
    }
    mapped.push_back(&s);
  }
  if (mapped.empty()) return;
  uint64_t lowest = UINT64_MAX, highest = 0;
  for (const Segment *s : mapped) {
    lowest = std::min(lowest, s->address);
    highest = std::max(highest, s->address + s->memorySize);
  }
  if (highest - lowest > kMaxImageSpan) {
    throw LoadError("the segments span " + Hex(highest - lowest) + " bytes of memory, more than the model maps (" +
                    Hex(kMaxImageSpan) + ")");
  }
}

}  // namespace

bool Section::zeroFill() const {
  const uint32_t type = flags & kSectionTypeMask;
  return type == kZerofill || type == kGbZerofill || type == kThreadLocalZerofill;
}

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

const Segment *Slice::SegmentHolding(uint64_t address, uint64_t size) const {
  for (const Segment &s : segments) {
    if (s.memorySize != 0 && address >= s.address && size <= s.memorySize && address - s.address <= s.memorySize - size) {
      return &s;
    }
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
  if (ordinal == kOrdinalSelf) return "(this image)";
  if (ordinal == kOrdinalMainExecutable) return "(main executable)";
  if (ordinal == kOrdinalFlatLookup) return "(flat lookup)";
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
  const uint32_t magic = r.U32(offsetof(MachHeader32, magic));
  if (magic != kMagic32 && magic != kMagic64) throw LoadError("not a Mach-O file (magic " + Hex(magic) + ")");
  Arch a;
  if (ArchOf(r.U32(offsetof(MachHeader32, cputype)), r.U32(offsetof(MachHeader32, cpusubtype)), &a)) archs.push_back(a);
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
  const uint32_t magic = r.U32(offsetof(MachHeader32, magic));
  if (magic != kMagic32 && magic != kMagic64) throw LoadError("not a Mach-O file (magic " + Hex(magic) + ")");
  const uint32_t cpuType = r.U32(offsetof(MachHeader32, cputype));
  const uint32_t cpuSubtype = r.U32(offsetof(MachHeader32, cpusubtype));
  Arch found;
  if (!ArchOf(cpuType, cpuSubtype, &found)) throw LoadError("unsupported " + CpuDescription(cpuType, cpuSubtype));
  if (found != arch) {
    throw LoadError(std::string("the file is ") + ArchName(found) + ", not " + ArchName(arch));
  }
  slice.pointerSize = magic == kMagic64 ? 8 : 4;
  if ((slice.pointerSize == 8) != (arch == Arch::arm64)) throw LoadError("header width does not match the cpu type");
  slice.fileType = r.U32(offsetof(MachHeader32, filetype));
  if (slice.fileType != kFileDylib) {
    throw LoadError("not a dylib (file type " + std::to_string(slice.fileType) + ")");
  }
  ParseLoadCommands(slice);
  CheckSegments(slice);
  if (!slice.hasDyldInfo) throw LoadError("no LC_DYLD_INFO_ONLY: the loader has no rebases or binds to apply");
  if (slice.segments.empty()) throw LoadError("no segments");
  return slice;
}

std::vector<Rebase> DecodeRebases(const Slice &slice, const std::vector<uint8_t> &p) {
  const char *stream = "rebase opcodes";
  const Reader r(p, stream);
  Location at(slice, stream, "rebase");
  std::vector<Rebase> out;
  const uint64_t ptr = slice.pointerSize;
  // `count` pointers, each followed by `skip` bytes.
  auto rebase = [&](uint64_t count, uint64_t skip) {
    for (uint64_t n = 0; n < count; ++n) out.push_back(Rebase{at.Take(skip)});
  };
  size_t i = 0;
  while (i < p.size()) {
    const uint8_t byte = p[i++];
    const uint8_t imm = byte & kImmediateMask;
    switch (byte & kOpcodeMask) {
      case kRebaseDone:
        return out;
      case kRebaseSetTypeImm:
        if (imm != kRebaseTypePointer) throw LoadError(std::string(stream) + ": rebase type " + std::to_string(imm) + " is not a pointer");
        break;
      case kRebaseSetSegmentAndOffsetUleb:
        at.SetSegment(imm, r.Uleb(i));
        break;
      case kRebaseAddAddrUleb:
        at.Move(r.Uleb(i));
        break;
      case kRebaseAddAddrImmScaled:
        at.Move(imm * ptr);
        break;
      case kRebaseDoRebaseImmTimes:
        rebase(imm, 0);
        break;
      case kRebaseDoRebaseUlebTimes:
        rebase(r.Uleb(i), 0);
        break;
      case kRebaseDoRebaseAddAddrUleb:
        out.push_back(Rebase{at.Take()});
        at.Move(r.Uleb(i));
        break;
      case kRebaseDoRebaseUlebTimesSkippingUleb: {
        const uint64_t count = r.Uleb(i);
        rebase(count, r.Uleb(i));
        break;
      }
      default:
        at.Unknown(byte, i - 1);
    }
  }
  return out;
}

std::vector<Bind> DecodeBinds(const Slice &slice, const std::vector<uint8_t> &p, bool lazy) {
  const char *stream = lazy ? "lazy bind opcodes" : "bind opcodes";
  const Reader r(p, stream);
  Location at(slice, stream, "bind");
  std::vector<Bind> out;
  int ordinal = 0;
  int64_t addend = 0;
  std::string symbol;
  uint8_t symbolFlags = 0;
  const uint64_t ptr = slice.pointerSize;
  // `count` pointers to the symbol, each followed by `skip` bytes.
  auto bind = [&](uint64_t count, uint64_t skip) {
    for (uint64_t n = 0; n < count; ++n) {
      at.RequireSegment();
      if (symbol.empty()) throw LoadError(std::string(stream) + ": bind without a symbol");
      out.push_back(Bind{at.Take(skip), symbol, ordinal, addend, lazy, (symbolFlags & kBindSymbolWeakImport) != 0});
    }
  };
  size_t i = 0;
  while (i < p.size()) {
    const uint8_t byte = p[i++];
    const uint8_t imm = byte & kImmediateMask;
    switch (byte & kOpcodeMask) {
      case kBindDone:  // ends the stream, except that lazy binds separate their entries with it
        if (!lazy) return out;
        break;
      case kBindSetDylibOrdinalImm:
        ordinal = imm;
        break;
      case kBindSetDylibOrdinalUleb: {
        const uint64_t value = r.Uleb(i);
        if (value > kMaxLibraryOrdinal) throw LoadError(std::string(stream) + ": library ordinal " + std::to_string(value) + " out of range");
        ordinal = static_cast<int>(value);
        break;
      }
      case kBindSetDylibSpecialImm:
        ordinal = SpecialOrdinal(imm);
        break;
      case kBindSetSymbolTrailingFlagsImm: {
        symbolFlags = imm;
        symbol.clear();
        while (i < p.size() && p[i] != 0 && symbol.size() <= kMaxBoundSymbolName) symbol.push_back(static_cast<char>(p[i++]));
        if (symbol.size() > kMaxBoundSymbolName) {
          throw LoadError(std::string(stream) + ": symbol name longer than " + std::to_string(kMaxBoundSymbolName) + " bytes");
        }
        if (i >= p.size()) throw LoadError(std::string(stream) + ": symbol name runs past the end");
        ++i;
        break;
      }
      case kBindSetTypeImm:
        if (imm != kBindTypePointer) throw LoadError(std::string(stream) + ": bind type " + std::to_string(imm) + " is not a pointer");
        break;
      case kBindSetAddendSleb:
        addend = r.Sleb(i);
        break;
      case kBindSetSegmentAndOffsetUleb:
        at.SetSegment(imm, r.Uleb(i));
        break;
      case kBindAddAddrUleb:
        at.Move(r.Uleb(i));
        break;
      case kBindDoBind:
        bind(1, 0);
        break;
      case kBindDoBindAddAddrUleb:
        bind(1, 0);
        at.Move(r.Uleb(i));
        break;
      case kBindDoBindAddAddrImmScaled:
        bind(1, imm * ptr);
        break;
      case kBindDoBindUlebTimesSkippingUleb: {
        const uint64_t count = r.Uleb(i);
        bind(count, r.Uleb(i));
        break;
      }
      default:
        at.Unknown(byte, i - 1);
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
