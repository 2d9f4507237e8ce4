// The embedded code signature of one thin Mach-O image, checked as the device's kernel checks it
// before it maps a page: the LC_CODE_SIGNATURE blob, its super blob, each code directory (a SHA-1
// one in the primary slot, which iOS 9 reads, and a SHA-256 alternate, which later kernels prefer),
// their identifier, code limit and page size, every page hash recomputed and the hashes of the
// other blobs the directories name. Every offset and length is checked against the image before it
// is read. The device model runs it before it runs a slice, and the device build's checker through
// the model's verify-signature command; the signer (device-build/linker/Signature.cpp) is separate
// code on purpose, so that each checks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace macho {

struct CodeDirectorySummary {
  std::string hash;  // "SHA-1" or "SHA-256"
  uint32_t slot = 0;
  std::string identifier;
  uint32_t codeLimit = 0;
  uint32_t pages = 0;
  uint32_t pageSize = 0;
};

struct SignatureReport {
  std::string slice;  // the image's processor: "arm64", "armv7", or "cpu type N" for another one
  std::vector<CodeDirectorySummary> directories;  // those read in full, in the super blob's order
  // Why the kernel would refuse the image, each naming the code directory (by hash) and the page or
  // field it is about; empty when it would map every page.
  std::vector<std::string> problems;
};

// `identifier`: the one every code directory must name; when empty, they only have to agree.
SignatureReport CheckCodeSignature(const uint8_t *image, size_t size, const std::string &identifier);

}  // namespace macho
