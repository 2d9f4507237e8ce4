// theme init / theme set: write a device root's theme files, checking every value the way the library
// will read it, never overwriting a file it cannot read and never leaving a half-written file.
#import "Commands.h"
#import "Suggest.h"
#import "ThemeFiles.h"

#import "standin/colorpicker/ColorPicker.h"
#import "standin/foundation/StandInDevice.h"
#import "FileWriting.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static NSString *LocalPath(NSString *root, NSString *devicePath) {
  return [root stringByAppendingPathComponent:devicePath];
}

// A palette with every key present and only `chosen` set (none for nil), as the user's settings write it.
static NSDictionary *ExamplePalette(NSString *role, NSString *chosen) {
  NSMutableDictionary *palette = [NSMutableDictionary dictionary];
  for (NSString *stem in DWPaletteStems()) {
    [palette setObject:[NSNumber numberWithBool:[stem isEqualToString:chosen]]
                forKey:[stem stringByAppendingString:DWPaletteSuffix(role)]];
  }
  return palette;
}

// The example theme: dark greys, light grey icons, a white status bar; labels take "text2", which a set
// text palette key would override.
static NSDictionary *ExampleTheme(void) {
  NSDictionary *main = [NSDictionary dictionaryWithObjectsAndKeys:[NSNumber numberWithBool:YES], DWSwitchKey,
                                                                  @"#0A0A0A", @"tabs", @"#121212", @"background",
                                                                  @"#E8E8E8", @"text2", nil];
  return [NSDictionary dictionaryWithObjectsAndKeys:main, DWMainPrefsDevicePath,
                                                    ExamplePalette(@"icon", @"lightgray"),
                                                    DWPaletteDevicePath(@"icon"), ExamplePalette(@"text", nil),
                                                    DWPaletteDevicePath(@"text"), ExamplePalette(@"status", @"white"),
                                                    DWPaletteDevicePath(@"status"), nil];
}

static BOOL Exists(NSString *path) {
  struct stat status;
  return lstat([path fileSystemRepresentation], &status) == 0 || errno != ENOENT;
}

// Under the directory's lock: all four files as temporaries, each read back, then linked into place.
// A link never replaces a file; on any failure the links made so far and every temporary go.
static int InitLocked(NSString *root, NSDictionary *theme, NSArray *devicePaths, NSString *directory) {
  for (NSString *devicePath in devicePaths) {
    if (Exists(LocalPath(root, devicePath))) {
      DWPrintError(@"theme init: %@ already exists; not overwriting it", LocalPath(root, devicePath));
      return 1;
    }
  }
  mode_t mask = umask(0);
  umask(mask);
  NSMutableArray *temporaries = [NSMutableArray array], *linked = [NSMutableArray array];
  NSString *error = nil;
  BOOL ok = YES;
  for (NSString *devicePath in devicePaths) {
    NSString *temporary = DWWriteTemporary([theme objectForKey:devicePath], directory, [devicePath lastPathComponent],
                                           0666 & ~mask, (uid_t)-1, (gid_t)-1, &error);
    if (temporary == nil) {
      ok = NO;
      break;
    }
    [temporaries addObject:temporary];
  }
  for (NSUInteger i = 0; ok && i < [temporaries count]; ++i) {
    NSString *local = LocalPath(root, [devicePaths objectAtIndex:i]);
    if (link([[temporaries objectAtIndex:i] fileSystemRepresentation], [local fileSystemRepresentation]) != 0) {
      error = [NSString stringWithFormat:@"%@: cannot create the file (%s)", local, strerror(errno)];
      ok = NO;
      break;
    }
    [linked addObject:local];
  }
  if (!ok) {
    for (NSString *local in linked) unlink([local fileSystemRepresentation]);
  }
  for (NSString *temporary in temporaries) unlink([temporary fileSystemRepresentation]);
  if (!ok) {
    DWPrintError(@"theme init: %@; no theme file was written", error);
    return 1;
  }
  DWSyncDirectory(directory);
  return 0;
}

static int RunInit(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"theme init" flags:nil values:nil
                               operands:[NSArray arrayWithObject:@"DIR"]];
  if (options == nil) return 2;
  NSString *root = [options operand:0];
  BOOL isDirectory = YES;
  if ([[NSFileManager defaultManager] fileExistsAtPath:root isDirectory:&isDirectory] && !isDirectory) {
    DWPrintError(@"theme init: %@ exists and is not a directory", root);
    return 2;
  }
  NSDictionary *theme = ExampleTheme();
  NSArray *devicePaths = [[theme allKeys] sortedArrayUsingSelector:@selector(compare:)];
  // Every file is checked before anything is made, so a refusal leaves nothing behind.
  for (NSString *devicePath in devicePaths) {
    if (Exists(LocalPath(root, devicePath))) {
      DWPrintError(@"theme init: %@ already exists; not overwriting it", LocalPath(root, devicePath));
      return 1;
    }
  }
  NSString *directory = [LocalPath(root, DWMainPrefsDevicePath) stringByDeletingLastPathComponent];
  NSMutableArray *made = [NSMutableArray array];
  NSString *error = nil;
  if (!DWMakeDirectories(directory, made, &error)) {
    DWPrintError(@"theme init: %@", error);
    DWRemoveDirectories(made);
    return 1;
  }
  int lock = DWLockDirectory(directory, &error);
  int status = 1;
  if (lock < 0) {
    DWPrintError(@"theme init: %@", error);
  } else {
    status = InitLocked(root, theme, devicePaths, directory);
    DWUnlock(lock);
  }
  if (status != 0) {
    DWRemoveDirectories(made);
    return status;
  }
  DWPrint(@"example theme written to %@\n", directory);
  return 0;
}

