#import "LibraryBehaviour.h"

#import "ThemeFiles.h"

#import "host/HostClasses.h"
#import "host/Launcher.h"
#import "host/Screens.h"
#import "standin/foundation/DispatchTable.h"
#import "standin/foundation/StandInDevice.h"
#import "standin/substrate/Substrate.h"
#import "standin/uikit/UIKit.h"

#include <errno.h>
#include <objc/runtime.h>
#include <stdlib.h>
#include <string.h>

static NSString *const kPreferencesDirectory = @"/var/mobile/Library/Preferences/";

NSString *DWDefaultsDomainOfPath(NSString *devicePath) {
  if (![devicePath hasPrefix:kPreferencesDirectory] || ![devicePath hasSuffix:@".plist"]) return nil;
  NSString *name = [devicePath substringFromIndex:[kPreferencesDirectory length]];
  if ([name rangeOfString:@"/"].location != NSNotFound) return nil;
  return [name stringByDeletingPathExtension];
}

NSString *DWDevicePathOfDomain(NSString *domain) {
  if ([domain length] == 0 || [domain rangeOfString:@"/"].location != NSNotFound || [domain hasPrefix:@"."]) return nil;
  return [[kPreferencesDirectory stringByAppendingString:domain] stringByAppendingPathExtension:@"plist"];
}

static NSArray *PaletteDevicePaths(void) {
  NSMutableArray *paths = [NSMutableArray array];
  for (NSString *role in DWPaletteRoles()) [paths addObject:DWPaletteDevicePath(role)];
  return paths;
}

// The probe root's files are written plainly, without syncing: nothing else reads or writes them,
// and they are gone when the question is answered.
static BOOL WriteProbeFile(NSString *root, NSString *devicePath, NSDictionary *contents) {
  NSData *data = [NSPropertyListSerialization dataFromPropertyList:contents
                                                            format:NSPropertyListXMLFormat_v1_0
                                                  errorDescription:NULL];
  return [data writeToFile:[root stringByAppendingPathComponent:devicePath] atomically:NO];
}

// A device root where the master switch is on and nothing else is set: every repaint, filter and
// label hook then reads its colour key and falls back, and every palette rule tests all its keys.
// The palette files exist but are empty, so that their reads reach a dictionary.
static NSString *MakeProbeRoot(NSString **error) {
  NSString *template = [NSTemporaryDirectory() stringByAppendingPathComponent:@"duskwell-probe.XXXXXX"];
  char *pattern = strdup([template fileSystemRepresentation]);
  if (mkdtemp(pattern) == NULL) {
    *error = [NSString
        stringWithFormat:@"cannot make a temporary device root in %@ (%s)", NSTemporaryDirectory(), strerror(errno)];
    free(pattern);
    return nil;
  }
  NSString *root = [NSString stringWithUTF8String:pattern];
  free(pattern);
  NSString *directory = [root stringByAppendingPathComponent:kPreferencesDirectory];
  [[NSFileManager defaultManager] createDirectoryAtPath:directory
                            withIntermediateDirectories:YES
                                             attributes:nil
                                                  error:NULL];
  NSMutableDictionary *files = [NSMutableDictionary
      dictionaryWithObject:[NSDictionary dictionaryWithObject:[NSNumber numberWithBool:YES] forKey:DWSwitchKey]
                    forKey:DWMainPrefsDevicePath];
  for (NSString *path in PaletteDevicePaths()) [files setObject:[NSDictionary dictionary] forKey:path];
  for (NSString *devicePath in files) {
    if (!WriteProbeFile(root, devicePath, [files objectForKey:devicePath])) {
      *error = [NSString stringWithFormat:@"cannot write %@ in the temporary device root %@", devicePath, root];
      [[NSFileManager defaultManager] removeItemAtPath:root error:NULL];
      return nil;
    }
  }
  return root;
}

// Preference reads are recorded from a mark on: the device keeps every recorded read of the process.
static BOOL recording;

static void Record(BOOL on) {
  recording = on;
  DWDeviceRecordPreferenceReads(on);
}

static NSUInteger StartRecording(void) {
  NSUInteger mark = [DWDevicePreferenceReads() count];
  Record(YES);
  return mark;
}

