// The file the linker writes: the Mach-O header and load commands, the sections at their
// addresses, and __LINKEDIT (opcodes, export trie, symbol tables, strings), with an empty
// LC_CODE_SIGNATURE at its end for SignAdhoc to fill.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Link.h"
#include "MachOFormat.h"

namespace dwl {

struct ImageSection {
  std::string segment;
  std::string name;
  uint32_t flags = 0;
  uint32_t alignment_log2 = 0;
  uint32_t address = 0;
  uint32_t size = 0;
  uint32_t reserved1 = 0;
  uint32_t reserved2 = 0;
  Bytes contents;
  bool zerofill() const { return (flags & macho::kSectionTypeMask) == macho::kZerofill; }
  bool text() const { return segment == "__TEXT"; }
};

struct ImageSymbol {
  std::string name;
  uint8_t type;
  uint8_t section;  // 1-based, in load command order
  uint16_t desc;
  uint32_t value;
};

// Where the sections went: __TEXT from 0, __DATA (if any) right after it; file offsets equal
// addresses in both.
struct DylibLayout {
  const std::vector<ImageSection> &sections;  // __TEXT's first, in load command order
  uint32_t text_size;
  uint32_t data_start;
  uint32_t data_file_size;
  uint32_t data_vm_size;
  bool has_data;
};

struct DylibContents {
  std::vector<ImageSymbol> symbols;  // locals, then exports, then imports
  uint32_t local_count = 0;
  uint32_t export_count = 0;
  uint32_t import_count = 0;
  std::vector<uint32_t> indirect;  // the stubs' entries, then the pointers'
  Bytes rebase;
  Bytes bind;
  Bytes trie;
};

// The size of the load commands for these sections and libraries; the first section starts after them.
uint32_t LoadCommandsSize(const std::vector<ImageSection> &sections, const std::vector<DylibStub> &libraries,
                          const std::string &install_name);

Bytes WriteDylib(const DylibLayout &layout, const DylibContents &contents, const std::vector<DylibStub> &libraries,
                 const LinkOptions &options);

}  // namespace dwl
