// The stand-in hooking library: MSHookMessageEx over the GNU runtime, and a record of every
// installation it was asked for, so an observer can see what the library installed.
#pragma once

#import <Foundation/Foundation.h>
#include <objc/runtime.h>

#ifdef __cplusplus
extern "C" {
#endif

void MSHookMessageEx(Class cls, SEL selector, IMP replacement, IMP *previous);

typedef struct {
  const char *className;  // NULL when the class was absent
  const char *selector;
  BOOL classFound;
  BOOL slotFilled;        // a previous implementation was handed back
  BOOL inherited;         // the class only inherited the method; the replacement was added to it
  NSUInteger lookupsBefore;  // class lookups recorded by the device before this installation
} DWHookRecord;

// Installations in the order they were asked for.
NSUInteger DWHookRecordCount(void);
DWHookRecord DWHookRecordAt(NSUInteger index);

#ifdef __cplusplus
}
#endif
