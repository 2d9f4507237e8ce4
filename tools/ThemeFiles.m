#import "ThemeFiles.h"
#import "FileWriting.h"

#import "standin/foundation/PropertyListFile.h"

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

static NSDictionary *ReadDictionaryFile(NSString *localPath, DWFileState *state, NSString **reason,
                                        DWPropertyListReadResult *resultOut);

NSDictionary *DWReadDictionaryFile(NSString *localPath, DWFileState *state, NSString **reason) {
  DWPropertyListReadResult result;
  return ReadDictionaryFile(localPath, state, reason, &result);
}

NSDictionary *DWReadDictionaryFileToRewrite(NSString *localPath, DWFileState *state, NSString **reason) {
  DWPropertyListReadResult result;
  NSDictionary *dictionary = ReadDictionaryFile(localPath, state, reason, &result);
  if (dictionary != nil && result.wideUnsigned) {
    *state = DWFileUnreadable;
    *reason = @"it holds an integer above 9223372036854775807, which cannot be written back exactly";
    return nil;
  }
  return dictionary;
}

static NSDictionary *ReadDictionaryFile(NSString *localPath, DWFileState *state, NSString **reason,
                                        DWPropertyListReadResult *resultOut) {
  DWPropertyListReadResult result;
  id list = [DWReadPropertyListFile([localPath fileSystemRepresentation], &result) autorelease];
  *resultOut = result;
  switch (result.outcome) {
    case DWPropertyListRead: break;
    case DWPropertyListCannotOpen:
      if (result.error == ENOENT) {
        NSString *target = DWSymbolicLinkTarget(localPath);
        *state = DWFileMissing;
        *reason = target != nil ? [NSString stringWithFormat:@"it is a symbolic link to %@, which does not exist", target]
                                : @"the file does not exist";
        return nil;
      }
      __attribute__((fallthrough));  // the file is there but cannot be opened
    case DWPropertyListNotRegular:
    case DWPropertyListCannotRead:
    case DWPropertyListTooLarge:
      *state = DWFileUnreadable;
      *reason = DWPropertyListOutcomeText(&result);
      return nil;
    default:
      *state = DWFileNotPropertyList;
      *reason = [NSString stringWithFormat:@"%@, so the device reads no dictionary from it",
                                           DWPropertyListOutcomeText(&result)];
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
  NSString *target = DWWriteTarget(localPath, error);
  if (target == nil) return NO;
  NSString *directory = [target stringByDeletingLastPathComponent];
  // A new file gets the usual mode; a replaced one keeps its own, and its owner where that is allowed.
  struct stat status;
  mode_t mask = umask(0);
  umask(mask);
  mode_t mode = 0666 & ~mask;
  uid_t owner = (uid_t)-1;
  gid_t group = (gid_t)-1;
  if (stat([target fileSystemRepresentation], &status) == 0) {
    mode = status.st_mode & 07777;
    owner = status.st_uid;
    group = status.st_gid;
  }
  NSString *temporary = DWWriteTemporary(dictionary, directory, [target lastPathComponent], mode, owner, group, error);
  if (temporary == nil) return NO;
  if (rename([temporary fileSystemRepresentation], [target fileSystemRepresentation]) != 0) {
    *error = [NSString stringWithFormat:@"%@: cannot replace the file (%s)", target, strerror(errno)];
    unlink([temporary fileSystemRepresentation]);
    return NO;
  }
  DWSyncDirectory(directory);
  return YES;
}

// `replacement`, or the file's dictionary with `key` set to `value`.
static BOOL UpdateThemeFile(NSString *root, NSString *devicePath, NSDictionary *replacement, NSString *key, id value,
                            NSString **error) {
  NSString *local = [root stringByAppendingPathComponent:devicePath];
  NSString *target = DWWriteTarget(local, error);
  if (target == nil) {
    *error = [NSString stringWithFormat:@"%@; not changing it", *error];
    return NO;
  }
  NSString *directory = [target stringByDeletingLastPathComponent];
  NSMutableArray *made = [NSMutableArray array];
  if (!DWMakeDirectories(directory, made, error)) return NO;
  // Read, change and write under the lock: a second writer waits and then sees this change.
  int lock = DWLockDirectory(directory, error);
  if (lock < 0) {
    DWRemoveDirectories(made);
    return NO;
  }
  DWFileState state;
  NSString *reason = nil;
  NSDictionary *existing = DWReadDictionaryFileToRewrite(target, &state, &reason);
  BOOL ok = NO;
  if (existing == nil && state != DWFileMissing) {
    *error = [NSString stringWithFormat:@"%@: %@; not changing it", local, reason];
  } else {
    NSMutableDictionary *updated = [NSMutableDictionary dictionaryWithDictionary:existing ? existing : [NSDictionary dictionary]];
    if (replacement != nil) {
      [updated setDictionary:replacement];
    } else {
      [updated setObject:value forKey:key];
    }
    ok = DWWriteDictionaryFile(updated, target, error);
  }
  DWUnlock(lock);
  if (!ok) DWRemoveDirectories(made);
  return ok;
}

BOOL DWSetThemeValue(NSString *root, NSString *devicePath, NSString *key, id value, NSString **error) {
  return UpdateThemeFile(root, devicePath, nil, key, value, error);
}

BOOL DWReplaceThemeFile(NSString *root, NSString *devicePath, NSDictionary *dictionary, NSString **error) {
  return UpdateThemeFile(root, devicePath, dictionary, nil, nil, error);
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
