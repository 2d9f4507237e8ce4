#import "EditorPane.h"

#import "LibraryBehaviour.h"
#import "PaneLayout.h"
#import "ThemeFiles.h"

#import "standin/colorpicker/ColorPicker.h"
#import "standin/uikit/UIKit.h"

#include <math.h>

static NSString *CellId(NSDictionary *cell) {
  return [NSString stringWithFormat:@"%@/%@", [cell objectForKey:@"domain"], [cell objectForKey:@"key"]];
}

NSDictionary *DWEditorPaneDocument(DWPaneLayout *layout) {
  NSMutableArray *panes = [NSMutableArray array];
  for (NSDictionary *pane in layout->panes) {
    NSMutableDictionary *shown = [NSMutableDictionary dictionaryWithDictionary:pane];
    NSMutableArray *cells = [NSMutableArray array];
    for (NSDictionary *cell in [pane objectForKey:@"cells"]) {
      NSMutableDictionary *copy = [NSMutableDictionary dictionaryWithDictionary:cell];
      if ([cell objectForKey:@"key"] != nil) [copy setObject:CellId(cell) forKey:@"id"];
      if ([[cell objectForKey:@"kind"] isEqual:@"color"]) {
        [copy setObject:[NSNumber numberWithBool:[[cell objectForKey:@"alpha"] boolValue]] forKey:@"alpha"];
      }
      [cells addObject:copy];
    }
    [shown setObject:cells forKey:@"cells"];
    [panes addObject:shown];
  }
  return [NSDictionary dictionaryWithObject:panes forKey:@"panes"];
}

static unsigned ByteOf(DWCGFloat component) {
  double scaled = round((double)component * 255.0);
  if (!(scaled >= 0)) return 0;
  return scaled > 255 ? 255 : (unsigned)scaled;
}

// "#RRGGBB" and the alpha of a colour string the picker reads, or nil.
static NSDictionary *ColorShown(id value) {
  UIColor *color = DWColorFromPickerString(value);
  DWCGFloat r, g, b, a;
  if (color == nil || ![color getRed:&r green:&g blue:&b alpha:&a]) return nil;
  return [NSDictionary dictionaryWithObjectsAndKeys:[NSString stringWithFormat:@"#%02X%02X%02X", ByteOf(r), ByteOf(g),
                                                                               ByteOf(b)],
                                                    @"value", [NSNumber numberWithDouble:(double)a], @"alpha", nil];
}

NSDictionary *DWEditorPaneValues(DWPaneLayout *layout, NSString *root) {
  NSMutableDictionary *files = [NSMutableDictionary dictionary], *values = [NSMutableDictionary dictionary];
  for (NSDictionary *cell in [layout keyedCells]) {
    NSString *domain = [cell objectForKey:@"domain"], *key = [cell objectForKey:@"key"];
    NSString *devicePath = DWDevicePathOfDomain(domain);
    NSDictionary *file = devicePath ? [files objectForKey:domain] : nil;
    if (devicePath != nil && file == nil) {
      DWFileState state;
      NSString *reason = nil;
      file = DWReadDictionaryFile([root stringByAppendingPathComponent:devicePath], &state, &reason);
      if (file == nil) file = [NSDictionary dictionary];
      [files setObject:file forKey:domain];
    }
    id stored = [file objectForKey:key], fallback = [cell objectForKey:@"default"];
    NSMutableDictionary *shown = [NSMutableDictionary dictionary];
    BOOL on = NO;
    if ([[cell objectForKey:@"kind"] isEqual:@"color"]) {
      NSDictionary *color = ColorShown(stored);
      [shown setDictionary:color ? color : (ColorShown(fallback) ? ColorShown(fallback) : ColorShown(@"#000000"))];
      [shown setObject:color ? @"file" : @"default" forKey:@"source"];
    } else if (stored != nil && DWBooleanReading(stored, &on)) {
      [shown setObject:[NSNumber numberWithBool:on] forKey:@"value"];
      [shown setObject:@"file" forKey:@"source"];
    } else {
      [shown setObject:[NSNumber numberWithBool:[fallback boolValue]] forKey:@"value"];
      [shown setObject:@"default" forKey:@"source"];
    }
    if (stored != nil) [shown setObject:[stored description] forKey:@"stored"];
    [values setObject:shown forKey:CellId(cell)];
  }
  return values;
}

