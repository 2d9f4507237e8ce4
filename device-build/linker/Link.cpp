#include "Link.h"

#include <algorithm>
#include <map>
#include <set>

#include "LinkEdit.h"
#include "MachOFormat.h"
#include "Thumb.h"
#include "Writer.h"

namespace dwl {

using namespace macho;

namespace {

constexpr uint32_t kPage = 0x1000;  // armv7 devices map 4 KiB pages
constexpr uint32_t kPointer = 4;
constexpr uint64_t kImageLimit = 0x10000000;  // 256 MiB; the library is tens of KiB

const char *RelocationName(uint32_t type) {
  static const char *const names[] = {"ARM_RELOC_VANILLA",     "ARM_RELOC_PAIR",         "ARM_RELOC_SECTDIFF",
                                      "ARM_RELOC_LOCAL_SECTDIFF", "ARM_RELOC_PB_LA_PTR", "ARM_RELOC_BR24",
                                      "ARM_THUMB_RELOC_BR22",  "ARM_THUMB_32BIT_BRANCH", "ARM_RELOC_HALF",
                                      "ARM_RELOC_HALF_SECTDIFF"};
  return type < sizeof names / sizeof names[0] ? names[type] : "an unknown relocation type";
}

std::string Describe(const Relocation &r) {
  std::string text = std::string(RelocationName(r.type)) + " (type " + std::to_string(r.type) + ", length " +
                     std::to_string(r.length) + (r.pc_relative ? ", pc-relative" : "") +
                     (r.scattered ? ", scattered" : r.external ? ", extern" : ", section-relative") + ")";
  return text;
}


struct Place {
  int out = -1;
  uint32_t offset = 0;
  bool copy = true;  // false for a duplicate that shares an earlier object's bytes
};

struct SymbolRef {
  size_t object = 0;
  size_t symbol = 0;
};

// A relocation's target: a definition in one of the objects, or an import from a library.
struct Binding {
  bool import = false;
  std::string name;
  SymbolRef definition;
};

struct PointerSlot {
  Binding binding;
};

// Section order in the output: code first and the stubs after it, then read-only data; in __DATA
// the pointers the loader binds, then data, then zero-fill last so it needs no file space.
int Rank(const std::string &segment, const std::string &name, uint32_t flags) {
  if (segment == "__TEXT") return name == "__text" ? 0 : name == "__stubs" ? 1 : 2;
  if (name == "__nl_symbol_ptr") return 0;
  return (flags & kSectionTypeMask) == kZerofill ? 2 : 1;
}

bool Supported(uint32_t type) {
  switch (type) {
    case kRegular: case kZerofill: case kCstringLiterals: case k4ByteLiterals: case k8ByteLiterals:
    case k16ByteLiterals: case kLiteralPointers: case kModInitFuncPointers: case kNonLazySymbolPointers:
      return true;
    default:
      return false;
  }
}

class Linker {
 public:
  Linker(const std::vector<ObjectFile> &objects, const std::vector<DylibStub> &libraries, const LinkOptions &options)
      : objects_(objects), libraries_(libraries), options_(options) {}

  Bytes Run() {
    CollectDefinitions();
    CollectImports();
    CheckUndefined();
    PlaceSections();
    CollectStubsAndSlots();
    AddSyntheticSections();
    Layout();
    CopyContents();
    ApplyRelocations();
    FillStubsAndSlots();
    return Write();
  }

 private:
  const std::vector<ObjectFile> &objects_;
  const std::vector<DylibStub> &libraries_;
  const LinkOptions &options_;

