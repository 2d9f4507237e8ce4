// duskwell_launch_probe DEVICE_ROOT LIBRARY [BUNDLE_ID]: starts a process the way the hooking
// platform does and reports whether the library went in, as the launcher says and as the process
// shows it: the library mapped, and UIView's background setter replaced by the library's own.
// Built twice: into the simulated host, and into a process that has UIKit's classes and no others.
#define _GNU_SOURCE  // dladdr
#import <Foundation/Foundation.h>

#import "host/Launcher.h"

#include <dlfcn.h>
#include <limits.h>
#include <objc/runtime.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *YesNo(BOOL value) { return value ? "yes" : "no"; }

static BOOL SameFile(const char *a, const char *b) {
  char realA[PATH_MAX], realB[PATH_MAX];
  return realpath(a, realA) != NULL && realpath(b, realB) != NULL && strcmp(realA, realB) == 0;
}

int main(int argc, char **argv) {
  if (argc < 3 || argc > 4) {
    fprintf(stderr, "usage: %s DEVICE_ROOT LIBRARY [BUNDLE_ID]\n", argv[0]);
    return 2;
  }
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *bundle = argc == 4 ? [NSString stringWithUTF8String:argv[3]] : nil;
  BOOL loaded = NO;
  NSString *why = nil, *error = nil;
  if (!DWLaunchProcess([NSString stringWithUTF8String:argv[1]], [NSString stringWithUTF8String:argv[2]], bundle,
                       &loaded, &why, &error)) {
    fprintf(stderr, "cannot start the process: %s\n", [error UTF8String]);
    return 2;
  }
  void *mapped = dlopen(argv[2], RTLD_NOW | RTLD_NOLOAD);
  IMP setter = class_getMethodImplementation(objc_getClass("UIView"), sel_registerName("setBackgroundColor:"));
  Dl_info info;
  BOOL hooked = dladdr((const void *)setter, &info) != 0 && info.dli_fname != NULL && SameFile(info.dli_fname, argv[2]);
  printf("loaded: %s\nmapped: %s\nhooked: %s\nwhy: %s\n", YesNo(loaded), YesNo(mapped != NULL), YesNo(hooked),
         [why UTF8String]);
  [pool release];
  return 0;
}
