// pane: the Settings pane the package installs, cell by cell (what it shows, which key of which
// defaults domain it writes, its default), checked against what the library itself reads: every key
// the library reads has exactly one cell of its type with a default the library agrees with, and no
// cell writes a key the library does not read, or writes it to another file.
#import "Commands.h"
#import "LibraryReads.h"
#import "ThemeFiles.h"

#import "sim/colorpicker/ColorPicker.h"

static NSString *const kPreferencesFolder = @"Library/PreferenceLoader/Preferences";

#ifdef DUSKWELL_PANE_LAYOUT
static NSString *const kDefaultLayout = @DUSKWELL_PANE_LAYOUT;
#else
static NSString *const kDefaultLayout = @"ios/layout";
#endif

// One cell: "kind" ("group", "switch", "color", "link" or the cell's own class name), "where" (file and
// item, for messages), "label", and for cells that write a key "domain", "key" and "default"; "footer"
// for groups, "alpha" for colours, "target" (a pane file) for links.
typedef NSMutableDictionary DWPaneCell;

@interface DWPaneReader : NSObject {
 @public
  NSString *folder;           // the layout's PreferenceLoader/Preferences folder
  NSMutableArray *panes;      // {"file", "title", "entry" (entry label or absent), "cells"}
  NSMutableArray *problems;   // faults against the library's reads
  NSString *inputError;       // set when the layout cannot be read at all
}
@end

static NSString *Where(NSString *file, NSUInteger item, NSString *label) {
  return label ? [NSString stringWithFormat:@"%@ item %lu (\"%@\")", file, (unsigned long)item + 1, label]
               : [NSString stringWithFormat:@"%@ item %lu", file, (unsigned long)item + 1];
}

static BOOL IsString(id value) { return [value isKindOfClass:[NSString class]] && [value length] > 0; }

static BOOL IsBoolean(id value) { return [DWValueKind(value) isEqualToString:@"boolean"]; }

@implementation DWPaneReader

- (id)initWithLayout:(NSString *)layout {
  if ((self = [super init])) {
    folder = [[layout stringByAppendingPathComponent:kPreferencesFolder] copy];
    panes = [[NSMutableArray alloc] init];
    problems = [[NSMutableArray alloc] init];
  }
  return self;
}

- (void)dealloc {
  [folder release];
  [panes release];
  [problems release];
  [inputError release];
  [super dealloc];
}

- (BOOL)fail:(NSString *)format, ... {
  va_list args;
  va_start(args, format);
  if (inputError == nil) inputError = [[NSString alloc] initWithFormat:format arguments:args];
  va_end(args);
  return NO;
}

- (NSDictionary *)readPlist:(NSString *)file {
  NSString *path = [folder stringByAppendingPathComponent:file];
  NSData *data = [NSData dataWithContentsOfFile:path];
  if (data == nil) {
    [self fail:@"%@: cannot be read", path];
    return nil;
  }
  id list = nil;
  @try {
    list = [NSPropertyListSerialization propertyListWithData:data options:NSPropertyListImmutable format:NULL
                                                       error:NULL];
  } @catch (NSException *exception) {
    list = nil;
  }
  if (![list isKindOfClass:[NSDictionary class]]) {
    [self fail:@"%@: %@", path, list == nil ? @"not a property list" : @"its top level is not a dictionary"];
    return nil;
  }
  return list;
}

