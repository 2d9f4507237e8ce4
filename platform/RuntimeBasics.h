// What both runtime backends declare alike: the runtime's lookups by name, and the cast and the read
// that their sends and references are made of. Included by each backend once it has id, Class and SEL.
#pragma once

extern "C" {
Class objc_getClass(const char *name);
void *class_getInstanceVariable(Class cls, const char *name);
}

namespace dw {

// Converts between function pointer types. Every caller calls the result with the target's own
// signature; the detour through a plain function type says so to the compiler.
template <typename To, typename From>
inline To FunctionCast(From from) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)(void)>(from));
}

// The hook table's class lookup (the runtime's own lookup by name).
inline Class LookUpClass(const char *name) { return objc_getClass(name); }

// Reads a reference that is written once, before the first message (by the runtime's loader on the
// device, by BindReferences() on the GNU runtime): the read must not be folded into the reference's
// initial value.
template <typename T>
inline T ReadCell(const T &cell) {
  return *static_cast<const volatile T *>(&cell);
}

}  // namespace dw
