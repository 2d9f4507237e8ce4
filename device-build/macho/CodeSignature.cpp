#include "CodeSignature.h"

#include <openssl/evp.h>

#include <algorithm>
#include <stdexcept>

#include "ByteReader.h"
#include "MachOFormat.h"

namespace macho {

namespace {

// What stops the reading of the whole signature, or of one code directory.
struct Unreadable : std::runtime_error {
  using std::runtime_error::runtime_error;
};
using Reader = ByteReader<Unreadable>;

struct Algorithm {
  uint8_t type;
  const char *name;
  const EVP_MD *(*kind)();
};
const Algorithm kAlgorithms[] = {{kHashTypeSha1, "SHA-1", EVP_sha1}, {kHashTypeSha256, "SHA-256", EVP_sha256}};

const Algorithm *AlgorithmOf(uint8_t type) {
  for (const Algorithm &a : kAlgorithms) {
    if (a.type == type) return &a;
  }
  return nullptr;
}

std::vector<uint8_t> Digest(const Algorithm &algorithm, const uint8_t *data, size_t size) {
  std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (EVP_Digest(data, size, out.data(), &length, algorithm.kind(), nullptr) != 1) {
    throw Unreadable(std::string("the hash library failed to compute ") + algorithm.name);
  }
  out.resize(length);
  return out;
}

std::string SliceName(uint32_t cpuType, uint32_t cpuSubtype) {
  if (cpuType == kCpuTypeArm64) return "arm64";
  if (cpuType == kCpuTypeArm && (cpuSubtype & kCpuSubtypeMask) == kCpuSubtypeArmV7) return "armv7";
  return "cpu type " + std::to_string(cpuType);
}

bool IsCodeDirectorySlot(uint32_t slot) {
  return slot == kSlotCodeDirectory ||
         (slot >= kSlotAlternateCodeDirectory && slot - kSlotAlternateCodeDirectory < kAlternateCodeDirectorySlots);
}

// One blob of the super blob: where it lies within the signature, by its own length.
struct Blob {
  uint32_t slot;
  uint32_t offset;
  uint32_t length;
};

// Where LC_CODE_SIGNATURE puts the signature: every load command is read within the header's
// sizeofcmds, and the signature within the image.
struct Placement {
  uint64_t offset = 0, size = 0;
};

Placement SignaturePlacement(const Reader &image, SignatureReport &report) {
  const uint32_t magic = image.U32(offsetof(MachHeader32, magic));
  if (magic != kMagic32 && magic != kMagic64) throw Unreadable("not a thin Mach-O image (magic " + Hex(magic) + ")");
  report.slice = SliceName(image.U32(offsetof(MachHeader32, cputype)), image.U32(offsetof(MachHeader32, cpusubtype)));
  const uint64_t first = magic == kMagic64 ? sizeof(MachHeader64) : sizeof(MachHeader32);
  const uint32_t count = image.U32(offsetof(MachHeader32, ncmds));
  const uint32_t commandsSize = image.U32(offsetof(MachHeader32, sizeofcmds));
  image.Need(first, commandsSize);
  const uint64_t end = first + commandsSize;
  Placement found;
  bool signed_ = false;
  uint64_t at = first;
  for (uint32_t i = 0; i < count; ++i) {
    if (end - at < sizeof(LoadCommand)) {
      throw Unreadable("load command " + std::to_string(i) + " lies past the " + std::to_string(commandsSize) +
                       " bytes of load commands");
    }
    const uint32_t cmd = image.U32(at + offsetof(LoadCommand, cmd));
    const uint32_t size = image.U32(at + offsetof(LoadCommand, cmdsize));
    if (size < sizeof(LoadCommand) || size > end - at) {
      throw Unreadable("load command " + std::to_string(i) + " has size " + std::to_string(size) +
                       ", outside the load commands");
    }
    if (cmd == kCodeSignature) {
      if (signed_) throw Unreadable("has two LC_CODE_SIGNATURE commands");
      if (size < sizeof(LinkeditDataCommand)) throw Unreadable("LC_CODE_SIGNATURE is " + std::to_string(size) + " bytes");
      found.offset = image.U32(at + offsetof(LinkeditDataCommand, dataoff));
      found.size = image.U32(at + offsetof(LinkeditDataCommand, datasize));
      signed_ = true;
    }
    at += size;
  }
  if (!signed_) throw Unreadable("has no LC_CODE_SIGNATURE: the kernel maps no page of an unsigned image");
  if (found.offset > image.size() || found.size > image.size() - found.offset) {
    throw Unreadable("LC_CODE_SIGNATURE: the signature's " + std::to_string(found.size) + " bytes at " + Hex(found.offset) +
                     " run past the end of the image (" + std::to_string(image.size()) + " bytes)");
  }
  return found;
}

// The blob indexes of the super blob, each blob bounded by the super blob's own length.
std::vector<Blob> Blobs(const Reader &signature) {
  const uint32_t magic = signature.U32BigEndian(offsetof(SuperBlob, magic));
  if (magic != kEmbeddedSignatureMagic) throw Unreadable("code signature: magic " + Hex(magic) + ", not an embedded signature");
  const uint32_t length = signature.U32BigEndian(offsetof(SuperBlob, length));
  if (length < sizeof(SuperBlob) || length > signature.size()) {
    throw Unreadable("code signature: the super blob's length " + std::to_string(length) + " is outside the " +
                     std::to_string(signature.size()) + " bytes LC_CODE_SIGNATURE gives it");
  }
  const uint32_t count = signature.U32BigEndian(offsetof(SuperBlob, count));
  if (count > (length - sizeof(SuperBlob)) / sizeof(BlobIndex)) {
    throw Unreadable("code signature: " + std::to_string(count) + " blob indexes do not fit the super blob's " +
                     std::to_string(length) + " bytes");
  }
  std::vector<Blob> blobs;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = sizeof(SuperBlob) + uint64_t(i) * sizeof(BlobIndex);
    Blob blob{signature.U32BigEndian(at + offsetof(BlobIndex, type)), signature.U32BigEndian(at + offsetof(BlobIndex, offset)), 0};
    const std::string which = "code signature: blob " + std::to_string(i) + " (slot " + Hex(blob.slot) + ")";
    if (blob.offset < sizeof(SuperBlob) || blob.offset > length - 8) {
      throw Unreadable(which + " at offset " + Hex(blob.offset) + " lies outside the super blob");
    }
    blob.length = signature.U32BigEndian(blob.offset + 4);
    if (blob.length < 8 || blob.length > length - blob.offset) {
      throw Unreadable(which + ": its length " + std::to_string(blob.length) + " at offset " + Hex(blob.offset) +
                       " runs past the super blob");
    }
    blobs.push_back(blob);
  }
  return blobs;
}

class DirectoryCheck {
 public:
  DirectoryCheck(const Reader &image, const uint8_t *imageBytes, const uint8_t *signature, const std::vector<Blob> &blobs,
                 uint64_t signatureOffset, SignatureReport &report)
      : image_(image), imageBytes_(imageBytes), signature_(signature), blobs_(blobs), signatureOffset_(signatureOffset),
        report_(report) {}

