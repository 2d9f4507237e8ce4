#import "ThemeFiles.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

NSString *const DWMainPrefsDevicePath = @"/var/mobile/Library/Preferences/com.tervan.duskwell.plist";
NSString *const DWSwitchKey = @"custom1";
NSString *const DWFileStateNames[] = {@"read", @"missing", @"unreadable", @"not-property-list", @"not-dictionary"};

NSArray *DWMainColorKeys(void) { return [NSArray arrayWithObjects:@"tabs", @"background", @"text2", nil]; }

NSArray *DWPaletteStems(void) {
  return [NSArray arrayWithObjects:@"white", @"gray", @"lightgray", @"black", @"blue", @"brown", @"clear", @"cyan",
                                   @"darkgray", @"green", @"magenta", @"orange", @"purple", @"red", @"yellow", nil];
}

NSArray *DWPaletteRoles(void) { return [NSArray arrayWithObjects:@"icon", @"text", @"status", nil]; }

NSString *DWPaletteDevicePath(NSString *role) {
  NSString *file = [role isEqualToString:@"text"] ? @"textc" : role;  // the text palette's file ends in "textc"
  return [NSString stringWithFormat:@"/var/mobile/Library/Preferences/com.tervan.%@.plist", file];
}

NSString *DWPaletteSuffix(NSString *role) {
  NSUInteger index = [DWPaletteRoles() indexOfObject:role];
  return index == NSNotFound ? nil : [NSString stringWithFormat:@"%lu", (unsigned long)index + 1];
}

NSString *DWPaletteRoleForSuffix(NSString *suffix) {
  for (NSString *role in DWPaletteRoles()) {
    if ([DWPaletteSuffix(role) isEqualToString:suffix]) return role;
  }
  return nil;
}

id DWPaletteNamedColor(NSString *stem) {
  NSString *name = stem;
  if ([stem isEqualToString:@"lightgray"]) name = @"lightGray";
  if ([stem isEqualToString:@"darkgray"]) name = @"darkGray";
  Class colorClass = NSClassFromString(@"UIColor");
  SEL selector = NSSelectorFromString([name stringByAppendingString:@"Color"]);
  if (colorClass == Nil || ![colorClass respondsToSelector:selector]) return nil;
  return [colorClass performSelector:selector];
}

NSDictionary *DWReadDictionaryFile(NSString *localPath, DWFileState *state, NSString **reason) {
  NSFileManager *files = [NSFileManager defaultManager];
  BOOL isDirectory = NO;
  if (![files fileExistsAtPath:localPath isDirectory:&isDirectory]) {
    *state = DWFileMissing;
    *reason = @"the file does not exist";
    return nil;
  }
  if (isDirectory) {
    *state = DWFileUnreadable;
    *reason = @"it is a directory";
    return nil;
  }
  if (access([localPath fileSystemRepresentation], R_OK) != 0) {
    *state = DWFileUnreadable;
    *reason = [NSString stringWithFormat:@"it cannot be read (%s)", strerror(errno)];
    return nil;
  }
  NSData *data = [NSData dataWithContentsOfFile:localPath];
  if (data == nil) {
    *state = DWFileUnreadable;
    *reason = @"it cannot be read";
    return nil;
  }
  NSString *parseError = nil;
  NSPropertyListFormat format;
  id list = nil;
  // Foundation's parser raises, rather than failing, on some malformed binary data.
  @try {
    list = [NSPropertyListSerialization propertyListFromData:data
                                            mutabilityOption:NSPropertyListImmutable
                                                      format:&format
                                            errorDescription:&parseError];
  } @catch (NSException *exception) {
    list = nil;
  }
  if (list == nil) {
    *state = DWFileNotPropertyList;
    *reason = @"it is not a property list";
    return nil;
  }
  if (![list isKindOfClass:[NSDictionary class]]) {
    *state = DWFileNotDictionary;
    *reason = [NSString stringWithFormat:@"its top level is a%@ %@, not a dictionary",
                                         [DWValueKind(list) hasPrefix:@"a"] ? @"n" : @"", DWValueKind(list)];
    return nil;
  }
  *state = DWFileRead;
  *reason = @"read";
  return list;
}

BOOL DWWriteDictionaryFile(NSDictionary *dictionary, NSString *localPath, NSString **error) {
  NSString *errorText = nil;
  NSData *data = [NSPropertyListSerialization dataFromPropertyList:dictionary
                                                            format:NSPropertyListBinaryFormat_v1_0
                                                  errorDescription:&errorText];
  if (data == nil) {
    *error = [NSString stringWithFormat:@"%@: cannot encode the settings (%@)", localPath, errorText];
    return NO;
  }
  NSString *directory = [localPath stringByDeletingLastPathComponent];
  NSString *pattern = [directory stringByAppendingPathComponent:
                                     [NSString stringWithFormat:@".%@.XXXXXX", [localPath lastPathComponent]]];
  char *temporary = strdup([pattern fileSystemRepresentation]);
  int fd = mkstemp(temporary);
  if (fd < 0) {
    *error = [NSString stringWithFormat:@"%@: cannot write in %@ (%s)", localPath, directory, strerror(errno)];
    free(temporary);
    return NO;
  }
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  const char *bytes = [data bytes];
  size_t left = [data length];
  BOOL ok = YES;
  while (left > 0) {
    ssize_t written = write(fd, bytes, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = NO;
      break;
    }
    bytes += written;
    left -= (size_t)written;
  }
  if (ok && fsync(fd) != 0) ok = NO;
  if (close(fd) != 0) ok = NO;
  if (ok && rename(temporary, [localPath fileSystemRepresentation]) != 0) ok = NO;
  if (!ok) {
    *error = [NSString stringWithFormat:@"%@: cannot write (%s)", localPath, strerror(errno)];
    unlink(temporary);
  }
  free(temporary);
  return ok;
}

static BOOL IsBooleanNumber(NSNumber *number) {
  const char *type = [number objCType];
  return strcmp(type, @encode(BOOL)) == 0 || strcmp(type, "B") == 0;
}

NSString *DWValueKind(id value) {
  if ([value isKindOfClass:[NSNumber class]]) return IsBooleanNumber(value) ? @"boolean" : @"number";
  if ([value isKindOfClass:[NSString class]]) return @"string";
  if ([value isKindOfClass:[NSArray class]]) return @"array";
  if ([value isKindOfClass:[NSDictionary class]]) return @"dictionary";
  if ([value isKindOfClass:[NSDate class]]) return @"date";
  if ([value isKindOfClass:[NSData class]]) return @"data";
  return @"value";
}

BOOL DWBooleanReading(id value, BOOL *on) {
  if ([value isKindOfClass:[NSNumber class]] || [value isKindOfClass:[NSString class]]) {
    *on = [value boolValue];
    return YES;
  }
  *on = NO;
  return NO;
}
