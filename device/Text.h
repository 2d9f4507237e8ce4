// UTF-8 and UTF-16 conversions for the model's strings (NSString holds UTF-16, as on the device).
#pragma once

#include <string>

namespace device {

std::u16string FromUTF8(const std::string &text);
std::string ToUTF8(const std::u16string &text);

}  // namespace device
