// The duskwell-sim commands. Each takes its arguments after the command name and returns the
// process exit status; each prints its own errors, naming what is wrong.
#pragma once

#import <Foundation/Foundation.h>

#include <stdio.h>

int DWRunInspect(NSArray *arguments);
int DWRunHooks(NSArray *arguments);
int DWRunPreview(NSArray *arguments);
// Internal: the preview's child process that draws the screens without the library.
int DWRunRenderScreens(NSArray *arguments);
int DWRunDoctor(NSArray *arguments);
int DWRunTheme(NSArray *arguments);
int DWRunPane(NSArray *arguments);
int DWRunTrace(NSArray *arguments);
int DWRunServe(NSArray *arguments);

// One row of the command table (main.m). A row whose name has two words ("theme set") is reached
// through the row of its first word; a row without a synopsis is not listed.
typedef struct {
  const char *name;
  int (*run)(NSArray *arguments);
  const char *synopsis;  // what follows the name: "[--device-root DIR] [--json]"
  const char *summary;   // one or two lines
  const char *options;   // one line per option, already indented; may be NULL
} DWCommand;

// The row named `name` ("doctor", "theme set"), or NULL.
const DWCommand *DWCommandNamed(NSString *name);
// The command's usage, summary and options, as -h/--help shows them.
void DWPrintCommandHelp(NSString *name, FILE *stream);

// Shared option handling with getopt_long: "--opt value" and "--opt=value", unambiguous prefixes,
// -h/--help for the command's help, "--" to end the options. Anything unknown is an error, with a
// "did you mean" when one of the command's options is close.
@interface DWOptions : NSObject {
 @public
  NSString *deviceRoot;
  NSMutableSet *flags;
  NSMutableDictionary *values;
  NSMutableArray *operands;
  NSString *command;
}
// Parses `arguments` of `command` accepting the given flags (e.g. "--json") and valued options
// (e.g. "--out"), plus "--device-root DIR", and no operands. Prints a message and returns nil on
// anything else; prints the command's help and exits 0 on -h/--help.
+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flags:(NSArray *)flags values:(NSArray *)valued;
// The same for a command of one flag and one valued option (e.g. "--json", "--out").
+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flag:(NSString *)flag value:(NSString *)valued;
// The same with exactly the operands named in `operandNames` (e.g. "DIR", "KEY", "VALUE"), and
// "--device-root" only when `valued` lists it.
+ (DWOptions *)parse:(NSArray *)arguments
             command:(NSString *)command
               flags:(NSArray *)flags
              values:(NSArray *)valued
            operands:(NSArray *)operandNames;
- (BOOL)has:(NSString *)flag;
- (NSString *)value:(NSString *)option;
- (NSString *)operand:(NSUInteger)index;
@end

// The embedded example device root that travels with the build, found beside the executable.
NSString *DWEmbeddedDeviceRoot(void);
// The options' device root, or the embedded one.
NSString *DWDeviceRootOf(DWOptions *options);

// NO, with a message naming `root` and saying exactly what it is instead, unless it is a readable
// directory.
BOOL DWCheckDeviceRoot(NSString *command, NSString *root);
// A device root without any of the theme's four files is valid (everything reads as off) but most
// likely a mistake: says so on standard error, naming where the main file was expected.
void DWWarnIfNoThemeFiles(NSString *command, NSString *root);

// Launches the host on the options' device root, with or without the library; prints the error.
BOOL DWLaunchForCommand(DWOptions *options, BOOL withLibrary);

void DWPrintError(NSString *format, ...);
void DWPrint(NSString *format, ...);