// The cell of one item, or nil (with the input error set) when the item cannot be a cell.
- (DWPaneCell *)cellOf:(id)item file:(NSString *)file index:(NSUInteger)index {
  if (![item isKindOfClass:[NSDictionary class]]) {
    [self fail:@"%@: not a dictionary", Where(file, index, nil)];
    return nil;
  }
  NSString *cellClass = [item objectForKey:@"cell"];
  id label = [item objectForKey:@"label"];
  NSString *where = Where(file, index, IsString(label) ? label : nil);
  if (!IsString(cellClass)) {
    [self fail:@"%@: no \"cell\" naming its kind", where];
    return nil;
  }
  DWPaneCell *cell = [NSMutableDictionary dictionaryWithObjectsAndKeys:where, @"where", nil];
  if (IsString(label)) [cell setObject:label forKey:@"label"];
  NSDictionary *picker = [item objectForKey:@"libcolorpicker"];
  if ([cellClass isEqualToString:@"PSGroupCell"]) {
    [cell setObject:@"group" forKey:@"kind"];
    if (IsString([item objectForKey:@"footerText"])) [cell setObject:[item objectForKey:@"footerText"] forKey:@"footer"];
    return cell;
  }
  if (!IsString(label)) {
    [self fail:@"%@: a %@ without a \"label\"", where, cellClass];
    return nil;
  }
  if ([cellClass isEqualToString:@"PSLinkCell"] && [[item objectForKey:@"cellClass"] isEqual:@"PFSimpleLiteColorCell"]) {
    if (![picker isKindOfClass:[NSDictionary class]] || !IsString([picker objectForKey:@"defaults"]) ||
        !IsString([picker objectForKey:@"key"])) {
      [self fail:@"%@: a colour cell needs a \"libcolorpicker\" dictionary with \"defaults\" and \"key\"", where];
      return nil;
    }
    [cell setObject:@"color" forKey:@"kind"];
    [cell setObject:[picker objectForKey:@"defaults"] forKey:@"domain"];
    [cell setObject:[picker objectForKey:@"key"] forKey:@"key"];
    if ([picker objectForKey:@"fallback"] != nil) [cell setObject:[picker objectForKey:@"fallback"] forKey:@"default"];
    if ([picker objectForKey:@"alpha"] != nil) [cell setObject:[picker objectForKey:@"alpha"] forKey:@"alpha"];
    return cell;
  }
  if ([cellClass isEqualToString:@"PSLinkCell"] && [item objectForKey:@"key"] == nil) {
    NSString *target = [item objectForKey:@"pl_alt_plist_name"];
    if (!IsString(target)) {
      [self fail:@"%@: a link that names no sub-pane (\"pl_alt_plist_name\")", where];
      return nil;
    }
    [cell setObject:@"link" forKey:@"kind"];
    [cell setObject:[target stringByAppendingPathExtension:@"plist"] forKey:@"target"];
    return cell;
  }
  [cell setObject:[cellClass isEqualToString:@"PSSwitchCell"] ? @"switch" : cellClass forKey:@"kind"];
  if ([item objectForKey:@"key"] != nil || [item objectForKey:@"defaults"] != nil) {
    if (!IsString([item objectForKey:@"defaults"]) || !IsString([item objectForKey:@"key"])) {
      [self fail:@"%@: a cell that writes a setting needs both \"defaults\" and \"key\"", where];
      return nil;
    }
    [cell setObject:[item objectForKey:@"defaults"] forKey:@"domain"];
    [cell setObject:[item objectForKey:@"key"] forKey:@"key"];
    if ([item objectForKey:@"default"] != nil) [cell setObject:[item objectForKey:@"default"] forKey:@"default"];
  } else if ([cellClass isEqualToString:@"PSSwitchCell"]) {
    [self fail:@"%@: a switch needs \"defaults\" and \"key\"", where];
    return nil;
  }
  return cell;
}

