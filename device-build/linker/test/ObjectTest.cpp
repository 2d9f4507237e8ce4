// The object reader on a small hand-made armv7 object (one Thumb call to an undefined function): read
// as it is written, and refused with the file and the field named when one length, count or offset
// in it points past its command or the file.
#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

#include "Bytes.h"
#include "Link.h"
#include "MachOFormat.h"
#include "Object.h"

namespace dwl {
using namespace macho;
namespace {

// Where the object's fields are, for the changes below.
constexpr size_t kSegmentCommand = sizeof(MachHeader32);
constexpr size_t kSection = kSegmentCommand + sizeof(SegmentCommand32);
constexpr size_t kSymtabCommand = kSection + sizeof(Section32);
constexpr size_t kContents = kSymtabCommand + sizeof(SymtabCommand);
constexpr size_t kRelocation = kContents + 4;
constexpr size_t kSymbol = kRelocation + sizeof(RelocationInfo);
constexpr size_t kStrings = kSymbol + sizeof(Nlist32);
constexpr uint32_t kStringsSize = 8;

// __TEXT,__text holding `bl _f`, its ARM_THUMB_RELOC_BR22, and _f undefined.
Bytes SmallObject(uint32_t sections = 1) {
  Bytes b;
  const uint32_t commands_size = sizeof(SegmentCommand32) + sections * sizeof(Section32) + sizeof(SymtabCommand);
  for (uint32_t v : {kMagic32, kCpuTypeArm, kCpuSubtypeArmV7, kFileObject, 2u, commands_size, 0u}) Append32(b, v);
  const uint32_t contents = sizeof(MachHeader32) + commands_size;
  Append32(b, kSegment);
  Append32(b, sizeof(SegmentCommand32) + sections * sizeof(Section32));
  AppendName16(b, "");
  for (uint32_t v : {0u, 4u, contents, 4u, 7u, 7u, sections, 0u}) Append32(b, v);
  for (uint32_t s = 0; s < sections; ++s) {
    if (sections == 1) {
      AppendName16(b, "__text");
      AppendName16(b, "__TEXT");
      const uint32_t relocations = contents + 4;
      for (uint32_t v : {0u, 4u, contents, 1u, relocations, 1u, kAttrPureInstructions | kAttrSomeInstructions, 0u, 0u}) Append32(b, v);
    } else {
      AppendName16(b, "__s" + std::to_string(s));
      AppendName16(b, "__DATA");
      for (uint32_t v : {0u, 0u, 0u, 0u, 0u, 0u, kRegular, 0u, 0u}) Append32(b, v);
    }
  }
  const uint32_t symbols = contents + 4 + sizeof(RelocationInfo);
  for (uint32_t v : {kSymtab, uint32_t{sizeof(SymtabCommand)}, symbols, 1u, symbols + uint32_t{sizeof(Nlist32)}, kStringsSize})
    Append32(b, v);
  for (uint8_t v : {0xff, 0xf7, 0xfe, 0xff}) Append8(b, v);  // bl, its target left to the linker
  Append32(b, 0);
  Append32(b, 0 | 1u << 24 | 2u << 25 | 1u << 27 | kArmThumbBranch22 << 28);  // symbol 0, pc-relative, 4 bytes, extern
  Append32(b, 1);
  Append8(b, kExternal);  // undefined
  Append8(b, 0);
  Append8(b, 0);
  Append8(b, 0);
  Append32(b, 0);
  for (char c : std::string("\0_f\0\0\0\0\0", kStringsSize)) Append8(b, static_cast<uint8_t>(c));
  return b;
}

TEST(ObjectReader, ReadsTheSmallObjectAsItIsWritten) {
  const Bytes file = SmallObject();
  ASSERT_EQ(file.size(), kStrings + kStringsSize);
  const ObjectFile object = ReadObject("small.o", file);
  ASSERT_EQ(object.sections.size(), 1u);
  EXPECT_EQ(object.sections[0].name, "__text");
  EXPECT_EQ(object.sections[0].contents, (Bytes{0xff, 0xf7, 0xfe, 0xff}));
  ASSERT_EQ(object.sections[0].relocations.size(), 1u);
  EXPECT_EQ(object.sections[0].relocations[0].type, kArmThumbBranch22);
  EXPECT_TRUE(object.sections[0].relocations[0].external);
  ASSERT_EQ(object.symbols.size(), 1u);
  EXPECT_EQ(object.symbols[0].name, "_f");
  EXPECT_TRUE(object.symbols[0].undefined());
}

TEST(ObjectReader, EveryLengthCountAndOffsetIsBoundedByItsCommandOrTheFile) {
  auto refusal = [](std::function<void(Bytes &)> change) {
    Bytes file = SmallObject();
    change(file);
    try {
      ReadObject("small.o", file);
    } catch (const LinkError &e) {
      return std::string(e.what());
    }
    return std::string("(read)");
  };
  EXPECT_EQ(refusal([](Bytes &f) { f.resize(100); }),
            "small.o: the load commands (sizeofcmds) (offset 0x1c, 148 bytes) runs past the end of the 100 bytes");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, offsetof(MachHeader32, ncmds), 3); }),
            "small.o: load command 2 of 3 (ncmds) runs past the load commands");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSymtabCommand + offsetof(SymtabCommand, cmdsize), 16); }),
            "small.o: load command 1: cmdsize 16 is shorter than its 24 bytes of fields");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSymtabCommand + offsetof(SymtabCommand, cmdsize), 64); }),
            "small.o: load command 1 has a bad size (cmdsize 64)");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSegmentCommand + offsetof(SegmentCommand32, nsects), 2); }),
            "small.o: load command 0: its 2 sections (nsects) overrun the command");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSection + offsetof(Section32, size), 0x1000); }),
            "small.o: the contents of __text (offset and size) (offset 0xb0, 4096 bytes) runs past the end of the 208 bytes");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSection + offsetof(Section32, nreloc), 0x10000000); }),
            "small.o: the relocations of __text (reloff and nreloc) (offset 0xb4, 2147483648 bytes) runs past the end of the 208 bytes");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSymtabCommand + offsetof(SymtabCommand, nsyms), 0x01000000); }),
            "small.o: the symbol table (symoff and nsyms) (offset 0xbc, 201326592 bytes) runs past the end of the 208 bytes");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSymtabCommand + offsetof(SymtabCommand, strsize), 9); }),
            "small.o: the string table (stroff and strsize) (offset 0xc8, 9 bytes) runs past the end of the 208 bytes");
  EXPECT_EQ(refusal([](Bytes &f) { Write32(f, kSymbol + offsetof(Nlist32, strx), kStringsSize); }),
            "small.o: symbol 0 has its name outside the string table");
}

// A symbol numbers its section in one byte: an image of more sections is refused, not mis-numbered.
TEST(ObjectReader, MoreSectionsThanSymbolsCanNumberAreRefused) {
  const ObjectFile object = ReadObject("many.o", SmallObject(256));
  ASSERT_EQ(object.sections.size(), 256u);
  try {
    DylibStub library;
    library.install_name = "/usr/lib/libf.dylib";
    library.symbols = {"_f"};
    LinkDylib({object}, {library}, LinkOptions{});
    FAIL() << "linked";
  } catch (const LinkError &e) {
    EXPECT_STREQ(e.what(), "the objects have 256 sections, more than the 255 an image can number");
  }
}

}  // namespace
}  // namespace dwl