  // The directory in `blob`, its problems added to the report; its hash algorithm when it is a code
  // directory of a known one (whatever else is wrong with it), or null.
  const Algorithm *Check(const Blob &blob) {
    const Reader cd(signature_ + blob.offset, blob.length, "code directory");
    std::string name = "code directory in slot " + Hex(blob.slot);
    const Algorithm *algorithm = nullptr;
    try {
      const uint32_t magic = cd.U32BigEndian(offsetof(CodeDirectory, magic));
      if (magic != kCodeDirectoryMagic) {
        Problem("slot " + Hex(blob.slot) + " holds a blob of magic " + Hex(magic) + ", not a code directory");
        return nullptr;
      }
      const uint8_t type = cd.U8(offsetof(CodeDirectory, hashType));
      algorithm = AlgorithmOf(type);
      if (algorithm == nullptr) {
        Problem(name + " has hash type " + std::to_string(type) + "; the device's kernels read SHA-1 and SHA-256");
        return nullptr;
      }
      name = std::string(algorithm->name) + " code directory";
      Read(cd, blob, *algorithm, name);
    } catch (const Unreadable &e) {
      Problem(name + ": " + e.what());
    }
    return algorithm;
  }

 private:
  void Problem(const std::string &text) { report_.problems.push_back(text); }