- (BOOL)readPane:(NSString *)file entry:(BOOL)isEntry visited:(NSMutableSet *)visited {
  if ([visited containsObject:file]) return [self fail:@"%@: the pane links back to itself", file];
  [visited addObject:file];
  NSDictionary *plist = [self readPlist:file];
  if (plist == nil) return NO;
  NSDictionary *entry = [plist objectForKey:@"entry"];
  if (isEntry && (![entry isKindOfClass:[NSDictionary class]] || !IsString([entry objectForKey:@"label"]))) {
    return [self fail:@"%@: no \"entry\" dictionary with a \"label\" for the Settings list", file];
  }
  NSArray *items = [plist objectForKey:@"items"];
  if (!IsString([plist objectForKey:@"title"]) || ![items isKindOfClass:[NSArray class]]) {
    return [self fail:@"%@: a pane needs a \"title\" and an \"items\" list", file];
  }
  NSMutableArray *cells = [NSMutableArray array];
  NSMutableDictionary *pane = [NSMutableDictionary dictionaryWithObjectsAndKeys:file, @"file",
                                                                               [plist objectForKey:@"title"],
                                                                               @"title", cells, @"cells", nil];
  if (isEntry) [pane setObject:[entry objectForKey:@"label"] forKey:@"entry"];
  [panes addObject:pane];
  for (NSUInteger i = 0; i < [items count]; ++i) {
    DWPaneCell *cell = [self cellOf:[items objectAtIndex:i] file:file index:i];
    if (cell == nil) return NO;
    [cells addObject:cell];
  }
  for (DWPaneCell *cell in cells) {
    NSString *target = [cell objectForKey:@"target"];
    if (target == nil) continue;
    if (![[NSFileManager defaultManager] fileExistsAtPath:[folder stringByAppendingPathComponent:target]]) {
      return [self fail:@"%@: links to %@, which the layout does not have", [cell objectForKey:@"where"], target];
    }
    if (![self readPane:target entry:NO visited:visited]) return NO;
  }
  return YES;
}

// Every property list directly in the folder is an entry in the Settings list; sub-panes live below.
- (BOOL)read {
  BOOL isDirectory = NO;
  if (![[NSFileManager defaultManager] fileExistsAtPath:folder isDirectory:&isDirectory] || !isDirectory) {
    return [self fail:@"%@: no such directory (the layout must hold %@)", folder, kPreferencesFolder];
  }
  NSArray *names = [[[NSFileManager defaultManager] contentsOfDirectoryAtPath:folder error:NULL]
      sortedArrayUsingSelector:@selector(compare:)];
  NSMutableSet *visited = [NSMutableSet set];
  for (NSString *name in names) {
    if (![[name pathExtension] isEqualToString:@"plist"]) continue;
    if (![self readPane:name entry:YES visited:visited]) return NO;
  }
  if ([panes count] == 0) return [self fail:@"%@: holds no pane (no .plist file)", folder];
  return YES;
}

- (NSArray *)keyedCells {
  NSMutableArray *cells = [NSMutableArray array];
  for (NSDictionary *pane in panes) {
    for (DWPaneCell *cell in [pane objectForKey:@"cells"]) {
      if ([cell objectForKey:@"key"] != nil) [cells addObject:cell];
    }
  }
  return cells;
}

- (void)problem:(NSString *)format, ... {
  va_list args;
  va_start(args, format);
  [problems addObject:[[[NSString alloc] initWithFormat:format arguments:args] autorelease]];
  va_end(args);
}

// Palettes: files whose every key the library reads as a switch, in the order it first reads them.
// Their switches must come in the order the library tests them and be labelled with the colour each
// key names.
static NSArray *PaletteFiles(NSArray *reads) {
  NSMutableArray *files = [NSMutableArray array];
  NSMutableSet *notPalettes = [NSMutableSet set];
  NSCountedSet *keys = [NSCountedSet set];
  for (NSDictionary *read in reads) {
    NSString *file = [read objectForKey:@"file"];
    if (![files containsObject:file]) [files addObject:file];
    if (![[read objectForKey:@"type"] isEqualToString:@"boolean"]) [notPalettes addObject:file];
    [keys addObject:file];
  }
  NSMutableArray *palettes = [NSMutableArray array];
  for (NSString *file in files) {
    if (![notPalettes containsObject:file] && [keys countForObject:file] > 1) [palettes addObject:file];
  }
  return palettes;
}

static NSString *ColourNameOfKey(NSString *key) {
  return [key stringByTrimmingCharactersInSet:[NSCharacterSet decimalDigitCharacterSet]];
}

