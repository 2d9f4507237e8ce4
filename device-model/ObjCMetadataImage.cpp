#include "ObjCMetadataImage.h"

#include "ByteReader.h"
#include "Hex.h"
#include "MachOFormat.h"
#include "ObjCMetadataFormat.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fstream>

namespace device::objc {

using namespace macho;
using namespace objcformat;

namespace {

uint32_t Little32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Little64(const uint8_t *p) { return uint64_t(Little32(p)) | uint64_t(Little32(p + 4)) << 32; }

// The slice's own bytes (offsets, not addresses), every read bounded; a refusal names the field.
using SliceReader = ByteReader<ImageError>;
constexpr const char *kSliceBytes = "the file is truncated or corrupt";

struct FatSlice {
  bool known;  // arm64 or armv7
  Arch arch;
  uint64_t offset, size;
};

// The slices of a fat file, each checked to lie inside it; empty for a thin file.
std::vector<FatSlice> FatSlices(const std::vector<uint8_t> &file) {
  if (file.size() < 8) throw ImageError("the file is " + std::to_string(file.size()) + " bytes long: not a Mach-O file");
  std::vector<FatSlice> out;
  const SliceReader fat(file, kSliceBytes);
  const uint32_t fatMagic = fat.U32BigEndian(0);
  if (fatMagic != kFatMagic && fatMagic != kFatMagic64) return out;
  const bool wide = fatMagic == kFatMagic64;
  const uint32_t count = fat.U32BigEndian(4);
  const uint64_t entrySize = wide ? 32 : 20;
  if (count == 0 || count > 32 || 8 + count * entrySize > file.size()) {
    throw ImageError("the fat header's architecture count " + std::to_string(count) + " does not fit the file");
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t e = 8 + i * entrySize;
    FatSlice slice{false, Arch::arm64, wide ? fat.U64BigEndian(e + 8) : fat.U32BigEndian(e + 8),
                   wide ? fat.U64BigEndian(e + 16) : fat.U32BigEndian(e + 12)};
    slice.known = ArchOf(fat.U32BigEndian(e), fat.U32BigEndian(e + 4), &slice.arch);
    if (slice.offset > file.size() || slice.size > file.size() - slice.offset) {
      throw ImageError("the fat file's slice " + std::to_string(i) + " lies beyond the end of the file");
    }
    out.push_back(slice);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> ReadImageFile(const std::string &path) {
  // One read of the whole file: an app's executable runs to a hundred megabytes.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw ImageError(path + ": cannot be read");
  const std::streamoff size = in.tellg();
  if (size < 0) throw ImageError(path + ": cannot be read");
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char *>(bytes.data()), size)) throw ImageError(path + ": cannot be read");
  return bytes;
}

std::vector<Arch> SlicesOf(const std::vector<uint8_t> &file) {
  std::vector<Arch> out;
  const std::vector<FatSlice> fat = FatSlices(file);
  for (const FatSlice &slice : fat) {
    if (slice.known && std::find(out.begin(), out.end(), slice.arch) == out.end()) out.push_back(slice.arch);
  }
  if (!fat.empty()) return out;
  if (file.size() < 12) throw ImageError("the file is " + std::to_string(file.size()) + " bytes long: not a Mach-O file");
  const SliceReader thin(file, kSliceBytes);
  const uint32_t magic = thin.U32(0);
  if (magic != kMagic32 && magic != kMagic64) throw ImageError("not a Mach-O file (magic " + Hex(magic) + ")");
  Arch a;
  if (ArchOf(thin.U32(4), thin.U32(8), &a)) out.push_back(a);
  return out;
}

Image::Image(const std::vector<uint8_t> &file, Arch arch) : arch_(arch) {
  SelectSlice(file);
  ParseLoadCommands();
}

void Image::SelectSlice(const std::vector<uint8_t> &file) {
  bytes_ = file.data();
  size_ = file.size();
  const std::vector<FatSlice> fat = FatSlices(file);
  if (!fat.empty()) {
    auto slice = std::find_if(fat.begin(), fat.end(), [&](const FatSlice &s) { return s.known && s.arch == arch_; });
    if (slice == fat.end()) throw ImageError(std::string("the fat file has no ") + ArchName(arch_) + " slice");
    bytes_ = file.data() + slice->offset;
    size_ = slice->size;
  }
  SliceReader r(bytes_, size_, kSliceBytes);
  const uint32_t magic = r.U32(0, "the Mach-O header");
  if (magic != kMagic32 && magic != kMagic64) throw ImageError("not a Mach-O file (magic " + Hex(magic) + ")");
  Arch found;
  const uint32_t cpuType = r.U32(4, "the Mach-O header"), cpuSubtype = r.U32(8, "the Mach-O header");
  if (!ArchOf(cpuType, cpuSubtype, &found)) {
    throw ImageError("unsupported cpu type " + std::to_string(cpuType) + " subtype " +
                     std::to_string(cpuSubtype & kCpuSubtypeMask) + " (arm64 or armv7)");
  }
  if (found != arch_) throw ImageError(std::string("the file is ") + ArchName(found) + ", not " + ArchName(arch_));
  pointerSize_ = magic == kMagic64 ? 8 : 4;
  if ((pointerSize_ == 8) != (arch_ == Arch::arm64)) throw ImageError("the header's width does not match its cpu type");
  fileType_ = r.U32(12, "the Mach-O header");
}

std::string Image::LibraryOf(int64_t ordinal) const {
  if (ordinal >= 1 && static_cast<uint64_t>(ordinal) <= libraries_.size()) return libraries_[ordinal - 1];
  return "";
}

void Image::ParseLoadCommands() {
  SliceReader r(bytes_, size_, kSliceBytes);
  const bool wide = pointerSize_ == 8;
  const uint64_t headerSize = wide ? 32 : 28;
  const uint32_t count = r.U32(16, "the Mach-O header"), commandsSize = r.U32(20, "the Mach-O header");
  r.Need(headerSize, commandsSize, "the load commands");
  const uint64_t end = headerSize + commandsSize;
  uint64_t bindOffset = 0, bindSize = 0, lazyOffset = 0, lazySize = 0, chainedOffset = 0, chainedSize = 0;
  bool dyldInfo = false, chained = false;
  uint64_t at = headerSize;
  for (uint32_t n = 0; n < count; ++n) {
    if (at + 8 > end) throw ImageError("load command " + std::to_string(n) + " runs past the load commands");
    const uint32_t cmd = r.U32(at, "a load command"), size = r.U32(at + 4, "a load command");
    if (size < 8 || size > end - at) throw ImageError("load command " + std::to_string(n) + " has a bad size " + std::to_string(size));
    if (cmd == kSegment || cmd == kSegment64) {
      const bool seg64 = cmd == kSegment64;
      ImageSegment seg;
      seg.name = r.Name16(at + 8);
      const uint64_t commandSize = seg64 ? sizeof(SegmentCommand64) : sizeof(SegmentCommand32);
      if (size < commandSize) throw ImageError("segment command " + seg.name + " is too short");
      // The 64-bit command widens the addresses and sizes, and so moves every field after them.
      auto field = [&](size_t at32, size_t at64) -> uint64_t {
        return seg64 ? r.U64(at + at64, "a segment") : r.U32(at + at32, "a segment");
      };
      seg.address = field(offsetof(SegmentCommand32, vmaddr), offsetof(SegmentCommand64, vmaddr));
      seg.memorySize = field(offsetof(SegmentCommand32, vmsize), offsetof(SegmentCommand64, vmsize));
      seg.fileOffset = field(offsetof(SegmentCommand32, fileoff), offsetof(SegmentCommand64, fileoff));
      seg.fileSize = field(offsetof(SegmentCommand32, filesize), offsetof(SegmentCommand64, filesize));
      const uint32_t sections =
          r.U32(at + (seg64 ? offsetof(SegmentCommand64, nsects) : offsetof(SegmentCommand32, nsects)), "a segment");
      uint64_t sectionAt = at + commandSize;
      if (seg.fileSize > seg.memorySize) throw ImageError("segment " + seg.name + " is larger in the file than in memory");
      if (seg.address + seg.memorySize < seg.address) throw ImageError("segment " + seg.name + " wraps around the address space");
      r.Need(seg.fileOffset, seg.fileSize, "segment " + seg.name);
      const uint64_t sectionSize = seg64 ? 80 : 68;
      if (uint64_t(sections) * sectionSize > at + size - sectionAt) throw ImageError("segment " + seg.name + ": its sections overrun the command");
      for (uint32_t s = 0; s < sections; ++s, sectionAt += sectionSize) {
        ImageSection sect;
        sect.name = r.Name16(sectionAt);
        sect.segment = r.Name16(sectionAt + 16);
        sect.address = seg64 ? r.U64(sectionAt + 32, "a section") : r.U32(sectionAt + 32, "a section");
        sect.size = seg64 ? r.U64(sectionAt + 40, "a section") : r.U32(sectionAt + 36, "a section");
        if (sect.address < seg.address || sect.size > seg.memorySize || sect.address - seg.address > seg.memorySize - sect.size) {
          throw ImageError("section " + sect.segment + "," + sect.name + " lies outside its segment");
        }
        sections_.push_back(sect);
      }
      if (seg.fileOffset == 0 && seg.fileSize != 0) imageBase_ = seg.address;
      segments_.push_back(seg);
    } else if (cmd == kLoadDylib || cmd == kLoadWeakDylib || cmd == kReexportDylib || cmd == kLazyLoadDylib ||
               cmd == kLoadUpwardDylib) {
      const uint32_t nameOffset = r.U32(at + 8, "a dylib command");
      if (nameOffset >= size) throw ImageError("a dylib load command has a bad name offset");
      libraries_.push_back(r.TerminatedString(at + nameOffset, at + size, "a library name"));
    } else if (cmd == kDyldInfo || cmd == kDyldInfoOnly) {
      if (size < 48) throw ImageError("the dyld info command is too short");
      bindOffset = r.U32(at + 16, "dyld info");
      bindSize = r.U32(at + 20, "dyld info");
      lazyOffset = r.U32(at + 32, "dyld info");
      lazySize = r.U32(at + 36, "dyld info");
      r.Need(bindOffset, bindSize, "the bind opcodes");
      r.Need(lazyOffset, lazySize, "the lazy bind opcodes");
      dyldInfo = true;
    } else if (cmd == kDyldChainedFixups) {
      chainedOffset = r.U32(at + 8, "the chained fix-ups command");
      chainedSize = r.U32(at + 12, "the chained fix-ups command");
      r.Need(chainedOffset, chainedSize, "the chained fix-ups");
      chained = true;
    } else if (cmd == kEncryptionInfo || cmd == kEncryptionInfo64) {
      if (size < 20) throw ImageError("the encryption info command is too short");
      if (r.U32(at + 16, "the encryption info") != 0) throw ImageError("encrypted: decrypt the app first");
    }
    at += size;
  }
  if (segments_.empty()) throw ImageError("the image has no segments");
  if (dyldInfo) {
    fixUps_ = "dyld info opcodes";
    DecodeBindOpcodes(bytes_ + bindOffset, bindSize, "bind opcodes");
    DecodeBindOpcodes(bytes_ + lazyOffset, lazySize, "lazy bind opcodes");
  }
  if (chained) {
    fixUps_ = dyldInfo ? "dyld info opcodes and chained fix-ups" : "chained fix-ups";
    DecodeChainedFixUps(chainedOffset, chainedSize);
  }
}

void Image::DecodeBindOpcodes(const uint8_t *p, size_t size, const char *stream) {
  const bool lazy = std::strcmp(stream, "lazy bind opcodes") == 0;
  uint64_t address = 0;
  int segment = -1;
  int64_t ordinal = 0;
  uint32_t import = UINT32_MAX;
  auto bind = [&]() {
    if (segment < 0) throw ImageError(std::string(stream) + ": a bind before any segment was set");
    if (import == UINT32_MAX) throw ImageError(std::string(stream) + ": a bind without a symbol");
    const ImageSegment &seg = segments_[segment];
    if (address < seg.address || address + pointerSize_ > seg.address + seg.memorySize) {
      throw ImageError(std::string(stream) + ": address " + Hex(address) + " lies outside segment " + seg.name);
    }
    imports_[import].library = LibraryOf(ordinal);
    binds_[address] = import;
    lowestBind_ = std::min(lowestBind_, address);
    highestBind_ = std::max(highestBind_, address);
  };
  auto repeat = [&](uint64_t times, uint64_t step) {
    // Each bind lands inside a segment, so more binds than pointers in the file are corrupt.
    if (times > size_ / pointerSize_ + 1) throw ImageError(std::string(stream) + ": a repeat count of " + std::to_string(times));
    for (uint64_t n = 0; n < times; ++n, address += step) bind();
  };
  // Imports are shared by name and library: one record per bind would be wasteful.
  std::unordered_map<std::string, uint32_t> byName;
  imports_.reserve(imports_.size() + 64);
  const ByteReader<ImageError> opcodes(p, size, stream);
  size_t i = 0;
  while (i < size) {
    const uint8_t byte = p[i++];
    const uint8_t op = byte & kOpcodeMask, imm = byte & kImmediateMask;
    switch (op) {
      case kBindDone:
        if (!lazy) return;
        break;
      case kBindSetDylibOrdinalImm:
        ordinal = imm;
        break;
      case kBindSetDylibOrdinalUleb:
        ordinal = static_cast<int64_t>(opcodes.Uleb(i));
        break;
      case kBindSetDylibSpecialImm:
        ordinal = imm == 0 ? 0 : static_cast<int8_t>(0xf0 | imm);
        break;
      case kBindSetSymbolTrailingFlagsImm: {
        const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(p + i, 0, size - i));
        if (nul == nullptr) throw ImageError(std::string(stream) + ": a symbol name runs past the end");
        std::string name(p + i, nul);
        i = static_cast<size_t>(nul - p) + 1;
        auto [it, added] = byName.emplace(name, static_cast<uint32_t>(imports_.size()));
        if (added) imports_.push_back(Import{name, ""});
        import = it->second;
        break;
      }
      case kBindSetTypeImm:
        if (imm != kBindTypePointer) throw ImageError(std::string(stream) + ": bind type " + std::to_string(imm) + " is not a pointer");
        break;
      case kBindSetAddendSleb:
        opcodes.Sleb(i);  // class references carry no addend; the reader needs only the name
        break;
      case kBindSetSegmentAndOffsetUleb:
        if (imm >= segments_.size()) throw ImageError(std::string(stream) + ": segment " + std::to_string(imm) + " does not exist");
        segment = imm;
        address = segments_[imm].address + opcodes.Uleb(i);
        break;
      case kBindAddAddrUleb:
        address += opcodes.Uleb(i);
        break;
      case kBindDoBind:
        repeat(1, pointerSize_);
        break;
      case kBindDoBindAddAddrUleb: {
        bind();
        address += opcodes.Uleb(i) + pointerSize_;
        break;
      }
      case kBindDoBindAddAddrImmScaled:
        bind();
        address += uint64_t(imm) * pointerSize_ + pointerSize_;
        break;
      case kBindDoBindUlebTimesSkippingUleb: {
        const uint64_t times = opcodes.Uleb(i), skip = opcodes.Uleb(i);
        repeat(times, skip + pointerSize_);
        break;
      }
      default:
        throw ImageError(std::string(stream) + ": unknown opcode " + Hex(byte) + " at " + std::to_string(i - 1));
    }
  }
}

void Image::DecodeChainedFixUps(uint64_t offset, uint64_t size) {
  const char *what = "the chained fix-ups";
  SliceReader r(bytes_ + offset, size, kSliceBytes);
  const uint32_t startsOffset = r.U32(4, what), importsOffset = r.U32(8, what), symbolsOffset = r.U32(12, what);
  const uint32_t importsCount = r.U32(16, what), importsFormat = r.U32(20, what), symbolsFormat = r.U32(24, what);
  if (symbolsFormat != 0) throw ImageError("chained fix-ups: compressed symbol names are not read");
  const uint64_t importSize = importsFormat == kChainedImport ? 4 : importsFormat == kChainedImportAddend ? 8
                              : importsFormat == kChainedImportAddend64 ? 16 : 0;
  if (importSize == 0) throw ImageError("chained fix-ups: unknown import format " + std::to_string(importsFormat));
  r.Need(importsOffset, uint64_t(importsCount) * importSize, "the chained imports");
  for (uint32_t n = 0; n < importsCount; ++n) {
    const uint64_t e = importsOffset + n * importSize;
    int64_t ordinal;
    uint64_t nameOffset;
    if (importsFormat == kChainedImportAddend64) {
      const uint64_t v = r.U64(e, what);
      ordinal = static_cast<int16_t>(v & 0xffff);
      nameOffset = v >> 32;
    } else {
      const uint32_t v = r.U32(e, what);
      ordinal = static_cast<int8_t>(v & 0xff);
      nameOffset = v >> 9;
    }
    imports_.push_back(Import{r.TerminatedString(symbolsOffset + nameOffset, size, "a chained import's name"), LibraryOf(ordinal)});
  }
  const uint32_t segmentCount = r.U32(startsOffset, what);
  if (segmentCount > segments_.size()) throw ImageError("chained fix-ups name " + std::to_string(segmentCount) + " segments");
  for (uint32_t s = 0; s < segmentCount; ++s) {
    const uint32_t infoOffset = r.U32(startsOffset + 4 + 4 * uint64_t(s), what);
    if (infoOffset == 0) continue;
    const uint64_t info = uint64_t(startsOffset) + infoOffset;
    const uint16_t pageSize = r.U16(info + 4, what), format = r.U16(info + 6, what);
    const uint64_t segmentOffset = r.U64(info + 8, what);
    const uint16_t pageCount = r.U16(info + 20, what);
    if (format != kChainedPtrArm64e && format != kChainedPtr64 && format != kChainedPtr32 && format != kChainedPtr64Offset &&
        format != kChainedPtrArm64eUserland && format != kChainedPtrArm64eUserland24) {
      throw ImageError("chained fix-ups: unknown pointer format " + std::to_string(format));
    }
    if ((format == kChainedPtr32) != (pointerSize_ == 4)) throw ImageError("chained fix-ups: pointer format " + std::to_string(format) + " in a " + std::to_string(pointerSize_ * 8) + "-bit image");
    if (pageSize == 0) throw ImageError("chained fix-ups: a page size of 0");
    ImageSegment &segment = segments_[s];
    segment.chainedFormat = format;
    const uint64_t segmentStart = imageBase_ + segmentOffset;
    for (uint16_t page = 0; page < pageCount; ++page) {
      const uint16_t start = r.U16(info + 22 + 2 * uint64_t(page), what);
      if (start == kChainedPageStartNone) continue;
      const uint64_t pageAddress = segmentStart + uint64_t(page) * pageSize;
      if (start & kChainedPageStartMulti) {
        // 32-bit images with several chains in a page list their starts after the page table.
        for (uint64_t k = start & ~kChainedPageStartMulti;; ++k) {
          const uint16_t each = r.U16(info + 22 + 2 * k, what);
          WalkChain(segment, pageAddress + (each & ~kChainedPageStartMulti), pageSize);
          if (each & kChainedPageStartMulti) break;
        }
      } else {
        WalkChain(segment, pageAddress + start, pageSize);
      }
    }
  }
  std::sort(chainedLocations_.begin(), chainedLocations_.end());
}

void Image::WalkChain(const ImageSegment &segment, uint64_t address, uint32_t pageSize) {
  const uint64_t stride = segment.chainedFormat == kChainedPtrArm64e || segment.chainedFormat == kChainedPtrArm64eUserland ||
                                  segment.chainedFormat == kChainedPtrArm64eUserland24
                              ? 8
                              : 4;
  // A chain never leaves the page it starts in; counting steps bounds a corrupt one.
  for (uint64_t steps = 0; steps <= pageSize / stride; ++steps) {
    if (address < segment.address || address + pointerSize_ > segment.address + segment.memorySize) {
      throw ImageError("chained fix-ups: a chain reaches " + Hex(address) + ", outside segment " + segment.name);
    }
    chainedLocations_.push_back(address);
    const uint64_t raw = RawPointer(address);
    uint64_t next;
    if (segment.chainedFormat == kChainedPtr32) {
      next = (raw >> 26) & 0x1f;
    } else if (stride == 8) {
      next = (raw >> 51) & 0x7ff;
    } else {
      next = (raw >> 51) & 0xfff;
    }
    if (next == 0) return;
    address += next * stride;
  }
  throw ImageError("chained fix-ups: a chain in segment " + segment.name + " does not end within its page");
}

int Image::SegmentIndexOf(uint64_t address, uint64_t size) const {
  auto holds = [&](const ImageSegment &s) {
    return address >= s.address && size <= s.memorySize && address - s.address <= s.memorySize - size;
  };
  if (holds(segments_[lastSegment_])) return lastSegment_;
  for (size_t i = 0; i < segments_.size(); ++i) {
    if (holds(segments_[i])) return lastSegment_ = static_cast<int>(i);
  }
  return -1;
}

const uint8_t *Image::At(uint64_t address, uint64_t size, uint8_t *zeroFill) const {
  const int index = SegmentIndexOf(address, size);
  if (index < 0) throw ImageError("address " + Hex(address) + " lies in no segment: the metadata is corrupt");
  const ImageSegment &s = segments_[index];
  const uint64_t offset = address - s.address;
  if (offset + size <= s.fileSize) return bytes_ + s.fileOffset + offset;
  // Zero-fill memory (and a value straddling the end of the file's part) reads as zeros beyond the file.
  std::memset(zeroFill, 0, size);
  if (offset < s.fileSize) std::memcpy(zeroFill, bytes_ + s.fileOffset + offset, s.fileSize - offset);
  return zeroFill;
}

uint32_t Image::Read32(uint64_t address) const {
  uint8_t buffer[8];
  return Little32(At(address, 4, buffer));
}

uint64_t Image::RawPointer(uint64_t address) const {
  uint8_t buffer[8];
  const uint8_t *p = At(address, pointerSize_, buffer);
  return pointerSize_ == 8 ? Little64(p) : Little32(p);
}

ResolvedPointer Image::DecodeChained(const ImageSegment &segment, uint64_t raw) const {
  ResolvedPointer out;
  auto importAt = [&](uint64_t ordinal) {
    if (ordinal >= imports_.size()) throw ImageError("chained fix-ups: a bind to import " + std::to_string(ordinal) + " of " + std::to_string(imports_.size()));
    out.import = &imports_[ordinal];
  };
  switch (segment.chainedFormat) {
    case kChainedPtr64:
    case kChainedPtr64Offset: {
      if (raw >> 63) {
        importAt(raw & 0xffffff);
      } else {
        const uint64_t target = (raw & 0xfffffffffull) | ((raw >> 36) & 0xff) << 56;
        out.target = segment.chainedFormat == kChainedPtr64Offset ? imageBase_ + target : target;
      }
      break;
    }
    case kChainedPtr32:
      if (raw >> 31) {
        importAt(raw & 0xfffff);
      } else {
        out.target = raw & 0x3ffffff;
      }
      break;
    default: {  // the arm64e forms
      const bool auth = raw >> 63, bind = (raw >> 62) & 1;
      if (bind) {
        importAt(segment.chainedFormat == kChainedPtrArm64eUserland24 ? raw & 0xffffff : raw & 0xffff);
      } else if (auth) {
        out.target = imageBase_ + (raw & 0xffffffff);
      } else {
        const uint64_t target = (raw & 0x7ffffffffffull) | ((raw >> 43) & 0xff) << 56;
        out.target = segment.chainedFormat == kChainedPtrArm64e ? target : imageBase_ + target;
      }
    }
  }
  return out;
}

ResolvedPointer Image::ReadPointer(uint64_t address) const {
  if (address >= lowestBind_ && address <= highestBind_) {
    auto bind = binds_.find(address);
    if (bind != binds_.end()) return ResolvedPointer{0, &imports_[bind->second]};
  }
  const uint64_t raw = RawPointer(address);
  if (!chainedLocations_.empty() && std::binary_search(chainedLocations_.begin(), chainedLocations_.end(), address)) {
    return DecodeChained(segments_[SegmentIndexOf(address, pointerSize_)], raw);
  }
  return ResolvedPointer{raw, nullptr};
}

std::string Image::ReadCString(uint64_t address, size_t limit) const {
  const int index = SegmentIndexOf(address, 1);
  if (index < 0) throw ImageError("a name at " + Hex(address) + " lies in no segment: the metadata is corrupt");
  const ImageSegment &s = segments_[index];
  const uint64_t offset = address - s.address;
  if (offset >= s.fileSize) throw ImageError("a name at " + Hex(address) + " lies outside the file's bytes");
  const uint8_t *begin = bytes_ + s.fileOffset + offset;
  const uint64_t available = std::min<uint64_t>(s.fileSize - offset, limit + 1);
  const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(begin, 0, available));
  if (nul == nullptr) throw ImageError("a name at " + Hex(address) + " is not terminated within " + std::to_string(limit) + " bytes");
  return std::string(begin, nul);
}

std::vector<const ImageSection *> Image::DataSections(const std::string &name) const {
  std::vector<const ImageSection *> out;
  for (const ImageSection &s : sections_) {
    if ((s.segment == "__DATA" || s.segment == "__DATA_CONST" || s.segment == "__DATA_DIRTY") && s.name == name) {
      out.push_back(&s);
    }
  }
  return out;
}

}  // namespace device::objc