  std::map<std::string, SymbolRef> globals_;
  std::map<std::string, uint32_t> import_library_;  // symbol to 1-based library ordinal
  std::vector<ImageSection> out_;
  std::vector<std::vector<Place>> places_;
  std::vector<std::string> stubs_;  // imported functions, one stub each, in stub order
  std::vector<PointerSlot> slots_;  // __nl_symbol_ptr, the stubs' pointers first
  std::map<std::pair<size_t, uint32_t>, size_t> slot_of_indirect_;
  std::set<std::string> used_imports_;
  std::vector<uint32_t> rebases_;  // addresses in __DATA
  std::vector<BindEntry> binds_;
  int stubs_section_ = -1;
  int pointers_section_ = -1;
  uint32_t data_start_ = 0;
  uint32_t data_file_size_ = 0;
  uint32_t data_vm_size_ = 0;
  uint32_t text_size_ = 0;
  bool has_data_ = false;

  void CollectDefinitions() {
    for (size_t o = 0; o < objects_.size(); ++o) {
      for (size_t k = 0; k < objects_[o].symbols.size(); ++k) {
        const InputSymbol &s = objects_[o].symbols[k];
        if (!s.defined() || !s.external()) continue;
        if (s.weak() && !s.private_extern())
          throw LinkError(objects_[o].path + ": " + s.name + " is an exported weak definition, which the linker does not support");
        auto found = globals_.find(s.name);
        if (found == globals_.end()) {
          globals_[s.name] = {o, k};
          continue;
        }
        const InputSymbol &earlier = objects_[found->second.object].symbols[found->second.symbol];
        if (earlier.weak() && !s.weak()) {
          found->second = {o, k};
        } else if (!earlier.weak() && !s.weak()) {
          throw LinkError("duplicate symbol " + s.name + " in " + objects_[found->second.object].path + " and " + objects_[o].path);
        }
        // Otherwise the first weak copy stands for all: the others keep their bytes, unreferenced.
      }
    }
  }

  void CollectImports() {
    for (size_t l = 0; l < libraries_.size(); ++l)
      for (const std::string &symbol : libraries_[l].symbols) import_library_.emplace(symbol, static_cast<uint32_t>(l + 1));
  }

  void CheckUndefined() {
    std::map<std::string, std::string> missing;
    for (const ObjectFile &object : objects_)
      for (const InputSymbol &s : object.symbols)
        if (s.undefined() && !globals_.count(s.name) && !import_library_.count(s.name)) missing.emplace(s.name, object.path);
    if (missing.empty()) return;
    std::string message = "undefined symbols (in no object and no stub):";
    for (const auto &[name, path] : missing) message += " " + name + " (from " + path + ")";
    throw LinkError(message);
  }

  Binding Resolve(size_t o, uint32_t index, const std::string &where) const {
    const ObjectFile &object = objects_[o];
    if (index >= object.symbols.size()) throw LinkError(where + ": refers to symbol " + std::to_string(index) + ", which does not exist");
    const InputSymbol &s = object.symbols[index];
    if (s.defined() && !s.external()) return {false, s.name, {o, index}};
    auto global = globals_.find(s.name);
    if (global != globals_.end()) return {false, s.name, global->second};
    if (import_library_.count(s.name)) return {true, s.name, {}};
    throw LinkError(where + ": refers to " + s.name + ", defined nowhere");
  }