- (void)checkCell:(DWPaneCell *)cell against:(NSDictionary *)read {
  NSString *where = [cell objectForKey:@"where"], *kind = [cell objectForKey:@"kind"];
  NSString *key = [read objectForKey:@"key"], *type = [read objectForKey:@"type"];
  id value = [cell objectForKey:@"default"];
  if ([type isEqualToString:@"boolean"]) {
    if (![kind isEqualToString:@"switch"]) {
      [self problem:@"%@: a %@ cell, but the library reads \"%@\" as a switch", where, kind, key];
    } else if (!IsBoolean(value)) {
      [self problem:@"%@: its default must be the boolean false: the library reads an absent \"%@\" as off", where,
                    key];
    } else if ([value boolValue]) {
      [self problem:@"%@: shows on by default, but the library reads an absent \"%@\" as off", where, key];
    }
  } else if ([type isEqualToString:@"color"]) {
    NSArray *fallbacks = [read objectForKey:@"fallbacks"];
    if (![kind isEqualToString:@"color"]) {
      [self problem:@"%@: a %@ cell, but the library reads \"%@\" as a colour string", where, kind, key];
    } else if (value == nil) {
      [self problem:@"%@: has no \"fallback\", the colour it shows while \"%@\" is unset", where, key];
    } else if (DWColorFromPickerString(value) == nil) {
      [self problem:@"%@: its fallback %@ is not a colour the colour picker reads", where, [value description]];
    } else if (![fallbacks containsObject:value]) {
      [self problem:@"%@: shows %@ by default, but the library falls back to %@ for \"%@\"", where, value,
                    [fallbacks componentsJoinedByString:@" or "], key];
    } else if (!IsBoolean([cell objectForKey:@"alpha"])) {
      [self problem:@"%@: \"alpha\" must be a boolean (whether the picker offers transparency)", where];
    }
  } else {
    [self problem:@"library reads \"%@\" from %@ both as a switch and as a colour", key, [read objectForKey:@"file"]];
  }
}

- (void)checkPalettes:(NSArray *)reads cells:(NSArray *)cells {
  for (NSString *file in PaletteFiles(reads)) {
    NSString *domain = DWDefaultsDomainOfPath(file);
    NSMutableArray *libraryOrder = [NSMutableArray array], *paneOrder = [NSMutableArray array];
    for (NSDictionary *read in reads) {
      if ([[read objectForKey:@"file"] isEqualToString:file]) [libraryOrder addObject:[read objectForKey:@"key"]];
    }
    for (DWPaneCell *cell in cells) {
      NSString *key = [cell objectForKey:@"key"];
      if (![[cell objectForKey:@"domain"] isEqual:domain] || ![libraryOrder containsObject:key]) continue;
      [paneOrder addObject:key];
      NSString *name = [[[cell objectForKey:@"label"] lowercaseString] stringByReplacingOccurrencesOfString:@" "
                                                                                                  withString:@""];
      if (![name isEqualToString:ColourNameOfKey(key)]) {
        [self problem:@"%@: writes \"%@\" but is not labelled with its colour, %@", [cell objectForKey:@"where"], key,
                      ColourNameOfKey(key)];
      }
    }
    if ([paneOrder count] == [libraryOrder count] && ![paneOrder isEqualToArray:libraryOrder]) {
      [self problem:@"the switches of %@ are not in the order the library tests them (%@)", domain,
                    [libraryOrder componentsJoinedByString:@", "]];
    }
  }
}

