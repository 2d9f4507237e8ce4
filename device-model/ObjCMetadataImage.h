// One slice of an app's Mach-O file as the metadata reader sees it: its segments and sections,
// bounded reads at virtual addresses, and every pointer resolved through the image's fix-ups
// (LC_DYLD_INFO opcodes or chained fix-ups) to an address in the image or a symbol of another.
#pragma once

#include "ObjCMetadata.h"

#include <unordered_map>

namespace device::objc {

struct ImageSegment {
  std::string name;
  uint64_t address = 0, memorySize = 0, fileOffset = 0, fileSize = 0;
  uint16_t chainedFormat = 0;  // the segment's chained pointer format, 0 without chained fix-ups
};

struct ImageSection {
  std::string segment, name;
  uint64_t address = 0, size = 0;
};

struct Import {
  std::string symbol;
  std::string library;  // empty for a special ordinal (flat or main-executable lookup)
};

// A pointer after fix-ups: an address in the image, or an import.
struct ResolvedPointer {
  uint64_t target = 0;
  const Import *import = nullptr;
};

class Image {
 public:
  // Parses the slice; throws ImageError naming what is wrong.
  Image(const std::vector<uint8_t> &file, Arch arch);

  Arch arch() const { return arch_; }
  unsigned pointerSize() const { return pointerSize_; }
  uint32_t fileType() const { return fileType_; }
  uint64_t size() const { return size_; }  // the slice's bytes
  const std::string &fixUps() const { return fixUps_; }
  // Every section of this name in a data segment (__DATA, __DATA_CONST, __DATA_DIRTY).
  std::vector<const ImageSection *> DataSections(const std::string &name) const;

  uint32_t Read32(uint64_t address) const;
  ResolvedPointer ReadPointer(uint64_t address) const;
  // A NUL-terminated name at `address`, refused when longer than `limit`.
  std::string ReadCString(uint64_t address, size_t limit = 4096) const;

 private:
  void SelectSlice(const std::vector<uint8_t> &file);
  void ParseLoadCommands();
  void DecodeBindOpcodes(const uint8_t *begin, size_t size, const char *stream);
  void DecodeChainedFixUps(uint64_t offset, uint64_t size);
  void WalkChain(const ImageSegment &segment, uint64_t address, uint32_t pageEnd);
  int SegmentIndexOf(uint64_t address, uint64_t size) const;
  const uint8_t *At(uint64_t address, uint64_t size, uint8_t *zeroFill) const;
  uint64_t RawPointer(uint64_t address) const;
  ResolvedPointer DecodeChained(const ImageSegment &segment, uint64_t raw) const;
  std::string LibraryOf(int64_t ordinal) const;

  Arch arch_;
  const uint8_t *bytes_ = nullptr;  // the slice, within the file
  uint64_t size_ = 0;
  unsigned pointerSize_ = 8;
  uint32_t fileType_ = 0;
  uint64_t imageBase_ = 0;  // the address of the Mach-O header: what chained offsets count from
  std::string fixUps_ = "none";
  std::vector<ImageSegment> segments_;
  std::vector<ImageSection> sections_;
  std::vector<std::string> libraries_;
  std::vector<Import> imports_;
  std::unordered_map<uint64_t, uint32_t> binds_;  // opcode binds: address -> import
  uint64_t lowestBind_ = UINT64_MAX, highestBind_ = 0;  // most reads fall outside, and skip the table
  std::vector<uint64_t> chainedLocations_;        // sorted addresses that chained fix-ups rewrite
  mutable int lastSegment_ = 0;
};

}  // namespace device::objc
