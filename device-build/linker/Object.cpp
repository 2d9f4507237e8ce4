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

Relocation DecodeRelocation(const Reader &reader, uint64_t at) {
  uint32_t first = reader.U32(at + offsetof(RelocationInfo, address));
  uint32_t second = reader.U32(at + offsetof(RelocationInfo, info));
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

// Every offset, size and count of the object is checked against the file (and each command's fields
// against its cmdsize) before it is used; a refusal names the file and the field.
ObjectFile ReadObject(const std::string &path, const Bytes &file) {
  ObjectFile object;
  object.path = path;
  const Reader r(file, object.path.c_str());
  if (file.size() >= 4 && r.U32(0) == kMagic64) throw LinkError(path + ": not an armv7 object (a 64-bit Mach-O file)");
  if (file.size() < sizeof(MachHeader32) || r.U32(0) != kMagic32) throw LinkError(path + ": not a Mach-O object");
  const uint32_t cpu_type = r.U32(offsetof(MachHeader32, cputype));
  const uint32_t cpu_subtype = r.U32(offsetof(MachHeader32, cpusubtype));
  const uint32_t file_type = r.U32(offsetof(MachHeader32, filetype));
  if (cpu_type != kCpuTypeArm || cpu_subtype != kCpuSubtypeArmV7)
    throw LinkError(path + ": not an armv7 object (cpu type " + Hex(cpu_type) + ", subtype " + Hex(cpu_subtype) + ")");
  if (file_type != kFileObject) throw LinkError(path + ": not a relocatable object (file type " + Hex(file_type) + ")");
  const uint32_t commands = r.U32(offsetof(MachHeader32, ncmds));
  const uint32_t commands_size = r.U32(offsetof(MachHeader32, sizeofcmds));
  r.Need(sizeof(MachHeader32), commands_size, "the load commands (sizeofcmds)");
  const uint64_t commands_end = sizeof(MachHeader32) + uint64_t{commands_size};
  uint64_t at = sizeof(MachHeader32);
  uint32_t symbol_offset = 0, symbol_count = 0, string_offset = 0, string_size = 0;
  uint32_t indirect_offset = 0, indirect_count = 0;
  for (uint32_t c = 0; c < commands; ++c) {
    const std::string command = "load command " + std::to_string(c);
    if (at + sizeof(LoadCommand) > commands_end)
      throw LinkError(path + ": " + command + " of " + std::to_string(commands) + " (ncmds) runs past the load commands");
    uint32_t cmd = r.U32(at + offsetof(LoadCommand, cmd));
    uint32_t size = r.U32(at + offsetof(LoadCommand, cmdsize));
    if (size < sizeof(LoadCommand) || size > commands_end - at)
      throw LinkError(path + ": " + command + " has a bad size (cmdsize " + std::to_string(size) + ")");
    auto need_fields = [&](uint64_t fields) {
      if (size < fields)
        throw LinkError(path + ": " + command + ": cmdsize " + std::to_string(size) + " is shorter than its " +
                        std::to_string(fields) + " bytes of fields");
    };
    if (cmd == kSegment) {
      need_fields(sizeof(SegmentCommand32));
      uint32_t count = r.U32(at + offsetof(SegmentCommand32, nsects));
      if (uint64_t{count} * sizeof(Section32) > size - sizeof(SegmentCommand32))
        throw LinkError(path + ": " + command + ": its " + std::to_string(count) + " sections (nsects) overrun the command");
      for (uint32_t i = 0; i < count; ++i) {
        uint64_t h = at + sizeof(SegmentCommand32) + uint64_t{i} * sizeof(Section32);
        InputSection s;
        s.name = r.Name16(h + offsetof(Section32, sectname));
        s.segment = r.Name16(h + offsetof(Section32, segname));
        s.address = r.U32(h + offsetof(Section32, addr));
        s.size = r.U32(h + offsetof(Section32, size));
        uint32_t offset = r.U32(h + offsetof(Section32, offset));
        s.alignment_log2 = r.U32(h + offsetof(Section32, align));
        uint32_t reloc_offset = r.U32(h + offsetof(Section32, reloff));
        uint32_t reloc_count = r.U32(h + offsetof(Section32, nreloc));
        s.flags = r.U32(h + offsetof(Section32, flags));
        s.indirect_first = r.U32(h + offsetof(Section32, reserved1));
        if (s.alignment_log2 > 12) throw LinkError(path + ": section " + s.name + " asks for alignment 2^" + std::to_string(s.alignment_log2));
        if (!s.zerofill()) {
          r.Need(offset, s.size, "the contents of " + s.name + " (offset and size)");
          s.contents.assign(file.begin() + offset, file.begin() + offset + s.size);
        }
        r.Need(reloc_offset, uint64_t{reloc_count} * sizeof(RelocationInfo), "the relocations of " + s.name + " (reloff and nreloc)");
        for (uint32_t k = 0; k < reloc_count; ++k)
          s.relocations.push_back(DecodeRelocation(r, reloc_offset + uint64_t{k} * sizeof(RelocationInfo)));
        object.sections.push_back(std::move(s));
      }
    } else if (cmd == kSymtab) {
      need_fields(sizeof(SymtabCommand));
      symbol_offset = r.U32(at + offsetof(SymtabCommand, symoff));
      symbol_count = r.U32(at + offsetof(SymtabCommand, nsyms));
      string_offset = r.U32(at + offsetof(SymtabCommand, stroff));
      string_size = r.U32(at + offsetof(SymtabCommand, strsize));
    } else if (cmd == kDysymtab) {
      need_fields(sizeof(DysymtabCommand));
      indirect_offset = r.U32(at + offsetof(DysymtabCommand, indirectsymoff));
      indirect_count = r.U32(at + offsetof(DysymtabCommand, nindirectsyms));
    } else if (cmd == kVersionMinIphoneos || cmd == kBuildVersion || cmd == kDataInCode || cmd == kLinkerOption) {
      // The minimum OS is the output's own; data-in-code marks only help disassemblers; linker
      // options (auto-linked libraries) are ignored: every library comes from the stubs given.
    } else {
      throw LinkError(path + ": load command " + Hex(cmd) + " is not supported");
    }
    at += size;
  }
  r.Need(symbol_offset, uint64_t{symbol_count} * sizeof(Nlist32), "the symbol table (symoff and nsyms)");
  r.Need(string_offset, string_size, "the string table (stroff and strsize)");
  for (uint32_t i = 0; i < symbol_count; ++i) {
    uint64_t n = symbol_offset + uint64_t{i} * sizeof(Nlist32);
    InputSymbol sym;
    uint32_t name = r.U32(n + offsetof(Nlist32, strx));
    if (name >= string_size) throw LinkError(path + ": symbol " + std::to_string(i) + " has its name outside the string table");
    sym.name = r.CString(uint64_t{string_offset} + name, uint64_t{string_offset} + string_size);
    sym.type = r.U8(n + offsetof(Nlist32, type));
    sym.section = r.U8(n + offsetof(Nlist32, sect));
    sym.desc = r.U16(n + offsetof(Nlist32, desc));
    sym.value = r.U32(n + offsetof(Nlist32, value));
    if (sym.defined() && (sym.section == 0 || sym.section > object.sections.size()))
      throw LinkError(path + ": symbol " + sym.name + " names section " + std::to_string(sym.section) + ", which does not exist");
    if ((sym.type & kStab) == 0 && (sym.type & kTypeMask) != kInSection && (sym.type & kTypeMask) != kUndefined)
      throw LinkError(path + ": symbol " + sym.name + " is of a kind the linker does not support (type " + Hex(sym.type) + ")");
    if (sym.undefined() && sym.value != 0)
      throw LinkError(path + ": " + sym.name + " is a common (tentative) definition, which the linker does not support");
    object.symbols.push_back(std::move(sym));
  }
  r.Need(indirect_offset, uint64_t{indirect_count} * 4, "the indirect symbol table (indirectsymoff and nindirectsyms)");
  for (uint32_t i = 0; i < indirect_count; ++i) object.indirect_symbols.push_back(r.U32(indirect_offset + uint64_t{i} * 4));
  return object;
}

}  // namespace dwl