static BOOL IsHexColor(id text) {
  if (![text isKindOfClass:[NSString class]] || [text length] != 7 || ![text hasPrefix:@"#"]) return NO;
  NSCharacterSet *hex = [NSCharacterSet characterSetWithCharactersInString:@"0123456789abcdefABCDEF"];
  return [[[text substringFromIndex:1] stringByTrimmingCharactersInSet:hex] length] == 0;
}

// The colour string the picker's cell saves: "#RRGGBB" in capitals, and for a cell that offers
// transparency ":alpha" after it when the colour is not opaque, the alpha to two decimals.
static NSString *PickerString(NSString *hex, double alpha, BOOL offersAlpha) {
  NSString *opaque = [hex uppercaseString];
  if (!offersAlpha || alpha >= 1) return opaque;
  NSString *decimal = [NSString stringWithFormat:@"%.2f", round(alpha * 100) / 100];
  while ([decimal hasSuffix:@"0"]) decimal = [decimal substringToIndex:[decimal length] - 1];
  if ([decimal hasSuffix:@"."]) decimal = [decimal substringToIndex:[decimal length] - 1];
  return [NSString stringWithFormat:@"%@:%@", opaque, decimal];
}

id DWEditorValueForCell(DWPaneLayout *layout, NSString *domain, NSString *key, id given, NSString **devicePath,
                        NSString **error) {
  NSDictionary *cell = nil;
  for (NSDictionary *candidate in [layout keyedCells]) {
    if ([[candidate objectForKey:@"domain"] isEqual:domain] && [[candidate objectForKey:@"key"] isEqual:key]) {
      cell = candidate;
    }
  }
  if (cell == nil) {
    *error = [NSString stringWithFormat:@"no cell of the pane writes \"%@\" in %@", key, domain];
    return nil;
  }
  *devicePath = DWDevicePathOfDomain(domain);
  if (*devicePath == nil) {
    *error = [NSString stringWithFormat:@"%@: the domain %@ cannot be a preferences file", [cell objectForKey:@"where"],
                                        domain];
    return nil;
  }
  NSString *kind = [cell objectForKey:@"kind"];
  if ([kind isEqual:@"switch"]) {
    if (!DWPaneIsBoolean(given)) {
      *error = [NSString stringWithFormat:@"%@ is a switch: it takes true or false", [cell objectForKey:@"where"]];
      return nil;
    }
    return [NSNumber numberWithBool:[given boolValue]];
  }
  if (![kind isEqual:@"color"]) {
    *error = [NSString stringWithFormat:@"%@ is a %@ cell, which writes nothing here", [cell objectForKey:@"where"], kind];
    return nil;
  }
  id hex = [given isKindOfClass:[NSDictionary class]] ? [given objectForKey:@"hex"] : nil;
  id alpha = [given isKindOfClass:[NSDictionary class]] ? [given objectForKey:@"alpha"] : nil;
  BOOL offersAlpha = [[cell objectForKey:@"alpha"] boolValue];
  double opacity = [alpha isKindOfClass:[NSNumber class]] && !DWPaneIsBoolean(alpha) ? [alpha doubleValue] : 1;
  if (!IsHexColor(hex) || (alpha != nil && (![alpha isKindOfClass:[NSNumber class]] || DWPaneIsBoolean(alpha))) ||
      !(opacity >= 0 && opacity <= 1)) {
    *error = [NSString stringWithFormat:@"%@ takes a colour {\"hex\": \"#RRGGBB\", \"alpha\": 0 to 1}",
                                        [cell objectForKey:@"where"]];
    return nil;
  }
  if (!offersAlpha && opacity < 1) {
    *error = [NSString stringWithFormat:@"%@ offers no transparency: its colour is opaque", [cell objectForKey:@"where"]];
    return nil;
  }
  NSString *text = PickerString(hex, opacity, offersAlpha);
  if (DWColorFromPickerString(text) == nil) {
    *error = [NSString stringWithFormat:@"%@: the colour picker cannot read %@", [cell objectForKey:@"where"], text];
    return nil;
  }
  return text;
}
