// The selectors that cross between the library and its platform, with their argument and result
// types: what the calling conventions place where, and how the trace writes each value.
#pragma once

#include "Machine.h"

#include <string>
#include <vector>

namespace device {

// C types of arguments and results, as far as calls and the trace tell them apart.
enum class Type {
  none,     // void
  object,   // id
  cls,      // Class
  sel,      // SEL
  boolean,  // BOOL
  cgfloat,  // CGFloat: double on arm64, float on armv7
  cgcolor,  // CGColorRef
  out,      // a pointer the callee fills (written "_")
  word,     // an untraced pointer or integer (a C string, a pool token)
};

Kind KindOf(Type type);

struct SelectorInfo {
  std::string name;
  std::vector<Type> arguments;
  Type result = Type::none;
  bool sent = false;  // the library sends it; the hooked selectors are those scenarios use (scenario/)
};

// The selector's row of the table, or nullptr.
const SelectorInfo *FindSelector(const std::string &name);

// A selector the model's own implementations take that the library never sends (init, retain, ...).
SelectorInfo InternalSelector(const std::string &name, std::vector<Type> arguments, Type result);

std::vector<Kind> KindsOf(const std::vector<Type> &types);

}  // namespace device