static NSArray *StopRecording(NSUInteger mark) {
  Record(NO);
  NSArray *all = DWDevicePreferenceReads();
  return [all subarrayWithRange:NSMakeRange(mark, [all count] - mark)];
}

static BOOL IsLookup(NSDictionary *event) {
  return [[event objectForKey:@"event"] isEqualToString:@"lookup"] &&
         [[event objectForKey:@"key"] isKindOfClass:[NSString class]];
}

// A lookup that the colour picker follows at once is the library's colour read; any other is a
// switch read by its boolean value.
static BOOL IsColorRead(NSArray *events, NSUInteger index) {
  if (index + 1 >= [events count] || !IsLookup([events objectAtIndex:index])) return NO;
  return [[[events objectAtIndex:index + 1] objectForKey:@"event"] isEqualToString:@"parse"];
}

// ---- The colour getters: one receiver each, as the host sets them up.

enum { kIconGetter, kLabelStyleGetter, kStatusBarGetter, kSliderGetter, kGetterCount };

static UIColor *AskGetter(int getter) {
  switch (getter) {
    case kIconGetter: return [DWHostSampleIconConfiguration() iconColor];
    case kLabelStyleGetter: return [DWHostSampleLabelStyle() textColor];
    case kStatusBarGetter: return [DWHostSampleStatusBarAttributes() tintColor];
    case kSliderGetter: {
      UISlider *slider = DWHostSampleSlider();
      return [slider _effectiveTintColorWithImage:[slider thumbImage]];
    }
  }
  return nil;
}

// Everything the host does that reaches a hook: building and laying out every screen, and the
// colour getters.
static void ExerciseHost(void) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  for (DWScreen *screen in DWHostBuildScreens()) [[screen root] layoutIfNeeded];
  for (int getter = 0; getter < kGetterCount; ++getter) AskGetter(getter);
  [pool release];
}

// ---- The background filter, kept out of what a layout hook reads.

// A repaint hands its colour to setBackgroundColor: by ordinary dispatch, so the filter's own reads
// fall inside every layout. While the layout hooks are asked, the filter runs with recording off.
typedef struct {
  Class owner;
  IMP filter;
} DWQuietFilter;
static DWQuietFilter *quietFilters;
static NSUInteger quietFilterCount;

static void FilterWithoutRecording(id self, SEL _cmd, id color) {
  IMP filter = NULL;
  for (Class cls = object_getClass(self); cls != Nil && filter == NULL; cls = class_getSuperclass(cls)) {
    for (NSUInteger i = 0; i < quietFilterCount; ++i) {
      if (quietFilters[i].owner == cls) filter = quietFilters[i].filter;
    }
  }
  if (filter == NULL) return;  // not reached: the wrapper sits only where a filter was
  BOOL wasRecording = recording;
  Record(NO);
  ((void (*)(id, SEL, id))(void (*)(void))filter)(self, _cmd, color);
  Record(wasRecording);
}

static void QuietFilters(NSArray *filterRows) {
  quietFilters = calloc([filterRows count] + 1, sizeof *quietFilters);
  quietFilterCount = 0;
  for (NSArray *row in filterRows) {
    Class cls = NSClassFromString([row objectAtIndex:0]);
    Method method = class_getInstanceMethod(cls, NSSelectorFromString([row objectAtIndex:1]));
    quietFilters[quietFilterCount].owner = cls;
    IMP quiet = (IMP)(void (*)(void))FilterWithoutRecording;
    quietFilters[quietFilterCount].filter = DWReplaceImplementation(cls, method, quiet);
    ++quietFilterCount;
  }
}

static void RestoreFilters(NSArray *filterRows) {
  for (NSUInteger i = 0; i < quietFilterCount; ++i) {
    NSArray *row = [filterRows objectAtIndex:i];
    Method method = class_getInstanceMethod(quietFilters[i].owner, NSSelectorFromString([row objectAtIndex:1]));
    DWReplaceImplementation(quietFilters[i].owner, method, quietFilters[i].filter);
  }
  free(quietFilters);
  quietFilters = NULL;
  quietFilterCount = 0;
}

// The installed hook rows with `selector`, as [class name, selector] in table order.
static NSArray *HookRows(NSString *selector) {
  NSMutableArray *rows = [NSMutableArray array];
  for (NSUInteger i = 0; i < DWHookRecordCount(); ++i) {
    DWHookRecord record = DWHookRecordAt(i);
    if (!record.classFound || strcmp(record.selector, [selector UTF8String]) != 0) continue;
    [rows addObject:[NSArray arrayWithObjects:[NSString stringWithUTF8String:record.className], selector, nil]];
  }
  return rows;
}

