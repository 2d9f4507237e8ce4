#import "FuzzHost.h"

#import "host/Launcher.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static NSString *deviceRoot;

static void RemoveDeviceRoot(void) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  [[NSFileManager defaultManager] removeItemAtPath:deviceRoot error:NULL];
  [pool release];
}

void DWFuzzLaunch(void) {
  [[NSAutoreleasePool alloc] init];  // the launch's own objects live for the whole run
  char pattern[] = "/dev/shm/duskwell-fuzz-XXXXXX";
  char fallback[] = "/tmp/duskwell-fuzz-XXXXXX";
  const char *made = mkdtemp(pattern);
  if (made == NULL) made = mkdtemp(fallback);
  if (made == NULL) {
    perror("mkdtemp");
    exit(1);
  }
  deviceRoot = [[NSString alloc] initWithUTF8String:made];
  atexit(RemoveDeviceRoot);
  NSString *preferences = [deviceRoot stringByAppendingPathComponent:@"var/mobile/Library/Preferences"];
  [[NSFileManager defaultManager] createDirectoryAtPath:preferences withIntermediateDirectories:YES attributes:nil error:NULL];
  NSString *error = nil;
  if (!DWLaunchHost(deviceRoot, @DUSKWELL_LIBRARY, &error)) {
    fprintf(stderr, "cannot launch the host: %s\n", [error UTF8String]);
    exit(1);
  }
}

NSString *DWFuzzDeviceRoot(void) { return deviceRoot; }

void DWFuzzWriteDeviceFile(const char *devicePath, const uint8_t *bytes, size_t length) {
  NSString *path = [deviceRoot stringByAppendingString:[NSString stringWithUTF8String:devicePath]];
  int fd = open([path fileSystemRepresentation], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || write(fd, bytes, length) != (ssize_t)length || close(fd) != 0) {
    perror("writing a device file");
    exit(1);
  }
}

NSString *DWFuzzString(const uint8_t *bytes, size_t length) {
  NSString *string = [[[NSString alloc] initWithBytes:bytes length:length encoding:NSUTF8StringEncoding] autorelease];
  if (string == nil) {
    string = [[[NSString alloc] initWithBytes:bytes length:length encoding:NSISOLatin1StringEncoding] autorelease];
  }
  return string;
}
