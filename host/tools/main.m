// duskwell-sim: the simulated host app with the library loaded, from the command line.
#import "Commands.h"

static void PrintUsage(FILE *stream) {
  fputs("usage: duskwell-sim COMMAND [OPTIONS]\n"
        "\n"
        "commands:\n"
        "  inspect [--device-root DIR] [--without-library] [--json]\n"
        "      lay out every screen of the host once and print every view and the colour getters\n"
        "  hooks [--device-root DIR]\n"
        "      the library's hook table as installed: number, class, selector, class found, slot filled\n"
        "  preview [--device-root DIR] [--out FILE]\n"
        "      every screen without and with the library, side by side (FILE .png, .svg or .pdf;\n"
        "      default out/preview.png)\n"
        "  doctor [--device-root DIR] [--json]\n"
        "      read the theme's files as the library does and explain what each setting does\n"
        "  theme init DIR\n"
        "      write the example theme into a new device root DIR\n"
        "  theme set DIR KEY VALUE\n"
        "      change one setting of the theme in device root DIR, checking its type\n"
        "  pane [--layout DIR] [--json]\n"
        "      the package's Settings pane, cell by cell, checked against the keys the library reads\n"
        "\n"
        "Without --device-root the embedded example theme is used.\n",
        stream);
}

int main(int argc, char **argv) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  int status;
  if (argc < 2) {
    PrintUsage(stderr);
    status = 2;
  } else {
    NSString *command = [NSString stringWithUTF8String:argv[1]];
    NSMutableArray *arguments = [NSMutableArray array];
    for (int i = 2; i < argc; ++i) [arguments addObject:[NSString stringWithUTF8String:argv[i]]];
    if ([command isEqualToString:@"inspect"]) {
      status = DWRunInspect(arguments);
    } else if ([command isEqualToString:@"hooks"]) {
      status = DWRunHooks(arguments);
    } else if ([command isEqualToString:@"preview"]) {
      status = DWRunPreview(arguments);
    } else if ([command isEqualToString:@"render-screens"]) {
      status = DWRunRenderScreens(arguments);
    } else if ([command isEqualToString:@"doctor"]) {
      status = DWRunDoctor(arguments);
    } else if ([command isEqualToString:@"theme"]) {
      status = DWRunTheme(arguments);
    } else if ([command isEqualToString:@"pane"]) {
      status = DWRunPane(arguments);
    } else if ([command isEqualToString:@"help"] || [command isEqualToString:@"--help"]) {
      PrintUsage(stdout);
      status = 0;
    } else {
      DWPrintError(@"unknown command '%@' (try 'duskwell-sim help')", command);
      status = 2;
    }
  }
  [pool release];
  return status;
}
