#import "ColorFormat.h"

#include <math.h>

static unsigned ByteOf(DWCGFloat component) {
  double scaled = round((double)component * 255.0);
  if (!(scaled >= 0)) return 0;
  return scaled > 255 ? 255 : (unsigned)scaled;
}

static NSString *Hex(DWCGFloat r, DWCGFloat g, DWCGFloat b, DWCGFloat a) {
  return [NSString stringWithFormat:@"#%02X%02X%02X%02X", ByteOf(r), ByteOf(g), ByteOf(b), ByteOf(a)];
}

// Enough digits to give back the component exactly in its own width.
static NSString *Component(DWCGFloat value) {
  return [NSString stringWithFormat:sizeof(DWCGFloat) == sizeof(float) ? @"%.9g" : @"%.17g", (double)value];
}

NSString *DWColorJSON(UIColor *color) {
  DWCGFloat r, g, b, a;
  if (color == nil || ![color getRed:&r green:&g blue:&b alpha:&a]) return @"null";
  return [NSString stringWithFormat:@"{\"r\":%@,\"g\":%@,\"b\":%@,\"a\":%@,\"hex\":\"%@\"}", Component(r), Component(g),
                                    Component(b), Component(a), Hex(r, g, b, a)];
}

NSString *DWColorText(UIColor *color) {
  DWCGFloat r, g, b, a;
  if (color == nil) return @"none";
  if (![color getRed:&r green:&g blue:&b alpha:&a]) return @"pattern";
  return Hex(r, g, b, a);
}

NSString *DWJSONString(NSString *text) {
  NSMutableString *out = [NSMutableString stringWithString:@"\""];
  for (NSUInteger i = 0; i < [text length]; ++i) {
    unichar c = [text characterAtIndex:i];
    if (c == '"' || c == '\\') {
      [out appendFormat:@"\\%C", c];
    } else if (c < 0x20) {
      [out appendFormat:@"\\u%04x", (unsigned)c];
    } else {
      [out appendFormat:@"%C", c];
    }
  }
  [out appendString:@"\""];
  return out;
}
