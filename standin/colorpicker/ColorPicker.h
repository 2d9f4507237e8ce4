// The stand-in colour-picker library. Reads "[#]RGB" or "[#]RRGGBB" hex in either case, optionally
// followed by ":alpha" with alpha a decimal from 0 to 1 ("#1A2B3C:0.5"). Anything else, a non-string
// included, gives the colour of `fallback`, which is read the same way. The result is autoreleased.
#pragma once

#import <Foundation/Foundation.h>

@class UIColor;

#ifdef __cplusplus
extern "C" {
#endif

UIColor *LCPParseColorString(id value, id fallback);

// The colour a string stands for, or nil when the picker cannot read it (tools use this to check a
// value before they store it).
UIColor *DWColorFromPickerString(id value);

// What an observer may see: while recording is on, every colour LCPParseColorString returns, in
// order, as a dictionary {"value": the value given (NSNull for nil), "fallback": ..., "color": the
// colour (retained by the record), "logCount": the call log's length at that moment}. Turning
// recording on starts a fresh record.
void DWColorPickerRecord(BOOL on);
NSArray *DWColorPickerParses(void);

#ifdef __cplusplus
}
#endif