  void PlaceSections() {
    std::map<std::pair<std::string, std::string>, int> by_name;
    std::map<int, std::pair<size_t, size_t>> image_info_first;  // out section to its (object, section)
    places_.resize(objects_.size());
    for (size_t o = 0; o < objects_.size(); ++o) {
      const ObjectFile &object = objects_[o];
      places_[o].resize(object.sections.size());
      for (size_t si = 0; si < object.sections.size(); ++si) {
        const InputSection &in = object.sections[si];
        std::string where = object.path + ": section (" + in.segment + "," + in.name + ")";
        if ((in.flags & kAttrDebug) != 0) continue;  // debug information is not carried
        if (!Supported(in.type())) throw LinkError(where + " is of type " + Hex(in.type()) + ", which the linker does not support");
        if (in.segment != "__TEXT" && in.segment != "__DATA")
          throw LinkError(where + ": segment " + in.segment + " is not supported (only __TEXT and __DATA)");
        if (in.type() == kNonLazySymbolPointers) {
          if (in.segment != "__DATA" || in.size % kPointer != 0)
            throw LinkError(where + ": a non-lazy pointer section must be in __DATA and a whole number of pointers");
          if (!in.relocations.empty()) throw LinkError(where + ": relocations in a non-lazy pointer section are not supported");
          continue;  // its pointers are merged into the output's own, one per symbol
        }
        if (in.segment == "__TEXT" && in.zerofill()) throw LinkError(where + ": zero-fill in __TEXT is not supported");
        auto key = std::make_pair(in.segment, in.name);
        auto found = by_name.find(key);
        int index;
        if (found == by_name.end()) {
          index = static_cast<int>(out_.size());
          by_name[key] = index;
          ImageSection s;
          s.segment = in.segment;
          s.name = in.name;
          s.flags = in.flags;
          out_.push_back(s);
        } else {
          index = found->second;
          if ((out_[index].flags & kSectionTypeMask) != in.type())
            throw LinkError(where + " has type " + Hex(in.type()) + ", another object's has " + Hex(out_[index].flags & kSectionTypeMask));
        }
        ImageSection &out = out_[index];
        if (in.name == "__objc_imageinfo") {
          // The runtime reads one image info: every object's must agree, and the first is kept.
          auto first = image_info_first.find(index);
          if (first != image_info_first.end()) {
            const InputSection &kept = objects_[first->second.first].sections[first->second.second];
            if (kept.contents != in.contents) throw LinkError(where + " differs from that of " + objects_[first->second.first].path);
            places_[o][si] = places_[first->second.first][first->second.second];
            places_[o][si].copy = false;
            continue;
          }
          image_info_first[index] = {o, si};
        }
        out.alignment_log2 = std::max(out.alignment_log2, in.alignment_log2);
        uint64_t aligned = AlignUp(out.size, uint64_t{1} << in.alignment_log2);
        if (aligned + in.size > kImageLimit) throw LinkError(where + ": the section is too large (" + Hex(in.size) + " bytes)");
        uint32_t offset = static_cast<uint32_t>(aligned);
        places_[o][si] = {index, offset, true};
        out.size = offset + in.size;
      }
    }
  }

  void CollectStubsAndSlots() {
    std::set<std::string> functions;
    for (size_t o = 0; o < objects_.size(); ++o) {
      const ObjectFile &object = objects_[o];
      for (size_t si = 0; si < object.sections.size(); ++si)
        for (const Relocation &r : object.sections[si].relocations)
          if (!r.scattered && r.external && r.type == kArmThumbBranch22) {
            Binding b = Resolve(o, r.symbol_or_section, object.Where(si, r.address));
            if (b.import) functions.insert(b.name);
          }
    }
    stubs_.assign(functions.begin(), functions.end());
    std::map<std::string, size_t> slot_of_name;
    for (const std::string &name : stubs_) {
      slot_of_name[name] = slots_.size();
      slots_.push_back({{true, name, {}}});
      used_imports_.insert(name);
    }
    for (size_t o = 0; o < objects_.size(); ++o) {
      const ObjectFile &object = objects_[o];
      for (size_t si = 0; si < object.sections.size(); ++si) {
        const InputSection &in = object.sections[si];
        if (in.type() != kNonLazySymbolPointers || (in.flags & kAttrDebug) != 0) continue;
        for (uint32_t j = 0; j < in.size / kPointer; ++j) {
          uint32_t indirect = in.indirect_first + j;
          std::string where = object.Where(si, j * kPointer);
          if (indirect >= object.indirect_symbols.size()) throw LinkError(where + ": has no indirect symbol");
          uint32_t symbol = object.indirect_symbols[indirect];
          if ((symbol & (kIndirectSymbolLocal | kIndirectSymbolAbsolute)) != 0)
            throw LinkError(where + ": a local non-lazy pointer is not supported");
          Binding b = Resolve(o, symbol, where);
          std::string key = b.import ? b.name : "defined " + b.name + " " + std::to_string(b.definition.object);
          auto found = slot_of_name.find(key);
          if (found == slot_of_name.end()) {
            found = slot_of_name.emplace(key, slots_.size()).first;
            slots_.push_back({b});
            if (b.import) used_imports_.insert(b.name);
          }
          slot_of_indirect_[{o, indirect}] = found->second;
        }
      }
    }
  }

