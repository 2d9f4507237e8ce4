// The library's only window on the runtime it runs in. Everything here is typed and narrow:
// message sends, selectors, class references, constant strings and the component type of colours.
// The backend is chosen here and nowhere else.
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
inline void Release(id object) { Send<void>(object, Sel("release")); }

// True when key-value coding can answer `key` on `object`: an accessor of that name, or an instance
// variable named after the key as it is or with a leading underscore.
inline bool HasKey(id object, const char *key) {
  if (object == nullptr) return false;
  if (Send<BOOL>(object, Sel("respondsToSelector:"), Sel(key))) return true;
  Class cls = Send<Class>(object, Sel("class"));
  char underscored[64];
  size_t length = 0;
  underscored[length++] = '_';
  for (const char *c = key; *c != '\0' && length + 1 < sizeof underscored; ++c) underscored[length++] = *c;
  underscored[length] = '\0';
  return class_getInstanceVariable(cls, key) != nullptr || class_getInstanceVariable(cls, underscored) != nullptr;
}

// The value of `key` on `object` when the object has such a key, otherwise nil. A key-value lookup of
// a key the object lacks raises on the device; this asks the runtime first.
inline id ValueForKeyIfPresent(id object, const char *key) {
  if (!HasKey(object, key)) return nullptr;
  return Send<id>(object, Sel("valueForKey:"), StringFromUTF8(key));
}

}  // namespace dw