  void Read(const Reader &cd, const Blob &blob, const Algorithm &algorithm, const std::string &name) {
    const uint32_t version = cd.U32BigEndian(offsetof(CodeDirectory, version));
    if (version < kCodeDirectoryVersionEarliest) throw Unreadable("version " + Hex(version) + " is older than any kernel reads");
    const uint64_t header = version >= kCodeDirectoryVersion ? sizeof(CodeDirectory) : offsetof(CodeDirectory, scatterOffset);
    cd.Need(0, header);
    if (version >= kCodeDirectoryVersion && cd.U32BigEndian(offsetof(CodeDirectory, scatterOffset)) != 0) {
      throw Unreadable("has a scatter vector, which the model does not read");
    }
    const uint32_t hashSize = cd.U8(offsetof(CodeDirectory, hashSize));
    const size_t digestSize = static_cast<size_t>(EVP_MD_size(algorithm.kind()));
    if (hashSize != digestSize) {
      throw Unreadable("hash size " + std::to_string(hashSize) + ", not the " + std::to_string(digestSize) + " bytes of " +
                       algorithm.name);
    }
    const uint32_t pageShift = cd.U8(offsetof(CodeDirectory, pageSize));
    if (pageShift != kSignaturePageShift) {
      throw Unreadable("page size 2^" + std::to_string(pageShift) + "; the device's kernels take 4 KiB pages (2^" +
                       std::to_string(kSignaturePageShift) + ") from every slice");
    }
    const uint64_t pageSize = uint64_t(1) << pageShift;

    CodeDirectorySummary summary;
    summary.hash = algorithm.name;
    summary.slot = blob.slot;
    summary.pageSize = static_cast<uint32_t>(pageSize);
    const uint32_t identOffset = cd.U32BigEndian(offsetof(CodeDirectory, identOffset));
    if (identOffset < header || identOffset >= cd.size()) {
      throw Unreadable("the identifier's offset " + Hex(identOffset) + " lies outside the directory");
    }
    summary.identifier = cd.CString(identOffset, cd.size());
    if (identOffset + summary.identifier.size() >= cd.size()) throw Unreadable("the identifier runs past the directory's end");

    const uint64_t hashOffset = cd.U32BigEndian(offsetof(CodeDirectory, hashOffset));
    const uint32_t specialSlots = cd.U32BigEndian(offsetof(CodeDirectory, nSpecialSlots));
    const uint32_t codeSlots = cd.U32BigEndian(offsetof(CodeDirectory, nCodeSlots));
    if (hashOffset < header + uint64_t(specialSlots) * hashSize) {
      throw Unreadable(std::to_string(specialSlots) + " special slots before offset " + Hex(hashOffset) +
                       " overlap the directory's header");
    }
    if (hashOffset > cd.size() || uint64_t(codeSlots) * hashSize > cd.size() - hashOffset) {
      throw Unreadable(std::to_string(codeSlots) + " page hashes at offset " + Hex(hashOffset) + " run past the directory's " +
                       std::to_string(cd.size()) + " bytes");
    }
    const uint32_t codeLimit = cd.U32BigEndian(offsetof(CodeDirectory, codeLimit));
    summary.codeLimit = codeLimit;
    summary.pages = codeSlots;
    if (codeLimit != signatureOffset_) {
      throw Unreadable("covers " + std::to_string(codeLimit) + " bytes, but the signature starts at " +
                       std::to_string(signatureOffset_) + ": every page before it must be hashed");
    }
    const uint64_t pages = (codeLimit + pageSize - 1) / pageSize;
    if (codeSlots != pages) {
      throw Unreadable(std::to_string(codeSlots) + " page hashes for " + std::to_string(codeLimit) + " bytes of " +
                       std::to_string(pages) + " pages");
    }

    const uint8_t *hashes = signature_ + blob.offset + hashOffset;
    uint64_t firstBad = pages, bad = 0;
    for (uint64_t page = 0; page < pages; ++page) {
      const uint64_t begin = page * pageSize;
      const uint64_t size = codeLimit - begin < pageSize ? codeLimit - begin : pageSize;
      image_.Need(begin, size);
      const std::vector<uint8_t> digest = Digest(algorithm, imageBytes_ + begin, size);
      if (!std::equal(digest.begin(), digest.end(), hashes + page * hashSize)) {
        if (bad++ == 0) firstBad = page;
      }
    }
    if (bad != 0) {
      const uint64_t begin = firstBad * pageSize;
      const uint64_t last = std::min<uint64_t>(begin + pageSize, codeLimit) - 1;
      Problem(name + ": hash of page " + std::to_string(firstBad) + " (bytes " + Hex(begin) + "-" + Hex(last) +
              ") does not match the page" +
              (bad == 2 ? " (1 other page does not match either)"
                        : bad > 2 ? " (" + std::to_string(bad - 1) + " other pages do not match either)" : ""));
    }

    // Special slots count down from the page hashes: the blob in slot k is hashed at -k.
    for (const Blob &other : blobs_) {
      if (other.slot == 0 || other.slot > specialSlots) continue;
      const std::vector<uint8_t> digest = Digest(algorithm, signature_ + other.offset, other.length);
      if (!std::equal(digest.begin(), digest.end(), hashes - uint64_t(other.slot) * hashSize)) {
        Problem(name + ": special slot -" + std::to_string(other.slot) + " does not match the hash of the blob in slot " +
                Hex(other.slot));
      }
    }
    report_.directories.push_back(summary);
  }

