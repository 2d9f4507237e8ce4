#define _GNU_SOURCE 1
#import "Observer.h"

#import "Values.h"
#import "standin/foundation/TraceLog.h"
#import "standin/uikit/UIKit.h"
#include "scenario/Quote.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <type_traits>
#include <unordered_map>

namespace dw::trace {
namespace {

std::string libraryPath;       // real path of the observed library
bool tracingInstallation;      // the constructor's lookups and installations are written
uintptr_t libraryLow, libraryHigh;  // the loaded library's segments, once known

template <typename Fn>
Fn Next(const char *name) {
  void *symbol = dlsym(RTLD_NEXT, name);
  if (symbol == nullptr) {
    fprintf(stderr, "duskwell-trace: %s not found behind the observer\n", name);
    abort();
  }
  return reinterpret_cast<Fn>(symbol);
}

IMP RealLookup(id receiver, SEL selector) {
  static auto real = Next<IMP (*)(id, SEL)>("objc_msg_lookup");
  return real(receiver, selector);
}

// True when `address` is code of the observed library. Before the library's segments are known
// (during its constructor) the dynamic linker is asked.
bool InLibrary(const void *address) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  if (libraryHigh != 0) return at >= libraryLow && at < libraryHigh;
  if (libraryPath.empty()) return false;
  Dl_info info;
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) != nullptr && libraryPath == resolved;
}

bool Observing(const void *caller) { return DWTracing() && InLibrary(caller); }

// ---- Arguments and results, written as the trace writes values.

NSString *Format(id value) { return DWTraceValue(value); }
NSString *Format(Class value) { return DescribeClass(value); }
NSString *Format(SEL value) { return DescribeSelector(value); }
NSString *Format(BOOL value) { return DWTraceBool(value); }
NSString *Format(DWCGFloat value) { return DWTraceComponent(value); }
NSString *Format(unsigned int *) { return @"_"; }
NSString *Format(DWCGFloat *) { return @"_"; }

template <typename R, typename... A>
NSString *FormatResult(R result, A...) {
  return Format(result);
}
// scanHexInt: shows the value it scanned.
NSString *FormatResult(BOOL scanned, unsigned int *value) {
  return scanned ? [NSString stringWithFormat:@"YES 0x%X", *value] : @"NO";
}

template <typename... A>
NSString *SendLine(id receiver, SEL selector, A... args) {
  NSMutableString *line = [NSMutableString stringWithFormat:@"send %@ %s", Describe(receiver), sel_getName(selector)];
  ((void)[line appendFormat:@" %@", Format(args)], ...);
  return line;
}

// Records one message of the library, then sends it on to the implementation the runtime finds.
template <typename R, typename... A>
R Trampoline(id receiver, SEL selector, A... args) {
  DWTraceOpen(SendLine(receiver, selector, args...));
  using Fn = R (*)(id, SEL, A...);
  Fn real = FunctionCast<Fn>(RealLookup(receiver, selector));
  if constexpr (std::is_void_v<R>) {
    real(receiver, selector, args...);
    DWTraceClose(nil);
  } else {
    R result = real(receiver, selector, args...);
    DWTraceClose(FormatResult(result, args...));
    return result;
  }
}

template <typename R, typename... A>
IMP TrampolineOf() {
  return FunctionCast<IMP>(&Trampoline<R, A...>);
}

typedef DWCGFloat F;
typedef DWCGFloat *FP;

struct SentSelector {
  const char *name;
  IMP trampoline;
};

