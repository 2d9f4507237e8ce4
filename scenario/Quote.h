// How both executors write a string into a trace: as a JSON string literal, so that a name or text
// with quotes, backslashes or control characters stays on its one line and reads back unchanged.
#pragma once

#include <string>

namespace dw::scenario {

std::string QuoteForTrace(const std::string &utf8);

}  // namespace dw::scenario
