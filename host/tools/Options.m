#import "Commands.h"

#import "host/Launcher.h"

#include <stdarg.h>
#include <stdio.h>

void DWPrintError(NSString *format, ...) {
  va_list args;
  va_start(args, format);
  NSString *text = [[[NSString alloc] initWithFormat:format arguments:args] autorelease];
  va_end(args);
  fprintf(stderr, "duskwell-sim: %s\n", [text UTF8String]);
}

void DWPrint(NSString *format, ...) {
  va_list args;
  va_start(args, format);
  NSString *text = [[[NSString alloc] initWithFormat:format arguments:args] autorelease];
  va_end(args);
  fputs([text UTF8String], stdout);
}

@implementation DWOptions

+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flags:(NSArray *)flagNames values:(NSArray *)valued {
  DWOptions *options = [[[DWOptions alloc] init] autorelease];
  options->flags = [[NSMutableSet alloc] init];
  options->values = [[NSMutableDictionary alloc] init];
  for (NSUInteger i = 0; i < [arguments count]; ++i) {
    NSString *argument = [arguments objectAtIndex:i];
    BOOL takesValue = [argument isEqualToString:@"--device-root"] || [valued containsObject:argument];
    if (takesValue) {
      if (i + 1 >= [arguments count]) {
        DWPrintError(@"%@: option %@ needs a value", command, argument);
        return nil;
      }
      NSString *value = [arguments objectAtIndex:++i];
      if ([argument isEqualToString:@"--device-root"]) {
        options->deviceRoot = [value copy];
      } else {
        [options->values setObject:value forKey:argument];
      }
    } else if ([flagNames containsObject:argument]) {
      [options->flags addObject:argument];
    } else {
      DWPrintError(@"%@: unknown option '%@'", command, argument);
      return nil;
    }
  }
  return options;
}

- (void)dealloc {
  [deviceRoot release];
  [flags release];
  [values release];
  [super dealloc];
}

- (BOOL)has:(NSString *)flag { return [flags containsObject:flag]; }
- (NSString *)value:(NSString *)option { return [values objectForKey:option]; }

@end

NSString *DWEmbeddedDeviceRoot(void) {
#ifdef DUSKWELL_EMBEDDED_ROOT
  return @DUSKWELL_EMBEDDED_ROOT;
#else
  return @"examples/device-root";
#endif
}

BOOL DWLaunchForCommand(DWOptions *options, BOOL withLibrary) {
  NSString *root = options->deviceRoot != nil ? options->deviceRoot : DWEmbeddedDeviceRoot();
  NSString *error = nil;
  if (!DWLaunchHost(root, withLibrary ? DWLibraryBesideExecutable() : nil, &error)) {
    DWPrintError(@"device root %@", error);
    return NO;
  }
  return YES;
}
