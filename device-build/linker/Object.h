// An armv7 Mach-O relocatable object as the linker sees it: sections with their relocations,
// symbols, and the indirect symbols of its non-lazy pointer sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

namespace dwl {

struct Relocation {
  uint32_t address = 0;  // offset in the section
  uint32_t type = 0;
  uint32_t length = 0;   // log2 of the size, or the HALF kinds' hi/lo and Thumb/ARM bits
  bool pc_relative = false;
  bool external = false;
  bool scattered = false;
  uint32_t symbol_or_section = 0;  // symbol index (external) or 1-based section number
  uint32_t value = 0;              // scattered: the address the relocation refers to
};

struct InputSection {
  std::string segment;
  std::string name;
  uint32_t address = 0;
  uint32_t size = 0;
  uint32_t alignment_log2 = 0;
  uint32_t flags = 0;
  uint32_t indirect_first = 0;  // reserved1: first index into the indirect symbol table
  Bytes contents;               // empty for zero-fill sections
  std::vector<Relocation> relocations;

  uint32_t type() const;
  bool zerofill() const;
  bool contains(uint32_t object_address) const;
};

struct InputSymbol {
  std::string name;
  uint8_t type = 0;
  uint8_t section = 0;  // 1-based, 0 for none
  uint16_t desc = 0;
  uint32_t value = 0;

  bool external() const;
  bool private_extern() const;
  bool defined() const;
  bool undefined() const;
  bool weak() const;
  bool thumb() const;
};

struct ObjectFile {
  std::string path;
  std::vector<InputSection> sections;
  std::vector<InputSymbol> symbols;
  std::vector<uint32_t> indirect_symbols;

  // The section holding `object_address`; an address just past a section's end belongs to it only
  // when no section starts there. -1 when none holds it.
  int SectionContaining(uint32_t object_address) const;
  std::string Where(size_t section_index, uint32_t offset) const;
};

// Reads and checks one armv7 object; refuses anything else with the file named.
ObjectFile ReadObject(const std::string &path, const Bytes &file);

}  // namespace dwl