// Notes the file each key of `events` is first looked up in.
static void NoteFiles(NSArray *events, NSMutableDictionary *fileOfKey) {
  for (NSDictionary *event in events) {
    if (IsLookup(event) && [fileOfKey objectForKey:[event objectForKey:@"key"]] == nil) {
      [fileOfKey setObject:[event objectForKey:@"file"] forKey:[event objectForKey:@"key"]];
    }
  }
}

// Notes under `caller` each colour key read in `events` and the fallback it was read with.
static void NoteColorReads(NSArray *events, NSString *caller, NSMutableDictionary *callersByKey,
                           NSMutableArray *keyOrder) {
  for (NSUInteger i = 0; i < [events count]; ++i) {
    if (!IsColorRead(events, i)) continue;
    NSString *key = [[events objectAtIndex:i] objectForKey:@"key"];
    NSString *fallback = [[[events objectAtIndex:i + 1] objectForKey:@"fallback"] description];
    NSMutableArray *byFallback = [callersByKey objectForKey:key];
    if (byFallback == nil) {
      byFallback = [NSMutableArray array];
      [callersByKey setObject:byFallback forKey:key];
      [keyOrder addObject:key];
    }
    NSMutableDictionary *entry = nil;
    for (NSMutableDictionary *candidate in byFallback) {
      if ([[candidate objectForKey:@"fallback"] isEqualToString:fallback]) entry = candidate;
    }
    if (entry == nil) {
      entry = [NSMutableDictionary dictionaryWithObjectsAndKeys:fallback, @"fallback", [NSMutableArray array],
                                                                @"callers", nil];
      [byFallback addObject:entry];
    }
    if (![[entry objectForKey:@"callers"] containsObject:caller]) [[entry objectForKey:@"callers"] addObject:caller];
  }
}

// Most callers first; among equals, the fallback met first.
static NSArray *ByCallerCount(NSArray *entries) {
  NSMutableArray *sorted = [NSMutableArray array];
  for (NSDictionary *entry in entries) {
    NSUInteger count = [[entry objectForKey:@"callers"] count], at = [sorted count];
    while (at > 0 && [[[sorted objectAtIndex:at - 1] objectForKey:@"callers"] count] < count) --at;
    [sorted insertObject:entry atIndex:at];
  }
  return sorted;
}

static NSMutableDictionary *RowFor(NSMutableDictionary *rows, NSMutableArray *order, NSDictionary *lookup) {
  NSString *file = [lookup objectForKey:@"file"], *key = [lookup objectForKey:@"key"];
  NSString *identity = [NSString stringWithFormat:@"%@\n%@", file, key];
  NSMutableDictionary *row = [rows objectForKey:identity];
  if (row == nil) {
    row = [NSMutableDictionary dictionaryWithObjectsAndKeys:file, @"file", key, @"key", [NSCountedSet set],
                                                            @"fallbackSet", [NSMutableSet set], @"types", nil];
    NSString *domain = DWDefaultsDomainOfPath(file);
    if (domain != nil) [row setObject:domain forKey:@"domain"];
    [rows setObject:row forKey:identity];
    [order addObject:row];
  }
  return row;
}

static NSArray *Summarise(NSArray *events) {
  NSMutableDictionary *rows = [NSMutableDictionary dictionary];
  NSMutableArray *order = [NSMutableArray array];
  for (NSUInteger i = 0; i < [events count]; ++i) {
    NSDictionary *event = [events objectAtIndex:i];
    if (!IsLookup(event)) continue;
    NSMutableDictionary *row = RowFor(rows, order, event);
    if (IsColorRead(events, i)) {
      [[row objectForKey:@"types"] addObject:@"color"];
      NSString *fallback = [[[events objectAtIndex:i + 1] objectForKey:@"fallback"] description];
      [[row objectForKey:@"fallbackSet"] addObject:fallback];
    } else {
      [[row objectForKey:@"types"] addObject:@"boolean"];
    }
  }
  for (NSMutableDictionary *row in order) {
    NSArray *types = [[[row objectForKey:@"types"] allObjects] sortedArrayUsingSelector:@selector(compare:)];
    [row setObject:[types componentsJoinedByString:@" and "] forKey:@"type"];
    NSCountedSet *fallbackSet = [row objectForKey:@"fallbackSet"];
    NSArray *sorted = [[fallbackSet allObjects] sortedArrayUsingSelector:@selector(compare:)];
    NSMutableArray *counts = [NSMutableArray array];
    for (NSString *fallback in sorted) {
      [counts addObject:[NSNumber numberWithUnsignedInteger:[fallbackSet countForObject:fallback]]];
    }
    [row setObject:sorted forKey:@"fallbacks"];
    [row setObject:counts forKey:@"fallbackCounts"];
    [row removeObjectForKey:@"types"];
    [row removeObjectForKey:@"fallbackSet"];
  }
  return order;
}

