// The model's text: UTF-8 and UTF-16 conversions for its strings (NSString holds UTF-16, as on the
// device), and addresses as its messages print them.
#pragma once

#include <cstdint>
#include <string>

#include "Hex.h"

namespace device {

std::u16string FromUTF8(const std::string &text);
std::string ToUTF8(const std::u16string &text);
// Each byte one character, U+0000-U+00FF.
std::u16string FromLatin1(const std::string &bytes);
// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUTF8(const std::string &bytes);

// Addresses print as the Mach-O tools print them.
using macho::Hex;

}  // namespace device
