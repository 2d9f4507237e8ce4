#import "Commands.h"
#import "Suggest.h"
#import "ThemeFiles.h"

#import "host/Launcher.h"

#include <errno.h>
#include <getopt.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

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

// getopt_long reports a long option by its index in the table plus this.
enum { kLongOptionBase = 1000 };

@implementation DWOptions

+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flags:(NSArray *)flagNames values:(NSArray *)valued {
  NSMutableArray *withRoot = [NSMutableArray arrayWithObject:@"--device-root"];
  if (valued != nil) [withRoot addObjectsFromArray:valued];
  return [self parse:arguments command:command flags:flagNames values:withRoot operands:[NSArray array]];
}

+ (DWOptions *)parse:(NSArray *)arguments command:(NSString *)command flag:(NSString *)flag value:(NSString *)valued {
  return [self parse:arguments
             command:command
               flags:[NSArray arrayWithObject:flag]
              values:[NSArray arrayWithObject:valued]];
}

+ (DWOptions *)parse:(NSArray *)arguments
             command:(NSString *)command
               flags:(NSArray *)flagNames
              values:(NSArray *)valued
            operands:(NSArray *)operandNames {
  NSMutableArray *names = [NSMutableArray array];  // without the leading "--"
  for (NSString *flag in flagNames) [names addObject:[flag substringFromIndex:2]];
  for (NSString *value in valued) [names addObject:[value substringFromIndex:2]];
  NSUInteger flagCount = [flagNames count], count = [names count];

  struct option *table = calloc(count + 2, sizeof *table);
  for (NSUInteger i = 0; i < count; ++i) {
    table[i].name = [[names objectAtIndex:i] UTF8String];
    table[i].has_arg = i < flagCount ? no_argument : required_argument;
    table[i].val = (int)(kLongOptionBase + i);
  }
  table[count].name = "help";
  table[count].val = 'h';

  int argc = (int)[arguments count] + 1;
  char **argv = calloc((size_t)argc + 1, sizeof *argv);
  argv[0] = strdup([command UTF8String]);
  for (int i = 1; i < argc; ++i) argv[i] = strdup([[arguments objectAtIndex:(NSUInteger)i - 1] UTF8String]);

  NSMutableArray *known = [NSMutableArray arrayWithObject:@"--help"];
  [known addObjectsFromArray:flagNames];
  [known addObjectsFromArray:valued];

  DWOptions *options = [[[DWOptions alloc] init] autorelease];
  options->flags = [[NSMutableSet alloc] init];
  options->values = [[NSMutableDictionary alloc] init];
  options->operands = [[NSMutableArray alloc] init];
  options->command = [command copy];
  BOOL ok = YES, help = NO;
  optind = 0;  // a fresh scan (GNU)
  opterr = 0;
  int code;
  while (ok && (code = getopt_long(argc, argv, ":h", table, NULL)) != -1) {
    NSString *offending = optind > 0 && optind <= argc ? [NSString stringWithUTF8String:argv[optind - 1]] : @"";
    if (code == 'h') {
      help = YES;
    } else if (code == ':') {
      DWPrintError(@"%@: option %@ needs a value", command, [[offending componentsSeparatedByString:@"="] objectAtIndex:0]);
      ok = NO;
    } else if (code == '?') {
      if (optopt >= kLongOptionBase) {
        DWPrintError(@"%@: option --%@ takes no value (given '%@')", command,
                     [names objectAtIndex:(NSUInteger)(optopt - kLongOptionBase)], offending);
      } else if (optopt != 0) {
        DWPrintError(@"%@: unknown option '-%c'", command, optopt);
      } else {
        NSString *word = [[offending componentsSeparatedByString:@"="] objectAtIndex:0];
        DWPrintError(@"%@: unknown option '%@'%@", command, word, DWDidYouMean(word, known));
      }
      ok = NO;
    } else {
      NSUInteger index = (NSUInteger)(code - kLongOptionBase);
      NSString *option = [@"--" stringByAppendingString:[names objectAtIndex:index]];
      if (index < flagCount) {
        [options->flags addObject:option];
      } else {
        NSString *value = [NSString stringWithUTF8String:optarg];
        if ([value length] == 0) {
          DWPrintError(@"%@: option %@ needs a value", command, option);
          ok = NO;
        } else if ([option isEqualToString:@"--device-root"]) {
          [options->deviceRoot release];
          options->deviceRoot = [value copy];
        } else {
          [options->values setObject:value forKey:option];
        }
      }
    }
  }
  if (ok) {
    for (int i = optind; i < argc; ++i) [options->operands addObject:[NSString stringWithUTF8String:argv[i]]];
  }
  for (int i = 0; i < argc; ++i) free(argv[i]);
  free(argv);
  free(table);

  if (help) {
    DWPrintCommandHelp(command, stdout);
    exit(0);
  }
  if (!ok) return nil;
  NSUInteger expected = [operandNames count], given = [options->operands count];
  if (given != expected) {
    NSString *usage = expected > 0 ? [NSString stringWithFormat:@"%@ %@", command,
                                                                [operandNames componentsJoinedByString:@" "]]
                                   : command;
    if (given > expected) {
      NSString *extra = [options->operands objectAtIndex:expected];
      DWPrintError(@"%@: unexpected argument '%@' (usage: duskwell-sim %@)", command, extra, usage);
    } else {
      DWPrintError(@"%@: missing %@ (usage: duskwell-sim %@)", command, [operandNames objectAtIndex:given], usage);
    }
    return nil;
  }
  return options;
}

