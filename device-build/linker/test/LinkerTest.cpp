// Tests of duskwell-link's own encoders: Thumb-2 fields against the bytes clang's assembler writes,
// the loader's LEB128 numbers, the export trie's structure, text stub reading and the signature
// layout. Linking whole objects is tested by device-build/test-link-armv7.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "Bytes.h"
#include "LinkEdit.h"
#include "MachOFormat.h"
#include "Signature.h"
#include "TextStub.h"
#include "Thumb.h"

namespace dwl {
using namespace macho;
namespace {

TEST(Thumb, BranchesDecodeAsClangEncodedThem) {
  // Instruction bytes from clang 14 (-target armv7-apple-ios9.2), with the distance each encodes:
  // bl 0x123456 + 0x18 bytes ahead of it, bl and b.w 0xabce4/0xabce8 bytes back, and an extern
  // b.w whose target is 0 (clang's encoding of "the symbol, addend 0" at offset 4).
  struct {
    uint16_t first, second;
    thumb::BranchKind kind;
    int32_t displacement;
  } vectors[] = {
      {0xf123, 0xfa35, thumb::BranchKind::BranchWithLink, 0x12346a},
      {0xf754, 0xf98e, thumb::BranchKind::BranchWithLink, -0xabce4},
      {0xf754, 0xb98c, thumb::BranchKind::Branch, -0xabce8},
      {0xf7ff, 0xbffc, thumb::BranchKind::Branch, -8},
  };
  for (const auto &v : vectors) {
    EXPECT_EQ(thumb::ClassifyBranch(v.first, v.second), v.kind) << std::hex << v.first << " " << v.second;
    EXPECT_EQ(thumb::BranchDisplacement(v.first, v.second), v.displacement) << std::hex << v.first << " " << v.second;
    // Re-encoding a clang branch with its own distance gives clang's bytes back.
    auto encoded = thumb::WithBranchDisplacement(v.first, v.second, v.displacement);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(*encoded, static_cast<uint32_t>(v.first) | (static_cast<uint32_t>(v.second) << 16));
  }
}

TEST(Thumb, BranchesKeepTheirKindAndRefuseWhatTheyCannotReach) {
  // From the placeholder bl (0xf7ff 0xfffe) to distances at the edges of the 16 MiB reach.
  for (int64_t distance : {int64_t{0}, int64_t{2}, int64_t{-2}, int64_t{0xfffffe}, -int64_t{0x1000000}, int64_t{0x400000}}) {
    auto bl = thumb::WithBranchDisplacement(0xf7ff, 0xfffe, distance);
    auto bw = thumb::WithBranchDisplacement(0xf7ff, 0xbffe, distance);
    ASSERT_TRUE(bl && bw) << distance;
    EXPECT_EQ(thumb::ClassifyBranch(static_cast<uint16_t>(*bl), static_cast<uint16_t>(*bl >> 16)), thumb::BranchKind::BranchWithLink);
    EXPECT_EQ(thumb::ClassifyBranch(static_cast<uint16_t>(*bw), static_cast<uint16_t>(*bw >> 16)), thumb::BranchKind::Branch);
    EXPECT_EQ(thumb::BranchDisplacement(static_cast<uint16_t>(*bl), static_cast<uint16_t>(*bl >> 16)), distance);
  }
  EXPECT_FALSE(thumb::WithBranchDisplacement(0xf7ff, 0xfffe, 0x1000000));
  EXPECT_FALSE(thumb::WithBranchDisplacement(0xf7ff, 0xfffe, -0x1000002));
  EXPECT_FALSE(thumb::WithBranchDisplacement(0xf7ff, 0xfffe, 3));
  EXPECT_EQ(thumb::ClassifyBranch(0x4478, 0xf7ff), thumb::BranchKind::NotABranch);  // add r0, pc
}

TEST(Thumb, MovesDecodeAndEncodeAsClangDoes) {
  // movw r0, #0xbeef; movt r1, #0x1234; movw ip, #0xfff; movt lr, #0xf0a5 from clang.
  struct {
    uint16_t first, second;
    thumb::MoveKind kind;
    uint16_t immediate;
  } vectors[] = {
      {0xf64b, 0x60ef, thumb::MoveKind::Low, 0xbeef},
      {0xf2c1, 0x2134, thumb::MoveKind::High, 0x1234},
      {0xf640, 0x7cff, thumb::MoveKind::Low, 0x0fff},
      {0xf2cf, 0x0ea5, thumb::MoveKind::High, 0xf0a5},
  };
  for (const auto &v : vectors) {
    EXPECT_EQ(thumb::ClassifyMove(v.first, v.second), v.kind);
    EXPECT_EQ(thumb::MoveImmediate(v.first, v.second), v.immediate);
    // Clang's instruction with its immediate cleared, then set again, is clang's instruction.
    uint32_t cleared = thumb::WithMoveImmediate(v.first, v.second, 0);
    EXPECT_EQ(thumb::WithMoveImmediate(static_cast<uint16_t>(cleared), static_cast<uint16_t>(cleared >> 16), v.immediate),
              static_cast<uint32_t>(v.first) | (static_cast<uint32_t>(v.second) << 16));
  }
  EXPECT_EQ(thumb::ClassifyMove(0xf8dc, 0xf000), thumb::MoveKind::NotAMove);  // ldr.w pc, [ip]
}

TEST(Thumb, StubLoadsItsPointerRelativeToThePcOfItsAdd) {
  uint8_t stub[thumb::kStubSize];
  thumb::WriteStub(stub, 0x25e0, 0x4018);
  auto half = [&](int i) { return static_cast<uint16_t>(stub[2 * i] | (stub[2 * i + 1] << 8)); };
  ASSERT_EQ(thumb::ClassifyMove(half(0), half(1)), thumb::MoveKind::Low);
  ASSERT_EQ(thumb::ClassifyMove(half(2), half(3)), thumb::MoveKind::High);
  EXPECT_EQ((half(1) >> 8) & 0xf, 12);  // into ip
  uint32_t offset = thumb::MoveImmediate(half(0), half(1)) | (static_cast<uint32_t>(thumb::MoveImmediate(half(2), half(3))) << 16);
  EXPECT_EQ(0x25e0 + 8 + 4 + offset, 0x4018u);
  EXPECT_EQ(half(4), 0x44fc);  // add ip, pc
  EXPECT_EQ(half(5), 0xf8dc);  // ldr.w pc, [ip]
  EXPECT_EQ(half(6), 0xf000);
}

TEST(Leb128, MatchesTheLoadersEncoding) {
  Bytes u;
  AppendUleb(u, 624485);
  EXPECT_EQ(u, (Bytes{0xe5, 0x8e, 0x26}));
  Bytes s;
  AppendSleb(s, -123456);
  EXPECT_EQ(s, (Bytes{0xc0, 0xbb, 0x78}));
  Bytes small;
  AppendSleb(small, 63);
  AppendSleb(small, -64);
  AppendSleb(small, 64);
  EXPECT_EQ(small, (Bytes{0x3f, 0x40, 0xc0, 0x00}));
  EXPECT_EQ(UlebSize(127), 1u);
  EXPECT_EQ(UlebSize(128), 2u);
}

// Walks a trie as the loader does and lists every name with its address.
void WalkTrie(const Bytes &trie, size_t node, const std::string &prefix, std::map<std::string, uint64_t> &found) {
  auto uleb = [&](size_t &at) {
    uint64_t value = 0;
    int shift = 0;
    while (true) {
      uint8_t b = trie.at(at++);
      value |= static_cast<uint64_t>(b & 0x7f) << shift;
      shift += 7;
      if ((b & 0x80) == 0) return value;
    }
  };
  size_t at = node;
  uint64_t terminal = uleb(at);
  if (terminal != 0) {
    size_t info = at;
    EXPECT_EQ(uleb(info), 0u);  // regular
    found[prefix] = uleb(info);
    at += terminal;
  }
  uint8_t children = trie.at(at++);
  for (uint8_t c = 0; c < children; ++c) {
    std::string label;
    while (trie.at(at) != 0) label += static_cast<char>(trie.at(at++));
    ++at;
    EXPECT_FALSE(label.empty());
    size_t child = uleb(at);
    WalkTrie(trie, child, prefix + label, found);
  }
}

TEST(ExportTrie, HoldsEveryNameOnceWithItsAddress) {
  std::vector<ExportEntry> exports = {{"_GetPrefBool", 0xb13}, {"_GetPrefColor", 0x2001}, {"_Get", 0x10},
                                      {"_other", 0x300000}, {"_GetPrefBoolean", 0x7}};
  Bytes trie = ExportTrie(exports, 4);
  EXPECT_EQ(trie.size() % 4, 0u);
  std::map<std::string, uint64_t> found;
  WalkTrie(trie, 0, "", found);
  ASSERT_EQ(found.size(), exports.size());
  for (const ExportEntry &e : exports) EXPECT_EQ(found[e.name], e.address) << e.name;
  EXPECT_THROW(ExportTrie({{"_a", 1}, {"_a", 2}}, 4), LinkError);
  EXPECT_TRUE(ExportTrie({}, 4).empty());
}

TEST(Opcodes, RebaseRunsShareOneOpcodeAndLongRunsCountInUleb) {
  std::vector<SegmentOffset> locations;
  for (uint64_t i = 0; i < 20; ++i) locations.push_back({1, 0x100 + 4 * i});
  locations.push_back({1, 0x10});
  Bytes opcodes = RebaseOpcodes(locations, 4);
  Bytes expected = {kRebaseSetTypeImm | kRebaseTypePointer,
                    kRebaseSetSegmentAndOffsetUleb | 1, 0x10, kRebaseDoRebaseImmTimes | 1,
                    kRebaseSetSegmentAndOffsetUleb | 1, 0x80, 0x02, kRebaseDoRebaseUlebTimes, 20, kRebaseDone};
  PadTo(expected, 4);
  EXPECT_EQ(opcodes, expected);
}

TEST(Opcodes, BindsGroupByLibraryAndSymbolAndCarryAddends) {
  Bytes opcodes = BindOpcodes({{{1, 8}, 2, "_b", 0}, {{1, 0}, 1, "_a", 0}, {{1, 4}, 1, "_a", 16}}, 4);
  Bytes expected = {kBindSetTypeImm | kBindTypePointer, kBindSetDylibOrdinalImm | 1, kBindSetSymbolTrailingFlagsImm, '_', 'a', 0,
                    kBindSetSegmentAndOffsetUleb | 1, 0, kBindDoBind,
                    kBindSetAddendSleb, 16, kBindSetSegmentAndOffsetUleb | 1, 4, kBindDoBind,
                    kBindSetDylibOrdinalImm | 2, kBindSetSymbolTrailingFlagsImm, '_', 'b', 0,
                    kBindSetAddendSleb, 0, kBindSetSegmentAndOffsetUleb | 1, 8, kBindDoBind, kBindDone};
  PadTo(expected, 4);
  EXPECT_EQ(opcodes, expected);
}

TEST(TextStub, ReadsTheExportsOfOneTargetAcrossLines) {
  const char *text =
      "--- !tapi-tbd\n"
      "tbd-version:     4\n"
      "targets:         [ arm64-ios, armv7-ios ]\n"
      "install-name:    '/usr/lib/libobjc.A.dylib'  # the runtime\n"
      "current-version: 228\n"
      "exports:\n"
      "  - targets:         [ armv7-ios ]\n"
      "    symbols:         [ _objc_msgSend, _objc_msgSend_stret,\n"
      "                       _sel_registerName ]\n"
      "    objc-classes:    [ NSObject ]\n"
      "  - targets:         [ arm64-ios ]\n"
      "    symbols:         [ _only_on_arm64 ]\n"
      "...\n";
  std::vector<DylibStub> stubs = ReadTextStub("libobjc.tbd", text, "armv7-ios");
  ASSERT_EQ(stubs.size(), 1u);
  EXPECT_EQ(stubs[0].install_name, "/usr/lib/libobjc.A.dylib");
  EXPECT_EQ(stubs[0].current_version, 228u << 16);
  EXPECT_EQ(stubs[0].symbols, (std::set<std::string>{"_objc_msgSend", "_objc_msgSend_stret", "_sel_registerName",
                                                     "_OBJC_CLASS_$_NSObject", "_OBJC_METACLASS_$_NSObject"}));
}

TEST(TextStub, RefusesWhatItWouldOtherwiseDrop) {
  auto read = [](const std::string &body) { return ReadTextStub("x.tbd", "--- !tapi-tbd\n" + body + "...\n", "armv7-ios"); };
  EXPECT_THROW(read("tbd-version: 3\ninstall-name: /a\n"), LinkError);
  EXPECT_THROW(read("install-name: /a\nreexported-libraries: []\n"), LinkError);
  EXPECT_THROW(read("install-name: /a\nexports:\n  - targets: [ armv7-ios ]\n    thread-local-symbols: [ _t ]\n"), LinkError);
  EXPECT_THROW(read("tbd-version: 4\n"), LinkError);  // no install name
  EXPECT_THROW(ReadTextStub("x.tbd", "--- !tapi-tbd\ninstall-name: /a\n", "armv7-ios"), LinkError);  // unterminated
  EXPECT_THROW(PackVersion("9.x", "v"), LinkError);
  EXPECT_EQ(PackVersion("9.2", "v"), 0x090200u);
}

// A minimal 32-bit Mach-O: a header, __LINKEDIT and an empty LC_CODE_SIGNATURE, padded to 5008 bytes (the signature starts 16-byte aligned).
Bytes TinyImage() {
  Bytes image;
  for (uint32_t v : {kMagic32, kCpuTypeArm, kCpuSubtypeArmV7, kFileDylib, 2u, 56u + 16u, 0u}) Append32(image, v);
  Append32(image, kSegment);
  Append32(image, 56);
  AppendName16(image, "__LINKEDIT");
  for (uint32_t v : {0x1000u, 0x1000u, 4096u, 5008u - 4096u, 1u, 1u, 0u, 0u}) Append32(image, v);
  for (uint32_t v : {kCodeSignature, 16u, 5008u, 0u}) Append32(image, v);
  image.resize(5008, 0xab);
  return image;
}

TEST(Signature, CoversEveryPageWithBothHashesAndUpdatesTheSizes) {
  Bytes image = TinyImage();
  SignAdhoc(image, "duskwell");
  uint32_t size = Read32(image, 28 + 56 + 12);
  EXPECT_EQ(image.size(), 5008u + size);
  EXPECT_EQ(Read32(image, 28 + 36), 5008u - 4096u + size);  // __LINKEDIT file size
  EXPECT_EQ(Read32Big(image, 5008), kEmbeddedSignatureMagic);
  EXPECT_EQ(Read32Big(image, 5008 + 8), 4u);
  std::map<uint32_t, uint32_t> slots;
  for (uint32_t i = 0; i < 4; ++i) slots[Read32Big(image, 5008 + 12 + 8 * i)] = 5008 + Read32Big(image, 5008 + 16 + 8 * i);
  for (auto [slot, hash_type, hash_size] : {std::tuple{kSlotCodeDirectory, kHashTypeSha1, 20u},
                                            std::tuple{kSlotAlternateCodeDirectory, kHashTypeSha256, 32u}}) {
    uint32_t cd = slots.at(slot);
    EXPECT_EQ(Read32Big(image, cd), kCodeDirectoryMagic);
    EXPECT_EQ(Read32Big(image, cd + 28), 2u);     // two pages
    EXPECT_EQ(Read32Big(image, cd + 32), 5008u);  // code limit: the signature's start
    EXPECT_EQ(image[cd + 37], hash_type);
    uint32_t hashes = cd + Read32Big(image, cd + 16);
    Bytes last = hash_type == kHashTypeSha1 ? Sha1(image.data() + 4096, 5008 - 4096) : Sha256(image.data() + 4096, 5008 - 4096);
    EXPECT_EQ(Bytes(image.begin() + hashes + hash_size, image.begin() + hashes + 2 * hash_size), last);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&image[cd + Read32Big(image, cd + 20)])), "duskwell");
  }
  // Signing again replaces the signature rather than adding to it.
  Bytes again = image;
  SignAdhoc(again, "duskwell");
  EXPECT_EQ(again, image);
  Bytes unsigned_image = TinyImage();
  Write32(unsigned_image, 28 + 56, kUuid);  // no LC_CODE_SIGNATURE any more
  EXPECT_THROW(SignAdhoc(unsigned_image, "duskwell"), LinkError);
}

