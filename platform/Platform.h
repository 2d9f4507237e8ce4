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

// The value of `key` on `object` when the object has such a key, otherwise nil. A key-value lookup of
// a key the object lacks raises on the device; this asks the runtime first.
inline id ValueForKeyIfPresent(id object, const char *key, id keyString) {
  if (!HasKey(object, key)) return nullptr;
  return Send<id>(object, Sel("valueForKey:"), keyString);
}

}  // namespace dw
