// The shared bounded reader: integers of each width and order at the edges of the bytes, names, and
// LEB128 numbers at the edges of 64 bits (padded, truncated, one bit too many).
#include "ByteReader.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TestError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
using Reader = macho::ByteReader<TestError>;

// The message of the error `read` throws, or "(accepted)".
template <typename Read>
std::string Refusal(Read read) {
  try {
    read();
  } catch (const TestError &e) {
    return e.what();
  }
  return "(accepted)";
}

uint64_t Uleb(const std::vector<uint8_t> &bytes, size_t *end = nullptr) {
  size_t cursor = 0;
  const uint64_t value = Reader(bytes, "numbers").Uleb(cursor);
  if (end != nullptr) *end = cursor;
  return value;
}

int64_t Sleb(const std::vector<uint8_t> &bytes) {
  size_t cursor = 0;
  return Reader(bytes, "numbers").Sleb(cursor);
}

TEST(ByteReaderTest, IntegersAreLittleEndianAndTheFatHeaderBigEndian) {
  const std::vector<uint8_t> bytes = {0xcf, 0xfa, 0xed, 0xfe, 0x0c, 0x00, 0x00, 0x01, 0x01, 0x02};
  const Reader r(bytes, "header");
  EXPECT_EQ(r.U8(9), 0x02);
  EXPECT_EQ(r.U16(8), 0x0201);
  EXPECT_EQ(r.U32(0), 0xfeedfacfu);
  EXPECT_EQ(r.U32BigEndian(0), 0xcffaedfeu);
  EXPECT_EQ(r.U64(0), 0x0100000cfeedfacfull);
}

TEST(ByteReaderTest, EveryReadThatDoesNotFitIsRefusedWithWhatAndWhere) {
  const std::vector<uint8_t> bytes(8, 0);
  const Reader r(bytes, "Mach-O header");
  EXPECT_EQ(Refusal([&] { r.U32(5); }), "Mach-O header: truncated at offset 0x5 (needs 4 bytes, file has 8)");
  EXPECT_EQ(Refusal([&] { r.U64(1); }), "Mach-O header: truncated at offset 0x1 (needs 8 bytes, file has 8)");
  EXPECT_EQ(Refusal([&] { r.U8(8); }), "Mach-O header: truncated at offset 0x8 (needs 1 bytes, file has 8)");
  EXPECT_EQ(Refusal([&] { r.Name16(0); }), "Mach-O header: truncated at offset 0x0 (needs 16 bytes, file has 8)");
  // An offset and size whose sum wraps around is refused, not read.
  EXPECT_NE(Refusal([&] { r.Need(4, std::numeric_limits<uint64_t>::max()); }), "(accepted)");
  EXPECT_NE(Refusal([&] { r.Need(std::numeric_limits<uint64_t>::max(), 2); }), "(accepted)");
  EXPECT_EQ(Refusal([&] { r.U64(0); }), "(accepted)");
  EXPECT_EQ(Refusal([&] { r.Need(8, 0); }), "(accepted)");
}

