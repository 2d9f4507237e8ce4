// preview --explain: who set each view's final background, found by watching, not by knowing the
// hook table: the call log shows the colour UIView's own setter received last, and the colour
// picker's record shows which parse made that colour object and what came just before it.
#pragma once

#import <Foundation/Foundation.h>

// With the library loaded and the device at `root`: view key (see DWViewKey) -> NSNumber of
// DWPainter for every view whose background UIView's setter received. nil with *error set when the
// theme cannot be copied for the second pass.
NSDictionary *DWExplainPainters(NSString *root, NSString **error);
