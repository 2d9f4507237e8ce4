#import "PaneLayout.h"
#import "ThemeFiles.h"

NSString *const DWPanePreferencesFolder = @"Library/PreferenceLoader/Preferences";

NSString *DWDefaultPaneLayout(void) {
#ifdef DUSKWELL_PANE_LAYOUT
  return @DUSKWELL_PANE_LAYOUT;
#else
  return @"device-build/layout";
#endif
}

static NSString *Where(NSString *file, NSUInteger item, NSString *label) {
  return label ? [NSString stringWithFormat:@"%@ item %lu (\"%@\")", file, (unsigned long)item + 1, label]
               : [NSString stringWithFormat:@"%@ item %lu", file, (unsigned long)item + 1];
}

static BOOL IsString(id value) { return [value isKindOfClass:[NSString class]] && [value length] > 0; }

BOOL DWPaneIsBoolean(id value) { return [DWValueKind(value) isEqualToString:@"boolean"]; }

@implementation DWPaneLayout

- (id)initWithLayout:(NSString *)layout {
  if ((self = [super init])) {
    folder = [[layout stringByAppendingPathComponent:DWPanePreferencesFolder] copy];
    panes = [[NSMutableArray alloc] init];
  }
  return self;
}

- (void)dealloc {
  [folder release];
  [panes release];
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
    list = [NSPropertyListSerialization propertyListWithData:data
                                                     options:NSPropertyListImmutable
                                                      format:NULL
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
    if (IsString([item objectForKey:@"footerText"]))
      [cell setObject:[item objectForKey:@"footerText"] forKey:@"footer"];
    return cell;
  }
  if (!IsString(label)) {
    [self fail:@"%@: a %@ without a \"label\"", where, cellClass];
    return nil;
  }
  if ([cellClass isEqualToString:@"PSLinkCell"] &&
      [[item objectForKey:@"cellClass"] isEqual:@"PFSimpleLiteColorCell"]) {
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
  NSMutableDictionary *pane = [NSMutableDictionary
      dictionaryWithObjectsAndKeys:file, @"file", [plist objectForKey:@"title"], @"title", cells, @"cells", nil];
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
    return [self fail:@"%@: no such directory (the layout must hold %@)", folder, DWPanePreferencesFolder];
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

@end
