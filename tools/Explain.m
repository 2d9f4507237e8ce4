#import "Explain.h"
#import "Render.h"
#import "ThemeFiles.h"

#import "host/Screens.h"
#import "standin/colorpicker/ColorPicker.h"
#import "standin/foundation/CallLog.h"
#import "standin/foundation/StandInDevice.h"

#include <stdlib.h>
#include <string.h>

// Colours no theme uses and the filter never exchanges: the second pass puts them under "tabs" and
// "background", so the string a repaint parsed names its key even when the theme's two are equal.
static NSString *const kTabsMarker = @"#010203", *const kBackgroundMarker = @"#030201";

// kSetByFilterAfterRepaint: a repaint sent a colour the filter exchanged for "background".
typedef enum { kSetByHost, kSetByFilter, kSetByRepaint, kSetByFilterAfterRepaint } DWSetter;

// One pass: every screen built afresh and laid out; for each view with a background, who handed
// UIView's setter its final colour, and for a repaint the value it parsed.
static NSDictionary *WatchOnePass(void) {
  DWCallLogClear();
  DWColorPickerRecord(YES);
  NSArray *screens = DWHostBuildScreens();
  for (DWScreen *screen in screens) [[screen root] layoutIfNeeded];
  NSArray *calls = DWCallLogEntries();
  NSArray *parses = DWColorPickerParses();
  DWColorPickerRecord(NO);

  // The last colour UIView's own setter received, per view.
  NSMutableDictionary *lastCall = [NSMutableDictionary dictionary];
  NSUInteger index = 0;
  for (DWCall *call in calls) {
    if ([call->implementor isEqualToString:@"UIView"] && [call->selector isEqualToString:@"setBackgroundColor:"]) {
      [lastCall setObject:[NSNumber numberWithUnsignedInteger:index] forKey:[NSValue valueWithPointer:call->receiver]];
    }
    ++index;
  }

  NSMutableDictionary *result = [NSMutableDictionary dictionary];
  NSMutableArray *stack = [NSMutableArray array];
  for (DWScreen *screen in screens) {
    [stack addObject:[NSArray arrayWithObjects:[screen root], DWViewPathComponent([screen root], 0), nil]];
    while ([stack count] > 0) {
      NSArray *item = [stack lastObject];
      [stack removeLastObject];
      UIView *view = [item objectAtIndex:0];
      NSString *path = [item objectAtIndex:1];
      NSUInteger child = 0;
      for (UIView *subview in [view subviews]) {
        [stack addObject:[NSArray arrayWithObjects:subview,
                                                   [path stringByAppendingFormat:@"/%@", DWViewPathComponent(subview, child++)],
                                                   nil]];
      }
      NSNumber *callIndex = [lastCall objectForKey:[NSValue valueWithPointer:view]];
      if (callIndex == nil) continue;
      DWCall *call = [calls objectAtIndex:[callIndex unsignedIntegerValue]];
      if (call->argument == nil) continue;
      // The parses made before that call: the last of them, and the one that made its colour.
      NSInteger last = -1, maker = -1;
      for (NSUInteger i = 0; i < [parses count]; ++i) {
        NSDictionary *parse = [parses objectAtIndex:i];
        if ([[parse objectForKey:@"logCount"] unsignedIntegerValue] > [callIndex unsignedIntegerValue]) break;
        last = (NSInteger)i;
        if ([parse objectForKey:@"color"] == call->argument) maker = (NSInteger)i;
      }
      // The filter parses "background" and hands that very colour on at once; a repaint's colour
      // was parsed before the filter's own parse, and the host's colours never come from the picker.
      DWSetter setter = maker < 0 ? kSetByHost : maker == last ? kSetByFilter : kSetByRepaint;
      // A parse with no call logged between it and the filter's is the repaint that sent the colour
      // the filter exchanged; a colour the host set comes after its own logged layout call.
      if (setter == kSetByFilter && last > 0 &&
          [[[parses objectAtIndex:(NSUInteger)last - 1] objectForKey:@"logCount"]
              isEqual:[[parses objectAtIndex:(NSUInteger)last] objectForKey:@"logCount"]]) {
        setter = kSetByFilterAfterRepaint;
      }
      id value = maker >= 0 ? [[parses objectAtIndex:(NSUInteger)maker] objectForKey:@"value"] : [NSNull null];
      [result setObject:[NSArray arrayWithObjects:[NSNumber numberWithInt:setter], value, nil]
                 forKey:DWViewKey([screen name], path)];
    }
  }
  return result;
}

// A copy of the theme's main file with the markers under "tabs" and "background", in a fresh
// device root of its own; nil when the main file cannot be read (then nothing is repainted anyway).
static NSString *MarkedRoot(NSString *root, NSString **error) {
  DWFileState state;
  NSString *reason = nil;
  NSDictionary *main = DWReadDictionaryFile([root stringByAppendingPathComponent:DWMainPrefsDevicePath], &state, &reason);
  if (main == nil) return nil;
  NSMutableDictionary *marked = [NSMutableDictionary dictionaryWithDictionary:main];
  [marked setObject:kTabsMarker forKey:@"tabs"];
  [marked setObject:kBackgroundMarker forKey:@"background"];
  char pattern[] = "/tmp/duskwell-explain.XXXXXX";
  if (mkdtemp(pattern) == NULL) {
    *error = @"cannot make a temporary directory for the second pass";
    return nil;
  }
  NSString *markedRoot = [NSString stringWithUTF8String:pattern];
  NSString *file = [markedRoot stringByAppendingPathComponent:DWMainPrefsDevicePath];
  [[NSFileManager defaultManager] createDirectoryAtPath:[file stringByDeletingLastPathComponent]
                            withIntermediateDirectories:YES
                                             attributes:nil
                                                  error:NULL];
  if (!DWWriteDictionaryFile(marked, file, error)) {
    [[NSFileManager defaultManager] removeItemAtPath:markedRoot error:NULL];
    return nil;
  }
  return markedRoot;
}

NSDictionary *DWExplainPainters(NSString *root, NSString **error) {
  NSDictionary *real = WatchOnePass();
  NSDictionary *marked = nil;
  NSString *markedRoot = nil;
  for (NSArray *found in [real allValues]) {
    int setter = [[found objectAtIndex:0] intValue];
    if (setter != kSetByRepaint && setter != kSetByFilterAfterRepaint) continue;
    *error = nil;
    markedRoot = MarkedRoot(root, error);
    if (markedRoot == nil && *error != nil) return nil;
    if (markedRoot == nil) break;  // no readable main file: nothing could have been repainted
    DWDeviceSetRoot(markedRoot);
    marked = WatchOnePass();
    DWDeviceSetRoot(root);
    [[NSFileManager defaultManager] removeItemAtPath:markedRoot error:NULL];
    break;
  }
  NSMutableDictionary *painters = [NSMutableDictionary dictionary];
  for (NSString *key in real) {
    DWSetter setter = (DWSetter)[[[real objectForKey:key] objectAtIndex:0] intValue];
    DWPainter painter = setter == kSetByFilter ? DWPainterFilter : DWPainterHost;
    if (setter == kSetByRepaint || setter == kSetByFilterAfterRepaint) {
      BOOL tabs = [[[marked objectForKey:key] objectAtIndex:1] isEqual:kTabsMarker];
      // "background" exchanged for "background" is still "background"; "tabs" exchanged is the filter.
      painter = tabs ? (setter == kSetByRepaint ? DWPainterTabs : DWPainterFilter) : DWPainterBackground;
    }
    [painters setObject:[NSNumber numberWithInt:painter] forKey:key];
  }
  return painters;
}
