// Starts the simulated host with the library loaded, once for the whole run, as the hooking
// platform does on the device, then runs the tests. Before loading, it notes which class owned each
// hooked implementation, so tests can tell that a replacement reached exactly that one.
#import <Foundation/Foundation.h>

#include <gtest/gtest.h>
#include <objc/runtime.h>
#include <stdlib.h>

#import "host/Launcher.h"
#import "tests/HookTable.h"
#import "tests/Preload.h"

static NSString *gOwners[kExpectedHookCount];

NSString *OwnerBeforeLoading(unsigned row) { return row < kExpectedHookCount ? gOwners[row] : nil; }

static BOOL DefinesItself(Class cls, SEL selector) {
  unsigned count = 0;
  Method *methods = class_copyMethodList(cls, &count);
  BOOL found = NO;
  for (unsigned i = 0; i < count && !found; ++i) found = sel_isEqual(method_getName(methods[i]), selector);
  free(methods);
  return found;
}

static void NoteOwners() {
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    SEL selector = sel_registerName(kExpectedHooks[row].selector);
    for (Class cls = objc_getClass(kExpectedHooks[row].className); cls != Nil; cls = class_getSuperclass(cls)) {
      if (DefinesItself(cls, selector)) {
        gOwners[row] = [[NSString alloc] initWithUTF8String:class_getName(cls)];
        break;
      }
    }
  }
}

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  ::testing::InitGoogleTest(&argc, argv);
  NoteOwners();
  char root[] = "/tmp/duskwell-launch-XXXXXX";
  NSString *error = nil;
  if (mkdtemp(root) == nullptr || !DWLaunchHost([NSString stringWithUTF8String:root], @DUSKWELL_LIBRARY, &error)) {
    fprintf(stderr, "cannot launch the host: %s\n", [error UTF8String]);
    return 1;
  }
  int status = RUN_ALL_TESTS();
  rmdir(root);
  [pool release];
  return status;
}