  void AddSyntheticSections() {
    if (!stubs_.empty()) {
      ImageSection s;
      s.segment = "__TEXT";
      s.name = "__stubs";
      s.flags = kSymbolStubs | kAttrPureInstructions | kAttrSomeInstructions;
      s.alignment_log2 = 2;
      s.size = static_cast<uint32_t>(stubs_.size() * thumb::kStubSize);
      s.reserved1 = 0;
      s.reserved2 = thumb::kStubSize;
      out_.push_back(s);
    }
    if (!slots_.empty()) {
      ImageSection s;
      s.segment = "__DATA";
      s.name = "__nl_symbol_ptr";
      s.flags = kNonLazySymbolPointers;
      s.alignment_log2 = 2;
      s.size = static_cast<uint32_t>(slots_.size() * kPointer);
      s.reserved1 = static_cast<uint32_t>(stubs_.size());
      out_.push_back(s);
    }
    // Stable, so that sections of one rank keep the order the objects gave them.
    std::vector<int> order(out_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
      auto key = [this](int i) {
        return std::make_pair(out_[i].segment == "__TEXT" ? 0 : 1, Rank(out_[i].segment, out_[i].name, out_[i].flags));
      };
      return key(a) < key(b);
    });
    std::vector<ImageSection> sorted;
    std::vector<int> new_index(out_.size());
    for (size_t i = 0; i < order.size(); ++i) {
      new_index[order[i]] = static_cast<int>(i);
      sorted.push_back(out_[order[i]]);
    }
    out_ = sorted;
    for (auto &object_places : places_)
      for (Place &p : object_places)
        if (p.out >= 0) p.out = new_index[p.out];
    for (size_t i = 0; i < out_.size(); ++i) {
      if (out_[i].name == "__stubs" && out_[i].segment == "__TEXT") stubs_section_ = static_cast<int>(i);
      if (out_[i].name == "__nl_symbol_ptr" && out_[i].segment == "__DATA") pointers_section_ = static_cast<int>(i);
      if (out_[i].segment == "__DATA") has_data_ = true;
    }
  }

  void Layout() {
    // Sizes come from the objects: keep every address far from wrapping 32 bits.
    uint64_t total = 0;
    for (const ImageSection &sec : out_) total += AlignUp(sec.size, uint64_t{1} << sec.alignment_log2);
    if (total > kImageLimit) throw LinkError("the sections add up to " + Hex(total) + " bytes, more than the " + Hex(kImageLimit) + " the linker lays out");
    // Symbols name their section in one byte.
    if (out_.size() > 255) throw LinkError("the objects have " + std::to_string(out_.size()) + " sections, more than the 255 an image can number");
    uint32_t address = 28 + LoadCommandsSize(out_, libraries_, options_.install_name);
    for (ImageSection &s : out_) {
      if (!s.text()) continue;
      address = static_cast<uint32_t>(AlignUp(address, uint64_t{1} << s.alignment_log2));
      s.address = address;
      address += s.size;
    }
    text_size_ = static_cast<uint32_t>(AlignUp(address, kPage));
    data_start_ = text_size_;
    address = data_start_;
    uint32_t file_end = data_start_;
    for (int pass = 0; pass < 2; ++pass) {
      for (ImageSection &s : out_) {
        if (s.text() || s.zerofill() != (pass == 1)) continue;
        address = static_cast<uint32_t>(AlignUp(address, uint64_t{1} << s.alignment_log2));
        s.address = address;
        address += s.size;
        if (pass == 0) file_end = address;
      }
    }
    data_file_size_ = static_cast<uint32_t>(AlignUp(file_end - data_start_, kPage));
    data_vm_size_ = static_cast<uint32_t>(AlignUp(address - data_start_, kPage));
    for (ImageSection &s : out_)
      if (!s.zerofill()) s.contents.assign(s.size, 0);
  }

