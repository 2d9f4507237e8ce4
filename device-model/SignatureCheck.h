// The device's kernel maps no page of a slice whose code signature it refuses: the model checks
// every slice's signature (device-build/macho/CodeSignature.h) before it runs any, and its
// verify-signature command reports each slice's.
#pragma once

#include "DylibFile.h"

#include <ostream>
#include <string>
#include <vector>

#include "CodeSignature.h"

namespace device {

struct SliceSignature {
  Arch arch;
  macho::SignatureReport report;
};

// Each armv7 and arm64 slice of a thin or fat file; `identifier` as CheckCodeSignature takes it.
std::vector<SliceSignature> CheckSignatures(const std::vector<uint8_t> &file, const std::string &identifier);

// Throws LoadError listing every problem of every slice when the kernel would refuse any of them.
void RequireSignatures(const std::vector<uint8_t> &file);

// verify-signature: one line per slice on `out` and 0 when every slice would be mapped; else the
// refusal on `err` and 1.
int VerifySignatureCommand(const std::vector<uint8_t> &file, const std::string &path, const std::string &identifier,
                           std::ostream &out, std::ostream &err);

}  // namespace device
