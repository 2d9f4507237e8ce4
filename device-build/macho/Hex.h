// Numbers as the Mach-O tools print them in their messages: "0x" and lower-case hexadecimal
// digits, no padding.
#pragma once

#include <cstdint>
#include <string>

namespace macho {

inline std::string Hex(uint64_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), digits[value & 0xf]);
    value >>= 4;
  } while (value != 0);
  return "0x" + s;
}

}  // namespace macho