@interface DWLibraryBehaviour ()
- (id)initWithProbeRoot:(NSString *)root;
- (void)askHookRow:(NSArray *)row callersByKey:(NSMutableDictionary *)callersByKey keyOrder:(NSMutableArray *)keyOrder;
@end

@implementation DWLibraryBehaviour

+ (DWLibraryBehaviour *)launch:(NSString **)error {
  NSString *root = MakeProbeRoot(error);
  if (root == nil) return nil;
  NSString *launchError = nil;
  if (!DWLaunchHost(root, DWLibraryBesideExecutable(), &launchError)) {
    *error = [NSString stringWithFormat:@"cannot run the host with the library: %@", launchError];
    [[NSFileManager defaultManager] removeItemAtPath:root error:NULL];
    return nil;
  }
  return [[[self alloc] initWithProbeRoot:root] autorelease];
}

- (id)initWithProbeRoot:(NSString *)root {
  if ((self = [super init])) {
    probeRoot = [root copy];
    paletteColors = [[NSMutableDictionary alloc] init];
    fileOfKey = [[NSMutableDictionary alloc] init];
  }
  return self;
}

- (void)dealloc {
  [self finish];
  [getterOfFile release];
  [paletteKeys release];
  [fallbacks release];
  [paletteColors release];
  [fileOfKey release];
  [super dealloc];
}

- (void)finish {
  if (probeRoot == nil) return;
  [[NSFileManager defaultManager] removeItemAtPath:probeRoot error:NULL];
  [probeRoot release];
  probeRoot = nil;
}

// Questions run on the probe root; the caller's device root comes back after each.
- (NSString *)enterProbeRoot {
  NSString *previous = [[DWDeviceRoot() retain] autorelease];
  DWDeviceSetRoot(probeRoot);
  return previous;
}

- (NSArray *)preferenceReads {
  NSString *previous = [self enterProbeRoot];
  NSUInteger mark = StartRecording();
  ExerciseHost();
  NSArray *reads = Summarise(StopRecording(mark));
  DWDeviceSetRoot(previous);
  return reads;
}

// A fresh view of the hook row's class is sent the row's message (a layout pass, or white as its
// background), and what the library reads meanwhile is noted under the row.
- (void)askHookRow:(NSArray *)row callersByKey:(NSMutableDictionary *)callersByKey keyOrder:(NSMutableArray *)keyOrder {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  UIView *view = [[NSClassFromString([row objectAtIndex:0]) alloc] init];
  NSUInteger mark = StartRecording();
  if ([[row objectAtIndex:1] isEqualToString:@"layoutSubviews"]) {
    [view layoutSubviews];
  } else {
    [view setBackgroundColor:[UIColor whiteColor]];
  }
  NSArray *events = StopRecording(mark);
  NoteColorReads(events, [row componentsJoinedByString:@" "], callersByKey, keyOrder);
  NoteFiles(events, fileOfKey);
  [view release];
  [pool release];
}

- (void)learnFallbacks {
  if (fallbacks != nil) return;
  NSString *previous = [self enterProbeRoot];
  NSMutableDictionary *callersByKey = [NSMutableDictionary dictionary];
  NSMutableArray *keyOrder = [NSMutableArray array];
  NSArray *filterRows = HookRows(@"setBackgroundColor:");
  QuietFilters(filterRows);
  for (NSArray *row in HookRows(@"layoutSubviews")) [self askHookRow:row callersByKey:callersByKey keyOrder:keyOrder];
  RestoreFilters(filterRows);
  for (NSArray *row in filterRows) [self askHookRow:row callersByKey:callersByKey keyOrder:keyOrder];
  DWDeviceSetRoot(previous);
  fallbacks = [[NSMutableDictionary alloc] init];
  for (NSString *key in keyOrder) [fallbacks setObject:ByCallerCount([callersByKey objectForKey:key]) forKey:key];
}

