#import "StringBoolValue.h"

#import "DispatchTable.h"

#include <objc/runtime.h>
#include <stdlib.h>

// The GNU runtime's refresh of a class's dispatch table and those of its subclasses, which
// method_setImplementation leaves as they were.
void __objc_update_dispatch_table_for_class(Class cls);

BOOL DWStringBoolValue(NSString *string) {
  NSCharacterSet *whitespace = [NSCharacterSet whitespaceAndNewlineCharacterSet];
  const NSUInteger length = [string length];
  NSUInteger i = 0;
  while (i < length && [whitespace characterIsMember:[string characterAtIndex:i]]) ++i;
  // One sign at most, then zeros: "+-1", "--1" and "0 1" are not numbers and read NO.
  if (i < length && ([string characterAtIndex:i] == '+' || [string characterAtIndex:i] == '-')) ++i;
  while (i < length && [string characterAtIndex:i] == '0') ++i;
  if (i == length) return NO;
  const unichar c = [string characterAtIndex:i];
  return (c >= '1' && c <= '9') || c == 'Y' || c == 'y' || c == 'T' || c == 't';
}

static BOOL StringBoolValueMethod(id self, SEL _cmd) {
  (void)_cmd;
  return DWStringBoolValue(self);
}

// GNUstep's concrete strings define boolValue themselves, each with the looser rule that takes any
// run of white space, signs and zeros; every one of them gets the device's.
void DWDeviceInstallStringBoolValue(void) {
  Class stringClass = [NSString class];
  const SEL selector = @selector(boolValue);
  const int count = objc_getClassList(NULL, 0);
  Class *classes = malloc(sizeof(Class) * (size_t)count);
  if (classes == NULL) return;
  const int listed = objc_getClassList(classes, count);
  for (int i = 0; i < listed && i < count; ++i) {
    BOOL isString = NO;
    for (Class c = classes[i]; c != Nil && !isString; c = class_getSuperclass(c)) isString = c == stringClass;
    if (!isString) continue;
    unsigned int methodCount = 0;
    Method *methods = class_copyMethodList(classes[i], &methodCount);
    for (unsigned int m = 0; m < methodCount; ++m) {
      if (sel_isEqual(method_getName(methods[m]), selector)) {
        DWInstallDispatchTable(classes[i]);
        method_setImplementation(methods[m], (IMP)(void (*)(void))StringBoolValueMethod);
        __objc_update_dispatch_table_for_class(classes[i]);
      }
    }
    free(methods);
  }
  free(classes);
}
