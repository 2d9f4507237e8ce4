// The link-time stand-ins for the device's libraries: text stubs (.tbd, version 4) that name a
// library's install name and the symbols it exports for each target.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace dwl {

struct DylibStub {
  std::string path;
  std::string install_name;
  uint32_t current_version = 0x10000;        // packed xxxx.yy.zz
  uint32_t compatibility_version = 0x10000;
  std::set<std::string> symbols;             // the exports for the requested target, as symbol names
};

// Reads every document of a .tbd file and keeps the exports listed for `target` (e.g. armv7-ios).
// Refuses keys it does not understand, so that nothing a stub says is silently dropped.
std::vector<DylibStub> ReadTextStub(const std::string &path, const std::string &text, const std::string &target);

// "1.2.3" packed as the load commands store versions; throws on anything else.
uint32_t PackVersion(const std::string &text, const std::string &what);

}  // namespace dwl
