// doctor: reads the theme's files the way the library does and explains, in plain words, what each
// setting will do, which keys are ignored and why, and whether the text can be read on the background.
// What the library does with a key (its fallbacks, its palette order, what its background filter
// exchanges) is learnt from the library itself, run in the host (LibraryBehaviour.h).
#import "ColorFormat.h"
#import "Commands.h"
#import "LibraryBehaviour.h"
#import "ThemeFiles.h"

#import "host/StockColors.h"
#import "standin/colorpicker/ColorPicker.h"
#import "standin/foundation/StandInDevice.h"
#import "standin/uikit/UIKit.h"

#include <math.h>
#include <string.h>

static const double kMinimumContrast = 4.5;

// What doctor found, kept as a plain JSON-able tree plus the lines it prints.
@interface DWDoctorFindings : NSObject {
 @public
  NSMutableDictionary *document;
  NSMutableArray *lines;
  NSMutableArray *warnings;
}
@end

@implementation DWDoctorFindings
- (id)init {
  if ((self = [super init])) {
    document = [[NSMutableDictionary alloc] init];
    lines = [[NSMutableArray alloc] init];
    warnings = [[NSMutableArray alloc] init];
  }
  return self;
}
- (void)dealloc {
  [document release];
  [lines release];
  [warnings release];
  [super dealloc];
}
- (void)say:(NSString *)format, ... {
  va_list args;
  va_start(args, format);
  [lines addObject:[[[NSString alloc] initWithFormat:format arguments:args] autorelease]];
  va_end(args);
}
- (void)warn:(NSString *)format, ... {
  va_list args;
  va_start(args, format);
  [warnings addObject:[[[NSString alloc] initWithFormat:format arguments:args] autorelease]];
  va_end(args);
}
@end

static NSNumber *Bool(BOOL value) { return [NSNumber numberWithBool:value]; }
static id OrNull(id value) { return value != nil ? value : (id)[NSNull null]; }

// JSON with sorted keys, so the document is the same from run to run.
static NSString *JSON(id value) {
  if (value == nil || value == [NSNull null]) return @"null";
  if ([value isKindOfClass:[NSString class]]) return DWJSONString(value);
  if ([value isKindOfClass:[NSNumber class]]) {
    if ([DWValueKind(value) isEqualToString:@"boolean"]) return [value boolValue] ? @"true" : @"false";
    return [NSString stringWithFormat:@"%.10g", [value doubleValue]];
  }
  NSMutableArray *parts = [NSMutableArray array];
  if ([value isKindOfClass:[NSArray class]]) {
    for (id item in value) [parts addObject:JSON(item)];
    return [NSString stringWithFormat:@"[%@]", [parts componentsJoinedByString:@","]];
  }
  if ([value isKindOfClass:[NSDictionary class]]) {
    for (NSString *key in [[value allKeys] sortedArrayUsingSelector:@selector(compare:)]) {
      [parts addObject:[NSString stringWithFormat:@"%@:%@", DWJSONString(key), JSON([value objectForKey:key])]];
    }
    return [NSString stringWithFormat:@"{%@}", [parts componentsJoinedByString:@","]];
  }
  return DWJSONString([value description]);
}

static NSString *Describe(id value) {
  NSString *kind = DWValueKind(value);
  if ([kind isEqualToString:@"string"]) return [NSString stringWithFormat:@"the string \"%@\"", value];
  if ([kind isEqualToString:@"boolean"]) return [value boolValue] ? @"the boolean true" : @"the boolean false";
  if ([kind isEqualToString:@"number"]) return [NSString stringWithFormat:@"the number %@", value];
  return [NSString stringWithFormat:@"a%@ %@", [kind hasPrefix:@"a"] ? @"n" : @"", kind];
}

