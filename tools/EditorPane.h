// The Settings pane as the editor's page draws it, and what a change made in it writes: for every
// cell, the same domain file, key, type and string form as the device's Settings app.
#pragma once

#import <Foundation/Foundation.h>

@class DWPaneLayout;

// {"panes": [{"file", "title", "entry", "cells": [...]}]}: the layout's panes and cells (PaneLayout.h),
// each cell that writes a setting with "id" ("domain/key") and, for colours, "alpha".
NSDictionary *DWEditorPaneDocument(DWPaneLayout *layout);

// "domain/key" -> what the cell shows now: {"value": true/false or "#RRGGBB", "alpha": 0...1 (colours),
// "source": "file" or "default", "stored": what the file holds, when it holds anything}.
NSDictionary *DWEditorPaneValues(DWPaneLayout *layout, NSString *root);

// The value the device writes when the cell for `domain`/`key` is set from `given` (a JSON boolean for
// a switch; {"hex": "#RRGGBB", "alpha": A} for a colour), and in *devicePath the file it goes to. nil
// with *error saying why the change cannot be made.
id DWEditorValueForCell(DWPaneLayout *layout, NSString *domain, NSString *key, id given, NSString **devicePath,
                        NSString **error);
