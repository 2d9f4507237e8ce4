// The code-signature verifier on the shipped dylib's slices: accepted as built; refused, naming the
// slice, the code directory and the page, when a byte of a page changes; refused with the field named
// when the identifier, a code directory's header or the super blob's offsets are wrong, or the
// signature is cut short; and the fat file refused before any run.
#include "SignatureCheck.h"
#include "Support.h"

#include "ByteReader.h"

#include <algorithm>
#include <stdexcept>

namespace device {
namespace {

using macho::CodeDirectory;

// A slice of the shipped dylib and where its signature's blobs lie, for changing them.
struct SignedSlice {
  std::vector<uint8_t> bytes;
  uint32_t signature = 0;  // the super blob's offset in the slice
  uint64_t text = 0;       // __text's

  explicit SignedSlice(Arch arch) {
    const Slice parsed = ParseSlice(ShippedDylib(), arch);
    bytes = parsed.bytes;
    text = parsed.FindSection("__TEXT", "__text")->fileOffset;
    const macho::ByteReader<std::runtime_error> r(bytes, "slice");
    const bool wide = r.U32(0) == macho::kMagic64;
    uint64_t at = wide ? sizeof(macho::MachHeader64) : sizeof(macho::MachHeader32);
    for (uint32_t i = 0; i < r.U32(offsetof(macho::MachHeader32, ncmds)); ++i) {
      if (r.U32(at) == macho::kCodeSignature) signature = r.U32(at + offsetof(macho::LinkeditDataCommand, dataoff));
      at += r.U32(at + offsetof(macho::LoadCommand, cmdsize));
    }
  }

