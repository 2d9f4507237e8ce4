#define _GNU_SOURCE  // dladdr
#import "Launcher.h"

#import "../standin/foundation/StandInDevice.h"
#import "../standin/foundation/PropertyListFile.h"
#import "loader-filter/LoaderFilter.h"

#import <Foundation/NSDebug.h>

#include <dlfcn.h>
#include <errno.h>
#include <objc/runtime.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static BOOL launched;

static BOOL FromFoundationOrRuntime(Class cls) {
  Dl_info info;
  if (dladdr((const void *)cls, &info) == 0 || info.dli_fname == NULL) return YES;
  return strstr(info.dli_fname, "libgnustep-base") != NULL || strstr(info.dli_fname, "libobjc") != NULL;
}

// What UIKit does before an app's own threads start: every class of the stand-in device, the host
// and the library initialised on the main thread, and once each the Foundation machinery a hooked
// call uses. First use of classes on several threads at once can deadlock GNUstep with the GNU runtime.
static void InitializeClassesOnMainThread(void) {
  int count = objc_getClassList(NULL, 0);
  Class *classes = malloc(sizeof(Class) * (size_t)(count > 0 ? count : 1));
  count = objc_getClassList(classes, count);
  for (int i = 0; i < count; ++i) {
    if (FromFoundationOrRuntime(classes[i]) || class_getClassMethod(classes[i], @selector(class)) == NULL) continue;
    [classes[i] class];  // runs +initialize
  }
  free(classes);
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  static const char plist[] = "<plist><dict><key>k</key><array><true/><integer>1</integer><real>0.5</real>"
                              "<string>s</string><data>AA==</data><date>2001-01-01T00:00:00Z</date></array></dict></plist>";
  [DWPropertyListFromBytes(plist, sizeof plist - 1, NULL) release];
  NSScanner *scanner = [NSScanner scannerWithString:[@"#FF" stringByReplacingOccurrencesOfString:@"#" withString:@""]];
  [scanner setCharactersToBeSkipped:[NSCharacterSet symbolCharacterSet]];
  unsigned value = 0;
  [scanner scanHexInt:&value];
  [[[NSCountedSet alloc] init] release];
  [NSThread currentThread];
  [pool release];
}

NSString *DWLoaderFilterPath(NSString *libraryPath) {
  return [[libraryPath stringByDeletingPathExtension] stringByAppendingPathExtension:@"plist"];
}

static bool ClassExists(const char *name, void *unused) {
  (void)unused;
  return objc_getClass(name) != Nil;
}

static NSString *ExecutablePath(void) {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return nil;
  path[length] = '\0';
  return [NSString stringWithUTF8String:path];
}

// The loader's decision for this process, with the runtime's own answer to every class lookup.
static DWFilterDecision DecideForThisProcess(NSString *libraryPath, NSString *bundleIdentifier) {
  DWProcess process = {[bundleIdentifier UTF8String], [[ExecutablePath() lastPathComponent] UTF8String],
                       kDWOldestCoreFoundationVersion, ClassExists, NULL};
  return DWFilterDecideFile([DWLoaderFilterPath(libraryPath) fileSystemRepresentation], &process);
}

BOOL DWLaunchHost(NSString *deviceRoot, NSString *libraryPath, NSString **error) {
  BOOL loaded = NO;
  NSString *why = nil;
  if (!DWLaunchProcess(deviceRoot, libraryPath, nil, &loaded, &why, error)) return NO;
  if (libraryPath == nil || loaded) return YES;
  if (error != NULL) {
    *error = [NSString stringWithFormat:@"%@: the loader keeps %@ out of the host: %@", DWLoaderFilterPath(libraryPath),
                                        [libraryPath lastPathComponent], why];
  }
  return NO;
}

BOOL DWLaunchProcess(NSString *deviceRoot, NSString *libraryPath, NSString *bundleIdentifier, BOOL *loaded,
                     NSString **why, NSString **error) {
  *loaded = NO;
  *why = libraryPath == nil ? @"no library given" : nil;
  if (launched) {
    if (error != NULL) *error = @"the host is already running";
    return NO;
  }
  BOOL isDirectory = NO;
  if (![[NSFileManager defaultManager] fileExistsAtPath:deviceRoot isDirectory:&isDirectory] || !isDirectory) {
    if (error != NULL) *error = [NSString stringWithFormat:@"device root %@: no such directory", deviceRoot];
    return NO;
  }
  if (access([deviceRoot fileSystemRepresentation], R_OK | X_OK) != 0) {
    if (error != NULL) *error = [NSString stringWithFormat:@"device root %@: directory is not readable", deviceRoot];
    return NO;
  }
  GSDebugAllocationActive(YES);
  DWDeviceInstallFoundation();
  DWDeviceSetRoot(deviceRoot);
  launched = YES;
  if (libraryPath == nil) {
    InitializeClassesOnMainThread();
    return YES;
  }

  // The loader reads the filter of a library that is there: a missing library is the fault to name.
  if (access([libraryPath fileSystemRepresentation], R_OK) != 0) {
    if (error != NULL) *error = [NSString stringWithFormat:@"cannot load %@: %s", libraryPath, strerror(errno)];
    return NO;
  }
  DWFilterDecision decision = DecideForThisProcess(libraryPath, bundleIdentifier);
  *why = [NSString stringWithFormat:@"%s%s", decision.verdict == DWFilterInvalid ? "invalid, so loaded nowhere: " : "",
                                     decision.reason];
  if (decision.verdict != DWFilterLoads) {
    InitializeClassesOnMainThread();
    return YES;
  }
  DWDeviceRecordClassLookups(YES);
  void *library = dlopen([libraryPath fileSystemRepresentation], RTLD_NOW | RTLD_GLOBAL);
  DWDeviceRecordClassLookups(NO);
  if (library == NULL) {
    if (error != NULL) *error = [NSString stringWithFormat:@"cannot load %@: %s", libraryPath, dlerror()];
    return NO;
  }
  *loaded = YES;
  InitializeClassesOnMainThread();
  return YES;
}

NSString *DWLibraryBesideExecutable(void) {
  NSString *executable = ExecutablePath();
  if (executable == nil) return @"duskwell.so";
  return [[executable stringByDeletingLastPathComponent] stringByAppendingPathComponent:@"duskwell.so"];
}
