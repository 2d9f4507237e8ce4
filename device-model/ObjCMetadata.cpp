#include "ObjCMetadata.h"

#include "Hex.h"
#include "MachOFormat.h"
#include "ObjCMetadataFormat.h"
#include "ObjCMetadataImage.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace device::objc {

using namespace macho;
using namespace objcformat;

namespace {

// Reads the runtime's structures at their addresses. Field offsets follow the pointer size: the
// 32-bit layouts are the 64-bit ones with 4-byte pointers (and no padding word in class_ro_t).
class MetadataReader {
 public:
  explicit MetadataReader(const Image &image) : image_(image), p_(image.pointerSize()) {}

  ImageMetadata Read() {
    ImageMetadata out;
    out.arch = image_.arch();
    out.fileType = image_.fileType();
    out.fixUps = image_.fixUps();
    for (const ImageSection *s : image_.DataSections("__objc_classlist")) {
      CheckWholePointers(*s);
      out.classes.reserve(out.classes.size() + std::min(s->size, image_.size()) / p_);
      for (uint64_t at = s->address; at < s->address + s->size; at += p_) out.classes.push_back(ReadClass(ClassAt(at)));
    }
    for (const ImageSection *s : image_.DataSections("__objc_catlist")) {
      CheckWholePointers(*s);
      for (uint64_t at = s->address; at < s->address + s->size; at += p_) {
        CategoryRecord category = ReadCategory(at);
        // A category whose class pointer is empty (its class stripped, or a Swift stub) attaches nowhere.
        if (category.cls.kind != ClassReference::none) out.categories.push_back(std::move(category));
      }
    }
    out.relativeMethodLists = relativeLists_;
    return out;
  }

 private:
  void CheckWholePointers(const ImageSection &s) const {
    if (s.size % p_ != 0) throw ImageError(s.name + " is not a whole number of pointers");
  }

  uint64_t Pointer(uint64_t address) const {
    const ResolvedPointer r = image_.ReadPointer(address);
    if (r.import != nullptr) throw ImageError("the pointer at " + Hex(address) + " is bound to " + r.import->symbol + " where the image's own data belongs");
    return r.target;
  }

  uint64_t ClassAt(uint64_t listEntry) const {
    const uint64_t cls = Pointer(listEntry);
    if (cls == 0) throw ImageError("__objc_classlist holds a null class at " + Hex(listEntry));
    return cls;
  }

  uint64_t ReadOnlyData(uint64_t cls) const {
    const uint64_t data = Pointer(cls + 4 * p_) & (p_ == 8 ? kClassDataMask64 : kClassDataMask32);
    if (data == 0) throw ImageError("the class at " + Hex(cls) + " has no read-only data");
    return data;
  }

  // class_ro_t: flags, instanceStart, instanceSize, (reserved on 64-bit), ivarLayout, name,
  // baseMethods, baseProtocols, ivars, ...
  uint64_t RoField(uint64_t ro, unsigned index) const { return ro + (p_ == 8 ? 16 : 12) + uint64_t(index) * p_; }

  std::string ClassName(uint64_t cls) {
    auto cached = names_.find(cls);
    if (cached != names_.end()) return cached->second;
    const uint64_t namePointer = Pointer(RoField(ReadOnlyData(cls), 1));
    if (namePointer == 0) throw ImageError("the class at " + Hex(cls) + " has no name");
    return names_[cls] = image_.ReadCString(namePointer);
  }

  ClassReference Reference(uint64_t address) {
    const ResolvedPointer r = image_.ReadPointer(address);
    ClassReference out;
    if (r.import != nullptr) {
      const std::string &symbol = r.import->symbol;
      const size_t prefix = std::strlen(kClassSymbolPrefix);
      if (symbol.compare(0, prefix, kClassSymbolPrefix) != 0) {
        throw ImageError("a class reference at " + Hex(address) + " is bound to " + symbol + ", which is not a class");
      }
      out.kind = ClassReference::outside;
      out.name = symbol.substr(prefix);
      out.library = r.import->library;
    } else if (r.target != 0) {
      out.kind = ClassReference::local;
      out.name = ClassName(r.target);
    }
    return out;
  }