- (void)checkAgainst:(NSArray *)reads {
  NSArray *cells = [self keyedCells];
  NSMutableDictionary *fileOfKey = [NSMutableDictionary dictionary];
  for (NSDictionary *read in reads) [fileOfKey setObject:[read objectForKey:@"file"] forKey:[read objectForKey:@"key"]];
  for (NSDictionary *read in reads) {
    NSMutableArray *writers = [NSMutableArray array];
    for (DWPaneCell *cell in cells) {
      if ([[cell objectForKey:@"key"] isEqual:[read objectForKey:@"key"]] &&
          [[cell objectForKey:@"domain"] isEqual:[read objectForKey:@"domain"]]) {
        [writers addObject:cell];
      }
    }
    if ([writers count] == 0) {
      [self problem:@"the library reads \"%@\" from %@ as a %@, but no cell writes it", [read objectForKey:@"key"],
                    [read objectForKey:@"file"], [[read objectForKey:@"type"] isEqual:@"color"] ? @"colour" : @"switch"];
    } else if ([writers count] > 1) {
      [self problem:@"%lu cells write \"%@\" in %@: %@", (unsigned long)[writers count], [read objectForKey:@"key"],
                    [read objectForKey:@"domain"], [[writers valueForKey:@"where"] componentsJoinedByString:@", "]];
    }
    for (DWPaneCell *cell in writers) [self checkCell:cell against:read];
  }
  for (DWPaneCell *cell in cells) {
    NSString *key = [cell objectForKey:@"key"], *domain = [cell objectForKey:@"domain"];
    NSString *file = [fileOfKey objectForKey:key];
    if (file == nil) {
      [self problem:@"%@: writes \"%@\" in %@, a key the library does not read", [cell objectForKey:@"where"], key,
                    domain];
    } else if (![DWDefaultsDomainOfPath(file) isEqual:domain]) {
      [self problem:@"%@: writes \"%@\" in %@, but the library reads \"%@\" from %@", [cell objectForKey:@"where"],
                    key, domain, key, file];
    }
  }
  [self checkPalettes:reads cells:cells];
}

@end

static NSString *DefaultText(DWPaneCell *cell) {
  id value = [cell objectForKey:@"default"];
  if (value == nil) return @"(no default)";
  if (IsBoolean(value)) return [value boolValue] ? @"on" : @"off";
  return [value description];
}

static NSString *LibraryText(NSDictionary *read) {
  if (read == nil) return @"not read by the library";
  NSString *type = [read objectForKey:@"type"];
  if ([type isEqualToString:@"boolean"]) return @"library: a switch, off when absent";
  if (![type isEqualToString:@"color"]) return [NSString stringWithFormat:@"library: read as %@", type];
  NSMutableArray *parts = [NSMutableArray array];
  NSArray *fallbacks = [read objectForKey:@"fallbacks"], *counts = [read objectForKey:@"fallbackCounts"];
  for (NSUInteger i = 0; i < [fallbacks count]; ++i) {
    NSUInteger count = [[counts objectAtIndex:i] unsignedIntegerValue];
    [parts addObject:[NSString stringWithFormat:@"%@ in %lu read%@", [fallbacks objectAtIndex:i], (unsigned long)count,
                                                count == 1 ? @"" : @"s"]];
  }
  return [NSString stringWithFormat:@"library: a colour, falling back to %@", [parts componentsJoinedByString:@", "]];
}

static NSDictionary *ReadOf(NSArray *reads, DWPaneCell *cell) {
  for (NSDictionary *read in reads) {
    if ([[read objectForKey:@"key"] isEqual:[cell objectForKey:@"key"]] &&
        [[read objectForKey:@"domain"] isEqual:[cell objectForKey:@"domain"]]) {
      return read;
    }
  }
  return nil;
}

