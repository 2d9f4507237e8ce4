// Apple Objective-C runtime backend (the device: arm64 and armv7, no SDK needed).
#pragma once

#if !defined(__OBJC__)
// In Objective-C the compiler provides id, Class and SEL.
struct objc_object;
struct objc_class;
struct objc_selector;
typedef struct objc_object *id;
typedef struct objc_class *Class;
typedef struct objc_selector *SEL;
#endif
typedef id (*IMP)(id, SEL, ...);
#if defined(__LP64__)
typedef bool BOOL;
#else
typedef signed char BOOL;
#endif
#if defined(__OBJC__)
#define YES ((BOOL)1)
#define NO ((BOOL)0)
#endif

#include "../RuntimeBasics.h"

extern "C" {
void objc_msgSend(void);

// The classes the library sends class messages to, bound by the loader from Foundation and UIKit.
extern struct objc_class OBJC_CLASS_$_NSCharacterSet;
extern struct objc_class OBJC_CLASS_$_NSDictionary;
extern struct objc_class OBJC_CLASS_$_NSScanner;
extern struct objc_class OBJC_CLASS_$_NSString;
extern struct objc_class OBJC_CLASS_$_UIColor;
}

namespace dw {

// objc_msgSend cast to the message's own type; it answers nil receivers with zero itself. No
// message of the library returns a structure, so no stret variant is needed; armv7 would need one.
template <typename R, typename... Args>
inline R Send(id receiver, SEL selector, Args... args) {
  static_assert(!__is_class(R) && !__is_union(R), "structure results need objc_msgSend_stret on armv7");
  using Fn = R (*)(id, SEL, Args...);
  Fn fn = FunctionCast<Fn>(&objc_msgSend);
  return fn(receiver, selector, args...);
}

// Selector and class references are the ones Objective-C code has: __objc_selrefs entries that point
// at names in __objc_methname and that the runtime fixes up when it loads the image, and
// __objc_classrefs entries that the loader binds to the classes of Foundation and UIKit. Constant
// strings are complete in the image. So the library writes nothing after load, and there is
// nothing to bind here.
inline void BindReferences() {}

}  // namespace dw

// A selector by name, e.g. DW_SEL("setBackgroundColor:"). Each use is a reference of its own, as in
// compiled Objective-C; a function with one in a header is static, so that the reference is its
// translation unit's own and never a shared (weak) definition.
#define DW_SEL(name)                                                                                \
  (__extension__({                                                                                  \
    __attribute__((section("__TEXT,__objc_methname,cstring_literals"))) static const char dwName[] = \
        name;                                                                                       \
    __attribute__((section("__DATA,__objc_selrefs,literal_pointers,no_dead_strip"))) static SEL     \
        dwSelectorRef = reinterpret_cast<SEL>(const_cast<char *>(dwName));                          \
    ::dw::ReadCell(dwSelectorRef);                                                                  \
  }))

// A class as the receiver of a class message, e.g. DW_CLASS(NSDictionary).
#define DW_CLASS(name)                                                                                    \
  (__extension__({                                                                                        \
    __attribute__((section("__DATA,__objc_classrefs,regular,no_dead_strip"))) static struct objc_class *  \
        dwClassRef = &OBJC_CLASS_$_##name;                                                                \
    reinterpret_cast<id>(::dw::ReadCell(dwClassRef));                                                     \
  }))

// A compile-time string object (needs CoreFoundation's constant string class reference).
#define DW_STR(literal) \
  (reinterpret_cast<id>(const_cast<void *>(static_cast<const void *>(__builtin___CFStringMakeConstantString(literal)))))