  void CopyContents() {
    for (size_t o = 0; o < objects_.size(); ++o)
      for (size_t si = 0; si < objects_[o].sections.size(); ++si) {
        const Place &p = places_[o][si];
        const InputSection &in = objects_[o].sections[si];
        if (p.out < 0 || !p.copy || in.zerofill()) continue;
        std::copy(in.contents.begin(), in.contents.end(), out_[p.out].contents.begin() + p.offset);
      }
  }

  // Where an address of an object's address space lands in the output. `hint` names the section
  // when the relocation does; otherwise the section that holds the address.
  uint32_t Map(size_t o, uint32_t address, int hint, const std::string &where) const {
    const ObjectFile &object = objects_[o];
    int si = hint >= 0 ? hint : object.SectionContaining(address);
    if (si < 0 || static_cast<size_t>(si) >= object.sections.size())
      throw LinkError(where + ": address " + Hex(address) + " lies in no section of the object");
    const InputSection &in = object.sections[si];
    uint32_t offset = address - in.address;
    if (in.type() == kNonLazySymbolPointers) {
      auto slot = slot_of_indirect_.find({o, in.indirect_first + offset / kPointer});
      if (slot == slot_of_indirect_.end() || offset >= in.size) throw LinkError(where + ": points outside a non-lazy pointer section");
      return out_[pointers_section_].address + static_cast<uint32_t>(slot->second) * kPointer + offset % kPointer;
    }
    const Place &p = places_[o][si];
    if (p.out < 0) throw LinkError(where + ": refers to section (" + in.segment + "," + in.name + "), which is not linked");
    return out_[p.out].address + p.offset + offset;
  }

  // A pointer to code in a Thumb function carries the Thumb bit, which the objects leave to the
  // linker: the function is the last symbol at or before the address in its section.
  bool ThumbAt(size_t o, uint32_t address, int hint) const {
    const ObjectFile &object = objects_[o];
    int si = hint >= 0 ? hint : object.SectionContaining(address);
    if (si < 0 || static_cast<size_t>(si) >= object.sections.size()) return false;
    if ((object.sections[si].flags & (kAttrPureInstructions | kAttrSomeInstructions)) == 0) return false;
    const InputSymbol *best = nullptr;
    for (const InputSymbol &s : object.symbols)
      if (s.defined() && s.section == si + 1 && s.value <= address && (best == nullptr || s.value >= best->value)) best = &s;
    return best != nullptr && best->thumb();
  }

  uint32_t DefinitionAddress(const SymbolRef &ref, const std::string &where) const {
    const InputSymbol &s = objects_[ref.object].symbols[ref.symbol];
    return Map(ref.object, s.value, s.section - 1, where);
  }

  bool DefinitionIsThumb(const SymbolRef &ref) const { return objects_[ref.object].symbols[ref.symbol].thumb(); }

  uint32_t DataOffset(uint32_t address) const { return address - data_start_; }

  void AddBind(uint32_t address, const std::string &symbol, int64_t addend) {
    binds_.push_back({{1, DataOffset(address)}, import_library_.at(symbol), symbol, addend});
    used_imports_.insert(symbol);
  }

