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

#include "../RuntimeBasics.h"

extern "C" {
IMP objc_msg_lookup(id receiver, SEL selector);
}

namespace dw {

// A message to nil is looked up and sent like any other, as objc_msgSend is called for nil on the
// device, and yields zero; the GNU runtime's nil method does not zero floating-point or wide
// results, so its answer is replaced here. Every send is a real dispatch.
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

// References known at load. The device's loader fixes up selector and class references and its
// constant strings are complete in the image; C++ code on the GNU runtime gets neither (g++ looks a
// class up by name on every class message), so each reference is a cell in one of three sections of
// the library, and BindReferences() fills every cell once, in the constructor, before the first
// message. Afterwards the cells are only read. The linker lays a section's cells end to end; each
// cell type's size is its alignment, so they lie at a fixed stride whatever alignment the compiler
// gives a static of that size.
struct alignas(16) SelectorCell {
  const char *name;
  SEL selector;
};
struct alignas(16) ClassCell {
  const char *name;
  id cls;
};
// The layout the compiler gives a constant string object on this runtime: its class (set at load),
// the bytes and their length.
struct alignas(32) ConstantString {
  void *isa;
  const char *bytes;
  unsigned int length;
};

void BindReferences();

}  // namespace dw

// A selector by name, e.g. DW_SEL("setBackgroundColor:"). Each use is a reference of its own, as in
// compiled Objective-C; a function with one in a header is static, so that the reference is its
// translation unit's own and never a shared (weak) definition.
#define DW_SEL(name)                                                                          \
  (__extension__({                                                                            \
    __attribute__((section("dw_selector_cells"), used)) static ::dw::SelectorCell dwCell = {  \
        name, nullptr};                                                                       \
    ::dw::ReadCell(dwCell.selector);                                                          \
  }))

// A class as the receiver of a class message, e.g. DW_CLASS(NSDictionary).
#define DW_CLASS(name)                                                                              \
  (__extension__({                                                                                  \
    __attribute__((section("dw_class_cells"), used)) static ::dw::ClassCell dwCell = {#name, nullptr}; \
    ::dw::ReadCell(dwCell.cls);                                                                     \
  }))

// A constant string object, e.g. DW_STR("custom1").
#define DW_STR(literal)                                                                         \
  (__extension__({                                                                              \
    __attribute__((section("dw_string_cells"), used)) static ::dw::ConstantString dwString = { \
        nullptr, literal, sizeof(literal) - 1};                                                 \
    reinterpret_cast<id>(&dwString);                                                            \
  }))

static_assert(sizeof(dw::SelectorCell) == alignof(dw::SelectorCell), "selector cells lie at a fixed stride");
static_assert(sizeof(dw::ClassCell) == alignof(dw::ClassCell), "class cells lie at a fixed stride");
static_assert(sizeof(dw::ConstantString) == alignof(dw::ConstantString), "string cells lie at a fixed stride");