static void PrintListing(DWPaneReader *reader, NSArray *reads) {
  DWPrint(@"pane %@\n", reader->folder);
  for (NSDictionary *pane in reader->panes) {
    NSString *entry = [pane objectForKey:@"entry"];
    DWPrint(@"\n%@: \"%@\"%@\n", [pane objectForKey:@"file"], [pane objectForKey:@"title"],
            entry ? [NSString stringWithFormat:@", listed in Settings as \"%@\"", entry] : @"");
    for (DWPaneCell *cell in [pane objectForKey:@"cells"]) {
      NSString *kind = [cell objectForKey:@"kind"], *label = [cell objectForKey:@"label"];
      if ([kind isEqualToString:@"group"]) {
        DWPrint(@"  group   %@\n", label ? label : @"");
        if ([cell objectForKey:@"footer"]) DWPrint(@"          footer: %@\n", [cell objectForKey:@"footer"]);
      } else if ([kind isEqualToString:@"link"]) {
        DWPrint(@"  link    %-18@ -> %@\n", label, [cell objectForKey:@"target"]);
      } else if ([cell objectForKey:@"key"] != nil) {
        NSString *alpha = [kind isEqualToString:@"color"]
                              ? ([[cell objectForKey:@"alpha"] boolValue] ? @" with alpha" : @" opaque")
                              : @"";
        DWPrint(@"  %-7@ %-18@ %-20@ %-10@ default %@%@  (%@)\n", [kind isEqualToString:@"color"] ? @"colour" : kind,
                label, [cell objectForKey:@"domain"], [cell objectForKey:@"key"], DefaultText(cell), alpha,
                LibraryText(ReadOf(reads, cell)));
      } else {
        DWPrint(@"  %-7@ %@\n", kind, label);
      }
    }
  }
  NSMutableSet *files = [NSMutableSet set];
  for (NSDictionary *read in reads) [files addObject:[read objectForKey:@"file"]];
  DWPrint(@"\nthe library reads %lu keys from %lu files\n", (unsigned long)[reads count], (unsigned long)[files count]);
  if ([reader->problems count] == 0) {
    DWPrint(@"every key it reads has exactly one cell of its type and default, in its own file; no cell writes "
            @"another key\n");
  } else {
    DWPrint(@"%lu problem%@:\n", (unsigned long)[reader->problems count], [reader->problems count] == 1 ? @"" : @"s");
    for (NSString *problem in reader->problems) DWPrint(@"  - %@\n", problem);
  }
}

static void PrintJSON(DWPaneReader *reader, NSArray *reads) {
  NSMutableArray *panes = [NSMutableArray array];
  for (NSDictionary *pane in reader->panes) {
    NSMutableDictionary *copy = [[pane mutableCopy] autorelease];
    NSMutableArray *cells = [NSMutableArray array];
    for (DWPaneCell *cell in [pane objectForKey:@"cells"]) {
      NSMutableDictionary *shown = [[cell mutableCopy] autorelease];
      if ([shown objectForKey:@"default"] == nil && [cell objectForKey:@"key"] != nil) {
        [shown setObject:[NSNull null] forKey:@"default"];
      }
      [cells addObject:shown];
    }
    [copy setObject:cells forKey:@"cells"];
    [panes addObject:copy];
  }
  NSDictionary *document = [NSDictionary dictionaryWithObjectsAndKeys:reader->folder, @"folder", panes, @"panes",
                                                                      reads, @"library", reader->problems,
                                                                      @"problems", nil];
  NSData *data = [NSJSONSerialization dataWithJSONObject:document options:0 error:NULL];
  fwrite([data bytes], 1, [data length], stdout);
  fputc('\n', stdout);
}

int DWRunPane(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments
                                command:@"pane"
                                  flags:[NSArray arrayWithObject:@"--json"]
                                 values:[NSArray arrayWithObject:@"--layout"]];
  if (options == nil) return 2;
  if (options->deviceRoot != nil) {
    DWPrintError(@"pane: --device-root does not apply: the pane is checked against the library on a probe root");
    return 2;
  }
  NSString *layout = [options value:@"--layout"] ? [options value:@"--layout"] : kDefaultLayout;
  DWPaneReader *reader = [[[DWPaneReader alloc] initWithLayout:layout] autorelease];
  if (![reader read]) {
    DWPrintError(@"pane: %@", reader->inputError);
    return 2;
  }
  NSString *error = nil;
  NSArray *reads = DWLibraryPreferenceReads(&error);
  if (reads == nil) {
    DWPrintError(@"pane: %@", error);
    return 2;
  }
  [reader checkAgainst:reads];
  if ([options has:@"--json"]) {
    PrintJSON(reader, reads);
  } else {
    PrintListing(reader, reads);
  }
  return [reader->problems count] == 0 ? 0 : 1;
}
