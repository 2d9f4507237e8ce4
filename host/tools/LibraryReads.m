#import "LibraryReads.h"

#import "ThemeFiles.h"

#import "host/HostClasses.h"
#import "host/Launcher.h"
#import "host/Screens.h"
#import "sim/device/Device.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

static NSString *const kPreferencesDirectory = @"/var/mobile/Library/Preferences/";

NSString *DWDefaultsDomainOfPath(NSString *devicePath) {
  if (![devicePath hasPrefix:kPreferencesDirectory] || ![devicePath hasSuffix:@".plist"]) return nil;
  NSString *name = [devicePath substringFromIndex:[kPreferencesDirectory length]];
  if ([name rangeOfString:@"/"].location != NSNotFound) return nil;
  return [name stringByDeletingPathExtension];
}

// A device root where the master switch is on and nothing else is set: every repaint, filter and
// label hook then reads its colour key and falls back, and every palette rule tests all its keys.
// The palette files exist but are empty, so that their reads reach a dictionary.
static NSString *MakeProbeRoot(NSString **error) {
  NSString *template = [NSTemporaryDirectory() stringByAppendingPathComponent:@"duskwell-pane.XXXXXX"];
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
  NSDictionary *files = [NSDictionary
      dictionaryWithObjectsAndKeys:[NSDictionary dictionaryWithObject:[NSNumber numberWithBool:YES] forKey:DWSwitchKey],
                                   DWMainPrefsDevicePath, [NSDictionary dictionary], DWPaletteDevicePath(@"icon"),
                                   [NSDictionary dictionary], DWPaletteDevicePath(@"text"), [NSDictionary dictionary],
                                   DWPaletteDevicePath(@"status"), nil];
  for (NSString *devicePath in files) {
    if (!DWWriteDictionaryFile([files objectForKey:devicePath], [root stringByAppendingPathComponent:devicePath],
                               error)) {
      [[NSFileManager defaultManager] removeItemAtPath:root error:NULL];
      return nil;
    }
  }
  return root;
}

// Everything the host does that reaches a hook: building and laying out every screen, and the four
// colour getters.
static void ExerciseHost(void) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  for (DWScreen *screen in DWHostBuildScreens()) [[screen root] layoutIfNeeded];
  [DWHostSampleIconConfiguration() iconColor];
  [DWHostSampleLabelStyle() textColor];
  [DWHostSampleStatusBarAttributes() tintColor];
  UISlider *slider = DWHostSampleSlider();
  [slider _effectiveTintColorWithImage:[slider thumbImage]];
  [pool release];
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

// A lookup that the colour picker follows at once is the library's colour read; any other is a
// switch read by its boolean value.
static NSArray *Summarise(NSArray *events) {
  NSMutableDictionary *rows = [NSMutableDictionary dictionary];
  NSMutableArray *order = [NSMutableArray array];
  for (NSUInteger i = 0; i < [events count]; ++i) {
    NSDictionary *event = [events objectAtIndex:i];
    if (![[event objectForKey:@"event"] isEqualToString:@"lookup"]) continue;
    if (![[event objectForKey:@"key"] isKindOfClass:[NSString class]]) continue;
    NSMutableDictionary *row = RowFor(rows, order, event);
    NSDictionary *next = i + 1 < [events count] ? [events objectAtIndex:i + 1] : nil;
    if ([[next objectForKey:@"event"] isEqualToString:@"parse"]) {
      [[row objectForKey:@"types"] addObject:@"color"];
      [[row objectForKey:@"fallbackSet"] addObject:[[next objectForKey:@"fallback"] description]];
    } else {
      [[row objectForKey:@"types"] addObject:@"boolean"];
    }
  }
  for (NSMutableDictionary *row in order) {
    NSArray *types = [[[row objectForKey:@"types"] allObjects] sortedArrayUsingSelector:@selector(compare:)];
    [row setObject:[types componentsJoinedByString:@" and "] forKey:@"type"];
    NSCountedSet *fallbacks = [row objectForKey:@"fallbackSet"];
    NSArray *sorted = [[fallbacks allObjects] sortedArrayUsingSelector:@selector(compare:)];
    NSMutableArray *counts = [NSMutableArray array];
    for (NSString *fallback in sorted) {
      [counts addObject:[NSNumber numberWithUnsignedInteger:[fallbacks countForObject:fallback]]];
    }
    [row setObject:sorted forKey:@"fallbacks"];
    [row setObject:counts forKey:@"fallbackCounts"];
    [row removeObjectForKey:@"types"];
    [row removeObjectForKey:@"fallbackSet"];
  }
  return order;
}

NSArray *DWLibraryPreferenceReads(NSString **error) {
  NSString *root = MakeProbeRoot(error);
  if (root == nil) return nil;
  NSString *launchError = nil;
  BOOL launched = DWLaunchHost(root, DWLibraryBesideExecutable(), &launchError);
  NSArray *reads = nil;
  if (launched) {
    DWDeviceRecordPreferenceReads(YES);
    ExerciseHost();
    DWDeviceRecordPreferenceReads(NO);
    reads = Summarise(DWDevicePreferenceReads());
  } else {
    *error = [NSString stringWithFormat:@"cannot run the host with the library: %@", launchError];
  }
  [[NSFileManager defaultManager] removeItemAtPath:root error:NULL];
  return reads;
}
