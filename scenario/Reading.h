// What the reader's parts share: the first problem found ends the reading, and names its member.
#pragma once

#include "Scenario.h"

#include <json/value.h>

#include <string>

namespace dw::scenario {

struct Problem {
  std::string where, what;
};

inline void Require(bool condition, const std::string &where, const std::string &what) {
  if (!condition) throw Problem{where, what};
}

// One of the four files: "absent", "unreadable", {"plist": V}, {"xml": TEXT}, {"openstep": TEXT}
// (each TEXT the file's exact contents, UTF-8) or {"base64": TEXT}.
FileSpec ReadFileForm(const Json::Value &form, const std::string &where);

}  // namespace dw::scenario
