#include "Object.h"

#include "MachOFormat.h"

namespace dwl {

using namespace macho;

uint32_t InputSection::type() const { return flags & kSectionTypeMask; }
bool InputSection::zerofill() const { return type() == kZerofill; }
bool InputSection::contains(uint32_t object_address) const {
  return object_address >= address && object_address - address < size;
}

bool InputSymbol::external() const { return (type & kExternal) != 0; }
bool InputSymbol::private_extern() const { return (type & kPrivateExtern) != 0; }
bool InputSymbol::defined() const { return (type & kStab) == 0 && (type & kTypeMask) == kInSection; }
bool InputSymbol::undefined() const { return (type & kStab) == 0 && (type & kTypeMask) == kUndefined; }
bool InputSymbol::weak() const { return (desc & kWeakDefinition) != 0; }
bool InputSymbol::thumb() const { return (desc & kArmThumbDefinition) != 0; }

int ObjectFile::SectionContaining(uint32_t object_address) const {
  for (size_t i = 0; i < sections.size(); ++i)
    if (sections[i].contains(object_address)) return static_cast<int>(i);
  for (size_t i = 0; i < sections.size(); ++i)
    if (sections[i].address + sections[i].size == object_address) return static_cast<int>(i);
  return -1;
}

std::string ObjectFile::Where(size_t section_index, uint32_t offset) const {
  const InputSection &s = sections.at(section_index);
  return path + ": (" + s.segment + "," + s.name + ")+" + Hex(offset);
}

namespace {

std::string FixedName(const Bytes &file, size_t at) {
  std::string name;
  for (size_t i = 0; i < 16 && at + i < file.size() && file[at + i] != 0; ++i) name += static_cast<char>(file[at + i]);
  return name;
}

void CheckRange(const std::string &path, const Bytes &file, uint64_t offset, uint64_t size, const char *what) {
  if (offset + size > file.size()) throw LinkError(path + ": " + what + " lies beyond the end of the file");
}

Relocation DecodeRelocation(const Bytes &file, size_t at) {
  uint32_t first = Read32(file, at + offsetof(RelocationInfo, address));
  uint32_t second = Read32(file, at + offsetof(RelocationInfo, info));
  Relocation r;
  if ((first & 0x80000000u) != 0) {
    r.scattered = true;
    r.address = first & 0xffffff;
    r.type = (first >> 24) & 0xf;
    r.length = (first >> 28) & 3;
    r.pc_relative = ((first >> 30) & 1) != 0;
    r.value = second;
  } else {
    r.address = first;
    r.symbol_or_section = second & 0xffffff;
    r.pc_relative = ((second >> 24) & 1) != 0;
    r.length = (second >> 25) & 3;
    r.external = ((second >> 27) & 1) != 0;
    r.type = second >> 28;
  }
  return r;
}

}  // namespace

ObjectFile ReadObject(const std::string &path, const Bytes &file) {
  ObjectFile object;
  object.path = path;
  if (file.size() >= 4 && Read32(file, 0) == kMagic64) throw LinkError(path + ": not an armv7 object (a 64-bit Mach-O file)");
  if (file.size() < sizeof(MachHeader32) || Read32(file, 0) != kMagic32) throw LinkError(path + ": not a Mach-O object");
  const uint32_t cpu_type = Read32(file, offsetof(MachHeader32, cputype));
  const uint32_t cpu_subtype = Read32(file, offsetof(MachHeader32, cpusubtype));
  const uint32_t file_type = Read32(file, offsetof(MachHeader32, filetype));
  if (cpu_type != kCpuTypeArm || cpu_subtype != kCpuSubtypeArmV7)
    throw LinkError(path + ": not an armv7 object (cpu type " + Hex(cpu_type) + ", subtype " + Hex(cpu_subtype) + ")");
  if (file_type != kFileObject) throw LinkError(path + ": not a relocatable object (file type " + Hex(file_type) + ")");
  uint32_t commands = Read32(file, offsetof(MachHeader32, ncmds));
  size_t at = sizeof(MachHeader32);
  uint32_t symbol_offset = 0, symbol_count = 0, string_offset = 0, string_size = 0;
  uint32_t indirect_offset = 0, indirect_count = 0;
  for (uint32_t c = 0; c < commands; ++c) {
    uint32_t cmd = Read32(file, at + offsetof(LoadCommand, cmd));
    uint32_t size = Read32(file, at + offsetof(LoadCommand, cmdsize));
    if (size < sizeof(LoadCommand)) throw LinkError(path + ": load command " + std::to_string(c) + " is malformed");
    CheckRange(path, file, at, size, "a load command");
    if (cmd == kSegment) {
      uint32_t count = Read32(file, at + offsetof(SegmentCommand32, nsects));
      CheckRange(path, file, at + sizeof(SegmentCommand32), uint64_t{count} * sizeof(Section32), "a section header");
      for (uint32_t i = 0; i < count; ++i) {
        size_t h = at + sizeof(SegmentCommand32) + i * sizeof(Section32);
        InputSection s;
        s.name = FixedName(file, h + offsetof(Section32, sectname));
        s.segment = FixedName(file, h + offsetof(Section32, segname));
        s.address = Read32(file, h + offsetof(Section32, addr));
        s.size = Read32(file, h + offsetof(Section32, size));
        uint32_t offset = Read32(file, h + offsetof(Section32, offset));
        s.alignment_log2 = Read32(file, h + offsetof(Section32, align));
        uint32_t reloc_offset = Read32(file, h + offsetof(Section32, reloff));
        uint32_t reloc_count = Read32(file, h + offsetof(Section32, nreloc));
        s.flags = Read32(file, h + offsetof(Section32, flags));
        s.indirect_first = Read32(file, h + offsetof(Section32, reserved1));
        if (s.alignment_log2 > 12) throw LinkError(path + ": section " + s.name + " asks for alignment 2^" + std::to_string(s.alignment_log2));
        if (!s.zerofill()) {
          CheckRange(path, file, offset, s.size, ("the contents of " + s.name).c_str());
          s.contents.assign(file.begin() + offset, file.begin() + offset + s.size);
        }
        CheckRange(path, file, reloc_offset, uint64_t{reloc_count} * sizeof(RelocationInfo),
                   ("the relocations of " + s.name).c_str());
        for (uint32_t r = 0; r < reloc_count; ++r)
          s.relocations.push_back(DecodeRelocation(file, reloc_offset + r * sizeof(RelocationInfo)));
        object.sections.push_back(std::move(s));
      }
    } else if (cmd == kSymtab) {
      symbol_offset = Read32(file, at + offsetof(SymtabCommand, symoff));
      symbol_count = Read32(file, at + offsetof(SymtabCommand, nsyms));
      string_offset = Read32(file, at + offsetof(SymtabCommand, stroff));
      string_size = Read32(file, at + offsetof(SymtabCommand, strsize));
    } else if (cmd == kDysymtab) {
      indirect_offset = Read32(file, at + offsetof(DysymtabCommand, indirectsymoff));
      indirect_count = Read32(file, at + offsetof(DysymtabCommand, nindirectsyms));
    } else if (cmd == kVersionMinIphoneos || cmd == kBuildVersion || cmd == kDataInCode || cmd == kLinkerOption) {
      // The minimum OS is the output's own; data-in-code marks only help disassemblers; linker
      // options (auto-linked libraries) are ignored: every library comes from the stubs given.
    } else {
      throw LinkError(path + ": load command " + Hex(cmd) + " is not supported");
    }
    at += size;
  }
  CheckRange(path, file, symbol_offset, uint64_t{symbol_count} * sizeof(Nlist32), "the symbol table");
  CheckRange(path, file, string_offset, string_size, "the string table");
  for (uint32_t i = 0; i < symbol_count; ++i) {
    size_t n = symbol_offset + i * sizeof(Nlist32);
    InputSymbol sym;
    uint32_t name = Read32(file, n + offsetof(Nlist32, strx));
    if (name >= string_size) throw LinkError(path + ": symbol " + std::to_string(i) + " has its name outside the string table");
    for (size_t p = string_offset + name; p < string_offset + string_size && file[p] != 0; ++p) sym.name += static_cast<char>(file[p]);
    sym.type = file[n + offsetof(Nlist32, type)];
    sym.section = file[n + offsetof(Nlist32, sect)];
    sym.desc = Read16(file, n + offsetof(Nlist32, desc));
    sym.value = Read32(file, n + offsetof(Nlist32, value));
    if (sym.defined() && (sym.section == 0 || sym.section > object.sections.size()))
      throw LinkError(path + ": symbol " + sym.name + " names section " + std::to_string(sym.section) + ", which does not exist");
    if ((sym.type & kStab) == 0 && (sym.type & kTypeMask) != kInSection && (sym.type & kTypeMask) != kUndefined)
      throw LinkError(path + ": symbol " + sym.name + " is of a kind the linker does not support (type " + Hex(sym.type) + ")");
    if (sym.undefined() && sym.value != 0)
      throw LinkError(path + ": " + sym.name + " is a common (tentative) definition, which the linker does not support");
    object.symbols.push_back(std::move(sym));
  }
  CheckRange(path, file, indirect_offset, uint64_t{indirect_count} * 4, "the indirect symbol table");
  for (uint32_t i = 0; i < indirect_count; ++i) object.indirect_symbols.push_back(Read32(file, indirect_offset + i * 4));
  return object;
}

}  // namespace dwl
