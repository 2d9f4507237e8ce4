// theme set's read-modify-write on any existing file and any value: either the file reads back as
// the old dictionary with the one key changed, its mode kept, or it is left byte for byte as it was,
// with a reason; never a temporary file left behind, never a value a file cannot hold written.
#import "FuzzHost.h"

#import "tools/FileWriting.h"
#import "tools/ThemeFiles.h"

#include <string.h>
#include <sys/stat.h>

static const char *kDevicePath = "/var/mobile/Library/Preferences/com.tervan.duskwell.plist";

int LLVMFuzzerInitialize(int *argc, char ***argv) {
  (void)argc;
  (void)argv;
  DWFuzzLaunch();
  return 0;
}

// The key and the value from the first bytes: a known key or a made-up one; a boolean, a string, a
// number (NaN and the infinities among them) or a list.
static void KeyAndValue(const uint8_t *data, NSString **key, id *value) {
  NSArray *keys = [NSArray arrayWithObjects:@"custom1", @"tabs", @"background", @"text2", @"red2", nil];
  double number;
  memcpy(&number, data + 2, sizeof number);
  *key = data[0] % 8 < [keys count] ? [keys objectAtIndex:data[0] % 8] : DWFuzzString(data + 2, 4);
  switch (data[1] % 5) {
    case 0: *value = [NSNumber numberWithBool:data[1] & 0x80]; break;
    case 1: *value = DWFuzzString(data + 2, 8); break;
    case 2: *value = [NSNumber numberWithDouble:number]; break;
    case 3: *value = [NSNumber numberWithLongLong:(long long)(data[2] | data[3] << 8)]; break;
    default: *value = [NSArray arrayWithObjects:@"x", [NSNumber numberWithDouble:number], nil]; break;
  }
}

static NSData *Contents(NSString *path) { return [NSData dataWithContentsOfFile:path]; }

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 10) return 0;
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSString *path = [DWFuzzDeviceRoot() stringByAppendingString:[NSString stringWithUTF8String:kDevicePath]];
  NSString *directory = [path stringByDeletingLastPathComponent];
  DWFuzzWriteDeviceFile(kDevicePath, data + 10, size - 10);
  const mode_t modes[] = {0600, 0640, 0644, 0664};
  chmod([path fileSystemRepresentation], modes[data[0] >> 6]);
  NSData *before = Contents(path);
  NSString *key = nil, *error = nil, *reason = nil;
  id value = nil;
  KeyAndValue(data, &key, &value);

  DWFileState state;
  NSDictionary *existing = DWReadDictionaryFileToRewrite(path, &state, &reason);
  if (existing != nil) {
    NSMutableDictionary *updated = [NSMutableDictionary dictionaryWithDictionary:existing];
    [updated setObject:value forKey:key];
    NSString *unstorable = nil;
    BOOL storable = DWCheckStorable(updated, nil, &unstorable);
    BOOL written = DWWriteDictionaryFile(updated, path, &error);
    DW_FUZZ_CHECK(storable || !written, "NaN and infinities are never written");
    if (written) {
      NSDictionary *after = DWReadDictionaryFile(path, &state, &reason);
      DW_FUZZ_CHECK([after isEqual:updated], "the file reads back as written");
      struct stat status;
      DW_FUZZ_CHECK(stat([path fileSystemRepresentation], &status) == 0 && (status.st_mode & 07777) == modes[data[0] >> 6],
                    "the file keeps its mode");
    } else {
      DW_FUZZ_CHECK(error != nil && [Contents(path) isEqual:before], "a refused write leaves the file as it was");
    }
  } else {
    DW_FUZZ_CHECK(reason != nil && state != DWFileRead, "an unusable file says why");
  }
  NSArray *left = [[NSFileManager defaultManager] contentsOfDirectoryAtPath:directory error:NULL];
  DW_FUZZ_CHECK([left count] == 1, "no temporary file is left behind");
  [pool release];
  return 0;
}
