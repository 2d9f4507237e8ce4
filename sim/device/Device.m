#define _GNU_SOURCE  // dladdr
#import "Device.h"

#include <dlfcn.h>
#include <objc/runtime.h>
#include <stdio.h>
#include <string.h>

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

static void NoteLookup(NSString *file, const char *selector, id key) {
  if (!recordingPreferenceReads) return;
  [preferenceReads addObject:[NSDictionary dictionaryWithObjectsAndKeys:@"lookup", @"event", file, @"file",
                                                                        [NSString stringWithUTF8String:selector],
                                                                        @"selector", key, @"key", nil]];
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
  return preferenceReads != nil ? [[preferenceReads copy] autorelease] : [NSArray array];
}

void DWDeviceNoteColorParse(id fallback) {
  if (!recordingPreferenceReads) return;
  [preferenceReads addObject:[NSDictionary dictionaryWithObjectsAndKeys:@"parse", @"event",
                                                                        fallback ? fallback : (id)[NSNull null],
                                                                        @"fallback", nil]];
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

NSUInteger DWDeviceReadCount(NSString *devicePath) { return [readCounts countForObject:devicePath]; }

void DWDeviceResetReadCounts(void) { [readCounts removeAllObjects]; }

// Read with stdio: Foundation's own file readers log a line for files they cannot open, and the
// device never does.
static NSData *ReadFileSilently(NSString *path) {
  FILE *file = fopen([path fileSystemRepresentation], "rb");
  if (file == NULL) return nil;
  NSMutableData *data = [NSMutableData data];
  char buffer[8192];
  size_t count;
  while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) [data appendBytes:buffer length:count];
  BOOL failed = ferror(file) != 0;
  fclose(file);
  return failed ? nil : data;
}

static id DictionaryInitWithContentsOfFile(id self, SEL _cmd, NSString *path) {
  (void)_cmd;
  if (path != nil) [readCounts addObject:path];
  NSData *data = ReadFileSilently(DWDeviceLocalPath(path));
  id plist = nil;
  if (data != nil) {
    plist = [NSPropertyListSerialization propertyListWithData:data
                                                      options:NSPropertyListImmutable
                                                       format:NULL
                                                        error:NULL];
  }
  if (![plist isKindOfClass:[NSDictionary class]]) {
    [self release];
    return nil;
  }
  if (recordingPreferenceReads) {
    [self release];
    return [[DWObservedDictionary alloc] initWithContents:plist devicePath:path];
  }
  return [self initWithDictionary:plist];
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
