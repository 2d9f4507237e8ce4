#import "Values.h"

#import "standin/foundation/Placeholder.h"
#import "standin/uikit/UIKit.h"
#include "scenario/Quote.h"

#include <objc/runtime.h>

#include <map>

namespace dw::trace {

namespace {

std::map<const void *, std::string> objectNames;
std::map<const void *, unsigned> objectNumbers;

// Foundation's public families, most specific first; private subclasses print as their family.
const char *const kFamilies[] = {"NSString", "NSDictionary", "NSArray", "NSNumber", "NSDate",
                                 "NSData",   "NSScanner",    "NSCharacterSet"};

bool IsClassObject(id object) { return class_isMetaClass(object_getClass(object)); }

NSString *Utf8(const std::string &text) { return [NSString stringWithUTF8String:text.c_str()]; }

// The whole string, a NUL among its characters or not (UTF8String ends at the first).
std::string Utf8Bytes(NSString *string) {
  NSData *bytes = [string dataUsingEncoding:NSUTF8StringEncoding];
  return std::string(static_cast<const char *>([bytes bytes]), [bytes length]);
}

}  // namespace

void NameObject(id object, const std::string &name) { objectNames[object] = name; }

NSString *DescribeClass(Class cls) {
  if (cls == Nil) return @"nil";
  return [NSString stringWithFormat:@"class %s", class_getName(cls)];
}

NSString *DescribeSelector(SEL selector) {
  return [NSString stringWithFormat:@"@selector(%s)", selector != nullptr ? sel_getName(selector) : "null"];
}

NSString *Describe(id object) {
  if (object == nil) return @"nil";
  if (IsClassObject(object)) return DescribeClass(reinterpret_cast<Class>(object));
  // Asked before any message: a placeholder raises on every message but its initialisers.
  if (NSString *placeholder = DWPlaceholderTraceValue(object)) return placeholder;
  auto named = objectNames.find(object);
  if (named != objectNames.end()) {
    return [NSString stringWithFormat:@"%s#%s", class_getName(object_getClass(object)), named->second.c_str()];
  }
  if ([object isKindOfClass:[UIColor class]]) return DWTraceColor(object);
  if ([object isKindOfClass:[NSString class]]) return Utf8(dw::scenario::QuoteForTrace(Utf8Bytes(object)));
  if ([object isKindOfClass:[UIImage class]]) {
    NSString *name = [object name];
    return [NSString stringWithFormat:@"UIImage(%@)", Utf8(dw::scenario::QuoteForTrace(name != nil ? [name UTF8String] : ""))];
  }
  for (const char *family : kFamilies) {
    if ([object isKindOfClass:objc_getClass(family)]) return [NSString stringWithUTF8String:family];
  }
  auto numbered = objectNumbers.find(object);
  unsigned number = numbered != objectNumbers.end() ? numbered->second : 0;
  if (number == 0) {
    number = static_cast<unsigned>(objectNumbers.size()) + 1;
    objectNumbers[object] = number;
  }
  return [NSString stringWithFormat:@"%s#%u", class_getName(object_getClass(object)), number];
}

}  // namespace dw::trace
