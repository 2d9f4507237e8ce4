// The Objective-C metadata of an app's executable (or of a framework), read from the file as the
// runtime would find it at load: the classes of __objc_classlist with their superclass, own methods
// (both sides) and instance variables, and the categories of __objc_catlist. Thin and fat files,
// 32- and 64-bit layouts, pointer and relative method lists, pointers fixed up by LC_DYLD_INFO
// opcodes or by chained fix-ups. Encrypted images are refused: their metadata is not readable.
#pragma once

#include "DylibFile.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace device::objc {

// An image that cannot be read, with what is wrong (the caller names the file).
struct ImageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Where a class reference points: a class of this image, another image's class bound by name, or
// nothing (a root class).
struct ClassReference {
  enum Kind { none, local, outside } kind = none;
  std::string name;     // the class's name (local and outside)
  std::string library;  // outside: the library the bind names, when it names one
};

struct ClassRecord {
  std::string name;
  ClassReference superclass;
  std::vector<std::string> instanceMethods, classMethods;  // the class's own base methods
  std::vector<std::string> ivars;
};

struct CategoryRecord {
  std::string name;
  ClassReference cls;
  std::vector<std::string> instanceMethods, classMethods;
};

struct ImageMetadata {
  Arch arch = Arch::arm64;
  uint32_t fileType = 0;
  std::string fixUps;  // "dyld info opcodes", "chained fix-ups" or "none"
  bool relativeMethodLists = false;  // at least one list of the relative form was read
  std::vector<ClassRecord> classes;
  std::vector<CategoryRecord> categories;
};

// A file's bytes, read whole; throws ImageError naming the file when it cannot be read.
std::vector<uint8_t> ReadImageFile(const std::string &path);

// The slices of a thin or fat file that the reader understands (arm64 and armv7).
std::vector<Arch> SlicesOf(const std::vector<uint8_t> &file);

// Reads `arch`'s slice; throws ImageError for anything truncated, corrupt, encrypted or not Mach-O.
ImageMetadata ReadObjCMetadata(const std::vector<uint8_t> &file, Arch arch);

}  // namespace device::objc