  const Reader &image_;
  const uint8_t *imageBytes_;
  const uint8_t *signature_;
  const std::vector<Blob> &blobs_;
  uint64_t signatureOffset_;
  SignatureReport &report_;
};

// What the kernels of the devices targeted read: iOS 9 only a SHA-1 directory in the primary slot,
// later kernels a SHA-256 one in an alternate slot. All must sign the same identifier.
void CheckAgreement(const std::vector<std::pair<uint32_t, const Algorithm *>> &found, const std::string &identifier,
                    SignatureReport &report) {
  bool primarySha1 = false, alternateSha256 = false;
  for (size_t i = 0; i < found.size(); ++i) {
    const auto [slot, algorithm] = found[i];
    primarySha1 |= slot == kSlotCodeDirectory && algorithm->type == kHashTypeSha1;
    alternateSha256 |= slot != kSlotCodeDirectory && algorithm->type == kHashTypeSha256;
    for (size_t j = 0; j < i; ++j) {
      if (found[j].second == algorithm) report.problems.push_back(std::string("two ") + algorithm->name + " code directories");
    }
  }
  if (!primarySha1) {
    report.problems.push_back("no SHA-1 code directory in slot " + Hex(kSlotCodeDirectory) + " (iOS 9 reads only that one)");
  }
  if (!alternateSha256) {
    report.problems.push_back("no SHA-256 code directory in an alternate slot (" + Hex(kSlotAlternateCodeDirectory) +
                              " and after; later kernels read that one)");
  }
  for (const CodeDirectorySummary &d : report.directories) {
    const std::string &wanted = identifier.empty() ? report.directories.front().identifier : identifier;
    if (d.identifier == wanted) continue;
    report.problems.push_back(d.hash + " code directory names '" + d.identifier + "', not '" + wanted + "'" +
                              (identifier.empty() ? " as the " + report.directories.front().hash + " one does" : ""));
  }
}

}  // namespace

SignatureReport CheckCodeSignature(const uint8_t *image, size_t size, const std::string &identifier) {
  SignatureReport report;
  const Reader reader(image, size, "Mach-O image");
  try {
    const Placement placement = SignaturePlacement(reader, report);
    const uint8_t *signature = image + placement.offset;
    const std::vector<Blob> blobs = Blobs(Reader(signature, placement.size, "code signature"));
    DirectoryCheck directories(reader, image, signature, blobs, placement.offset, report);
    std::vector<std::pair<uint32_t, const Algorithm *>> found;
    for (const Blob &blob : blobs) {
      if (!IsCodeDirectorySlot(blob.slot)) continue;
      if (const Algorithm *algorithm = directories.Check(blob)) found.emplace_back(blob.slot, algorithm);
    }
    CheckAgreement(found, identifier, report);
  } catch (const Unreadable &e) {
    report.problems.push_back(e.what());
  }
  return report;
}

}  // namespace macho