// Reads one file, records it and says why it is unusable; nil when there is no dictionary.
static NSDictionary *ReadFile(DWDoctorFindings *findings, NSString *role, NSString *devicePath,
                              NSMutableArray *fileRecords) {
  DWFileState state;
  NSString *reason = nil;
  NSString *localPath = DWDeviceLocalPath(devicePath);
  NSDictionary *dictionary = DWReadDictionaryFile(localPath, &state, &reason);
  [fileRecords addObject:[NSDictionary dictionaryWithObjectsAndKeys:role, @"role", devicePath, @"devicePath",
                                                                    localPath, @"localPath", DWFileStateNames[state],
                                                                    @"state", reason, @"reason", nil]];
  [findings say:@"  %-7@ %@: %@", role, localPath, state == DWFileRead ? @"read" : reason];
  BOOL isPalette = ![role isEqualToString:@"main"];
  if (state == DWFileMissing && !isPalette) {
    [findings warn:@"%@: %@, so the master switch reads off and the theme is off", localPath, reason];
  } else if (state != DWFileRead && state != DWFileMissing) {
    [findings warn:@"%@ cannot be used: %@; the library reads it as having no keys", localPath, reason];
  }
  return dictionary;
}

static BOOL ExplainSwitch(DWDoctorFindings *findings, NSDictionary *main, BOOL mainRead) {
  id value = [main objectForKey:DWSwitchKey];
  BOOL on = NO;
  NSString *why;
  if (!mainRead) {
    why = @"there is no readable main file";
  } else if (value == nil) {
    why = @"the main file has no key \"custom1\"";
    [findings warn:@"\"custom1\" is absent, so the theme is off"];
  } else if ([DWValueKind(value) isEqualToString:@"boolean"]) {
    on = [value boolValue];
    why = [NSString stringWithFormat:@"\"custom1\" is %@", Describe(value)];
  } else if (DWBooleanReading(value, &on)) {
    BOOL isNumber = [value isKindOfClass:[NSNumber class]];
    why = [NSString stringWithFormat:@"\"custom1\" is %@, not a boolean; it reads as %@ %@", Describe(value),
                                     on ? @"on" : @"off",
                                     isNumber ? (on ? @"because it is not zero" : @"because it is zero")
                                              : @"by the string's boolean reading"];
    [findings warn:@"\"custom1\" should be a boolean but is %@ (reads %@)", Describe(value), on ? @"on" : @"off"];
  } else {
    why = [NSString stringWithFormat:@"\"custom1\" is %@, which has no boolean reading and counts as off",
                                     Describe(value)];
    [findings warn:@"\"custom1\" is %@ and reads as off", Describe(value)];
  }
  [findings say:@"master switch \"custom1\": %@ (%@)", on ? @"on" : @"off", why];
  [findings->document setObject:[NSDictionary dictionaryWithObjectsAndKeys:Bool(on), @"on", why, @"explanation",
                                                                           OrNull(value ? DWValueKind(value) : nil),
                                                                           @"valueKind", nil]
                         forKey:@"switch"];
  return on;
}

// "a", "a and b", "a, b and c" (or "or" for `last`).
static NSString *Listing(NSArray *words, NSString *last) {
  if ([words count] < 2) return [words componentsJoinedByString:@""];
  NSArray *head = [words subarrayWithRange:NSMakeRange(0, [words count] - 1)];
  return [NSString stringWithFormat:@"%@ %@ %@", [head componentsJoinedByString:@", "], last, [words lastObject]];
}

// A hook that reads a colour key, as the doctor names it: the filter and the offline switch row by
// what they are to the user, any other by its class.
static NSString *CallerName(NSString *caller) {
  if ([caller hasSuffix:@" setBackgroundColor:"]) return @"the background filter";
  if ([caller isEqualToString:@"SPTTableViewOfflineSwitchCell layoutSubviews"]) return @"the offline switch row";
  return [[caller componentsSeparatedByString:@" "] objectAtIndex:0];
}

