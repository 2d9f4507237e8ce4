// The Settings pane as the settings loader reads it from a package layout: every property list in
// Library/PreferenceLoader/Preferences/ is an entry in the Settings list, and its link cells lead to
// sub-panes below that folder.
#pragma once

#import <Foundation/Foundation.h>

extern NSString *const DWPanePreferencesFolder;

// One cell: "kind" ("group", "switch", "color", "link" or the cell's own class name), "where" (file and
// item, for messages), "label", and for cells that write a key "domain", "key" and "default"; "footer"
// for groups, "alpha" for colours, "target" (a pane file) for links.
typedef NSMutableDictionary DWPaneCell;

@interface DWPaneLayout : NSObject {
 @public
  NSString *folder;           // the layout's PreferenceLoader/Preferences folder
  NSMutableArray *panes;      // {"file", "title", "entry" (entry label or absent), "cells"}
  NSString *inputError;       // set when the layout cannot be read at all
}
- (id)initWithLayout:(NSString *)layout;
// Reads every entry in the folder and the sub-panes they link to; NO with inputError set when the
// layout cannot be read as a pane.
- (BOOL)read;
// The cells that write a setting, in pane order.
- (NSArray *)keyedCells;
@end

// The package's own layout folder: device-build/layout of this source tree.
NSString *DWDefaultPaneLayout(void);

// True for a property-list boolean (not merely a number).
BOOL DWPaneIsBoolean(id value);

