#include "SignatureCheck.h"

#include "Hex.h"

namespace device {

namespace {

// "its signature would be refused ..." and one indented line per problem, each naming its slice.
std::string Refusal(const std::vector<SliceSignature> &slices) {
  std::string text;
  for (const SliceSignature &s : slices) {
    for (const std::string &problem : s.report.problems) text += std::string("\n  ") + ArchName(s.arch) + " slice: " + problem;
  }
  return text.empty() ? text : "its code signature does not verify:" + text;
}

}  // namespace

std::vector<SliceSignature> CheckSignatures(const std::vector<uint8_t> &file, const std::string &identifier) {
  std::vector<SliceSignature> slices;
  for (Arch arch : ArchitecturesOf(file)) {
    const Slice slice = ParseSlice(file, arch);
    slices.push_back({arch, macho::CheckCodeSignature(slice.bytes.data(), slice.bytes.size(), identifier)});
  }
  return slices;
}

void RequireSignatures(const std::vector<uint8_t> &file) {
  const std::string refusal = Refusal(CheckSignatures(file, ""));
  if (!refusal.empty()) throw LoadError(refusal);
}

int VerifySignatureCommand(const std::vector<uint8_t> &file, const std::string &path, const std::string &identifier,
                           std::ostream &out, std::ostream &err) {
  const std::vector<SliceSignature> slices = CheckSignatures(file, identifier);
  if (slices.empty()) {
    err << "duskwell-device: " << path << ": has neither an arm64 nor an armv7 slice\n";
    return 1;
  }
  const std::string refusal = Refusal(slices);
  if (!refusal.empty()) {
    err << "duskwell-device: " << path << ": " << refusal << "\n";
    return 1;
  }
  for (const SliceSignature &s : slices) {
    out << path << " (" << ArchName(s.arch) << " slice): signed as '" << s.report.directories.front().identifier << "'";
    for (const macho::CodeDirectorySummary &d : s.report.directories) {
      out << ", " << d.hash << " (slot " << macho::Hex(d.slot) << ", " << d.pages << " pages)";
    }
    out << ": every page hash matches\n";
  }
  return 0;
}

}  // namespace device
