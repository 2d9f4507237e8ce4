#include "Signature.h"

#include <openssl/evp.h>

#include <algorithm>

#include "MachO.h"

namespace dwl {

namespace {

Bytes Digest(const EVP_MD *kind, const uint8_t *data, size_t size) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned length = 0;
  if (EVP_Digest(data, size, out.data(), &length, kind, nullptr) != 1) throw LinkError("the hash library failed");
  out.resize(length);
  return out;
}

constexpr uint32_t kPageSize = 1u << kSignaturePageShift;
constexpr uint32_t kCodeDirectoryHeaderSize = 48;  // through the scatter offset
constexpr uint32_t kSpecialSlots = 2;              // -1 Info.plist (none), -2 requirements

Bytes Requirements() {
  Bytes blob;
  Append32Big(blob, kRequirementsMagic);
  Append32Big(blob, 12);
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
  return 12 + 4 * 8 + CodeDirectorySize(code_limit, identifier, 20) + 12 + CodeDirectorySize(code_limit, identifier, 32) + 8;
}

}  // namespace

Bytes Sha1(const uint8_t *data, size_t size) { return Digest(EVP_sha1(), data, size); }
Bytes Sha256(const uint8_t *data, size_t size) { return Digest(EVP_sha256(), data, size); }

void SignAdhoc(Bytes &image, const std::string &identifier) {
  if (identifier.empty()) throw LinkError("the signing identifier is empty");
  uint32_t magic = image.size() >= 4 ? Read32(image, 0) : 0;
  if (magic != kMagic32 && magic != kMagic64) throw LinkError("not a thin Mach-O file");
  bool wide = magic == kMagic64;
  size_t at = wide ? 32 : 28;
  uint32_t commands = Read32(image, 16);
  size_t signature_command = 0, linkedit_command = 0;
  for (uint32_t c = 0; c < commands; ++c) {
    uint32_t cmd = Read32(image, at);
    uint32_t size = Read32(image, at + 4);
    if (size < 8) throw LinkError("load command " + std::to_string(c) + " is malformed");
    if (cmd == kCodeSignature) signature_command = at;
    if ((cmd == kSegment || cmd == kSegment64) && image.size() >= at + 24 &&
        std::equal(image.begin() + at + 8, image.begin() + at + 19, "__LINKEDIT"))  // the name and its terminator
      linkedit_command = at;
    at += size;
  }
  if (signature_command == 0) throw LinkError("has no LC_CODE_SIGNATURE to fill");
  if (linkedit_command == 0) throw LinkError("has no __LINKEDIT segment");
  uint32_t data_offset = Read32(image, signature_command + 8);
  uint64_t linkedit_offset = wide ? Read64(image, linkedit_command + 40) : Read32(image, linkedit_command + 32);
  if (data_offset % 16 != 0 || data_offset < linkedit_offset || data_offset > image.size())
    throw LinkError("its code signature does not lie at the end of __LINKEDIT");
  image.resize(data_offset);
  uint32_t size = static_cast<uint32_t>(AlignUp(SignatureSize(data_offset, identifier), 16));
  Write32(image, signature_command + 12, size);
  uint64_t file_size = data_offset + size - linkedit_offset;
  uint64_t vm_size = AlignUp(file_size, wide ? 0x4000 : 0x1000);
  if (wide) {
    Write64(image, linkedit_command + 32, vm_size);
    Write64(image, linkedit_command + 48, file_size);
  } else {
    Write32(image, linkedit_command + 28, static_cast<uint32_t>(vm_size));
    Write32(image, linkedit_command + 36, static_cast<uint32_t>(file_size));
  }

  Bytes sha1 = CodeDirectory(image, data_offset, identifier, kHashTypeSha1);
  Bytes sha256 = CodeDirectory(image, data_offset, identifier, kHashTypeSha256);
  Bytes requirements = Requirements();
  Bytes wrapper;  // an empty CMS signature: ad hoc
  Append32Big(wrapper, kBlobWrapperMagic);
  Append32Big(wrapper, 8);
  const std::pair<uint32_t, const Bytes *> blobs[] = {
      {kSlotCodeDirectory, &sha1}, {kSlotRequirements, &requirements}, {kSlotAlternateCodeDirectory, &sha256}, {kSlotSignature, &wrapper}};
  Bytes super;
  Append32Big(super, kEmbeddedSignatureMagic);
  Append32Big(super, SignatureSize(data_offset, identifier));
  Append32Big(super, 4);
  uint32_t offset = 12 + 4 * 8;
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
