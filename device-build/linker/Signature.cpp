#include "Signature.h"

#include <openssl/evp.h>

#include <algorithm>

#include "MachOFormat.h"

namespace dwl {

using namespace macho;

namespace {

Bytes Digest(const EVP_MD *kind, const uint8_t *data, size_t size) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (EVP_Digest(data, size, out.data(), &length, kind, nullptr) != 1) throw LinkError("the hash library failed");
  out.resize(length);
  return out;
}

constexpr uint32_t kPageSize = 1u << kSignaturePageShift;
constexpr uint32_t kCodeDirectoryHeaderSize = sizeof(CodeDirectory);  // through the scatter offset
constexpr uint32_t kSpecialSlots = 2;              // -1 Info.plist (none), -2 requirements
constexpr uint32_t kBlobCount = 4;                 // both code directories, requirements, the CMS wrapper
constexpr uint32_t kBlobsStart = sizeof(SuperBlob) + kBlobCount * sizeof(BlobIndex);
constexpr uint32_t kRequirementsSize = 12;         // magic, length, no requirements
constexpr uint32_t kWrapperSize = 8;               // magic, length: an empty signature

Bytes Requirements() {
  Bytes blob;
  Append32Big(blob, kRequirementsMagic);
  Append32Big(blob, kRequirementsSize);
  Append32Big(blob, 0);  // no requirements
  return blob;
}

uint32_t CodeDirectorySize(uint32_t code_limit, const std::string &identifier, uint32_t hash_size) {
  uint32_t pages = (code_limit + kPageSize - 1) / kPageSize;
  return kCodeDirectoryHeaderSize + static_cast<uint32_t>(identifier.size()) + 1 + (kSpecialSlots + pages) * hash_size;
}

Bytes CodeDirectory(const Bytes &image, uint32_t code_limit, const std::string &identifier, uint8_t hash_type) {
  auto hash = [hash_type](const uint8_t *data, size_t size) {
    return hash_type == kHashTypeSha1 ? Sha1(data, size) : Sha256(data, size);
  };
  uint32_t hash_size = hash_type == kHashTypeSha1 ? 20 : 32;
  uint32_t pages = (code_limit + kPageSize - 1) / kPageSize;
  uint32_t ident_offset = kCodeDirectoryHeaderSize;
  uint32_t hash_offset = ident_offset + static_cast<uint32_t>(identifier.size()) + 1 + kSpecialSlots * hash_size;
  Bytes cd;
  Append32Big(cd, kCodeDirectoryMagic);
  Append32Big(cd, CodeDirectorySize(code_limit, identifier, hash_size));
  Append32Big(cd, kCodeDirectoryVersion);
  Append32Big(cd, kCodeSignAdhoc);
  Append32Big(cd, hash_offset);
  Append32Big(cd, ident_offset);
  Append32Big(cd, kSpecialSlots);
  Append32Big(cd, pages);
  Append32Big(cd, code_limit);
  cd.push_back(static_cast<uint8_t>(hash_size));
  cd.push_back(hash_type);
  cd.push_back(0);  // platform
  cd.push_back(kSignaturePageShift);
  Append32Big(cd, 0);  // spare
  Append32Big(cd, 0);  // no scatter vector
  AppendString(cd, identifier);
  // Special slots, from -2 up to -1: the requirements' hash, then an unbound Info.plist.
  Bytes requirements = Requirements();
  AppendBytes(cd, hash(requirements.data(), requirements.size()));
  cd.insert(cd.end(), hash_size, 0);
  for (uint32_t page = 0; page < pages; ++page) {
    uint32_t begin = page * kPageSize;
    uint32_t size = code_limit - begin < kPageSize ? code_limit - begin : kPageSize;
    AppendBytes(cd, hash(image.data() + begin, size));
  }
  return cd;
}

uint32_t SignatureSize(uint32_t code_limit, const std::string &identifier) {
  return kBlobsStart + CodeDirectorySize(code_limit, identifier, 20) + kRequirementsSize +
         CodeDirectorySize(code_limit, identifier, 32) + kWrapperSize;
}

}  // namespace

Bytes Sha1(const uint8_t *data, size_t size) { return Digest(EVP_sha1(), data, size); }
Bytes Sha256(const uint8_t *data, size_t size) { return Digest(EVP_sha256(), data, size); }

