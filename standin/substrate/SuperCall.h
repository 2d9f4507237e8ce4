// The slot the hooking library hands back for a method that a class only inherits: a function of
// the method's own signature that, at each call, finds the implementation the class's superclass
// has at that moment and goes on into it with the caller's arguments, as a message to super would.
// A later change to the superclass's method (a hook installed after this one) is seen by every call.
#pragma once

#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

// `method` is the inherited method (its types give the function's signature). Returns NULL for a
// signature with a structure, union, array or long double, which the hooked methods never have.
IMP DWSuperCall(Class superclass, SEL selector, Method method);

#ifdef __cplusplus
}
#endif