// A damaged file handed to `duskwell-link sign` is refused by name, whatever it cuts short.
TEST(Signature, RefusesCommandsThatRunPastTheFileOrTheirOwnSize) {
  auto refusal = [](Bytes image) {
    try {
      SignAdhoc(image, "duskwell");
    } catch (const LinkError &error) {
      return std::string(error.what());
    }
    return std::string("signed");
  };
  for (size_t cut : {8u, 27u, 28u + 4u, 28u + 40u, 28u + 56u + 8u}) {
    Bytes cut_short = TinyImage();
    cut_short.resize(cut);
    EXPECT_NE(refusal(cut_short).find("past the end of the file"), std::string::npos) << cut;
  }
  Bytes many_commands = TinyImage();
  Write32(many_commands, 16, 1000);  // ncmds far beyond the commands the file holds
  EXPECT_NE(refusal(many_commands).find("past the end of the file"), std::string::npos);
  Bytes huge_command = TinyImage();
  Write32(huge_command, 28 + 4, 0xfffffff0);  // __LINKEDIT's cmdsize
  EXPECT_EQ(refusal(huge_command), "load command 0 runs past the end of the file");
  Bytes short_signature = TinyImage();
  Write32(short_signature, 28 + 56 + 4, 8);  // LC_CODE_SIGNATURE without its dataoff and datasize
  EXPECT_EQ(refusal(short_signature), "load command 1 is shorter than its kind's fields");
}

}  // namespace
}  // namespace dwl