void SignAdhoc(Bytes &image, const std::string &identifier) {
  if (identifier.empty()) throw LinkError("the signing identifier is empty");
  uint32_t magic = image.size() >= 4 ? Read32(image, 0) : 0;
  if (magic != kMagic32 && magic != kMagic64) throw LinkError("not a thin Mach-O file");
  bool wide = magic == kMagic64;
  size_t at = wide ? sizeof(MachHeader64) : sizeof(MachHeader32);
  if (image.size() < at) throw LinkError("its Mach-O header runs past the end of the file");
  uint32_t commands = Read32(image, offsetof(MachHeader32, ncmds));
  size_t signature_command = 0, linkedit_command = 0;
  for (uint32_t c = 0; c < commands; ++c) {
    const std::string command = "load command " + std::to_string(c);
    if (image.size() - at < sizeof(LoadCommand)) throw LinkError(command + " runs past the end of the file");
    uint32_t cmd = Read32(image, at + offsetof(LoadCommand, cmd));
    uint32_t size = Read32(image, at + offsetof(LoadCommand, cmdsize));
    if (size < sizeof(LoadCommand)) throw LinkError(command + " is malformed");
    if (size > image.size() - at) throw LinkError(command + " runs past the end of the file");
    // The fields read and written below must lie inside their own command.
    if ((cmd == kCodeSignature && size < sizeof(LinkeditDataCommand)) ||
        (cmd == kSegment && size < sizeof(SegmentCommand32)) || (cmd == kSegment64 && size < sizeof(SegmentCommand64)))
      throw LinkError(command + " is shorter than its kind's fields");
    if (cmd == kCodeSignature) signature_command = at;
    const size_t name = at + offsetof(SegmentCommand32, segname);
    if ((cmd == kSegment || cmd == kSegment64) && image.size() >= name + 16 &&
        std::equal(image.begin() + name, image.begin() + name + 11, "__LINKEDIT"))  // the name and its terminator
      linkedit_command = at;
    at += size;
  }
  if (signature_command == 0) throw LinkError("has no LC_CODE_SIGNATURE to fill");
  if (linkedit_command == 0) throw LinkError("has no __LINKEDIT segment");
  uint32_t data_offset = Read32(image, signature_command + offsetof(LinkeditDataCommand, dataoff));
  uint64_t linkedit_offset = wide ? Read64(image, linkedit_command + offsetof(SegmentCommand64, fileoff))
                                  : Read32(image, linkedit_command + offsetof(SegmentCommand32, fileoff));
  if (data_offset % 16 != 0 || data_offset < linkedit_offset || data_offset > image.size())
    throw LinkError("its code signature does not lie at the end of __LINKEDIT");
  image.resize(data_offset);
  uint32_t size = static_cast<uint32_t>(AlignUp(SignatureSize(data_offset, identifier), 16));
  Write32(image, signature_command + offsetof(LinkeditDataCommand, datasize), size);
  uint64_t file_size = data_offset + size - linkedit_offset;
  uint64_t vm_size = AlignUp(file_size, wide ? 0x4000 : 0x1000);
  if (wide) {
    Write64(image, linkedit_command + offsetof(SegmentCommand64, vmsize), vm_size);
    Write64(image, linkedit_command + offsetof(SegmentCommand64, filesize), file_size);
  } else {
    Write32(image, linkedit_command + offsetof(SegmentCommand32, vmsize), static_cast<uint32_t>(vm_size));
    Write32(image, linkedit_command + offsetof(SegmentCommand32, filesize), static_cast<uint32_t>(file_size));
  }

  Bytes sha1 = CodeDirectory(image, data_offset, identifier, kHashTypeSha1);
  Bytes sha256 = CodeDirectory(image, data_offset, identifier, kHashTypeSha256);
  Bytes requirements = Requirements();
  Bytes wrapper;  // an empty CMS signature: ad hoc
  Append32Big(wrapper, kBlobWrapperMagic);
  Append32Big(wrapper, kWrapperSize);
  const std::pair<uint32_t, const Bytes *> blobs[] = {
      {kSlotCodeDirectory, &sha1}, {kSlotRequirements, &requirements}, {kSlotAlternateCodeDirectory, &sha256}, {kSlotSignature, &wrapper}};
  Bytes super;
  Append32Big(super, kEmbeddedSignatureMagic);
  Append32Big(super, SignatureSize(data_offset, identifier));
  Append32Big(super, kBlobCount);
  uint32_t offset = kBlobsStart;
  for (const auto &[slot, blob] : blobs) {
    Append32Big(super, slot);
    Append32Big(super, offset);
    offset += static_cast<uint32_t>(blob->size());
  }
  for (const auto &[slot, blob] : blobs) AppendBytes(super, *blob);
  if (super.size() != SignatureSize(data_offset, identifier)) throw LinkError("internal: signature size mismatch");
  PadTo(super, 16);
  AppendBytes(image, super);
}

}  // namespace dwl