  uint32_t Get32(uint64_t at) const { return macho::ByteReader<std::runtime_error>(bytes, "slice").U32BigEndian(at); }
  void Put32(uint64_t at, uint32_t value) {
    for (unsigned i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<uint8_t>(value >> (24 - 8 * i));
  }
  // The offset in the slice of blob index `index`, and of the blob it points at.
  uint64_t Index(uint32_t index) const { return signature + sizeof(macho::SuperBlob) + index * sizeof(macho::BlobIndex); }
  uint64_t Blob(uint32_t slot) const {
    for (uint32_t i = 0; i < Get32(signature + offsetof(macho::SuperBlob, count)); ++i) {
      if (Get32(Index(i)) == slot) return signature + Get32(Index(i) + offsetof(macho::BlobIndex, offset));
    }
    throw std::runtime_error("no blob in slot " + std::to_string(slot));
  }
  macho::SignatureReport Check(const std::string &identifier = "duskwell") const {
    return macho::CheckCodeSignature(bytes.data(), bytes.size(), identifier);
  }
};

std::string Problems(const macho::SignatureReport &report) {
  std::string text;
  for (const std::string &p : report.problems) text += p + "\n";
  return text;
}

#define EXPECT_PROBLEM(report, needle) \
  EXPECT_NE(Problems(report).find(needle), std::string::npos) << "expected '" << (needle) << "' in:\n" << Problems(report)

class SignatureTest : public EachSlice {};

TEST_P(SignatureTest, TheSliceAsBuiltIsAcceptedWithBothDirectoriesOverEveryPageBeforeTheSignature) {
  const SignedSlice slice(GetParam());
  for (const std::string identifier : {"duskwell", ""}) {
    const macho::SignatureReport report = slice.Check(identifier);
    EXPECT_EQ(Problems(report), "") << "identifier '" << identifier << "'";
    EXPECT_EQ(report.slice, ArchName(GetParam()));
    ASSERT_EQ(report.directories.size(), 2u);
    EXPECT_EQ(report.directories[0].hash, "SHA-1");
    EXPECT_EQ(report.directories[0].slot, macho::kSlotCodeDirectory);
    EXPECT_EQ(report.directories[1].hash, "SHA-256");
    EXPECT_EQ(report.directories[1].slot, macho::kSlotAlternateCodeDirectory);
    for (const macho::CodeDirectorySummary &d : report.directories) {
      EXPECT_EQ(d.identifier, "duskwell");
      EXPECT_EQ(d.codeLimit, slice.signature);
      EXPECT_EQ(d.pages, (slice.signature + 4095) / 4096);
    }
  }
}

TEST_P(SignatureTest, AChangedByteIsNamedByPageInBothDirectoriesTheLastPartialPageIncluded) {
  const SignedSlice original(GetParam());
  const uint64_t text = original.text + 0x1001;
  const uint64_t last = original.signature - 1;  // the string table's last byte, in the short last page
  for (const uint64_t at : {text, last}) {
    SignedSlice slice = original;
    slice.bytes.at(at) ^= 0x40;
    const macho::SignatureReport report = slice.Check();
    const uint64_t page = at / 4096;
    const std::string end = macho::Hex(std::min<uint64_t>(page * 4096 + 4095, slice.signature - 1));
    for (const char *hash : {"SHA-1", "SHA-256"}) {
      EXPECT_PROBLEM(report, std::string(hash) + " code directory: hash of page " + std::to_string(page) + " (bytes " +
                                 macho::Hex(page * 4096) + "-" + end + ") does not match the page\n");
    }
    EXPECT_EQ(report.problems.size(), 2u) << Problems(report);
  }
  SignedSlice twice = original;
  twice.bytes.at(text) ^= 1;
  twice.bytes.at(last) ^= 1;
  EXPECT_PROBLEM(twice.Check(), "(1 other page does not match either)");
}

TEST_P(SignatureTest, TheIdentifierMustBeTheOneExpectedAndTheSameInEveryDirectory) {
  SignedSlice slice(GetParam());
  EXPECT_PROBLEM(slice.Check("duskwell.tmp"), "SHA-1 code directory names 'duskwell', not 'duskwell.tmp'");
  EXPECT_PROBLEM(slice.Check("duskwell.tmp"), "SHA-256 code directory names 'duskwell', not 'duskwell.tmp'");
  const uint64_t sha256 = slice.Blob(macho::kSlotAlternateCodeDirectory);
  slice.bytes.at(sha256 + slice.Get32(sha256 + offsetof(CodeDirectory, identOffset))) = 'D';
  EXPECT_PROBLEM(slice.Check(""), "SHA-256 code directory names 'Duskwell', not 'duskwell' as the SHA-1 one does");
}

TEST_P(SignatureTest, EachWrongFieldOfADirectoryIsRefusedByNameWithoutReadingPastIt) {
  const SignedSlice original(GetParam());
  const uint64_t sha1 = original.Blob(macho::kSlotCodeDirectory);
  const uint32_t length = original.Get32(sha1 + offsetof(CodeDirectory, length));
  const struct {
    size_t field;
    uint32_t value;
    const char *needle;
  } cases[] = {
      {offsetof(CodeDirectory, magic), 0xfade0c03, "slot 0x0 holds a blob of magic 0xfade0c03, not a code directory"},
      {offsetof(CodeDirectory, version), 0x20000, "SHA-1 code directory: version 0x20000 is older than any kernel reads"},
      {offsetof(CodeDirectory, hashOffset), 0xfffffff0, "page hashes at offset 0xfffffff0 run past the directory's"},
      {offsetof(CodeDirectory, hashOffset), 20, "special slots before offset 0x14 overlap the directory's header"},
      {offsetof(CodeDirectory, nCodeSlots), 0x40000000, "1073741824 page hashes at offset"},
      {offsetof(CodeDirectory, nSpecialSlots), 0x7fffffff, "2147483647 special slots"},
      {offsetof(CodeDirectory, identOffset), length, "SHA-1 code directory: the identifier's offset"},
      {offsetof(CodeDirectory, codeLimit), 4096, "SHA-1 code directory: covers 4096 bytes, but the signature starts at"},
      {offsetof(CodeDirectory, scatterOffset), 64, "has a scatter vector"},
  };
  for (const auto &c : cases) {
    SignedSlice slice = original;
    slice.Put32(sha1 + c.field, c.value);
    EXPECT_PROBLEM(slice.Check(), c.needle);
    EXPECT_TRUE(slice.Check().directories.size() < 2) << c.needle;
  }
  const struct {
    size_t field;
    uint8_t value;
    const char *needle;
  } bytes[] = {
      {offsetof(CodeDirectory, hashSize), 32, "SHA-1 code directory: hash size 32, not the 20 bytes of SHA-1"},
      {offsetof(CodeDirectory, hashType), 3, "code directory in slot 0x0 has hash type 3"},
      {offsetof(CodeDirectory, pageSize), 14, "SHA-1 code directory: page size 2^14"},
  };
  for (const auto &c : bytes) {
    SignedSlice slice = original;
    slice.bytes.at(sha1 + c.field) = c.value;
    EXPECT_PROBLEM(slice.Check(), c.needle);
  }
  // Unterminated: the identifier runs into the directory's end.
  SignedSlice slice = original;
  slice.Put32(sha1 + offsetof(CodeDirectory, identOffset), length - 1);
  slice.bytes.at(sha1 + length - 1) = 'x';
  EXPECT_PROBLEM(slice.Check(), "SHA-1 code directory: the identifier runs past the directory's end");
}

TEST_P(SignatureTest, TheSuperBlobsOffsetsAndTheSignaturesLengthAreBoundedByTheFile) {
  const SignedSlice original(GetParam());
  const uint64_t count = original.signature + offsetof(macho::SuperBlob, count);
  const struct {
    uint64_t at;
    uint32_t value;
    const char *needle;
  } cases[] = {
      {original.signature, 0xfade0cc1, "code signature: magic 0xfade0cc1, not an embedded signature"},
      {original.signature + offsetof(macho::SuperBlob, length), 0xffffffff, "the super blob's length 4294967295 is outside"},
      {count, 0x20000000, "code signature: 536870912 blob indexes do not fit the super blob's"},
      {original.Index(0) + offsetof(macho::BlobIndex, offset), 0xffffff00, "blob 0 (slot 0x0) at offset 0xffffff00 lies outside"},
      {original.Blob(macho::kSlotRequirements) + 4, 0x7ffffff0, "(slot 0x2): its length 2147483632 at offset"},
  };
  for (const auto &c : cases) {
    SignedSlice slice = original;
    slice.Put32(c.at, c.value);
    EXPECT_PROBLEM(slice.Check(), c.needle);
  }
  // Cut inside the signature: LC_CODE_SIGNATURE still gives its whole size.
  SignedSlice cut = original;
  cut.bytes.resize(cut.signature + 100);
  EXPECT_PROBLEM(cut.Check(), "LC_CODE_SIGNATURE: the signature's");
  EXPECT_PROBLEM(cut.Check(), "run past the end of the image (" + std::to_string(cut.signature + 100) + " bytes)");
  cut.bytes.resize(12);
  EXPECT_PROBLEM(cut.Check(), "Mach-O image: truncated at offset");
}

TEST_P(SignatureTest, TheKernelsOfEveryDeviceTargetedNeedBothDirectoriesAndTheRequirementsHashed) {
  const SignedSlice original(GetParam());
  SignedSlice noSha1 = original, noSha256 = original, requirements = original;
  noSha1.Put32(noSha1.Index(0), 0x20000);  // a slot no kernel reads
  EXPECT_PROBLEM(noSha1.Check(), "no SHA-1 code directory in slot 0x0 (iOS 9 reads only that one)");
  noSha256.Put32(noSha256.Index(2), 0x20000);
  EXPECT_PROBLEM(noSha256.Check(), "no SHA-256 code directory in an alternate slot");
  requirements.bytes.at(requirements.Blob(macho::kSlotRequirements) + 11) ^= 1;
  EXPECT_PROBLEM(requirements.Check(), "SHA-1 code directory: special slot -2 does not match the hash of the blob in slot 0x2");
  EXPECT_PROBLEM(requirements.Check(), "SHA-256 code directory: special slot -2 does not match");
}

INSTANTIATE_TEST_SUITE_P(Slices, SignatureTest, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);

TEST(FileSignatureTest, TheFatFileIsRefusedBeforeAnyRunNamingEachChangedSlice) {
  EXPECT_NO_THROW(RequireSignatures(ShippedDylib()));
  std::vector<uint8_t> file = ShippedDylib();
  std::vector<std::string> expected;
  for (Arch arch : ArchitecturesOf(file)) {
    const SignedSlice slice(arch);
    // The slice's place in the fat file: its bytes are found there whole.
    const auto at = std::search(file.begin(), file.end(), slice.bytes.begin(), slice.bytes.end());
    ASSERT_NE(at, file.end());
    const uint64_t changed = slice.text + 0x800;
    at[static_cast<long>(changed)] ^= 0xff;
    for (const char *hash : {"SHA-1", "SHA-256"}) {
      expected.push_back(std::string("\n  ") + ArchName(arch) + " slice: " + hash + " code directory: hash of page " +
                         std::to_string(changed / 4096) + " ");
    }
  }
  ASSERT_EQ(expected.size(), 4u);
  try {
    RequireSignatures(file);
    FAIL() << "a fat file with changed pages was accepted";
  } catch (const LoadError &e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("its code signature does not verify:\n  ", 0), 0u) << text;
    for (const std::string &line : expected) EXPECT_NE(text.find(line), std::string::npos) << line << " in:\n" << text;
  }
}

}  // namespace
}  // namespace device
