// serve: the theme editor in the browser. The package's Settings pane on the left, generated from its
// property lists; the six screens without and with the library on the right, drawn again after every
// change; the header and the doctor's findings above. Loopback only, one random token per run.
#import "Commands.h"
#import "EditorServer.h"
#import "EditorSession.h"
#import "PaneLayout.h"
#import "ThemeArchive.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/random.h>

// Long enough that guessing is hopeless, short enough to read in a URL.
static NSString *RandomToken(void) {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t part = getrandom(bytes + got, sizeof bytes - got, 0);
    if (part <= 0) return nil;
    got += (size_t)part;
  }
  NSMutableString *token = [NSMutableString string];
  for (size_t i = 0; i < sizeof bytes; ++i) [token appendFormat:@"%02x", bytes[i]];
  return token;
}

static NSString *token;

// A fresh folder in the system's temporary directory holding a copy of the example theme, or nil.
static NSString *CopyOfExampleTheme(NSString *example) {
  const char *tmp = getenv("TMPDIR");
  NSString *pattern = [NSString stringWithFormat:@"%s/duskwell-theme.XXXXXX", tmp != NULL && *tmp ? tmp : "/tmp"];
  char *folder = strdup([pattern fileSystemRepresentation]);
  if (folder == NULL) return nil;
  NSString *made = mkdtemp(folder) != NULL ? [NSString stringWithUTF8String:folder] : nil;
  free(folder);
  if (made == nil) return nil;
  NSString *copy = [made stringByAppendingPathComponent:@"root"];
  if (![[NSFileManager defaultManager] copyPath:example toPath:copy handler:nil]) return nil;
  return copy;
}

static void HandleRequest(const DWEditorRequest *request, DWEditorReply *reply, void *context) {
  [(DWEditorSession *)context handle:request reply:reply];
}

static void Idle(void *context) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  [(DWEditorSession *)context idle];
  [pool release];
}

static void PrintURL(int port, void *context) {
  (void)context;
  printf("http://127.0.0.1:%d/?token=%s\n", port, [token UTF8String]);
  fflush(stdout);
}

static BOOL ParsePort(NSString *text, int *port) {
  if (text == nil) {
    *port = 0;
    return YES;
  }
  if ([text length] == 0 || [text length] > 5 ||
      [[text stringByTrimmingCharactersInSet:[NSCharacterSet decimalDigitCharacterSet]] length] != 0) {
    return NO;
  }
  int value = [text intValue];
  if (value > 65535) return NO;
  *port = value;
  return YES;
}

int DWRunServe(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"serve"
                                  flags:nil
                                 values:[NSArray arrayWithObjects:@"--port", @"--layout", nil]];
  if (options == nil) return 2;
  int port = 0;
  if (!ParsePort([options value:@"--port"], &port)) {
    DWPrintError(@"serve: --port '%@' is not a port number from 0 to 65535 (0 picks a free one)",
                 [options value:@"--port"]);
    return 2;
  }
  NSString *layoutFolder = [options value:@"--layout"] ? [options value:@"--layout"] : DWDefaultPaneLayout();
  DWPaneLayout *layout = [[[DWPaneLayout alloc] initWithLayout:layoutFolder] autorelease];
  if (![layout read]) {
    DWPrintError(@"serve: %@", layout->inputError);
    return 2;
  }
  // Without --device-root the page edits a copy of the example theme, which the other commands
  // show as it ships; the copy is kept after the server stops, so no edit is lost with it.
  if (options->deviceRoot == nil) {
    NSString *copy = CopyOfExampleTheme(DWEmbeddedDeviceRoot());
    if (copy == nil) {
      DWPrintError(@"serve: cannot copy the example theme %@ into a temporary folder", DWEmbeddedDeviceRoot());
      return 1;
    }
    options->deviceRoot = [copy retain];
    DWPrintError(@"serve: editing a copy of the example theme in %@ (--device-root DIR edits another)", copy);
  }
  NSString *root = DWDeviceRootOf(options);
  if (!DWCheckDeviceRoot(@"serve", root)) return 2;
  DWWarnIfNoThemeFiles(@"serve", root);
  if (!DWLaunchForCommand(options, YES)) return 2;
  token = [RandomToken() retain];
  if (token == nil) {
    DWPrintError(@"serve: the system gives no random bytes for the token");
    return 1;
  }
  NSString *error = nil;
  DWEditorSession *session = [[DWEditorSession alloc] initWithRoot:root layout:layout token:token error:&error];
  if (session == nil) {
    DWPrintError(@"serve: %@", error);
    return 1;
  }
  DWEditorHandlers handlers = {HandleRequest, Idle, PrintURL, session, 100, DWThemeArchiveMaxBytes};
  const char *serveError = NULL;
  int status = DWServeEditor(port, [token UTF8String], &handlers, &serveError);
  if (status != 0) DWPrintError(@"serve: port %d: %s", port, serveError);
  [session release];
  return status;
}