TEST(ByteReaderTest, NamesStopAtTheirFieldOrTheirTerminator) {
  std::vector<uint8_t> bytes = {'_', '_', 'T', 'E', 'X', 'T', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (char c : std::string("__mod_init_func_")) bytes.push_back(static_cast<uint8_t>(c));
  bytes.push_back('x');
  const Reader r(bytes, "names");
  EXPECT_EQ(r.Name16(0), "__TEXT");
  EXPECT_EQ(r.Name16(16), "__mod_init_func_");  // a full field has no terminator
  EXPECT_EQ(r.CString(0, bytes.size()), "__TEXT");
  EXPECT_EQ(r.CString(16, 20), "__mo");
  EXPECT_EQ(r.CString(30, 1000), "c_x");  // the end is clamped to the bytes
}

TEST(ByteReaderTest, FieldNamedReadsNameTheFieldAndTerminatedStringsMustEnd) {
  const std::vector<uint8_t> bytes = {0xca, 0xfe, 0xba, 0xbf, 0, 0, 0, 1, 'a', 'b', 0, 'c', 'd'};
  const Reader r(bytes, "image");
  EXPECT_EQ(r.U16(8, "a count"), 0x6261);
  EXPECT_EQ(r.U32(0, "the magic"), 0xbfbafecau);
  EXPECT_EQ(r.U64BigEndian(0), 0xcafebabf00000001ull);
  EXPECT_EQ(Refusal([&] { r.U32(11, "a method count"); }),
            "image: a method count (offset 0xb, 4 bytes) runs past the end of the 13 bytes");
  EXPECT_EQ(Refusal([&] { r.U64(6, "a pointer"); }), "image: a pointer (offset 0x6, 8 bytes) runs past the end of the 13 bytes");
  EXPECT_NE(Refusal([&] { r.U64BigEndian(8); }), "(accepted)");
  EXPECT_EQ(r.TerminatedString(8, bytes.size(), "a library name"), "ab");
  EXPECT_EQ(Refusal([&] { r.TerminatedString(11, bytes.size(), "a class name"); }),
            "image: a class name at offset 0xb is not terminated");
  EXPECT_EQ(Refusal([&] { r.TerminatedString(8, 10, "a class name"); }), "image: a class name at offset 0x8 is not terminated");
  EXPECT_NE(Refusal([&] { r.TerminatedString(14, 20, "a name"); }), "(accepted)");
}

TEST(ByteReaderTest, UlebReadsEveryWidthAndMovesPastIt) {
  size_t end = 0;
  EXPECT_EQ(Uleb({0x00}, &end), 0u);
  EXPECT_EQ(end, 1u);
  EXPECT_EQ(Uleb({0x7f}), 127u);
  EXPECT_EQ(Uleb({0xe5, 0x8e, 0x26, 0xff}, &end), 624485u);
  EXPECT_EQ(end, 3u);
  // The largest number takes ten bytes; the tenth carries bit 63 alone.
  EXPECT_EQ(Uleb({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x01}), std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(Uleb({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}), uint64_t(1) << 63);
}

TEST(ByteReaderTest, UlebPaddedWithinSixtyFourBitsIsTheSameNumber) {
  size_t end = 0;
  EXPECT_EQ(Uleb({0x85, 0x80, 0x80, 0x00}, &end), 5u);
  EXPECT_EQ(end, 4u);
  EXPECT_EQ(Uleb({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}), 0u);
}

TEST(ByteReaderTest, UlebTooLongTooLargeOrTruncatedIsRefused) {
  // Bit 64 and beyond: a tenth byte above 1, an eleventh byte even if zero.
  EXPECT_EQ(Refusal([] { Uleb({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02}); }),
            "numbers: ULEB128 too large");
  EXPECT_EQ(Refusal([] { Uleb({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}); }),
            "numbers: ULEB128 too large");
  EXPECT_EQ(Refusal([] { Uleb({0x80, 0x80}); }), "numbers: ULEB128 runs past the end");
  EXPECT_EQ(Refusal([] { Uleb({}); }), "numbers: ULEB128 runs past the end");
}

TEST(ByteReaderTest, SlebExtendsTheSignOfItsLastByte) {
  EXPECT_EQ(Sleb({0x7c}), -4);
  EXPECT_EQ(Sleb({0x3f}), 63);
  EXPECT_EQ(Sleb({0xc0, 0x00}), 64);
  EXPECT_EQ(Sleb({0x80, 0x7f}), -128);
  EXPECT_EQ(Sleb({0xff, 0x7f}), -1);  // padded with the sign
  EXPECT_EQ(Sleb({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00}), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Sleb({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x7f}), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(Sleb({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}), -1);
}

TEST(ByteReaderTest, SlebTooLongTooLargeOrTruncatedIsRefused) {
  // A tenth byte that is not all sign bits, and an eleventh byte.
  EXPECT_EQ(Refusal([] { Sleb({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01}); }),
            "numbers: SLEB128 too large");
  EXPECT_EQ(Refusal([] { Sleb({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f}); }),
            "numbers: SLEB128 too large");
  EXPECT_EQ(Refusal([] { Sleb({0xff}); }), "numbers: SLEB128 runs past the end");
  EXPECT_EQ(Refusal([] { Sleb({}); }), "numbers: SLEB128 runs past the end");
}

TEST(ByteReaderTest, NumbersAreReadFromTheCursorOn) {
  const std::vector<uint8_t> bytes = {0x21, 0x90, 0x01, 0x7c, 0x52};
  const Reader r(bytes, "rebase opcodes");
  size_t cursor = 1;
  EXPECT_EQ(r.Uleb(cursor), 0x90u);
  EXPECT_EQ(cursor, 3u);
  EXPECT_EQ(r.Sleb(cursor), -4);
  EXPECT_EQ(cursor, 4u);
}

}  // namespace