static BOOL ParseBoolean(NSString *text, BOOL *value) {
  NSString *lower = [text lowercaseString];
  if ([lower isEqualToString:@"true"] || [lower isEqualToString:@"yes"] || [lower isEqualToString:@"1"]) {
    *value = YES;
    return YES;
  }
  if ([lower isEqualToString:@"false"] || [lower isEqualToString:@"no"] || [lower isEqualToString:@"0"]) {
    *value = NO;
    return YES;
  }
  return NO;
}

// The palette role of a key like "red2", or nil when the key is not one the library reads.
static NSString *PaletteRoleOfKey(NSString *key) {
  for (NSString *stem in DWPaletteStems()) {
    if ([key hasPrefix:stem] && [key length] == [stem length] + 1) {
      NSString *role = DWPaletteRoleForSuffix([key substringFromIndex:[stem length]]);
      if (role != nil) return role;
    }
  }
  return nil;
}

// Every key theme set accepts, for suggestions.
static NSArray *SettableKeys(void) {
  NSMutableArray *keys = [NSMutableArray arrayWithObject:DWSwitchKey];
  [keys addObjectsFromArray:DWMainColorKeys()];
  for (NSString *role in DWPaletteRoles()) {
    for (NSString *stem in DWPaletteStems()) [keys addObject:[stem stringByAppendingString:DWPaletteSuffix(role)]];
  }
  return keys;
}

static int RunSet(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"theme set" flags:nil values:nil
                               operands:[NSArray arrayWithObjects:@"DIR", @"KEY", @"VALUE", nil]];
  if (options == nil) return 2;
  NSString *root = [options operand:0], *key = [options operand:1];
  NSString *text = [options operand:2];
  NSString *devicePath = nil;
  id value = nil;
  BOOL flag = NO;
  if ([DWMainColorKeys() containsObject:key]) {
    if (DWColorFromPickerString(text) == nil) {
      DWPrintError(@"theme set: '%@' for %@ is not a colour string the colour picker reads (use #RRGGBB, #RGB, "
                   @"optionally followed by :alpha)",
                   text, key);
      return 2;
    }
    devicePath = DWMainPrefsDevicePath;
    value = text;
  } else {
    NSString *role = PaletteRoleOfKey(key);
    if (role == nil && ![key isEqualToString:DWSwitchKey]) {
      DWPrintError(@"theme set: unknown key '%@'%@ (custom1, tabs, background, text2, or a colour stem with suffix 1 "
                   @"icon, 2 text, 3 status, e.g. red2)",
                   key, DWDidYouMean(key, SettableKeys()));
      return 2;
    }
    if (!ParseBoolean(text, &flag)) {
      DWPrintError(@"theme set: '%@' for %@ is not a boolean (true/false, yes/no, 1/0)", text, key);
      return 2;
    }
    devicePath = role != nil ? DWPaletteDevicePath(role) : DWMainPrefsDevicePath;
    value = [NSNumber numberWithBool:flag];
  }
  if (!DWCheckDeviceRoot(@"theme set", root)) return 2;
  NSString *error = nil;
  if (!DWSetThemeValue(root, devicePath, key, value, &error)) {
    DWPrintError(@"theme set: %@", error);
    return 1;
  }
  NSString *local = LocalPath(root, devicePath);
  DWPrint(@"%@ = %@ in %@\n", key, [value isKindOfClass:[NSString class]] ? value : (flag ? @"true" : @"false"),
          local);
  return 0;
}

int DWRunTheme(NSArray *arguments) {
  NSString *action = [arguments count] > 0 ? [arguments objectAtIndex:0] : nil;
  NSArray *rest = [arguments count] > 0 ? [arguments subarrayWithRange:NSMakeRange(1, [arguments count] - 1)] : nil;
  if ([action isEqualToString:@"init"]) return RunInit(rest);
  if ([action isEqualToString:@"set"]) return RunSet(rest);
  if ([action isEqualToString:@"-h"] || [action isEqualToString:@"--help"]) {
    DWPrintCommandHelp(@"theme", stdout);
    return 0;
  }
  if (action == nil) {
    DWPrintError(@"theme: missing action (init or set)");
  } else {
    DWPrintError(@"theme: unknown action '%@'%@ (init or set)", action,
                 DWDidYouMean(action, [NSArray arrayWithObjects:@"init", @"set", nil]));
  }
  return 2;
}