// The fallbacks after the first, each with the hooks that read the key with it: "#181818 for GLUEButton".
static NSString *OtherFallbacks(NSArray *fallbacks) {
  NSMutableArray *parts = [NSMutableArray array];
  for (NSUInteger i = 1; i < [fallbacks count]; ++i) {
    NSMutableArray *names = [NSMutableArray array];
    for (NSString *caller in [[fallbacks objectAtIndex:i] objectForKey:@"callers"]) {
      [names addObject:CallerName(caller)];
    }
    [parts addObject:[NSString stringWithFormat:@"%@ for %@", [[fallbacks objectAtIndex:i] objectForKey:@"fallback"],
                                                Listing(names, @"and")]];
  }
  return [parts count] > 0 ? [parts componentsJoinedByString:@"; "] : nil;
}

// The colour a key yields; records whether it is the file's or the fallback and why. The fallback is
// the one most of the library's reads of the key pass.
static UIColor *ExplainColor(DWDoctorFindings *findings, NSDictionary *main, NSString *key, NSArray *fallbacks,
                             NSMutableDictionary *out) {
  id value = [main objectForKey:key];
  UIColor *color = nil;
  NSString *why = nil;
  if (value == nil) {
    why = main == nil ? @"there is no readable main file" : @"the key is absent";
  } else if (![value isKindOfClass:[NSString class]]) {
    why = [NSString stringWithFormat:@"it holds %@, not a colour string", Describe(value)];
    [findings warn:@"\"%@\" holds %@, not a colour string; the fallback is used", key, Describe(value)];
  } else if ((color = DWColorFromPickerString(value)) == nil) {
    why = [NSString stringWithFormat:@"\"%@\" is not a colour string the colour picker reads", value];
    [findings warn:@"\"%@\" = \"%@\" is not a colour the colour picker reads; the fallback is used", key, value];
  }
  BOOL fromFile = color != nil;
  NSString *fallback = [[fallbacks objectAtIndex:0] objectForKey:@"fallback"];
  if (!fromFile) color = DWColorFromPickerString(fallback);
  NSString *other = OtherFallbacks(fallbacks);
  if (fromFile) {
    [findings say:@"  %-10@ %@ from the file", key, DWColorText(color)];
  } else {
    [findings say:@"  %-10@ %@, the fallback%@, because %@", key, DWColorText(color),
                  other ? [NSString stringWithFormat:@" (%@)", other] : @"", why];
  }
  [out setObject:[NSDictionary dictionaryWithObjectsAndKeys:DWColorText(color), @"color",
                                                            fromFile ? @"file" : @"fallback", @"source",
                                                            fallback, @"fallback", OrNull(other),
                                                            @"otherFallback", OrNull(why), @"reason",
                                                            OrNull(value ? DWValueKind(value) : nil), @"valueKind",
                                                            nil]
          forKey:key];
  return color;
}

// Why a key of a file has no effect, or nil when the library looks it up in that file.
static NSString *IgnoredReason(DWLibraryBehaviour *library, NSString *key, NSString *fileRole) {
  NSString *lower = [key lowercaseString];
  NSString *file = [fileRole isEqualToString:@"main"] ? DWMainPrefsDevicePath : DWPaletteDevicePath(fileRole);
  NSString *readFrom = [library fileReadingKey:lower];
  if ([readFrom isEqualToString:file]) {
    if ([key isEqualToString:lower]) return nil;
    return [NSString stringWithFormat:@"wrong case: the library looks up \"%@\"", lower];
  }
  for (NSString *role in DWPaletteRoles()) {
    if (![DWPaletteDevicePath(role) isEqualToString:readFrom]) continue;
    return [NSString stringWithFormat:@"the suffix \"%@\" belongs to the %@ palette file (%@)", DWPaletteSuffix(role),
                                      role, [readFrom lastPathComponent]];
  }
  return @"not a key the library reads";
}

