// The duskwell-sim commands. Each takes its arguments after the command name and returns the
// process exit status; each prints its own errors, naming what is wrong.
#pragma once

#import <Foundation/Foundation.h>

int DWRunInspect(NSArray *arguments);
int DWRunHooks(NSArray *arguments);
int DWRunPreview(NSArray *arguments);
// Internal: the preview's child process that draws the screens into one PNG strip.
int DWRunRenderScreens(NSArray *arguments);
int DWRunDoctor(NSArray *arguments);
int DWRunTheme(NSArray *arguments);
int DWRunPane(NSArray *arguments);

// Shared option handling: "--device-root DIR" and flags. Unknown options are errors.
@interface DWOptions : NSObject {
 @public
  NSString *deviceRoot;
  NSMutableSet *flags;
  NSMutableDictionary *values;
}
// Parses `arguments` accepting the given flags (e.g. "--json") and valued options (e.g. "--out").
// Prints a message and returns nil on an unknown option or a missing value.
+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flags:(NSArray *)flags values:(NSArray *)valued;
- (BOOL)has:(NSString *)flag;
- (NSString *)value:(NSString *)option;
@end

// The embedded example device root shipped with the build.
NSString *DWEmbeddedDeviceRoot(void);

// Launches the host on the options' device root, with or without the library; prints the error.
BOOL DWLaunchForCommand(DWOptions *options, BOOL withLibrary);

void DWPrintError(NSString *format, ...);
void DWPrint(NSString *format, ...);