  std::vector<std::string> Methods(uint64_t list, const std::string &owner) {
    std::vector<std::string> out;
    if (list == 0) return out;
    const uint32_t entsizeAndFlags = image_.Read32(list), count = image_.Read32(list + 4);
    const uint32_t entsize = entsizeAndFlags & ~kMethodListFlagMask;
    const bool relative = (entsizeAndFlags & kMethodListRelative) != 0;
    const uint32_t expected = relative ? kRelativeMethodEntrySize : 3 * p_;
    if (entsize < expected) throw ImageError(owner + ": method entries of " + std::to_string(entsize) + " bytes");
    CheckCount(list + 8, count, entsize, owner + "'s method list");
    relativeLists_ = relativeLists_ || relative;
    out.reserve(count);
    for (uint64_t i = 0, entry = list + 8; i < count; ++i, entry += entsize) {
      uint64_t name;
      if (relative) {
        // The name field is an offset from itself to the method's selector reference.
        const int32_t offset = static_cast<int32_t>(image_.Read32(entry));
        name = Pointer(entry + static_cast<uint64_t>(static_cast<int64_t>(offset)));
      } else {
        name = Pointer(entry);
      }
      if (name == 0) throw ImageError(owner + ": method " + std::to_string(i) + " has no name");
      out.push_back(image_.ReadCString(name));
    }
    return out;
  }

  // A list's entries must lie inside the image and within what the file holds: a count read from a
  // corrupt file is checked before anything is reserved for it.
  void CheckCount(uint64_t first, uint64_t count, uint64_t entsize, const std::string &what) const {
    if (count == 0) return;
    if (count > image_.size() / entsize) {
      throw ImageError(what + " claims " + std::to_string(count) + " entries, more than the file holds");
    }
    image_.Read32(first);
    image_.Read32(first + (count - 1) * entsize);
  }

  std::vector<std::string> Ivars(uint64_t list, const std::string &owner) {
    std::vector<std::string> out;
    if (list == 0) return out;
    const uint32_t entsize = image_.Read32(list), count = image_.Read32(list + 4);
    // ivar_t: offset pointer, name, type, alignment, size.
    if (entsize < 3 * p_ + 8) throw ImageError(owner + ": instance variable entries of " + std::to_string(entsize) + " bytes");
    CheckCount(list + 8, count, entsize, owner + "'s instance variables");
    out.reserve(count);
    for (uint64_t i = 0, entry = list + 8; i < count; ++i, entry += entsize) {
      const uint64_t name = Pointer(entry + p_);
      if (name != 0) out.push_back(image_.ReadCString(name));
    }
    return out;
  }

  ClassRecord ReadClass(uint64_t cls) {
    ClassRecord out;
    out.name = ClassName(cls);
    const uint64_t ro = ReadOnlyData(cls);
    out.superclass = Reference(cls + p_);
    out.instanceMethods = Methods(Pointer(RoField(ro, 2)), out.name);
    out.ivars = Ivars(Pointer(RoField(ro, 4)), out.name);
    const uint64_t meta = Pointer(cls);
    if (meta != 0) out.classMethods = Methods(Pointer(RoField(ReadOnlyData(meta), 2)), "+" + out.name);
    return out;
  }

  // category_t: name, cls, instanceMethods, classMethods, protocols, instanceProperties.
  CategoryRecord ReadCategory(uint64_t listEntry) {
    const uint64_t category = Pointer(listEntry);
    if (category == 0) throw ImageError("__objc_catlist holds a null category at " + Hex(listEntry));
    CategoryRecord out;
    const uint64_t name = Pointer(category);
    out.name = name != 0 ? image_.ReadCString(name) : "";
    out.cls = Reference(category + p_);
    const std::string owner = out.cls.name + "(" + out.name + ")";
    out.instanceMethods = Methods(Pointer(category + 2 * p_), owner);
    out.classMethods = Methods(Pointer(category + 3 * p_), "+" + owner);
    return out;
  }

  const Image &image_;
  const unsigned p_;
  std::unordered_map<uint64_t, std::string> names_;
  bool relativeLists_ = false;
};

}  // namespace

ImageMetadata ReadObjCMetadata(const std::vector<uint8_t> &file, Arch arch) {
  const Image image(file, arch);
  return MetadataReader(image).Read();
}

}  // namespace device::objc
