// What the dynamic loader reads from __LINKEDIT: rebase and bind opcodes and the export trie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

namespace dwl {

struct SegmentOffset {
  uint32_t segment = 0;  // index of the segment's load command
  uint64_t offset = 0;   // from the segment's start
};

struct BindEntry {
  SegmentOffset where;
  uint32_t library = 0;  // 1-based load command order of the library
  std::string symbol;
  int64_t addend = 0;
};

struct ExportEntry {
  std::string name;
  uint64_t address = 0;  // from the image's base, the Thumb bit included for Thumb functions
};

// Pointer-sized rebases at each location; runs of adjacent pointers share one opcode.
Bytes RebaseOpcodes(std::vector<SegmentOffset> locations, uint32_t pointer_size);
// Non-lazy binds, grouped by library, symbol and addend.
Bytes BindOpcodes(std::vector<BindEntry> binds, uint32_t pointer_size);
// The trie of regular exports, padded to the pointer size.
Bytes ExportTrie(std::vector<ExportEntry> exports, uint32_t pointer_size);

}  // namespace dwl
