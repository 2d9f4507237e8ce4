// Colours built from six-digit hex strings, and compared at 8-bit precision.

#include "../platform/ObjCInterfaces.h"

#include <limits.h>

namespace {

// A component's 8-bit value: component × 255 in the component type, truncated toward zero,
// saturating at the 32-bit bounds, NaN giving 0.
int32_t EightBitValue(dw::CGFloat component) {
  const dw::CGFloat scaled = component * static_cast<dw::CGFloat>(255);
  if (scaled != scaled) return 0;
  if (scaled >= static_cast<dw::CGFloat>(2147483648.0)) return INT32_MAX;
  if (scaled < static_cast<dw::CGFloat>(INT32_MIN)) return INT32_MIN;
  return static_cast<int32_t>(scaled);
}

// A channel byte as a component: c / 255 divided in single precision on every target, then widened.
dw::CGFloat ComponentOfByte(uint32_t byte) {
  return static_cast<dw::CGFloat>(static_cast<float>(byte) / 255.0f);
}

}  // namespace

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
- (BOOL)isSameColor:(UIColor *)other;
@end

@implementation UIColor (CompareAndHex)

- (id)initWithHex:(NSString *)hex {
  NSString *digits = [hex stringByReplacingOccurrencesOfString:(NSString *)DW_STR("#")
                                                    withString:(NSString *)DW_STR("")];
  NSScanner *scanner = [(Class)DW_CLASS(NSScanner) scannerWithString:digits];
  [scanner setCharactersToBeSkipped:[(Class)DW_CLASS(NSCharacterSet) symbolCharacterSet]];
  unsigned int value = 0;
  if (![scanner scanHexInt:&value]) {
    [self release];
    return nullptr;
  }
  return [self initWithRed:ComponentOfByte((value >> 16) & 0xFF)
                     green:ComponentOfByte((value >> 8) & 0xFF)
                      blue:ComponentOfByte(value & 0xFF)
                     alpha:1.0];
}

// A colour that cannot report its components (a pattern colour, or none at all) is never the same
// as another: nothing unset is compared.
- (BOOL)isSameColor:(UIColor *)other {
  dw::CGFloat mine[4] = {0, 0, 0, 0};
  dw::CGFloat theirs[4] = {0, 0, 0, 0};
  if (![self getRed:&mine[0] green:&mine[1] blue:&mine[2] alpha:&mine[3]]) return NO;
  if (![other getRed:&theirs[0] green:&theirs[1] blue:&theirs[2] alpha:&theirs[3]]) return NO;
  for (int i = 0; i < 4; ++i) {
    if (EightBitValue(mine[i]) != EightBitValue(theirs[i])) return NO;
  }
  return YES;
}

@end