// Every message the library sends, with its types; a message outside this list stops the trace.
const SentSelector kSentSelectors[] = {
    {"alloc", TrampolineOf<id>()},
    {"release", TrampolineOf<void>()},
    {"retain", TrampolineOf<id>()},
    {"autorelease", TrampolineOf<id>()},
    {"class", TrampolineOf<Class>()},
    {"dictionaryWithContentsOfFile:", TrampolineOf<id, id>()},
    {"initWithContentsOfFile:", TrampolineOf<id, id>()},
    {"objectForKey:", TrampolineOf<id, id>()},
    {"valueForKey:", TrampolineOf<id, id>()},
    {"respondsToSelector:", TrampolineOf<BOOL, SEL>()},
    {"isKindOfClass:", TrampolineOf<BOOL, Class>()},
    {"boolValue", TrampolineOf<BOOL>()},
    {"initWithHex:", TrampolineOf<id, id>()},
    {"isSameColor:", TrampolineOf<BOOL, id>()},
    {"whiteColor", TrampolineOf<id>()},
    {"grayColor", TrampolineOf<id>()},
    {"lightGrayColor", TrampolineOf<id>()},
    {"blackColor", TrampolineOf<id>()},
    {"blueColor", TrampolineOf<id>()},
    {"brownColor", TrampolineOf<id>()},
    {"clearColor", TrampolineOf<id>()},
    {"cyanColor", TrampolineOf<id>()},
    {"darkGrayColor", TrampolineOf<id>()},
    {"greenColor", TrampolineOf<id>()},
    {"magentaColor", TrampolineOf<id>()},
    {"orangeColor", TrampolineOf<id>()},
    {"purpleColor", TrampolineOf<id>()},
    {"redColor", TrampolineOf<id>()},
    {"yellowColor", TrampolineOf<id>()},
    {"stringByReplacingOccurrencesOfString:withString:", TrampolineOf<id, id, id>()},
    {"scannerWithString:", TrampolineOf<id, id>()},
    {"symbolCharacterSet", TrampolineOf<id>()},
    {"setCharactersToBeSkipped:", TrampolineOf<void, id>()},
    {"scanHexInt:", TrampolineOf<BOOL, unsigned int *>()},
    {"initWithRed:green:blue:alpha:", TrampolineOf<id, F, F, F, F>()},
    {"getRed:green:blue:alpha:", TrampolineOf<BOOL, FP, FP, FP, FP>()},
    {"setBackgroundColor:", TrampolineOf<void, id>()},
    {"setTextColor:", TrampolineOf<void, id>()},
    {"setHidden:", TrampolineOf<void, BOOL>()},
};

// ---- Local autorelease pools. The GNU backend makes a pool with alloc + init sent to
// NSAutoreleasePool and ends it with release; the device calls objc_autoreleasePoolPush/Pop. Both
// are written as `pool push` / `pool pop`, so the trace is the same from either runtime; what the
// pool's drain releases is Foundation's own work and is not written.

Class PoolClass() {
  static Class pool = objc_getClass("NSAutoreleasePool");
  return pool;
}

bool IsPool(id receiver) {
  if (receiver == nil || object_getClass(receiver) == Nil || class_isMetaClass(object_getClass(receiver))) {
    return false;
  }
  for (Class c = object_getClass(receiver); c != Nil; c = class_getSuperclass(c)) {
    if (c == PoolClass()) return true;
  }
  return false;
}

id PoolInit(id pool, SEL selector) {
  using Fn = id (*)(id, SEL);
  id made = FunctionCast<Fn>(RealLookup(pool, selector))(pool, selector);
  DWTraceEvent(@"pool push");
  return made;
}

void PoolRelease(id pool, SEL selector) {
  DWTraceEvent(@"pool pop");
  using Fn = void (*)(id, SEL);
  FunctionCast<Fn>(RealLookup(pool, selector))(pool, selector);
}

// The pool's own messages: alloc is part of the push and not written; nullptr for any other message.
IMP PoolMessage(id receiver, SEL selector) {
  const char *name = sel_getName(selector);
  if (receiver == reinterpret_cast<id>(PoolClass()) && strcmp(name, "alloc") == 0) {
    return RealLookup(receiver, selector);
  }
  if (!IsPool(receiver)) return nullptr;
  if (strcmp(name, "init") == 0) return FunctionCast<IMP>(&PoolInit);
  if (strcmp(name, "release") == 0) return FunctionCast<IMP>(&PoolRelease);
  return nullptr;
}

IMP TrampolineFor(id receiver, SEL selector) {
  static std::unordered_map<const void *, IMP> known;
  auto found = known.find(selector);
  if (found != known.end()) return found->second;
  const char *name = sel_getName(selector);
  // How each build makes string objects from text; the string shows by value where it is used.
  if (strcmp(name, "stringWithUTF8String:") == 0 && receiver == reinterpret_cast<id>(objc_getClass("NSString"))) {
    return nullptr;
  }
  for (const SentSelector &sent : kSentSelectors) {
    if (strcmp(sent.name, name) == 0) return known[selector] = sent.trampoline;
  }
  DWTraceStop();
  fprintf(stderr, "duskwell-trace: the library sent %s, which the trace does not know\n", name);
  abort();
}

