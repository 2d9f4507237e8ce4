// pane: the Settings pane the package installs, cell by cell (what it shows, which key of which
// defaults domain it writes, its default), checked against what the library itself reads: every key
// the library reads has exactly one cell of its type with a default the library agrees with, and no
// cell writes a key the library does not read, or writes it to another file.
#import "Commands.h"
#import "LibraryBehaviour.h"
#import "PaneLayout.h"

#import "standin/colorpicker/ColorPicker.h"

static void Problem(NSMutableArray *problems, NSString *format, ...) {
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

static void CheckCell(NSMutableArray *problems, DWPaneCell *cell, NSDictionary *read) {
  NSString *where = [cell objectForKey:@"where"], *kind = [cell objectForKey:@"kind"];
  NSString *key = [read objectForKey:@"key"], *type = [read objectForKey:@"type"];
  id value = [cell objectForKey:@"default"];
  if ([type isEqualToString:@"boolean"]) {
    if (![kind isEqualToString:@"switch"]) {
      Problem(problems, @"%@: a %@ cell, but the library reads \"%@\" as a switch", where, kind, key);
    } else if (!DWPaneIsBoolean(value)) {
      Problem(problems, @"%@: its default must be the boolean false: the library reads an absent \"%@\" as off", where,
              key);
    } else if ([value boolValue]) {
      Problem(problems, @"%@: shows on by default, but the library reads an absent \"%@\" as off", where, key);
    }
  } else if ([type isEqualToString:@"color"]) {
    NSArray *fallbacks = [read objectForKey:@"fallbacks"];
    if (![kind isEqualToString:@"color"]) {
      Problem(problems, @"%@: a %@ cell, but the library reads \"%@\" as a colour string", where, kind, key);
    } else if (value == nil) {
      Problem(problems, @"%@: has no \"fallback\", the colour it shows while \"%@\" is unset", where, key);
    } else if (DWColorFromPickerString(value) == nil) {
      Problem(problems, @"%@: its fallback %@ is not a colour the colour picker reads", where, [value description]);
    } else if (![fallbacks containsObject:value]) {
      Problem(problems, @"%@: shows %@ by default, but the library falls back to %@ for \"%@\"", where, value,
              [fallbacks componentsJoinedByString:@" or "], key);
    } else if (!DWPaneIsBoolean([cell objectForKey:@"alpha"])) {
      Problem(problems, @"%@: \"alpha\" must be a boolean (whether the picker offers transparency)", where);
    }
  } else {
    Problem(problems, @"library reads \"%@\" from %@ both as a switch and as a colour", key,
            [read objectForKey:@"file"]);
  }
}

static void CheckPalettes(NSMutableArray *problems, NSArray *reads, NSArray *cells) {
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
        Problem(problems, @"%@: writes \"%@\" but is not labelled with its colour, %@", [cell objectForKey:@"where"],
                key, ColourNameOfKey(key));
      }
    }
    if ([paneOrder count] == [libraryOrder count] && ![paneOrder isEqualToArray:libraryOrder]) {
      Problem(problems, @"the switches of %@ are not in the order the library tests them (%@)", domain,
              [libraryOrder componentsJoinedByString:@", "]);
    }
  }
}

// The faults of the pane against the library's reads, each in a sentence naming the cell.
static NSArray *CheckAgainst(DWPaneLayout *layout, NSArray *reads) {
  NSMutableArray *problems = [NSMutableArray array];
  NSArray *cells = [layout keyedCells];
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
      Problem(problems, @"the library reads \"%@\" from %@ as a %@, but no cell writes it", [read objectForKey:@"key"],
              [read objectForKey:@"file"], [[read objectForKey:@"type"] isEqual:@"color"] ? @"colour" : @"switch");
    } else if ([writers count] > 1) {
      Problem(problems, @"%lu cells write \"%@\" in %@: %@", (unsigned long)[writers count], [read objectForKey:@"key"],
              [read objectForKey:@"domain"], [[writers valueForKey:@"where"] componentsJoinedByString:@", "]);
    }
    for (DWPaneCell *cell in writers) CheckCell(problems, cell, read);
  }
  for (DWPaneCell *cell in cells) {
    NSString *key = [cell objectForKey:@"key"], *domain = [cell objectForKey:@"domain"];
    NSString *file = [fileOfKey objectForKey:key];
    if (file == nil) {
      Problem(problems, @"%@: writes \"%@\" in %@, a key the library does not read", [cell objectForKey:@"where"], key,
              domain);
    } else if (![DWDefaultsDomainOfPath(file) isEqual:domain]) {
      Problem(problems, @"%@: writes \"%@\" in %@, but the library reads \"%@\" from %@", [cell objectForKey:@"where"],
              key, domain, key, file);
    }
  }
  CheckPalettes(problems, reads, cells);
  return problems;
}

static NSString *DefaultText(DWPaneCell *cell) {
  id value = [cell objectForKey:@"default"];
  if (value == nil) return @"(no default)";
  if (DWPaneIsBoolean(value)) return [value boolValue] ? @"on" : @"off";
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

static void PrintListing(DWPaneLayout *layout, NSArray *reads, NSArray *problems) {
  DWPrint(@"pane %@\n", layout->folder);
  for (NSDictionary *pane in layout->panes) {
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
  if ([problems count] == 0) {
    DWPrint(@"every key it reads has exactly one cell of its type and default, in its own file; no cell writes "
            @"another key\n");
  } else {
    DWPrint(@"%lu problem%@:\n", (unsigned long)[problems count], [problems count] == 1 ? @"" : @"s");
    for (NSString *problem in problems) DWPrint(@"  - %@\n", problem);
  }
}

static void PrintJSON(DWPaneLayout *layout, NSArray *reads, NSArray *problems) {
  NSMutableArray *panes = [NSMutableArray array];
  for (NSDictionary *pane in layout->panes) {
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
  NSDictionary *document = [NSDictionary dictionaryWithObjectsAndKeys:layout->folder, @"folder", panes, @"panes", reads,
                                                                      @"library", problems, @"problems", nil];
  NSData *data = [NSJSONSerialization dataWithJSONObject:document options:0 error:NULL];
  fwrite([data bytes], 1, [data length], stdout);
  fputc('\n', stdout);
}

int DWRunPane(NSArray *arguments) {
  DWOptions *options = [DWOptions parse:arguments command:@"pane" flag:@"--json" value:@"--layout"];
  if (options == nil) return 2;
  if (options->deviceRoot != nil) {
    DWPrintError(@"pane: --device-root does not apply: the pane is checked against the library on a probe root");
    return 2;
  }
  NSString *layout = [options value:@"--layout"] ? [options value:@"--layout"] : DWDefaultPaneLayout();
  DWPaneLayout *pane = [[[DWPaneLayout alloc] initWithLayout:layout] autorelease];
  if (![pane read]) {
    DWPrintError(@"pane: %@", pane->inputError);
    return 2;
  }
  NSString *error = nil;
  NSArray *reads = DWLibraryPreferenceReads(&error);
  if (reads == nil) {
    DWPrintError(@"pane: %@", error);
    return 2;
  }
  NSArray *problems = CheckAgainst(pane, reads);
  if ([options has:@"--json"]) {
    PrintJSON(pane, reads, problems);
  } else {
    PrintListing(pane, reads, problems);
  }
  return [problems count] == 0 ? 0 : 1;
}
