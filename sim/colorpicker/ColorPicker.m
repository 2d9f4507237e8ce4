#import "ColorPicker.h"

#import "../device/CallLog.h"
#import "../device/Device.h"
#import "../uikit/UIKit.h"

static int HexDigit(unichar c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A decimal from 0 to 1: digits with at most one point, nothing else.
static BOOL ParseAlpha(NSString *text, DWCGFloat *alpha) {
  if ([text length] == 0) return NO;
  NSCharacterSet *allowed = [NSCharacterSet characterSetWithCharactersInString:@"0123456789."];
  if ([[text stringByTrimmingCharactersInSet:allowed] length] != 0) return NO;
  if ([[text componentsSeparatedByString:@"."] count] > 2 || [text isEqualToString:@"."]) return NO;
  double value = [text doubleValue];
  if (value < 0.0 || value > 1.0) return NO;
  *alpha = (DWCGFloat)value;
  return YES;
}

UIColor *DWColorFromPickerString(id value) {
  if (![value isKindOfClass:[NSString class]]) return nil;
  NSString *text = value;
  DWCGFloat alpha = 1;
  NSRange colon = [text rangeOfString:@":"];
  if (colon.location != NSNotFound) {
    if (!ParseAlpha([text substringFromIndex:colon.location + 1], &alpha)) return nil;
    text = [text substringToIndex:colon.location];
  }
  if ([text hasPrefix:@"#"]) text = [text substringFromIndex:1];
  NSUInteger length = [text length];
  if (length != 3 && length != 6) return nil;
  int digits[6];
  for (NSUInteger i = 0; i < length; ++i) {
    digits[i] = HexDigit([text characterAtIndex:i]);
    if (digits[i] < 0) return nil;
  }
  int bytes[3];
  for (int channel = 0; channel < 3; ++channel) {
    bytes[channel] = length == 3 ? digits[channel] * 17 : digits[2 * channel] * 16 + digits[2 * channel + 1];
  }
  return [UIColor colorWithRed:(DWCGFloat)bytes[0] / 255
                         green:(DWCGFloat)bytes[1] / 255
                          blue:(DWCGFloat)bytes[2] / 255
                         alpha:alpha];
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
