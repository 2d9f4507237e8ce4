// GNU Objective-C runtime backend (the stand-in device on Linux).
#pragma once

#if defined(__OBJC__)
#include <objc/objc.h>
#else
struct objc_object;
struct objc_class;
struct objc_selector;
typedef struct objc_object *id;
typedef struct objc_class *Class;
typedef const struct objc_selector *SEL;
typedef id (*IMP)(id, SEL, ...);
typedef unsigned char BOOL;
#endif

extern "C" {
IMP objc_msg_lookup(id receiver, SEL selector);
SEL sel_registerName(const char *name);
Class objc_getClass(const char *name);
Class objc_lookUpClass(const char *name);
void *class_getInstanceVariable(Class cls, const char *name);
}

namespace dw {

// Converts between function pointer types. Every caller calls the result with the target's own
// signature; the detour through a plain function type says so to the compiler.
template <typename To, typename From>
inline To FunctionCast(From from) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)(void)>(from));
}

inline SEL Sel(const char *name) { return sel_registerName(name); }

// The hook table's class lookup (the runtime's own lookup by name).
inline Class LookUpClass(const char *name) { return objc_getClass(name); }

// A class referenced by name in a message, the way compiled code refers to a class it links against.
inline id ClassRef(const char *name) { return reinterpret_cast<id>(objc_lookUpClass(name)); }

// A message to nil is looked up and sent like any other, as objc_msgSend is called for nil on the
// device, and yields zero; the GNU runtime's nil method does not zero floating-point or wide
// results, so its answer is replaced here.
template <typename R, typename... Args>
inline R Send(id receiver, SEL selector, Args... args) {
  using Fn = R (*)(id, SEL, Args...);
  Fn fn = FunctionCast<Fn>(objc_msg_lookup(receiver, selector));
  if (receiver == nullptr) {
    fn(receiver, selector, args...);
    return R();
  }
  return fn(receiver, selector, args...);
}

// A string object made at run time, left to the caller's autorelease pool. DW_STR uses it too: the
// GNU runtime has no compile-time string objects that code without Foundation's headers could use.
inline id StringFromUTF8(const char *text) {
  return Send<id>(ClassRef("NSString"), Sel("stringWithUTF8String:"), text);
}


}  // namespace dw

#define DW_STR(literal) (::dw::StringFromUTF8(literal))