  void ApplyRelocations() {
    for (size_t o = 0; o < objects_.size(); ++o) {
      const ObjectFile &object = objects_[o];
      for (size_t si = 0; si < object.sections.size(); ++si) {
        const Place &p = places_[o][si];
        if (p.out < 0) continue;
        const InputSection &in = object.sections[si];
        ImageSection &out = out_[p.out];
        const std::vector<Relocation> &relocations = in.relocations;
        for (size_t i = 0; i < relocations.size(); ++i) {
          const Relocation &r = relocations[i];
          std::string where = object.Where(si, r.address);
          if (r.address > in.size || in.size - r.address < 4) throw LinkError(where + ": relocation lies outside the section");
          uint32_t at = p.offset + r.address;                    // in the output section's bytes
          uint32_t place_address = out.address + at;              // where the patched bytes end up
          uint32_t object_address = in.address + r.address;      // where they were in the object
          if (r.type == kArmThumbBranch22 && !r.scattered && r.pc_relative && r.length == 2 && in.segment == "__TEXT") {
            ApplyBranch(o, r, where, out, at, place_address, object_address);
          } else if (r.type == kArmHalfSectionDifference && r.scattered && !r.pc_relative && (r.length & 2) != 0 &&
                     in.segment == "__TEXT") {
            if (i + 1 >= relocations.size() || relocations[i + 1].type != kArmPair)
              throw LinkError(where + ": " + Describe(r) + " is not followed by its ARM_RELOC_PAIR");
            ApplyHalfDifference(o, r, relocations[i + 1], where, out, at);
            ++i;
          } else if (r.type == kArmVanilla && r.length == 2 && !r.pc_relative && in.segment == "__DATA" && !in.zerofill()) {
            ApplyPointer(o, r, where, out, at, place_address);
          } else {
            std::string why = in.segment == "__TEXT" && r.type == kArmVanilla
                                  ? "a pointer in __TEXT would need a relocation at load, which the device refuses"
                                  : "the linker handles only ARM_THUMB_RELOC_BR22 and Thumb ARM_RELOC_HALF_SECTDIFF in __TEXT "
                                    "and 4-byte ARM_RELOC_VANILLA in __DATA";
            throw LinkError(where + ": " + Describe(r) + " is not supported: " + why);
          }
        }
      }
    }
  }

  void ApplyBranch(size_t o, const Relocation &r, const std::string &where, ImageSection &out, uint32_t at,
                   uint32_t place_address, uint32_t object_address) {
    uint16_t first = Read16(out.contents, at);
    uint16_t second = Read16(out.contents, at + 2);
    thumb::BranchKind kind = thumb::ClassifyBranch(first, second);
    if (kind == thumb::BranchKind::NotABranch)
      throw LinkError(where + ": " + Describe(r) + " does not patch a Thumb-2 BL, BLX or B.W instruction");
    if (kind == thumb::BranchKind::BranchWithLinkExchange)
      throw LinkError(where + ": " + Describe(r) + " on a BLX to ARM code is not supported: the library is Thumb code throughout");
    uint32_t old_target = object_address + 4 + static_cast<uint32_t>(thumb::BranchDisplacement(first, second));
    uint32_t target;
    if (r.external) {
      Binding b = Resolve(o, r.symbol_or_section, where);
      uint32_t addend = old_target;  // the object encodes the target as if the symbol were at 0
      if (b.import) {
        auto stub = std::lower_bound(stubs_.begin(), stubs_.end(), b.name);
        target = out_[stubs_section_].address + static_cast<uint32_t>(stub - stubs_.begin()) * thumb::kStubSize + addend;
      } else {
        if (!DefinitionIsThumb(b.definition))
          throw LinkError(where + ": " + Describe(r) + " calls " + b.name + ", which is not Thumb code");
        target = DefinitionAddress(b.definition, where) + addend;
      }
    } else {
      target = Map(o, old_target, static_cast<int>(r.symbol_or_section) - 1, where);
    }
    int64_t displacement = static_cast<int64_t>(target) - static_cast<int64_t>(place_address + 4);
    auto patched = thumb::WithBranchDisplacement(first, second, displacement);
    if (!patched) throw LinkError(where + ": " + Describe(r) + ": target " + Hex(target) + " is out of reach of the branch");
    Write16(out.contents, at, static_cast<uint16_t>(*patched));
    Write16(out.contents, at + 2, static_cast<uint16_t>(*patched >> 16));
  }

