#import "Launcher.h"

#import "../sim/device/Device.h"

#import <Foundation/NSDebug.h>

#include <dlfcn.h>
#include <unistd.h>

static BOOL launched;

BOOL DWLaunchHost(NSString *deviceRoot, NSString *libraryPath, NSString **error) {
  if (launched) {
    if (error != NULL) *error = @"the host is already running";
    return NO;
  }
  BOOL isDirectory = NO;
  if (![[NSFileManager defaultManager] fileExistsAtPath:deviceRoot isDirectory:&isDirectory] || !isDirectory) {
    if (error != NULL) *error = [NSString stringWithFormat:@"%@: no such directory", deviceRoot];
    return NO;
  }
  if (access([deviceRoot fileSystemRepresentation], R_OK | X_OK) != 0) {
    if (error != NULL) *error = [NSString stringWithFormat:@"%@: directory is not readable", deviceRoot];
    return NO;
  }
  GSDebugAllocationActive(YES);
  DWDeviceInstallFoundation();
  DWDeviceSetRoot(deviceRoot);
  launched = YES;
  if (libraryPath == nil) return YES;

  DWDeviceRecordClassLookups(YES);
  void *library = dlopen([libraryPath fileSystemRepresentation], RTLD_NOW | RTLD_GLOBAL);
  DWDeviceRecordClassLookups(NO);
  if (library == NULL) {
    if (error != NULL) *error = [NSString stringWithFormat:@"cannot load %@: %s", libraryPath, dlerror()];
    return NO;
  }
  return YES;
}

NSString *DWLibraryBesideExecutable(void) {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return @"duskwell.so";
  path[length] = '\0';
  NSString *directory = [[NSString stringWithUTF8String:path] stringByDeletingLastPathComponent];
  return [directory stringByAppendingPathComponent:@"duskwell.so"];
}
