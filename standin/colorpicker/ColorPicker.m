#import "ColorPicker.h"

#include <stdlib.h>

#import "scenario/PickerGrammar.h"

#import "../foundation/CallLog.h"
#import "../foundation/StandInDevice.h"
#import "../uikit/UIKit.h"

// The alpha's digits read by Foundation.
static double FoundationDecimal(const uint16_t *digits, size_t length) {
  NSString *text = [[NSString alloc] initWithCharacters:digits length:length];
  double value = [text doubleValue];
  [text release];
  return value;
}

UIColor *DWColorFromPickerString(id value) {
  if (![value isKindOfClass:[NSString class]]) return nil;
  NSString *text = value;
  NSUInteger length = [text length];
  unichar shortText[64];
  unichar *units = length <= 64 ? shortText : malloc(sizeof(unichar) * length);
  if (units == NULL) return nil;
  [text getCharacters:units range:NSMakeRange(0, length)];
  int bytes[3];
  double alpha = 1;
  BOOL read = DWReadPickerColor(units, length, FoundationDecimal, bytes, &alpha);
  if (units != shortText) free(units);
  if (!read) return nil;
  return [UIColor colorWithRed:(DWCGFloat)bytes[0] / 255
                         green:(DWCGFloat)bytes[1] / 255
                          blue:(DWCGFloat)bytes[2] / 255
                         alpha:(DWCGFloat)alpha];
}

static NSMutableArray *parses;  // nil while not recording

UIColor *LCPParseColorString(id value, id fallback) {
  DWDeviceNoteColorParse(fallback);
  UIColor *color = DWColorFromPickerString(value);
  if (color == nil) color = DWColorFromPickerString(fallback);
  if (parses != nil && color != nil) {
    [parses addObject:[NSDictionary dictionaryWithObjectsAndKeys:value ? value : [NSNull null], @"value",
                                                                 fallback ? fallback : [NSNull null], @"fallback",
                                                                 color, @"color",
                                                                 [NSNumber numberWithUnsignedInteger:DWCallLogCount()],
                                                                 @"logCount", nil]];
  }
  return color;
}

void DWColorPickerRecord(BOOL on) {
  [parses release];
  parses = on ? [[NSMutableArray alloc] init] : nil;
}

NSArray *DWColorPickerParses(void) { return parses != nil ? [[parses copy] autorelease] : [NSArray array]; }