  // movw/movt of (A - B + addend): A the target, B the pc anchor. Both move with their sections;
  // a Thumb function as target gets the Thumb bit.
  void ApplyHalfDifference(size_t o, const Relocation &r, const Relocation &pair, const std::string &where, ImageSection &out,
                           uint32_t at) {
    uint16_t first = Read16(out.contents, at);
    uint16_t second = Read16(out.contents, at + 2);
    bool high = (r.length & 1) != 0;
    thumb::MoveKind kind = thumb::ClassifyMove(first, second);
    if (kind != (high ? thumb::MoveKind::High : thumb::MoveKind::Low))
      throw LinkError(where + ": " + Describe(r) + " does not patch the Thumb-2 " + (high ? "MOVT" : "MOVW") + " it names");
    uint16_t immediate = thumb::MoveImmediate(first, second);
    uint32_t other_half = pair.address & 0xffff;
    uint32_t value = high ? (static_cast<uint32_t>(immediate) << 16) | other_half : (other_half << 16) | immediate;
    uint32_t target = r.value;
    uint32_t anchor = pair.value;
    uint32_t new_target = Map(o, target, -1, where) | (ThumbAt(o, target, -1) ? 1u : 0u);
    uint32_t new_anchor = Map(o, anchor, -1, where);
    uint32_t new_value = value + (new_target - target) - (new_anchor - anchor);
    uint32_t patched = thumb::WithMoveImmediate(first, second, static_cast<uint16_t>(high ? new_value >> 16 : new_value));
    Write16(out.contents, at, static_cast<uint16_t>(patched));
    Write16(out.contents, at + 2, static_cast<uint16_t>(patched >> 16));
  }

  void ApplyPointer(size_t o, const Relocation &r, const std::string &where, ImageSection &out, uint32_t at,
                    uint32_t place_address) {
    if (place_address % kPointer != 0) throw LinkError(where + ": " + Describe(r) + " on a pointer that is not 4-byte aligned");
    uint32_t stored = Read32(out.contents, at);
    uint32_t value;
    if (r.scattered) {
      value = (stored + (Map(o, r.value, -1, where) - r.value)) | (ThumbAt(o, r.value, -1) ? 1u : 0u);
    } else if (r.external) {
      Binding b = Resolve(o, r.symbol_or_section, where);
      if (b.import) {
        AddBind(place_address, b.name, static_cast<int32_t>(stored));
        Write32(out.contents, at, 0);
        return;
      }
      value = (DefinitionAddress(b.definition, where) + stored) | (DefinitionIsThumb(b.definition) ? 1u : 0u);
    } else {
      int hint = static_cast<int>(r.symbol_or_section) - 1;
      value = Map(o, stored, hint, where) | (ThumbAt(o, stored, hint) ? 1u : 0u);
    }
    Write32(out.contents, at, value);
    rebases_.push_back(place_address);
  }

  void FillStubsAndSlots() {
    for (size_t i = 0; i < stubs_.size(); ++i) {
      uint32_t stub = out_[stubs_section_].address + static_cast<uint32_t>(i) * thumb::kStubSize;
      uint32_t pointer = out_[pointers_section_].address + static_cast<uint32_t>(i) * kPointer;
      thumb::WriteStub(&out_[stubs_section_].contents[i * thumb::kStubSize], stub, pointer);
    }
    for (size_t i = 0; i < slots_.size(); ++i) {
      uint32_t slot = out_[pointers_section_].address + static_cast<uint32_t>(i) * kPointer;
      const Binding &b = slots_[i].binding;
      if (b.import) {
        AddBind(slot, b.name, 0);
      } else {
        std::string where = "the pointer to " + b.name;
        Write32(out_[pointers_section_].contents, i * kPointer,
                DefinitionAddress(b.definition, where) | (DefinitionIsThumb(b.definition) ? 1u : 0u));
        rebases_.push_back(slot);
      }
    }
  }


  uint8_t SectionOrdinal(const SymbolRef &ref) const {
    const InputSymbol &s = objects_[ref.object].symbols[ref.symbol];
    const InputSection &in = objects_[ref.object].sections[s.section - 1];
    int out = in.type() == kNonLazySymbolPointers ? pointers_section_ : places_[ref.object][s.section - 1].out;
    if (out < 0) return 0;
    return static_cast<uint8_t>(out + 1);
  }

