// duskwell-sim: the simulated host app with the library loaded, from the command line.
#import "Commands.h"
#import "Suggest.h"

#include <getopt.h>
#include <string.h>

#define DW_DEVICE_ROOT_HELP "  --device-root DIR   the device's file system: the theme lives in DIR/var/mobile/Library/Preferences/\n" \
                            "                      (default: the embedded example theme)\n"

// One row per command, in the order the usage lists them.
static const DWCommand kCommands[] = {
    {"inspect", DWRunInspect, "[--device-root DIR] [--without-library] [--json]",
     "lay out every screen of the host once and print every view and the colour getters",
     DW_DEVICE_ROOT_HELP "  --without-library   run the host alone\n"
                         "  --json              one JSON document instead of text\n"},
    {"hooks", DWRunHooks, "[--device-root DIR]",
     "the library's hook table as installed: number, class, selector, class found, slot filled",
     DW_DEVICE_ROOT_HELP},
    {"preview", DWRunPreview, "[--device-root DIR] [--out FILE] [--explain]",
     "every screen without and with the library, side by side, under a header with the theme",
     DW_DEVICE_ROOT_HELP "  --out FILE          .png, .svg or .pdf (default: out/preview.png)\n"
                         "  --explain           outline each view by who set its final background\n"},
    {"doctor", DWRunDoctor, "[--device-root DIR] [--json]",
     "read the theme's files as the library does and explain what each setting does;\n"
     "exit status 0: all is well, 1: warnings, 2: unusable input",
     DW_DEVICE_ROOT_HELP "  --json              one JSON document instead of text\n"},
    {"theme", DWRunTheme, NULL, NULL, NULL},
    {"theme init", NULL, "DIR", "write the example theme into a new device root DIR (never overwrites a file)", NULL},
    {"theme set", NULL, "DIR KEY VALUE",
     "change one setting of the theme in device root DIR, checking its type: custom1 and palette keys\n"
     "(white1 ... yellow3) take true/false, tabs/background/text2 a colour such as #1C1C24 or #1A2B3C:0.5",
     NULL},
    {"pane", DWRunPane, "[--layout DIR] [--json]",
     "the package's Settings pane, cell by cell, checked against the keys the library reads",
     "  --layout DIR        the package's layout folder (default: device-build/layout of this source tree)\n"
     "  --json              one JSON document instead of text\n"},
    {"serve", DWRunServe, "[--device-root DIR] [--port N] [--layout DIR]",
     "the theme editor in the browser: prints one URL (127.0.0.1 with this run's token) of a page with\n"
     "the Settings pane and every screen without and with the library, redrawn at each change",
     "  --device-root DIR   the device's file system whose theme the page edits\n"
     "                      (default: a new copy of the example theme, in the temporary directory)\n"
     "  --port N            the port on 127.0.0.1 (default 0: a free one)\n"
                         "  --layout DIR        the package's layout folder (default: device-build/layout of this source tree)\n"},
    {"trace", DWRunTrace, "SCENARIO.json",
     "run a scenario (the four files, the host classes, the calls) on a fresh device and print, one\n"
     "event per line, everything the library does to its platform",
     NULL},
    {"render-screens", DWRunRenderScreens, NULL, NULL, NULL},
};

static const NSUInteger kCommandCount = sizeof kCommands / sizeof kCommands[0];

const DWCommand *DWCommandNamed(NSString *name) {
  for (NSUInteger i = 0; i < kCommandCount; ++i) {
    if (strcmp(kCommands[i].name, [name UTF8String]) == 0) return &kCommands[i];
  }
  return NULL;
}

static NSArray *ListedCommandNames(void) {
  NSMutableArray *names = [NSMutableArray array];
  for (NSUInteger i = 0; i < kCommandCount; ++i) {
    NSString *word = [[[NSString stringWithUTF8String:kCommands[i].name] componentsSeparatedByString:@" "] objectAtIndex:0];
    if (kCommands[i].synopsis != NULL && ![names containsObject:word]) [names addObject:word];
  }
  [names addObject:@"help"];
  return names;
}

