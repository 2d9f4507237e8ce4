#define _GNU_SOURCE  // dladdr
#import "Device.h"
#import "PropertyListFile.h"

#include <dlfcn.h>
#include <objc/runtime.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>

static NSString *deviceRoot;
static NSCountedSet *readCounts;
static NSMutableArray *classLookups;
static BOOL recordingLookups;

void DWDeviceSetRoot(NSString *root) {
  NSString *standardized = [[root stringByStandardizingPath] copy];
  [deviceRoot release];
  deviceRoot = standardized;
}

NSString *DWDeviceRoot(void) { return deviceRoot; }

NSString *DWDeviceLocalPath(NSString *devicePath) {
  if (deviceRoot == nil || ![devicePath hasPrefix:@"/var/mobile/"]) return devicePath;
  return [deviceRoot stringByAppendingString:devicePath];
}

// Reads may come from any thread of the host.
static pthread_mutex_t readCountsLock = PTHREAD_MUTEX_INITIALIZER;

static void NoteRead(NSString *path) {
  pthread_mutex_lock(&readCountsLock);
  [readCounts addObject:path];
  pthread_mutex_unlock(&readCountsLock);
}

NSUInteger DWDeviceReadCount(NSString *devicePath) {
  pthread_mutex_lock(&readCountsLock);
  NSUInteger count = [readCounts countForObject:devicePath];
  pthread_mutex_unlock(&readCountsLock);
  return count;
}

void DWDeviceResetReadCounts(void) {
  pthread_mutex_lock(&readCountsLock);
  [readCounts removeAllObjects];
  pthread_mutex_unlock(&readCountsLock);
}

// The device's reader, as the library meets it: a dictionary or nil, silently, whatever the file
// holds or is. When the plist is made in the class asked for, it is the result itself.
static id DictionaryInitWithContentsOfFile(id self, SEL _cmd, NSString *path) {
  (void)_cmd;
  if (path != nil) NoteRead(path);
  id plist = DWReadPropertyListFile([DWDeviceLocalPath(path) fileSystemRepresentation], NULL);
  if (![plist isKindOfClass:[NSDictionary class]]) {
    [plist release];
    [self release];
    return nil;
  }
  if ([plist class] == [self class]) {
    [self release];
    return plist;
  }
  self = [self initWithDictionary:plist];
  [plist release];
  return self;
}

void DWDeviceInstallFoundation(void) {
  if (readCounts != nil) return;
  readCounts = [[NSCountedSet alloc] init];
  Method method = class_getInstanceMethod([NSDictionary class], @selector(initWithContentsOfFile:));
  method_setImplementation(method, (IMP)DictionaryInitWithContentsOfFile);
}

void DWDeviceRecordClassLookups(BOOL on) {
  if (on && classLookups == nil) classLookups = [[NSMutableArray alloc] init];
  recordingLookups = on;
}

NSArray *DWDeviceClassLookups(void) {
  return classLookups != nil ? [[classLookups copy] autorelease] : [NSArray array];
}

// True when `address` lies in the runtime itself, which looks classes up as it loads modules.
static BOOL InRuntime(const void *address) {
  Dl_info info;
  return dladdr(address, &info) != 0 && info.dli_fname != NULL && strstr(info.dli_fname, "libobjc") != NULL;
}

// The runtime's class lookup, seen from outside: code loaded into the process binds to this one,
// which notes the names that loaded code asks for and asks the runtime.
Class objc_getClass(const char *name) {
  static Class (*runtimeLookup)(const char *);
  if (runtimeLookup == NULL) runtimeLookup = (Class (*)(const char *))dlsym(RTLD_NEXT, "objc_getClass");
  if (recordingLookups && name != NULL && !InRuntime(__builtin_return_address(0))) {
    recordingLookups = NO;  // the note itself may look classes up
    [classLookups addObject:[NSString stringWithUTF8String:name]];
    recordingLookups = YES;
  }
  return runtimeLookup(name);
}