static void CollectIgnored(DWDoctorFindings *findings, DWLibraryBehaviour *library, NSDictionary *dictionary,
                           NSString *role, NSString *file, NSMutableArray *ignored) {
  // Only string keys are sorted: compare: between a string and a number raises.
  NSMutableArray *keys = [NSMutableArray array];
  for (id key in [dictionary allKeys]) {
    if ([key isKindOfClass:[NSString class]]) [keys addObject:key];
  }
  for (NSString *key in [keys sortedArrayUsingSelector:@selector(compare:)]) {
    NSString *reason = IgnoredReason(library, key, role);
    BOOL on;
    if (reason == nil && ![role isEqualToString:@"main"] && !DWBooleanReading([dictionary objectForKey:key], &on)) {
      reason = [NSString stringWithFormat:@"its value is %@, which has no boolean reading",
                                          Describe([dictionary objectForKey:key])];
    }
    if (reason == nil) continue;
    [ignored addObject:[NSDictionary dictionaryWithObjectsAndKeys:file, @"file", key, @"key", reason, @"reason", nil]];
    [findings warn:@"%@: key \"%@\" has no effect: %@", [file lastPathComponent], key, reason];
  }
}

static NSString *NamedColorText(NSString *stem, UIColor *color) {
  return stem ? [NSString stringWithFormat:@"%@ (%@)", stem, DWColorText(color)] : @"none";
}

// "lightgray2" -> "lightgray": the colour a palette key is named after.
static NSString *StemOf(NSString *key, NSString *suffix) {
  return [key hasSuffix:suffix] ? [key substringToIndex:[key length] - [suffix length]] : key;
}

// The palette's set keys in the order the library tests them: the getters answer the first one's
// colour, the label setters end on the last one's. Returns the colour labels end on, or nil.
static UIColor *ExplainPalette(DWDoctorFindings *findings, DWLibraryBehaviour *library, NSString *role,
                               NSDictionary *dictionary, BOOL read, NSMutableDictionary *out) {
  NSString *suffix = DWPaletteSuffix(role), *file = DWPaletteDevicePath(role);
  NSMutableArray *setKeys = [NSMutableArray array];
  NSString *firstKey = nil, *lastKey = nil;
  for (NSString *key in [library paletteKeysOfFile:file]) {
    BOOL on = NO;
    if (DWBooleanReading([dictionary objectForKey:key], &on) && on) {
      [setKeys addObject:key];
      if (firstKey == nil) firstKey = key;
      lastKey = key;
    }
  }
  NSString *first = firstKey ? StemOf(firstKey, suffix) : nil, *last = lastKey ? StemOf(lastKey, suffix) : nil;
  UIColor *firstColor = firstKey ? [library colorOfPaletteKey:firstKey inFile:file] : nil;
  UIColor *lastColor = lastKey ? [library colorOfPaletteKey:lastKey inFile:file] : nil;
  NSString *getterColor = first ? DWColorText(firstColor) : nil;
  BOOL setterDiffers = [role isEqualToString:@"text"] && last != nil && ![last isEqualToString:first];
  NSString *label = [NSString stringWithFormat:@"  %@ (%@, suffix %@):", role, [file lastPathComponent], suffix];
  if (!read) {
    [findings say:@"%@ no palette; the host's own colours stay", label];
  } else if ([setKeys count] == 0) {
    [findings say:@"%@ no key set; the host's own colours stay", label];
  } else {
    NSMutableString *line = [NSMutableString stringWithFormat:@"%@ set %@; the getters report %@", label,
                                                              [setKeys componentsJoinedByString:@", "],
                                                              NamedColorText(first, firstColor)];
    if (setterDiffers) {
      [line appendFormat:@", but the label colour setters end on %@", NamedColorText(last, lastColor)];
    }
    [findings say:@"%@", line];
  }
  [out setObject:[NSDictionary dictionaryWithObjectsAndKeys:setKeys, @"setKeys", OrNull(first), @"getterColorName",
                                                            OrNull(getterColor), @"getterColor",
                                                            OrNull(setterDiffers ? last : first),
                                                            @"setterColorName",
                                                            OrNull(setterDiffers ? DWColorText(lastColor)
                                                                                 : getterColor),
                                                            @"setterColor", nil]
          forKey:role];
  return setterDiffers ? lastColor : firstColor;
}