int FindSegments(struct dl_phdr_info *info, size_t, void *) {
  char resolved[PATH_MAX];
  if (info->dlpi_name == nullptr || realpath(info->dlpi_name, resolved) == nullptr) return 0;
  if (libraryPath != resolved) return 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr) &segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    const uintptr_t low = info->dlpi_addr + segment.p_vaddr;
    const uintptr_t high = low + segment.p_memsz;
    if (libraryLow == 0 || low < libraryLow) libraryLow = low;
    if (high > libraryHigh) libraryHigh = high;
  }
  return 1;
}

// The class that defines `selector` itself, from `cls` upwards.
Class Definer(Class cls, SEL selector) {
  for (Class c = cls; c != Nil; c = class_getSuperclass(c)) {
    unsigned int count = 0;
    Method *methods = class_copyMethodList(c, &count);
    bool own = false;
    for (unsigned int i = 0; i < count && !own; ++i) own = sel_isEqual(method_getName(methods[i]), selector);
    free(methods);
    if (own) return c;
  }
  return Nil;
}

}  // namespace

void ObserveLibrary(const std::string &path, bool traceInstallation) {
  char resolved[PATH_MAX];
  libraryPath = realpath(path.c_str(), resolved) != nullptr ? resolved : path;
  tracingInstallation = traceInstallation;
}

void LibraryLoaded() {
  tracingInstallation = false;
  dl_iterate_phdr(FindSegments, nullptr);
}

}  // namespace dw::trace

using namespace dw::trace;

// ---- The interposed entry points. Code loaded into the process binds to these first.

extern "C" IMP objc_msg_lookup(id receiver, SEL selector) {
  if (Observing(__builtin_return_address(0))) {
    if (IMP pool = PoolMessage(receiver, selector)) return pool;
    if (IMP trampoline = TrampolineFor(receiver, selector)) return trampoline;
  }
  return RealLookup(receiver, selector);
}

extern "C" id LCPParseColorString(id value, id fallback) {
  static auto real = Next<id (*)(id, id)>("LCPParseColorString");
  id color = real(value, fallback);
  if (Observing(__builtin_return_address(0))) {
    DWTraceEvent([NSString stringWithFormat:@"LCPParseColorString %@ %@ -> %@", Describe(value), Describe(fallback),
                                            Describe(color)]);
  }
  return color;
}

extern "C" Ivar class_getInstanceVariable(Class cls, const char *name) {
  static auto real = Next<Ivar (*)(Class, const char *)>("class_getInstanceVariable");
  Ivar ivar = real(cls, name);
  if (cls != Nil && Observing(__builtin_return_address(0))) {
    std::string quoted = dw::scenario::QuoteForTrace(name != nullptr ? name : "");
    DWTraceEvent([NSString stringWithFormat:@"class_getInstanceVariable %@ %s -> %s", DescribeClass(cls),
                                            quoted.c_str(), ivar != nullptr ? "found" : "NULL"]);
  }
  return ivar;
}

extern "C" Class objc_getClass(const char *name) {
  static auto real = Next<Class (*)(const char *)>("objc_getClass");
  Class cls = real(name);
  if (tracingInstallation && Observing(__builtin_return_address(0))) {
    std::string quoted = dw::scenario::QuoteForTrace(name != nullptr ? name : "");
    DWTraceEvent([NSString stringWithFormat:@"objc_getClass %s -> %@", quoted.c_str(), DescribeClass(cls)]);
  }
  return cls;
}

extern "C" void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP *previous) {
  static auto real = Next<void (*)(Class, SEL, IMP, IMP *)>("MSHookMessageEx");
  NSString *outcome = nil;
  if (tracingInstallation && Observing(__builtin_return_address(0))) {
    Class definer = cls != Nil ? Definer(cls, selector) : Nil;
    outcome = definer == Nil   ? @"none"
              : definer == cls ? @"own"
                               : [NSString stringWithFormat:@"inherited %s", class_getName(definer)];
  }
  real(cls, selector, replacement, previous);
  if (outcome != nil) {
    DWTraceEvent([NSString stringWithFormat:@"MSHookMessageEx %@ %s -> %@", DescribeClass(cls), sel_getName(selector),
                                            outcome]);
  }
}
