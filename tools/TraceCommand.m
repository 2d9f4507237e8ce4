// duskwell-sim trace SCENARIO: the scenario's trace, from duskwell-trace beside this program. The
// scenario declares the host itself, so it runs in a process without the simulated app's classes.
#import "Commands.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

int DWRunTrace(NSArray *arguments) {
  if ([arguments count] == 1 && ([[arguments objectAtIndex:0] isEqualToString:@"-h"] ||
                                 [[arguments objectAtIndex:0] isEqualToString:@"--help"])) {
    DWPrintCommandHelp(@"trace", stdout);
    return 0;
  }
  if ([arguments count] != 1 || [[arguments objectAtIndex:0] hasPrefix:@"-"]) {
    DWPrintError(@"trace: expected one scenario file (try 'duskwell-sim trace --help')");
    return 2;
  }
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    DWPrintError(@"trace: cannot find duskwell-trace: %s", strerror(errno));
    return 1;
  }
  self[length] = '\0';
  NSString *runner = [[[NSString stringWithUTF8String:self] stringByDeletingLastPathComponent]
      stringByAppendingPathComponent:@"duskwell-trace"];
  const char *path = [runner fileSystemRepresentation];
  char *const argv[] = {(char *)path, (char *)[[arguments objectAtIndex:0] fileSystemRepresentation], NULL};
  fflush(stdout);
  execv(path, argv);
  DWPrintError(@"trace: cannot run %@: %s", runner, strerror(errno));
  return 1;
}