- (void)dealloc {
  [deviceRoot release];
  [flags release];
  [values release];
  [operands release];
  [command release];
  [super dealloc];
}

- (BOOL)has:(NSString *)flag { return [flags containsObject:flag]; }
- (NSString *)value:(NSString *)option { return [values objectForKey:option]; }
- (NSString *)operand:(NSUInteger)index { return [operands objectAtIndex:index]; }

@end

NSString *DWEmbeddedDeviceRoot(void) {
  // The library sits beside the executable too; the example root is its sibling.
  return [[DWLibraryBesideExecutable() stringByDeletingLastPathComponent]
      stringByAppendingPathComponent:@"example-device-root"];
}

NSString *DWDeviceRootOf(DWOptions *options) {
  return options->deviceRoot != nil ? options->deviceRoot : DWEmbeddedDeviceRoot();
}

static NSString *KindOfFile(mode_t mode) {
  if (S_ISREG(mode)) return @"a file";
  if (S_ISFIFO(mode)) return @"a FIFO";
  if (S_ISSOCK(mode)) return @"a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return @"a device";
  return @"not a directory";
}

BOOL DWCheckDeviceRoot(NSString *command, NSString *root) {
  struct stat info;
  const char *path = [root fileSystemRepresentation];
  if (stat(path, &info) != 0) {
    if (errno == ENOENT && lstat(path, &info) == 0) {
      DWPrintError(@"%@: device root %@ is a symbolic link to nothing", command, root);
    } else if (errno == ENOENT) {
      DWPrintError(@"%@: device root %@ does not exist", command, root);
    } else {
      DWPrintError(@"%@: device root %@: %s", command, root, strerror(errno));
    }
    return NO;
  }
  if (!S_ISDIR(info.st_mode)) {
    DWPrintError(@"%@: device root %@ is %@, not a directory (give the directory that holds var/mobile/...)",
                 command, root, KindOfFile(info.st_mode));
    return NO;
  }
  if (access(path, R_OK | X_OK) != 0) {
    DWPrintError(@"%@: device root %@ is a directory this user cannot read (%s)", command, root, strerror(errno));
    return NO;
  }
  return YES;
}

void DWWarnIfNoThemeFiles(NSString *command, NSString *root) {
  NSMutableArray *devicePaths = [NSMutableArray arrayWithObject:DWMainPrefsDevicePath];
  for (NSString *role in DWPaletteRoles()) [devicePaths addObject:DWPaletteDevicePath(role)];
  NSFileManager *files = [NSFileManager defaultManager];
  for (NSString *devicePath in devicePaths) {
    if ([files fileExistsAtPath:[root stringByAppendingPathComponent:devicePath]]) return;
  }
  NSString *main = [root stringByAppendingPathComponent:DWMainPrefsDevicePath];
  fprintf(stderr, "duskwell-sim: %s: warning: device root %s holds none of the theme's four files; the library "
                  "reads everything as off (the main file was expected at %s)\n",
          [command UTF8String], [root UTF8String], [main UTF8String]);
  // The easy mistake: the folder of the files itself.
  NSString *name = [DWMainPrefsDevicePath lastPathComponent];
  if ([files fileExistsAtPath:[root stringByAppendingPathComponent:name]]) {
    NSString *up = root;
    for (NSUInteger i = 0; i < [[[DWMainPrefsDevicePath stringByDeletingLastPathComponent] pathComponents] count] - 1; ++i)
      up = [up stringByAppendingPathComponent:@".."];
    fprintf(stderr, "duskwell-sim: %s: %s is in %s itself: that is the Preferences folder; the device root is %s\n",
            [command UTF8String], [name UTF8String], [root UTF8String], [[up stringByStandardizingPath] UTF8String]);
  }
}

BOOL DWLaunchForCommand(DWOptions *options, BOOL withLibrary) {
  NSString *root = DWDeviceRootOf(options);
  if (!DWCheckDeviceRoot(options->command, root)) return NO;
  NSString *error = nil;
  if (!DWLaunchHost(root, withLibrary ? DWLibraryBesideExecutable() : nil, &error)) {
    DWPrintError(@"%@", error);
    return NO;
  }
  return YES;
}