  bool Wins(size_t o, size_t k) const {
    auto g = globals_.find(objects_[o].symbols[k].name);
    return g != globals_.end() && g->second.object == o && g->second.symbol == k;
  }

  Bytes Write() {
    // Symbols: locals (and private externs, now local), then exports by name, then imports by name.
    std::vector<ImageSymbol> locals, exports, imports;
    for (size_t o = 0; o < objects_.size(); ++o)
      for (size_t k = 0; k < objects_[o].symbols.size(); ++k) {
        const InputSymbol &s = objects_[o].symbols[k];
        // Assembler-local labels (l..., L...) stay out, as other linkers leave them.
        if (!s.defined() || s.name.empty() || s.name[0] == 'l' || s.name[0] == 'L') continue;
        if (s.external() && !Wins(o, k)) continue;
        uint8_t ordinal = SectionOrdinal({o, k});
        if (ordinal == 0) continue;
        ImageSymbol symbol{s.name, kInSection, ordinal, static_cast<uint16_t>(s.desc & kArmThumbDefinition),
                         DefinitionAddress({o, k}, s.name)};
        if (s.external() && !s.private_extern()) {
          symbol.type |= kExternal;
          exports.push_back(symbol);
        } else {
          if (s.external()) symbol.type |= kPrivateExtern;
          locals.push_back(symbol);
        }
      }
    auto by_name = [](const ImageSymbol &a, const ImageSymbol &b) { return a.name < b.name; };
    std::sort(exports.begin(), exports.end(), by_name);
    for (const std::string &name : used_imports_)
      imports.push_back({name, kExternal, 0, static_cast<uint16_t>(import_library_.at(name) << 8), 0});
    std::vector<ImageSymbol> symbols = locals;
    symbols.insert(symbols.end(), exports.begin(), exports.end());
    symbols.insert(symbols.end(), imports.begin(), imports.end());
    std::map<std::string, uint32_t> import_index;
    for (size_t i = 0; i < imports.size(); ++i) import_index[imports[i].name] = static_cast<uint32_t>(locals.size() + exports.size() + i);

    std::vector<uint32_t> indirect;
    for (const std::string &name : stubs_) indirect.push_back(import_index.at(name));
    for (const PointerSlot &slot : slots_)
      indirect.push_back(slot.binding.import ? import_index.at(slot.binding.name) : kIndirectSymbolLocal);

    std::vector<ExportEntry> trie_entries;
    for (const ImageSymbol &s : exports) trie_entries.push_back({s.name, s.value | ((s.desc & kArmThumbDefinition) ? 1u : 0u)});

    std::vector<SegmentOffset> rebase_locations;
    for (uint32_t address : rebases_) rebase_locations.push_back({1, DataOffset(address)});
    DylibContents contents;
    contents.symbols = std::move(symbols);
    contents.local_count = static_cast<uint32_t>(locals.size());
    contents.export_count = static_cast<uint32_t>(exports.size());
    contents.import_count = static_cast<uint32_t>(imports.size());
    contents.indirect = std::move(indirect);
    contents.rebase = RebaseOpcodes(rebase_locations, kPointer);
    contents.bind = BindOpcodes(binds_, kPointer);
    contents.trie = ExportTrie(trie_entries, kPointer);
    DylibLayout layout{out_, text_size_, data_start_, data_file_size_, data_vm_size_, has_data_};
    return WriteDylib(layout, contents, libraries_, options_);
  }
};

}  // namespace

Bytes LinkDylib(const std::vector<ObjectFile> &objects, const std::vector<DylibStub> &libraries, const LinkOptions &options) {
  if (objects.empty()) throw LinkError("no objects to link");
  if (libraries.size() > 255) throw LinkError("too many libraries");
  return Linker(objects, libraries, options).Run();
}

}  // namespace dwl
