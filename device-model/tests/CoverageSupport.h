// What the coverage tests share: the fixture apps built in this tree, the shipped dylib's hook
// table, and edits of a Mach-O file's header (a crypt id set, a file cut short).
#pragma once

#include "CoverageRun.h"
#include "ObjCMetadata.h"
#include "Support.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace device::coverage {

inline std::string FixturePath(const std::string &name) { return std::string(DUSKWELL_COVERAGE_FIXTURES) + "/" + name; }

inline const std::vector<uint8_t> &Fixture(const std::string &name) {
  static std::map<std::string, std::vector<uint8_t>> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, ReadFile(FixturePath(name))).first;
  return it->second;
}

// The hook table as the shipped dylib's constructor installs it (its arm64 slice).
inline const std::vector<HookRow> &ShippedTable() {
  static const std::vector<HookRow> table = HookTableOf(ShippedDylib(), DylibSliceFor(ShippedDylib(), Arch::arm64));
  return table;
}

inline Arch ArchOfFixture(const std::string &name) {
  return name.find("armv7") != std::string::npos ? Arch::armv7 : Arch::arm64;
}

// A fixture app's classes, with the UIKit fixture of the same slice beside it when asked.
inline ClassSet ClassesOf(const std::string &app, bool withUIKit) {
  const Arch arch = ArchOfFixture(app);
  std::vector<std::pair<std::string, objc::ImageMetadata>> frameworks;
  if (withUIKit) {
    const std::string uikit = arch == Arch::armv7 ? "UIKit-armv7" : "UIKit-arm64";
    frameworks.emplace_back(FixturePath(uikit), objc::ReadObjCMetadata(Fixture(uikit), arch));
  }
  return ClassSet(objc::ReadObjCMetadata(Fixture(app), arch), frameworks);
}

inline uint32_t Get32(const std::vector<uint8_t> &b, size_t at) {
  uint32_t v;
  std::memcpy(&v, &b[at], 4);
  return v;
}
inline void Put32(std::vector<uint8_t> &b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// A thin file whose encryption command says `cryptId`: the command the linker wrote, or one put in
// the header's padding, or in place of its LC_UUID when the header has no padding.
inline std::vector<uint8_t> WithCryptId(std::vector<uint8_t> file, uint32_t cryptId) {
  const bool wide = Get32(file, 0) == 0xfeedfacf;
  const size_t header = wide ? 32 : 28;
  const uint32_t count = Get32(file, 16), size = Get32(file, 20);
  const uint32_t commandSize = wide ? 24 : 20;
  size_t at = header, uuid = 0;
  for (uint32_t n = 0; n < count; ++n) {
    const uint32_t cmd = Get32(file, at);
    if (cmd == 0x21 || cmd == 0x2c) {
      Put32(file, at + 16, cryptId);
      return file;
    }
    if (cmd == 0x1b) uuid = at;
    at += Get32(file, at + 4);
  }
  bool padding = true;
  for (size_t i = header + size; i < header + size + commandSize; ++i) padding = padding && i < file.size() && file[i] == 0;
  size_t place = at;
  if (!padding) {
    if (uuid == 0) {
      ADD_FAILURE() << "no room in the header for an encryption command";
      return file;
    }
    place = uuid;  // LC_UUID is 24 bytes: room for either encryption command
  }
  Put32(file, place, wide ? 0x2c : 0x21);
  if (padding) Put32(file, place + 4, commandSize);
  Put32(file, place + 8, 0x4000);  // cryptoff
  Put32(file, place + 12, 0x4000);  // cryptsize
  Put32(file, place + 16, cryptId);
  if (padding) {
    Put32(file, 16, count + 1);
    Put32(file, 20, size + commandSize);
  }
  return file;
}

}  // namespace device::coverage
