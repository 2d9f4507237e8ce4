#define _GNU_SOURCE  // dladdr
#import "StandInDevice.h"
#import "DispatchTable.h"
#import "Placeholder.h"
#import "PropertyListFile.h"
#import "StringBoolValue.h"
#import "TraceLog.h"

#include <dlfcn.h>
#include <errno.h>
#include <objc/runtime.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

static NSString *deviceRoot;
static NSCountedSet *readCounts;
static NSMutableArray *classLookups;
static BOOL recordingLookups;
static NSMutableArray *preferenceReads;
static BOOL recordingPreferenceReads;

// A dictionary read from a device file while preference reads are recorded: it answers as the file's
// dictionary does and notes every key asked of it.
@interface DWObservedDictionary : NSDictionary {
  NSDictionary *contents;
  NSString *devicePath;
}
- (id)initWithContents:(NSDictionary *)dictionary devicePath:(NSString *)path;
@end

// Recorded reads may come from any thread of the host.
static pthread_mutex_t preferenceReadsLock = PTHREAD_MUTEX_INITIALIZER;

static void NoteEvent(NSDictionary *event) {
  pthread_mutex_lock(&preferenceReadsLock);
  [preferenceReads addObject:event];
  pthread_mutex_unlock(&preferenceReadsLock);
}

static void NoteLookup(NSString *file, const char *selector, id key) {
  if (!recordingPreferenceReads) return;
  NoteEvent([NSDictionary dictionaryWithObjectsAndKeys:@"lookup", @"event", file, @"file",
                                                       [NSString stringWithUTF8String:selector], @"selector", key,
                                                       @"key", nil]);
}

@implementation DWObservedDictionary
- (id)initWithContents:(NSDictionary *)dictionary devicePath:(NSString *)path {
  if ((self = [super init])) {
    contents = [dictionary copy];
    devicePath = [path copy];
  }
  return self;
}
- (void)dealloc {
  [contents release];
  [devicePath release];
  [super dealloc];
}
- (NSUInteger)count { return [contents count]; }
- (NSEnumerator *)keyEnumerator { return [contents keyEnumerator]; }
- (id)objectForKey:(id)key {
  NoteLookup(devicePath, "objectForKey:", key);
  return [contents objectForKey:key];
}
// Asked directly, so that one lookup is noted once, under the message the caller sent.
- (id)valueForKey:(NSString *)key {
  NoteLookup(devicePath, "valueForKey:", key);
  return [contents valueForKey:key];
}
@end

void DWDeviceRecordPreferenceReads(BOOL on) {
  if (on && preferenceReads == nil) preferenceReads = [[NSMutableArray alloc] init];
  recordingPreferenceReads = on;
}

NSArray *DWDevicePreferenceReads(void) {
  pthread_mutex_lock(&preferenceReadsLock);
  NSArray *reads = preferenceReads != nil ? [preferenceReads copy] : [[NSArray alloc] init];
  pthread_mutex_unlock(&preferenceReadsLock);
  return [reads autorelease];
}

void DWDeviceNoteColorParse(id fallback) {
  if (!recordingPreferenceReads) return;
  NoteEvent([NSDictionary dictionaryWithObjectsAndKeys:@"parse", @"event", fallback ? fallback : (id)[NSNull null],
                                                       @"fallback", nil]);
}

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
  DWPropertyListReadResult result;
  id plist = DWReadPropertyListFile([DWDeviceLocalPath(path) fileSystemRepresentation], &result);
  BOOL isDictionary = [plist isKindOfClass:[NSDictionary class]];
  // Only the device's own files: Foundation reads its resources through here too.
  if (DWTracing() && [path hasPrefix:@"/var/mobile/"]) {
    BOOL missing = result.outcome == DWPropertyListCannotOpen && (result.error == ENOENT || result.error == ENOTDIR);
    NSString *outcome = isDictionary ? @"found" : missing ? @"missing" : @"unreadable";
    DWTraceEvent([NSString stringWithFormat:@"read %@ %@", DWTraceValue(path), outcome]);
  }
  if (!isDictionary) {
    [plist release];
    [self release];
    return nil;
  }
  if (recordingPreferenceReads) {
    [self release];
    id observed = [[DWObservedDictionary alloc] initWithContents:plist devicePath:path];
    [plist release];
    return observed;
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
  DWInstallDispatchTable([NSDictionary class]);
  method_setImplementation(method, (IMP)DictionaryInitWithContentsOfFile);
  DWDeviceInstallStringBoolValue();
  DWDeviceInstallDictionaryPlaceholder();
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
