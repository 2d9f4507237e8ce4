// The library's only window on the runtime it runs in. Everything here is typed and narrow:
// message sends, selector and class references known at load (DW_SEL, DW_CLASS), constant strings
// (DW_STR) and the component type of colours. The backend is chosen here and nowhere else.
#pragma once

#include <stddef.h>
#include <stdint.h>

#if defined(__APPLE__)
#include "apple/Runtime.h"
#else
#include "gnu/Runtime.h"
#endif

#include "Services.h"

namespace dw {

// The colour's component type: 64-bit on 64-bit targets, 32-bit on 32-bit ones. The Linux build can
// force 32-bit components so the whole suite also runs with the arithmetic of armv7.
#if defined(DUSKWELL_FLOAT_COMPONENTS) || !defined(__LP64__)
typedef float CGFloat;
#else
typedef double CGFloat;
#endif

// An opaque reference to a Core Graphics colour, passed through untouched.
typedef struct CGColor *CGColorRef;

// Releases an object that this call made with alloc/init.
static inline void Release(id object) { Send<void>(object, DW_SEL("release")); }

// True when key-value coding can answer the key on `object`: an accessor of that name (`getter`), or
// an instance variable named after the key (`name`) as it is or with a leading underscore.
static inline bool HasKey(id object, SEL getter, const char *name) {
  if (object == nullptr) return false;
  if (Send<BOOL>(object, DW_SEL("respondsToSelector:"), getter)) return true;
  Class cls = Send<Class>(object, DW_SEL("class"));
  char underscored[64];
  size_t length = 0;
  underscored[length++] = '_';
  for (const char *c = name; *c != '\0' && length + 1 < sizeof underscored; ++c) underscored[length++] = *c;
  underscored[length] = '\0';
  return class_getInstanceVariable(cls, name) != nullptr || class_getInstanceVariable(cls, underscored) != nullptr;
}

}  // namespace dw

// The value of a key on `object` when the object has such a key, otherwise nil. A key-value lookup of
// a key the object lacks raises on the device; this asks the runtime first. `literal` is the key.
#define DW_VALUE_FOR_KEY_IF_PRESENT(object, literal)                                                  \
  (::dw::HasKey((object), DW_SEL(literal), (literal))                                                   \
       ? ::dw::Send<id>((object), DW_SEL("valueForKey:"), DW_STR(literal))                             \
       : nullptr)
