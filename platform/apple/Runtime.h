// Apple Objective-C runtime backend (the device: arm64 and armv7, no SDK needed).
#pragma once

#if defined(__OBJC__)
// The compiler provides id, Class and SEL.
typedef id (*IMP)(id, SEL, ...);
#if defined(__LP64__)
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#else
struct objc_object;
struct objc_class;
struct objc_selector;
typedef struct objc_object *id;
typedef struct objc_class *Class;
typedef struct objc_selector *SEL;
typedef id (*IMP)(id, SEL, ...);
#if defined(__LP64__)
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#endif

extern "C" {
void objc_msgSend(void);
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

// A class referenced by name in a message.
inline id ClassRef(const char *name) { return reinterpret_cast<id>(objc_lookUpClass(name)); }

// objc_msgSend cast to the message's own type; it answers nil receivers with zero itself. No
// message of the library returns a structure, so no stret variant is needed; armv7 would need one.
template <typename R, typename... Args>
inline R Send(id receiver, SEL selector, Args... args) {
  static_assert(!__is_class(R) && !__is_union(R), "structure results need objc_msgSend_stret on armv7");
  using Fn = R (*)(id, SEL, Args...);
  Fn fn = FunctionCast<Fn>(&objc_msgSend);
  return fn(receiver, selector, args...);
}

// A string object made at run time, left to the caller's autorelease pool.
inline id StringFromUTF8(const char *text) {
  return Send<id>(ClassRef("NSString"), Sel("stringWithUTF8String:"), text);
}


}  // namespace dw

// A compile-time string object (needs CoreFoundation's constant string class reference).
#define DW_STR(literal) \
  (reinterpret_cast<id>(const_cast<void *>(static_cast<const void *>(__builtin___CFStringMakeConstantString(literal)))))
