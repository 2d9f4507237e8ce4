// theme init / theme set: write a device root's theme files, checking every value the way the library
// will read it, never overwriting a file it cannot read and never leaving a half-written file.
#import "Commands.h"
#import "Suggest.h"
#import "ThemeFiles.h"

#import "sim/colorpicker/ColorPicker.h"
#import "sim/device/Device.h"

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

static BOOL EnsureDirectory(NSString *directory) {
  NSFileManager *files = [NSFileManager defaultManager];
  BOOL isDirectory = NO;
  if ([files fileExistsAtPath:directory isDirectory:&isDirectory]) {
    if (isDirectory) return YES;
    DWPrintError(@"theme: %@ exists and is not a directory", directory);
    return NO;
  }
  if (![files createDirectoryAtPath:directory withIntermediateDirectories:YES attributes:nil error:NULL]) {
    DWPrintError(@"theme: cannot create the directory %@", directory);
    return NO;
  }
  return YES;
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
  // Every file is checked before any is written, so a refusal leaves nothing behind.
  for (NSString *devicePath in devicePaths) {
    NSString *local = LocalPath(root, devicePath);
    if ([[NSFileManager defaultManager] fileExistsAtPath:local]) {
      DWPrintError(@"theme init: %@ already exists; not overwriting it", local);
      return 1;
    }
  }
  if (!EnsureDirectory([LocalPath(root, DWMainPrefsDevicePath) stringByDeletingLastPathComponent])) return 1;
  for (NSString *devicePath in devicePaths) {
    NSString *error = nil;
    if (!DWWriteDictionaryFile([theme objectForKey:devicePath], LocalPath(root, devicePath), &error)) {
      DWPrintError(@"theme init: %@", error);
      return 1;
    }
  }
  DWPrint(@"example theme written to %@\n", [LocalPath(root, DWMainPrefsDevicePath) stringByDeletingLastPathComponent]);
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
  NSString *local = LocalPath(root, devicePath);
  DWFileState state;
  NSString *reason = nil;
  NSDictionary *existing = DWReadDictionaryFile(local, &state, &reason);
  if (existing == nil && state != DWFileMissing) {
    DWPrintError(@"theme set: %@: %@; not changing it", local, reason);
    return 1;
  }
  if (existing == nil && !EnsureDirectory([local stringByDeletingLastPathComponent])) return 1;
  NSMutableDictionary *updated = [NSMutableDictionary dictionaryWithDictionary:existing ? existing : [NSDictionary dictionary]];
  [updated setObject:value forKey:key];
  NSString *error = nil;
  if (!DWWriteDictionaryFile(updated, local, &error)) {
    DWPrintError(@"theme set: %@", error);
    return 1;
  }
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
