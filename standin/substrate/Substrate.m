#import "Substrate.h"

#import "../foundation/StandInDevice.h"
#import "../foundation/DispatchTable.h"
#import "SuperCall.h"

#include <stdio.h>
#include <stdlib.h>

static DWHookRecord *records;
static NSUInteger recordCount;
static NSUInteger recordCapacity;

static void Record(DWHookRecord record) {
  if (recordCount == recordCapacity) {
    NSUInteger capacity = recordCapacity == 0 ? 64 : recordCapacity * 2;
    DWHookRecord *grown = realloc(records, capacity * sizeof *records);
    if (grown == NULL) return;
    records = grown;
    recordCapacity = capacity;
  }
  records[recordCount++] = record;
}

static Method OwnMethod(Class cls, SEL selector) {
  unsigned int count = 0;
  Method *methods = class_copyMethodList(cls, &count);
  Method own = NULL;
  for (unsigned int i = 0; i < count && own == NULL; ++i) {
    if (sel_isEqual(method_getName(methods[i]), selector)) own = methods[i];
  }
  free(methods);
  return own;
}

// A method defined on the class itself has its implementation swapped. A method the class only
// inherits gets the replacement added to the class, and the slot receives a call through to the
// superclass, which finds the superclass's implementation at each call (SuperCall.h). A nil class
// or a selector the class cannot answer changes nothing.
void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP *previous) {
  DWHookRecord record = {cls != Nil ? class_getName(cls) : NULL, sel_getName(selector), cls != Nil, NO, NO,
                         [DWDeviceClassLookups() count]};
  Method method = cls != Nil ? class_getInstanceMethod(cls, selector) : NULL;
  if (method != NULL) {
    Method own = OwnMethod(cls, selector);
    IMP old;
    if (own != NULL) {
      old = DWReplaceImplementation(cls, own, replacement);
    } else {
      old = DWSuperCall(class_getSuperclass(cls), selector, method);
      if (old == NULL) {
        fprintf(stderr, "stand-in MSHookMessageEx: -[%s %s] has a signature the call through to the superclass "
                        "cannot pass on\n", class_getName(cls), sel_getName(selector));
        abort();
      }
      class_addMethod(cls, selector, replacement, method_getTypeEncoding(method));
      record.inherited = YES;
    }
    if (previous != NULL) *previous = old;
    record.slotFilled = previous != NULL && old != NULL;
  }
  Record(record);
}

NSUInteger DWHookRecordCount(void) { return recordCount; }

DWHookRecord DWHookRecordAt(NSUInteger index) {
  DWHookRecord none = {NULL, NULL, NO, NO, NO, 0};
  return index < recordCount ? records[index] : none;
}