static NSDictionary *StockColor(NSString *shortName, NSString *longName, UIColor *color) {
  return [NSDictionary dictionaryWithObjectsAndKeys:shortName, @"short", longName, @"long", color, @"color", nil];
}

// The host's own colours that the background filter exchanges for "background", each with the
// names the doctor gives it. The filter itself is asked about every colour the host paints with.
static NSArray *FilteredStockColors(DWLibraryBehaviour *library) {
  NSArray *stock = [NSArray
      arrayWithObjects:StockColor(@"white", @"white", [UIColor whiteColor]),
                       StockColor(@"#121212", @"the stock grey #121212", DWHostGrey121212()),
                       StockColor(@"#181818", @"the stock grey #181818", DWHostGrey181818()),
                       StockColor(@"#282828", @"the stock grey #282828", DWHostGrey282828()),
                       StockColor(@"#B3B3B3", @"the light grey #B3B3B3", DWHostLightGreyB3B3B3()),
                       StockColor(@"#1DB954", @"the brand green #1DB954", DWHostGreen()),
                       StockColor(@"black", @"black", [UIColor blackColor]), nil];
  NSMutableArray *filtered = [NSMutableArray array];
  for (NSDictionary *color in stock) {
    if ([library filterExchanges:[color objectForKey:@"color"]]) [filtered addObject:color];
  }
  return filtered;
}

// What the filter makes of `color`: nil when it shows as it is, else the name of the stock colour it
// is the same as in the library's comparison.
static NSString *FilteredStockColor(DWLibraryBehaviour *library, NSArray *filteredStock, UIColor *color) {
  if (![library filterExchanges:color]) return nil;
  for (NSDictionary *stock in filteredStock) {
    if ([library isColor:color sameAs:[stock objectForKey:@"color"]]) return [stock objectForKey:@"long"];
  }
  return @"a colour";
}

static NSString *FilterLine(NSArray *filteredStock) {
  if ([filteredStock count] == 0) return @"  the background filter exchanges none of the host's own colours";
  return [NSString stringWithFormat:@"  while the switch is on, views with a %@ background get the \"background\" "
                                    @"colour",
                                    Listing([filteredStock valueForKey:@"short"], @"or")];
}

static void NoteUnshown(DWDoctorFindings *findings, NSMutableArray *unshown, NSString *key, NSString *reason) {
  [unshown addObject:[NSDictionary dictionaryWithObjectsAndKeys:key, @"key", reason, @"reason", nil]];
  [findings warn:@"\"%@\" cannot show: %@", key, reason];
}

// Colours that are set but cannot show, each with the reason.
static void ExplainUnshownColors(DWDoctorFindings *findings, DWLibraryBehaviour *library, NSArray *filteredStock,
                                 NSDictionary *main, BOOL themeOn, UIColor *tabs, UIColor *background, UIColor *text,
                                 NSString *lastTextStem, UIColor *last) {
  NSMutableArray *unshown = [NSMutableArray array];
  for (NSString *key in DWMainColorKeys()) {
    if ([main objectForKey:key] != nil && !themeOn) {
      NoteUnshown(findings, unshown, key, @"the master switch \"custom1\" reads off, and only a theme that is on paints with it");
    }
  }
  BOOL tabsFromFile = [[main objectForKey:@"tabs"] isKindOfClass:[NSString class]];
  NSString *stock = themeOn && tabsFromFile ? FilteredStockColor(library, filteredStock, tabs) : nil;
  if (stock != nil) {
    NoteUnshown(findings, unshown, @"tabs", [NSString stringWithFormat:@"%@ is %@, which the background filter exchanges for \"background\" "
                                             @"(%@), so the views painted with \"tabs\" show \"background\"",
                                             DWColorText(tabs), stock, DWColorText(background)]);
  }
  if (themeOn && [[main objectForKey:@"text2"] isKindOfClass:[NSString class]] && last != nil &&
      ![library isColor:text sameAs:last]) {
    NoteUnshown(findings, unshown, @"text2", [NSString stringWithFormat:@"%@ reaches each label through setTextColor:, which hands it on to "
                                              @"_setTextColor:, where the text palette's set keys follow it; labels "
                                              @"end %@",
                                              DWColorText(text), NamedColorText(lastTextStem, last)]);
  }
  [findings->document setObject:unshown forKey:@"unshownColors"];
}

