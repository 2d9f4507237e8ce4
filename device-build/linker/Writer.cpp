#include "Writer.h"

#include <algorithm>

#include "Signature.h"

namespace dwl {

using namespace macho;

namespace {

constexpr uint32_t kPage = 0x1000;

uint32_t DylibCommandSize(const std::string &name) {
  return sizeof(DylibCommand) + static_cast<uint32_t>(AlignUp(name.size() + 1, 4));
}

}  // namespace

uint32_t LoadCommandsSize(const std::vector<ImageSection> &sections, const std::vector<DylibStub> &libraries,
                          const std::string &install_name) {
  uint32_t text = static_cast<uint32_t>(std::count_if(sections.begin(), sections.end(), [](const ImageSection &s) { return s.text(); }));
  uint32_t data = static_cast<uint32_t>(sections.size()) - text;
  const uint32_t segment = sizeof(SegmentCommand32), section = sizeof(Section32);
  uint32_t size = segment + section * text + segment;  // __TEXT and __LINKEDIT
  if (data > 0) size += segment + section * data;
  size += DylibCommandSize(install_name) + sizeof(DyldInfoCommand) + sizeof(SymtabCommand) + sizeof(DysymtabCommand) +
          sizeof(UuidCommand) + sizeof(VersionMinCommand) + sizeof(LinkeditDataCommand);
  for (const DylibStub &library : libraries) size += DylibCommandSize(library.install_name);
  return size;
}

Bytes WriteDylib(const DylibLayout &layout, const DylibContents &contents, const std::vector<DylibStub> &libraries,
                 const LinkOptions &options) {
  Bytes strings(1, 0);
  Bytes symtab;
  for (const ImageSymbol &s : contents.symbols) {
    Append32(symtab, static_cast<uint32_t>(strings.size()));
    AppendString(strings, s.name);
    symtab.push_back(s.type);
    symtab.push_back(s.section);
    symtab.push_back(static_cast<uint8_t>(s.desc));
    symtab.push_back(static_cast<uint8_t>(s.desc >> 8));
    Append32(symtab, s.value);
  }
  Bytes indirect_table;
  for (uint32_t entry : contents.indirect) Append32(indirect_table, entry);

  uint32_t linkedit_offset = layout.data_start + (layout.has_data ? layout.data_file_size : 0);
  uint32_t linkedit_address = layout.data_start + (layout.has_data ? layout.data_vm_size : 0);
  uint32_t rebase_offset = linkedit_offset;
  uint32_t bind_offset = rebase_offset + static_cast<uint32_t>(contents.rebase.size());
  uint32_t export_offset = bind_offset + static_cast<uint32_t>(contents.bind.size());
  uint32_t symtab_offset = export_offset + static_cast<uint32_t>(contents.trie.size());
  uint32_t indirect_offset = symtab_offset + static_cast<uint32_t>(symtab.size());
  uint32_t strings_offset = indirect_offset + static_cast<uint32_t>(indirect_table.size());
  while ((strings_offset + strings.size()) % 16 != 0) strings.push_back(0);  // the signature starts 16-byte aligned
  uint32_t end = strings_offset + static_cast<uint32_t>(strings.size());

  Bytes file;
  Append32(file, kMagic32);
  Append32(file, kCpuTypeArm);
  Append32(file, kCpuSubtypeArmV7);
  Append32(file, kFileDylib);
  uint32_t command_count = 3 + (layout.has_data ? 1 : 0) + 6 + static_cast<uint32_t>(libraries.size());
  Append32(file, command_count);
  Append32(file, LoadCommandsSize(layout.sections, libraries, options.install_name));
  Append32(file, kNoUndefs | kDyldLink | kTwoLevel | kNoReexportedDylibs);

  auto segment = [&](const std::string &name, uint32_t address, uint32_t vm_size, uint32_t offset, uint32_t file_size,
                     uint32_t protection, bool text) {
    std::vector<const ImageSection *> sections;
    for (const ImageSection &s : layout.sections)
      if (!name.empty() && s.text() == text && name != "__LINKEDIT") sections.push_back(&s);
    Append32(file, kSegment);
    Append32(file, sizeof(SegmentCommand32) + sizeof(Section32) * static_cast<uint32_t>(sections.size()));
    AppendName16(file, name);
    Append32(file, address);
    Append32(file, vm_size);
    Append32(file, offset);
    Append32(file, file_size);
    Append32(file, protection);
    Append32(file, protection);
    Append32(file, static_cast<uint32_t>(sections.size()));
    Append32(file, 0);
    for (const ImageSection *s : sections) {
      AppendName16(file, s->name);
      AppendName16(file, s->segment);
      Append32(file, s->address);
      Append32(file, s->size);
      Append32(file, s->zerofill() ? 0 : s->address);  // file offsets equal addresses in both segments
      Append32(file, s->alignment_log2);
      Append32(file, 0);
      Append32(file, 0);
      Append32(file, s->flags);
      Append32(file, s->reserved1);
      Append32(file, s->reserved2);
    }
  };
  auto dylib = [&](uint32_t command, const std::string &name, uint32_t current, uint32_t compatibility) {
    Append32(file, command);
    Append32(file, DylibCommandSize(name));
    Append32(file, sizeof(DylibCommand));  // the name follows the command
    Append32(file, 2);  // timestamp, as the device's own libraries record it
    Append32(file, current);
    Append32(file, compatibility);
    AppendString(file, name);
    PadTo(file, 4);
  };
  segment("__TEXT", 0, layout.text_size, 0, layout.text_size, kProtRead | kProtExecute, true);
  if (layout.has_data)
    segment("__DATA", layout.data_start, layout.data_vm_size, layout.data_start, layout.data_file_size, kProtRead | kProtWrite, false);
  segment("__LINKEDIT", linkedit_address, static_cast<uint32_t>(AlignUp(end - linkedit_offset, kPage)), linkedit_offset,
          end - linkedit_offset, kProtRead, false);
  dylib(kIdDylib, options.install_name, options.current_version, options.compatibility_version);
  Append32(file, kDyldInfoOnly);
  Append32(file, sizeof(DyldInfoCommand));
  for (uint32_t v : {rebase_offset, static_cast<uint32_t>(contents.rebase.size()), bind_offset, static_cast<uint32_t>(contents.bind.size()),
                     0u, 0u, 0u, 0u, export_offset, static_cast<uint32_t>(contents.trie.size())})
    Append32(file, v);
  Append32(file, kSymtab);
  Append32(file, sizeof(SymtabCommand));
  Append32(file, symtab_offset);
  Append32(file, static_cast<uint32_t>(contents.symbols.size()));
  Append32(file, strings_offset);
  Append32(file, static_cast<uint32_t>(strings.size()));
  Append32(file, kDysymtab);
  Append32(file, sizeof(DysymtabCommand));
  uint32_t nlocal = contents.local_count, nexport = contents.export_count;
  for (uint32_t v : {0u, nlocal, nlocal, nexport, nlocal + nexport, contents.import_count, 0u, 0u, 0u, 0u, 0u,
                     0u, indirect_offset, static_cast<uint32_t>(contents.indirect.size()), 0u, 0u, 0u, 0u})
    Append32(file, v);
  size_t uuid_at = file.size() + 8;
  Append32(file, kUuid);
  Append32(file, sizeof(UuidCommand));
  file.insert(file.end(), sizeof(UuidCommand::uuid), 0);
  Append32(file, kVersionMinIphoneos);
  Append32(file, sizeof(VersionMinCommand));
  Append32(file, options.minimum_os);
  Append32(file, options.sdk);
  for (const DylibStub &library : libraries)
    dylib(kLoadDylib, library.install_name, library.current_version, library.compatibility_version);
  Append32(file, kCodeSignature);
  Append32(file, sizeof(LinkeditDataCommand));
  Append32(file, end);
  Append32(file, 0);
  if (file.size() != sizeof(MachHeader32) + LoadCommandsSize(layout.sections, libraries, options.install_name)) throw LinkError("internal: load commands are not the size planned");

  file.resize(linkedit_offset, 0);
  for (const ImageSection &s : layout.sections)
    if (!s.zerofill()) std::copy(s.contents.begin(), s.contents.end(), file.begin() + s.address);
  const Bytes *parts[] = {&contents.rebase, &contents.bind, &contents.trie, &symtab, &indirect_table, &strings};
  for (const Bytes *part : parts) AppendBytes(file, *part);
  if (file.size() != end) throw LinkError("internal: __LINKEDIT is not the size planned");

  // A UUID derived from the contents: the same inputs always give the same file.
  Bytes digest = Sha256(file.data(), file.size());
  digest[6] = static_cast<uint8_t>((digest[6] & 0x0f) | 0x40);
  digest[8] = static_cast<uint8_t>((digest[8] & 0x3f) | 0x80);
  std::copy(digest.begin(), digest.begin() + 16, file.begin() + uuid_at);
  return file;
}

}  // namespace dwl
