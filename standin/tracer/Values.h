// How the trace writes values: strings JSON-quoted, Foundation objects by family, colours by
// components, scenario objects by name, other instances numbered by first appearance.
#pragma once

#import <Foundation/Foundation.h>

#include <string>

namespace dw::trace {

// Converts between function pointer types; each caller calls the result with its real signature.
template <typename To, typename From>
inline To FunctionCast(From from) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)(void)>(from));
}

NSString *Describe(id object);
NSString *DescribeClass(Class cls);
NSString *DescribeSelector(SEL selector);
void NameObject(id object, const std::string &name);

}  // namespace dw::trace