static double Linear(double channel) {
  return channel <= 0.04045 ? channel / 12.92 : pow((channel + 0.055) / 1.055, 2.4);
}

static double Luminance(double r, double g, double b) {
  return 0.2126 * Linear(r) + 0.7152 * Linear(g) + 0.0722 * Linear(b);
}

// The text colour as seen over the background, the background as seen over the app's black.
// Only a theme that is on paints "text2" over "background", so only then is low contrast a problem.
static void ExplainContrast(DWDoctorFindings *findings, UIColor *text, UIColor *background, BOOL themeOn) {
  DWCGFloat tr, tg, tb, ta, br, bg, bb, ba;
  if (![text getRed:&tr green:&tg blue:&tb alpha:&ta] || ![background getRed:&br green:&bg blue:&bb alpha:&ba]) return;
  double r = br * ba, g = bg * ba, b = bb * ba;
  double lb = Luminance(r, g, b);
  double lt = Luminance(tr * ta + r * (1 - ta), tg * ta + g * (1 - ta), tb * ta + b * (1 - ta));
  double ratio = (fmax(lt, lb) + 0.05) / (fmin(lt, lb) + 0.05);
  BOOL enough = ratio >= kMinimumContrast;
  [findings say:@"contrast of \"text2\" %@ on \"background\" %@: %.2f:1%@", DWColorText(text),
                DWColorText(background), ratio, enough ? @"" : @" (too low)"];
  if (!enough && themeOn) {
    [findings warn:@"\"text2\" on \"background\" has a contrast of %.2f:1, under %.1f:1; text will be hard to read",
                   ratio, kMinimumContrast];
  }
  [findings->document setObject:[NSDictionary dictionaryWithObjectsAndKeys:DWColorText(text), @"text",
                                                                           DWColorText(background), @"background",
                                                                           [NSNumber numberWithDouble:round(ratio * 100) / 100],
                                                                           @"ratio", Bool(enough), @"sufficient",
                                                                           nil]
                         forKey:@"contrast"];
}

// NO, saying what is missing, when the library does not answer what the doctor asks of it.
static BOOL LibraryAnswersTheDoctor(DWLibraryBehaviour *library, NSString **error) {
  for (NSString *key in DWMainColorKeys()) {
    if ([[library fallbacksOfColorKey:key] count] == 0) {
      *error = [NSString stringWithFormat:@"the library, run in the host, reads no colour \"%@\" from %@", key,
                                          DWMainPrefsDevicePath];
      return NO;
    }
  }
  for (NSString *role in DWPaletteRoles()) {
    if ([[library paletteKeysOfFile:DWPaletteDevicePath(role)] count] == 0) {
      *error = [NSString stringWithFormat:@"the library, run in the host, tests no key of %@ in its colour getters",
                                          DWPaletteDevicePath(role)];
      return NO;
    }
  }
  UIColor *white = [UIColor whiteColor];
  if (![library isColor:white sameAs:white]) {
    *error = @"the library, run in the host, has no colour comparison (isSameColor:)";
    return NO;
  }
  return YES;
}

