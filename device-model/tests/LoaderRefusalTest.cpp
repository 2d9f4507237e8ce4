// The loader on corrupt files: each slice of the shipped dylib changed in one field (a length, a
// count, an offset, a segment's place) is refused with a LoadError naming that field, before any
// read past the file or the image; the opcode decoders on streams whose counts and skips would make
// more fixups than the segments hold.
#include "Loader.h"
#include "Support.h"

#include <cstring>
#include <initializer_list>
#include <limits>

#include "MachOFormat.h"

namespace device {
namespace {

using namespace macho;

// A thin slice's bytes, with the places of its load commands and sections found by walking them.
class Edit {
 public:
  explicit Edit(Arch arch) : bytes(ParseSlice(ShippedDylib(), arch).bytes), wide_(arch == Arch::arm64) {}

  std::vector<uint8_t> bytes;

  uint32_t Get32(uint64_t at) const {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  }
  void Put32(uint64_t at, uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
  uint64_t GetWord(uint64_t at) const {
    if (!wide_) return Get32(at);
    uint64_t v;
    std::memcpy(&v, bytes.data() + at, 8);
    return v;
  }
  void PutWord(uint64_t at, uint64_t v) {
    if (wide_) {
      std::memcpy(bytes.data() + at, &v, 8);
    } else {
      Put32(at, static_cast<uint32_t>(v));
    }
  }
  unsigned pointer() const { return wide_ ? 8 : 4; }
  uint64_t headerSize() const { return wide_ ? sizeof(MachHeader64) : sizeof(MachHeader32); }

  // The first load command of kind `cmd` (for segments: the one named `segment`).
  uint64_t Command(uint32_t cmd, const std::string &segment = "") const {
    uint64_t at = headerSize();
    for (uint32_t n = 0; n < Get32(offsetof(MachHeader32, ncmds)); ++n, at += Get32(at + 4)) {
      if (Get32(at) != cmd) continue;
      if (segment.empty() || std::string(reinterpret_cast<const char *>(bytes.data() + at + 8)) == segment) return at;
    }
    ADD_FAILURE() << "no load command " << cmd << " " << segment;
    return 0;
  }
  uint64_t Segment(const std::string &name) const { return Command(wide_ ? kSegment64 : kSegment, name); }
  // A field of a segment command, by its offset in the 32-bit record and in the 64-bit one.
  uint64_t SegmentField(const std::string &name, size_t at32, size_t at64) const {
    return Segment(name) + (wide_ ? at64 : at32);
  }
  uint64_t Section(const std::string &segment, const std::string &name) const {
    const uint64_t command = Segment(segment);
    const uint64_t first = command + (wide_ ? sizeof(SegmentCommand64) : sizeof(SegmentCommand32));
    const uint32_t count = Get32(command + (wide_ ? offsetof(SegmentCommand64, nsects) : offsetof(SegmentCommand32, nsects)));
    for (uint32_t s = 0; s < count; ++s) {
      const uint64_t at = first + s * (wide_ ? sizeof(Section64) : sizeof(Section32));
      if (std::strncmp(reinterpret_cast<const char *>(bytes.data() + at), name.c_str(), 16) == 0) return at;
    }
    ADD_FAILURE() << "no section " << segment << "," << name;
    return 0;
  }
  // Where a section's bytes are in the file.
  uint64_t SectionContents(const std::string &segment, const std::string &name) const {
    return Get32(Section(segment, name) + (wide_ ? offsetof(Section64, offset) : offsetof(Section32, offset)));
  }
  // Where the byte at an unslid address is in the file.
  uint64_t FileOffsetOf(uint64_t address) const {
    for (const device::Segment &s : ParseSlice(bytes, wide_ ? Arch::arm64 : Arch::armv7).segments) {
      if (address >= s.address && address - s.address < s.fileSize) return s.fileOffset + (address - s.address);
    }
    ADD_FAILURE() << "address " << address << " is in no segment's file contents";
    return 0;
  }

 private:
  bool wide_;
};

// What loading the changed file says: the LoadError's message, or "(loaded)".
std::string Refusal(const Edit &edit, Arch arch) {
  try {
    Device device(edit.bytes, arch, [](const std::string &) { return FileContents{}; });
    device.Load();
  } catch (const LoadError &e) {
    return e.what();
  } catch (const RunError &e) {
    return std::string("(the run stopped: ") + e.what() + ")";
  }
  return "(loaded)";
}

// Whether loading the changed file is refused with a message holding every one of `fragments`.
::testing::AssertionResult RefusedWith(const Edit &edit, Arch arch, std::initializer_list<std::string> fragments) {
  const std::string message = Refusal(edit, arch);
  for (const std::string &fragment : fragments) {
    if (message.find(fragment) == std::string::npos) {
      return ::testing::AssertionFailure() << "the message \"" << message << "\" lacks \"" << fragment << "\"";
    }
  }
  return ::testing::AssertionSuccess();
}

using LoaderRefusal = EachSlice;

TEST_P(LoaderRefusal, TheUnchangedSliceLoads) {
  EXPECT_EQ(Refusal(Edit(GetParam()), GetParam()), "(loaded)");
}

TEST_P(LoaderRefusal, TruncatedOrShortLoadCommands) {
  const Arch arch = GetParam();
  Edit truncated(arch);
  truncated.bytes.resize(truncated.headerSize() + truncated.Get32(offsetof(MachHeader32, sizeofcmds)) / 2);
  EXPECT_TRUE(RefusedWith(truncated, arch, {"the load commands (sizeofcmds)", "runs past the end"}));

  Edit shortInfo(arch);
  shortInfo.Put32(shortInfo.Command(kDyldInfoOnly) + 4, 16);
  EXPECT_TRUE(RefusedWith(shortInfo, arch, {"(LC_DYLD_INFO_ONLY): cmdsize 16 is shorter than its 48 bytes of fields"}));

  Edit shortSymtab(arch);
  shortSymtab.Put32(shortSymtab.Command(kSymtab) + 4, 8);
  EXPECT_TRUE(RefusedWith(shortSymtab, arch, {"(LC_SYMTAB): cmdsize 8 is shorter than its 24 bytes of fields"}));

  Edit nameOffset(arch);
  nameOffset.Put32(nameOffset.Command(kLoadDylib) + offsetof(DylibCommand, name_offset), 4);
  EXPECT_TRUE(RefusedWith(nameOffset, arch, {"(LC_LOAD_DYLIB): name offset 4 lies outside the name's bytes (24 to "}));
}

TEST_P(LoaderRefusal, CountsAndSizesPastTheFile) {
  const Arch arch = GetParam();
  const uint64_t info = Edit(arch).Command(kDyldInfoOnly);
  Edit bind(arch);
  bind.Put32(info + offsetof(DyldInfoCommand, bind_size), 0x7fffffff);
  EXPECT_TRUE(RefusedWith(bind, arch, {"(LC_DYLD_INFO_ONLY) bind_off and bind_size (offset"}));

  Edit lazy(arch);
  lazy.Put32(info + offsetof(DyldInfoCommand, lazy_bind_off), static_cast<uint32_t>(lazy.bytes.size()));
  lazy.Put32(info + offsetof(DyldInfoCommand, lazy_bind_size), 1);
  EXPECT_TRUE(RefusedWith(lazy, arch, {"lazy_bind_off and lazy_bind_size"}));

  Edit symbols(arch);
  symbols.Put32(symbols.Command(kSymtab) + offsetof(SymtabCommand, nsyms), 0x10000000);
  EXPECT_TRUE(RefusedWith(symbols, arch, {"the symbol table (symoff and nsyms)"}));

  Edit strings(arch);
  strings.Put32(strings.Command(kSymtab) + offsetof(SymtabCommand, strsize), 0xffffffff);
  EXPECT_TRUE(RefusedWith(strings, arch, {"the string table (stroff and strsize)"}));

  Edit sections(arch);
  sections.Put32(sections.SegmentField("__TEXT", offsetof(SegmentCommand32, nsects), offsetof(SegmentCommand64, nsects)),
                 0x01000000);
  EXPECT_TRUE(RefusedWith(sections, arch, {"segment __TEXT: its 16777216 sections (nsects) overrun the command"}));

  Edit contents(arch);
  contents.Put32(contents.Section("__DATA", "__const") + (arch == Arch::arm64 ? offsetof(Section64, offset) : offsetof(Section32, offset)),
                 static_cast<uint32_t>(contents.bytes.size()));
  EXPECT_TRUE(RefusedWith(contents, arch, {"section __DATA,__const's offset and size"}));
}

TEST_P(LoaderRefusal, SegmentsOutOfTheFileOrOverlapping) {
  const Arch arch = GetParam();
  const bool wide = arch == Arch::arm64;
  const size_t vmsize = wide ? offsetof(SegmentCommand64, vmsize) : offsetof(SegmentCommand32, vmsize);
  const size_t fileoff = wide ? offsetof(SegmentCommand64, fileoff) : offsetof(SegmentCommand32, fileoff);
  const size_t vmaddr = wide ? offsetof(SegmentCommand64, vmaddr) : offsetof(SegmentCommand32, vmaddr);

  Edit outside(arch);
  outside.PutWord(outside.Segment("__DATA") + fileoff, outside.bytes.size());
  EXPECT_TRUE(RefusedWith(outside, arch, {"segment __DATA's fileoff and filesize"}));

  // __TEXT one page longer reaches into the segment after it.
  Edit overlap(arch);
  const uint64_t textSize = overlap.Segment("__TEXT") + vmsize;
  overlap.PutWord(textSize, overlap.GetWord(textSize) + kPageSize);
  EXPECT_TRUE(RefusedWith(overlap, arch, {"segments __TEXT and ", " overlap"}));

  Edit unaligned(arch);
  const uint64_t linkedit = unaligned.Segment("__LINKEDIT") + vmaddr;
  unaligned.PutWord(linkedit, unaligned.GetWord(linkedit) + 0x10);
  EXPECT_TRUE(RefusedWith(unaligned, arch, {"segment __LINKEDIT: vmaddr ", " is not page aligned"}));

  Edit far(arch);
  far.PutWord(far.Segment("__LINKEDIT") + vmsize, 0x40000000);
  EXPECT_TRUE(RefusedWith(far, arch, {"more than the model maps (0x10000000)"}));

  if (wide) {
    Edit wrap(arch);
    wrap.PutWord(wrap.Segment("__LINKEDIT") + vmsize, std::numeric_limits<uint64_t>::max() - 0xfff);
    EXPECT_TRUE(RefusedWith(wrap, arch, {"segment __LINKEDIT: vmaddr ", " wrap around the address space"}));
  }

  Edit section(arch);
  const uint64_t text = section.Section("__TEXT", "__text");
  section.PutWord(text + (wide ? offsetof(Section64, size) : offsetof(Section32, size)), 0x7ffffff0);
  EXPECT_TRUE(RefusedWith(section, arch, {"section __TEXT,__text lies outside its segment"}));
}

// The Objective-C sections hold addresses and lengths of their own, read from the image's memory.
TEST_P(LoaderRefusal, LengthsAndPointersInTheObjectiveCSections) {
  const Arch arch = GetParam();
  Edit huge(arch);
  const uint64_t first = huge.SectionContents("__DATA", "__cfstring");
  // 2^41 characters on arm64; the widest length armv7's 32-bit field holds.
  const uint64_t length = arch == Arch::arm64 ? uint64_t(1) << 41 : 0xffffffffu;
  huge.PutWord(first + 3 * huge.pointer(), length);
  EXPECT_TRUE(RefusedWith(huge, arch, {": length " + std::to_string(length) + " is larger than the image", "constant string at 0x"}));

  Edit beyond(arch);
  beyond.PutWord(first + 3 * beyond.pointer(), 0x100000);  // a MiB from a string in a small image
  EXPECT_TRUE(RefusedWith(beyond, arch, {": its 1048576 characters (1048576 bytes at ", ") lies outside the image's segments"}));

  Edit selector(arch);
  selector.PutWord(selector.SectionContents("__DATA", "__objc_selrefs"), 0x0ffffff0);
  EXPECT_TRUE(RefusedWith(selector, arch, {"selector reference at 0x", "lies outside the image's segments"}));

  // The category's instance method list: its count, then a method name moved off its terminator.
  Edit methods(arch);
  const uint64_t category = methods.FileOffsetOf(methods.GetWord(methods.SectionContents("__DATA", "__objc_catlist")));
  const uint64_t list = methods.FileOffsetOf(methods.GetWord(category + 2 * methods.pointer()));
  methods.Put32(list + 4, 0x10000000);
  EXPECT_TRUE(RefusedWith(methods, arch, {"category CompareAndHex's 268435456 methods", "lies outside the image's segments"}));

  Edit name(arch);
  name.PutWord(category, 0x0ffffff0);
  EXPECT_TRUE(RefusedWith(name, arch, {"category at 0x", ": its name (1 bytes at 0xffffff0) lies outside the image's segments"}));
}

INSTANTIATE_TEST_SUITE_P(Slices, LoaderRefusal, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);

// Fat headers: counts and slices past the file.
TEST(FatRefusalTest, CountsAndSlicesPastTheFile) {
  auto message = [](const std::vector<uint8_t> &file) {
    try {
      ArchitecturesOf(file);
    } catch (const LoadError &e) {
      return std::string(e.what());
    }
    return std::string("(accepted)");
  };
  std::vector<uint8_t> fat = {0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 17};
  EXPECT_EQ(message(fat), "fat header: implausible architecture count 17");
  // One armv7 entry: a byte at 0x40 of a file of 28.
  fat = {0xca, 0xfe, 0xba, 0xbe, 0, 0, 0, 1, 0, 0, 0, 12, 0, 0, 0, 9, 0, 0, 0, 0x40, 0, 0, 0, 1, 0, 0, 0, 14};
  EXPECT_EQ(message(fat), "fat header: architecture 0's offset and size (offset 0x40, 1 bytes) runs past the end of the 28 bytes");
  // Two entries, the second cut off by the end of the file.
  fat[7] = 2;
  fat[19] = 28;
  fat.push_back(0);
  EXPECT_EQ(message(fat), "fat header: truncated at offset 0x1c (needs 4 bytes, file has 29)");
}

// The opcode decoders against the places the segments' file contents hold.
Slice DataInTheFile() {
  Slice s;
  s.pointerSize = 8;
  // __DATA: 0x4000 bytes in memory, the first 0x100 from the file.
  s.segments = {Segment{"__TEXT", 0, 0x4000, 0, 0x4000, 5}, Segment{"__DATA", 0x4000, 0x4000, 0x4000, 0x100, 3}};
  s.libraries = {"/usr/lib/libobjc.A.dylib"};
  return s;
}

template <typename Decode>
std::string DecodeRefusal(Decode decode) {
  try {
    decode();
  } catch (const LoadError &e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(FixupBoundsTest, CountsAndSkipsCannotMakeMoreFixupsThanPlaces) {
  const Slice s = DataInTheFile();
  auto rebases = [&](std::vector<uint8_t> opcodes) { return DecodeRefusal([&] { DecodeRebases(s, opcodes); }); };
  // 2^40 rebases from the start of __DATA run out of its file contents.
  EXPECT_EQ(rebases({0x11, 0x21, 0x00, 0x60, 0x80, 0x80, 0x80, 0x80, 0x80, 0x20}),
            "rebase opcodes: address 0x4100 lies outside segment __DATA's contents in the file");
  // Zero-fill memory holds no pointer to slide.
  EXPECT_EQ(rebases({0x11, 0x21, 0x80, 0x02, 0x51}),
            "rebase opcodes: address 0x4100 lies outside segment __DATA's contents in the file");
  // A skip of -8 rebases one place over and over: the count of places ends it.
  EXPECT_EQ(rebases({0x11, 0x21, 0x00, 0x80, 0xff, 0xff, 0xff, 0xff, 0x0f, 0xf8, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                     0xff, 0x01}),
            "rebase opcodes: more rebases than the 2080 pointers the segments hold");

  auto binds = [&](std::vector<uint8_t> opcodes) { return DecodeRefusal([&] { DecodeBinds(s, opcodes, false); }); };
  EXPECT_EQ(binds({0x11, 0x40, '_', 'a', 0, 0x71, 0x00, 0xc0, 0xff, 0xff, 0xff, 0xff, 0x0f, 0xf8, 0xff, 0xff, 0xff, 0xff,
                   0xff, 0xff, 0xff, 0xff, 0x01}),
            "bind opcodes: more binds than the 2080 pointers the segments hold");
  EXPECT_EQ(binds({0x20, 0x80, 0x80, 0x80, 0x80, 0x10}), "bind opcodes: library ordinal 4294967296 out of range");
  std::vector<uint8_t> longName = {0x11, 0x40};
  longName.insert(longName.end(), kMaxBoundSymbolName + 1, 'x');
  longName.push_back(0);
  EXPECT_EQ(binds(longName), "bind opcodes: symbol name longer than 1024 bytes");
}

// Addends of nine and ten bytes use every bit of the 64 without undefined behaviour; an eleventh
// byte is refused.
TEST(FixupBoundsTest, NineAndTenByteAddends) {
  const Slice s = DataInTheFile();
  auto addend = [&](std::vector<uint8_t> sleb) {
    std::vector<uint8_t> opcodes = {0x11, 0x40, '_', 'a', 0, 0x71, 0x00, 0x60};
    opcodes.insert(opcodes.end(), sleb.begin(), sleb.end());
    opcodes.push_back(0x90);
    return DecodeBinds(s, opcodes, false).at(0).addend;
  };
  EXPECT_EQ(addend({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x40}), -(int64_t(1) << 62));
  EXPECT_EQ(addend({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x3f}), (int64_t(1) << 62) - 1);
  EXPECT_EQ(addend({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f}), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(DecodeRefusal([&] { addend({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f}); }),
            "bind opcodes: SLEB128 too large");
}

}  // namespace
}  // namespace device