void DWPrintCommandHelp(NSString *name, FILE *stream) {
  const DWCommand *command = DWCommandNamed(name);
  if (command == NULL || command->synopsis == NULL) {
    // A group such as "theme": its commands' help, one after the other.
    BOOL any = NO;
    for (NSUInteger i = 0; i < kCommandCount; ++i) {
      NSString *rowName = [NSString stringWithUTF8String:kCommands[i].name];
      if (kCommands[i].synopsis != NULL && [rowName hasPrefix:[name stringByAppendingString:@" "]]) {
        if (any) fputc('\n', stream);
        DWPrintCommandHelp(rowName, stream);
        any = YES;
      }
    }
    if (!any) fprintf(stream, "usage: duskwell-sim %s\n", [name UTF8String]);
    return;
  }
  fprintf(stream, "usage: duskwell-sim %s %s\n\n%s\n", command->name, command->synopsis, command->summary);
  fprintf(stream, "\noptions:\n%s  -h, --help          this help\n", command->options ? command->options : "");
}

static void PrintUsage(FILE *stream) {
  fputs("usage: duskwell-sim [-h | --help] [--version] COMMAND [OPTIONS]\n\ncommands:\n", stream);
  for (NSUInteger i = 0; i < kCommandCount; ++i) {
    if (kCommands[i].synopsis == NULL) continue;
    fprintf(stream, "  %s %s\n", kCommands[i].name, kCommands[i].synopsis);
    NSArray *lines = [[NSString stringWithUTF8String:kCommands[i].summary] componentsSeparatedByString:@"\n"];
    for (NSString *line in lines) fprintf(stream, "      %s\n", [line UTF8String]);
  }
  fputs("  help [COMMAND]\n      this list, or one command's options (also: COMMAND --help)\n\n"
        "Without --device-root the embedded example theme is used.\n",
        stream);
}

static int Help(NSArray *arguments) {
  if ([arguments count] == 0) {
    PrintUsage(stdout);
    return 0;
  }
  NSString *name = [arguments componentsJoinedByString:@" "];
  NSString *first = [arguments objectAtIndex:0];
  if (![ListedCommandNames() containsObject:first] || [first isEqualToString:@"help"] ||
      ([arguments count] > 1 && DWCommandNamed(name) == NULL)) {
    DWPrintError(@"help: no command '%@'%@", name, DWDidYouMean(first, ListedCommandNames()));
    return 2;
  }
  DWPrintCommandHelp(name, stdout);
  return 0;
}

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  static const struct option global[] = {{"help", no_argument, NULL, 'h'}, {"version", no_argument, NULL, 'V'}, {0}};
  int status = -1, code;
  opterr = 0;
  // "+": the global options end at the command; the command parses the rest.
  while (status < 0 && (code = getopt_long(argc, argv, "+:h", global, NULL)) != -1) {
    if (code == 'h') {
      PrintUsage(stdout);
      status = 0;
    } else if (code == 'V') {
      printf("duskwell-sim %s\n", DUSKWELL_VERSION);
      status = 0;
    } else {
      NSString *word = [[[NSString stringWithUTF8String:argv[optind - 1]] componentsSeparatedByString:@"="] objectAtIndex:0];
      DWPrintError(@"unknown option '%@'%@ (try 'duskwell-sim --help')", word,
                   DWDidYouMean(word, [NSArray arrayWithObjects:@"--help", @"--version", nil]));
      status = 2;
    }
  }
  if (status < 0 && optind >= argc) {
    PrintUsage(stderr);
    status = 2;
  }
  if (status < 0) {
    NSString *command = [NSString stringWithUTF8String:argv[optind]];
    NSMutableArray *arguments = [NSMutableArray array];
    for (int i = optind + 1; i < argc; ++i) [arguments addObject:[NSString stringWithUTF8String:argv[i]]];
    const DWCommand *row = [command rangeOfString:@" "].location == NSNotFound ? DWCommandNamed(command) : NULL;
    if ([command isEqualToString:@"help"]) {
      status = Help(arguments);
    } else if (row != NULL && row->run != NULL) {
      status = row->run(arguments);
    } else {
      DWPrintError(@"unknown command '%@'%@ (try 'duskwell-sim --help')", command,
                   DWDidYouMean(command, ListedCommandNames()));
      status = 2;
    }
  }
  [pool release];
  return status;
}