- (NSArray *)fallbacksOfColorKey:(NSString *)key {
  [self learnFallbacks];
  NSArray *entries = [fallbacks objectForKey:key];
  return entries != nil ? entries : [NSArray array];
}

// Each getter asked once with no palette key set: the file it reads first is its own, and the keys
// it tests there, in order, are that palette's.
- (void)learnPalettes {
  if (paletteKeys != nil) return;
  NSString *previous = [self enterProbeRoot];
  getterOfFile = [[NSMutableDictionary alloc] init];
  paletteKeys = [[NSMutableDictionary alloc] init];
  for (int getter = 0; getter < kGetterCount; ++getter) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    NSUInteger mark = StartRecording();
    AskGetter(getter);
    NSArray *events = StopRecording(mark);
    NoteFiles(events, fileOfKey);
    NSMutableArray *keys = [NSMutableArray array];
    NSString *file = nil;
    for (NSDictionary *event in events) {
      if (!IsLookup(event)) continue;
      if (file == nil) file = [event objectForKey:@"file"];
      NSString *key = [event objectForKey:@"key"];
      if ([[event objectForKey:@"file"] isEqualToString:file] && ![keys containsObject:key]) [keys addObject:key];
    }
    if (file != nil && [paletteKeys objectForKey:file] == nil) {
      [paletteKeys setObject:keys forKey:file];
      [getterOfFile setObject:[NSNumber numberWithInt:getter] forKey:file];
    }
    [pool release];
  }
  DWDeviceSetRoot(previous);
}

- (NSArray *)paletteKeysOfFile:(NSString *)devicePath {
  [self learnPalettes];
  NSArray *keys = [paletteKeys objectForKey:devicePath];
  return keys != nil ? keys : [NSArray array];
}

- (UIColor *)colorOfPaletteKey:(NSString *)key inFile:(NSString *)devicePath {
  NSString *identity = [NSString stringWithFormat:@"%@\n%@", devicePath, key];
  id known = [paletteColors objectForKey:identity];
  if (known != nil) return known == [NSNull null] ? nil : known;
  [self learnPalettes];
  NSNumber *getter = [getterOfFile objectForKey:devicePath];
  UIColor *color = nil;
  NSString *previous = [self enterProbeRoot];
  if (getter != nil &&
      WriteProbeFile(probeRoot, devicePath, [NSDictionary dictionaryWithObject:[NSNumber numberWithBool:YES]
                                                                        forKey:key])) {
    color = AskGetter([getter intValue]);
  }
  WriteProbeFile(probeRoot, devicePath, [NSDictionary dictionary]);
  DWDeviceSetRoot(previous);
  [paletteColors setObject:color != nil ? (id)color : (id)[NSNull null] forKey:identity];
  return color;
}

- (NSString *)fileReadingKey:(NSString *)key {
  [self learnFallbacks];
  [self learnPalettes];
  return [fileOfKey objectForKey:key];
}

- (BOOL)filterExchanges:(UIColor *)color {
  NSString *previous = [self enterProbeRoot];
  UIView *view = [[UIView alloc] init];
  [view setBackgroundColor:color];
  BOOL exchanged = [view backgroundColor] != color;
  [view release];
  DWDeviceSetRoot(previous);
  return exchanged;
}

- (BOOL)isColor:(UIColor *)color sameAs:(UIColor *)other {
  SEL comparison = NSSelectorFromString(@"isSameColor:");
  if (![color respondsToSelector:comparison]) return NO;
  BOOL (*compare)(id, SEL, id) = (BOOL (*)(id, SEL, id))(void (*)(void))[color methodForSelector:comparison];
  return compare(color, comparison, other);
}

@end

NSArray *DWLibraryPreferenceReads(NSString **error) {
  DWLibraryBehaviour *library = [DWLibraryBehaviour launch:error];
  if (library == nil) return nil;
  NSArray *reads = [library preferenceReads];
  [library finish];
  return reads;
}