int DWRunDoctor(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"doctor"
                                  flags:[NSArray arrayWithObject:@"--json"]
                                 values:nil];
  if (options == nil) return 2;
  NSString *root = DWDeviceRootOf(options);
  if (!DWCheckDeviceRoot(@"doctor", root)) return 2;
  NSString *error = nil;
  DWLibraryBehaviour *library = [DWLibraryBehaviour launch:&error];
  if (library == nil || !LibraryAnswersTheDoctor(library, &error)) {
    DWPrintError(@"doctor: %@", error);
    [library finish];
    return 2;
  }
  DWDeviceSetRoot(root);
  DWDoctorFindings *findings = [[[DWDoctorFindings alloc] init] autorelease];
  NSMutableDictionary *document = findings->document;
  NSMutableArray *fileRecords = [NSMutableArray array], *ignored = [NSMutableArray array];
  [document setObject:root forKey:@"deviceRoot"];

  [findings say:@"device root %@", root];
  [findings say:@"files:"];
  NSDictionary *main = ReadFile(findings, @"main", DWMainPrefsDevicePath, fileRecords);
  NSMutableDictionary *palettes = [NSMutableDictionary dictionary];
  for (NSString *role in DWPaletteRoles()) {
    NSDictionary *palette = ReadFile(findings, role, DWPaletteDevicePath(role), fileRecords);
    if (palette != nil) [palettes setObject:palette forKey:role];
  }

  BOOL themeOn = ExplainSwitch(findings, main, main != nil);
  [findings say:@"colours:"];
  NSMutableDictionary *colors = [NSMutableDictionary dictionary];
  UIColor *tabs = ExplainColor(findings, main, @"tabs", [library fallbacksOfColorKey:@"tabs"], colors);
  UIColor *background =
      ExplainColor(findings, main, @"background", [library fallbacksOfColorKey:@"background"], colors);
  UIColor *text = ExplainColor(findings, main, @"text2", [library fallbacksOfColorKey:@"text2"], colors);
  NSArray *filteredStock = FilteredStockColors(library);
  [findings say:@"%@", FilterLine(filteredStock)];
  if (main != nil) CollectIgnored(findings, library, main, @"main", DWDeviceLocalPath(DWMainPrefsDevicePath), ignored);

  [findings say:@"palettes (they apply whether the switch is on or off):"];
  NSMutableDictionary *paletteRecords = [NSMutableDictionary dictionary];
  UIColor *labelsEndOn = nil;
  for (NSString *role in DWPaletteRoles()) {
    NSDictionary *palette = [palettes objectForKey:role];
    UIColor *setterColor = ExplainPalette(findings, library, role, palette, palette != nil, paletteRecords);
    if ([role isEqualToString:@"text"]) labelsEndOn = setterColor;
    if (palette != nil) {
      CollectIgnored(findings, library, palette, role, DWDeviceLocalPath(DWPaletteDevicePath(role)), ignored);
    }
  }
  ExplainContrast(findings, text, background, themeOn);
  id lastTextStem = [[paletteRecords objectForKey:@"text"] objectForKey:@"setterColorName"];
  ExplainUnshownColors(findings, library, filteredStock, main, themeOn, tabs, background, text,
                       [lastTextStem isKindOfClass:[NSString class]] ? lastTextStem : nil, labelsEndOn);
  [library finish];

  int status = [findings->warnings count] == 0 ? 0 : 1;
  [document setObject:fileRecords forKey:@"files"];
  [document setObject:colors forKey:@"colors"];
  [document setObject:paletteRecords forKey:@"palettes"];
  [document setObject:ignored forKey:@"ignoredKeys"];
  [document setObject:findings->warnings forKey:@"warnings"];
  [document setObject:[NSNumber numberWithInt:status] forKey:@"exitStatus"];
  if ([options has:@"--json"]) {
    DWPrint(@"%@\n", JSON(document));
  } else {
    for (NSString *line in findings->lines) DWPrint(@"%@\n", line);
    if ([ignored count] > 0) {
      DWPrint(@"ignored keys:\n");
      for (NSDictionary *key in ignored) {
        DWPrint(@"  %@: \"%@\": %@\n", [[key objectForKey:@"file"] lastPathComponent], [key objectForKey:@"key"],
                [key objectForKey:@"reason"]);
      }
    }
    if (status == 0) {
      DWPrint(@"no problems found\n");
    } else {
      DWPrint(@"%lu warning%@:\n", (unsigned long)[findings->warnings count],
              [findings->warnings count] == 1 ? @"" : @"s");
      for (NSString *warning in findings->warnings) DWPrint(@"  - %@\n", warning);
    }
  }
  return status;
}
