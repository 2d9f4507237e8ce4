#import "UIKit.h"

#import "../foundation/Placeholder.h"

#include <math.h>
#include <pthread.h>

#include "../../scenario/TraceComponent.h"

@implementation UIImage
+ (UIImage *)imageNamed:(NSString *)name {
  UIImage *image = [[[self alloc] init] autorelease];
  image->_name = [name copy];
  return image;
}
- (NSString *)name { return _name; }
- (void)dealloc {
  [_name release];
  [super dealloc];
}
@end

NSString *DWTraceComponent(DWCGFloat component) {
  char text[DWTraceComponentSize];
  return [NSString stringWithUTF8String:DWWriteTraceComponent((double)component, text)];
}

static NSString *Components(DWCGFloat red, DWCGFloat green, DWCGFloat blue, DWCGFloat alpha) {
  return [NSString stringWithFormat:@"%@ %@ %@ %@", DWTraceComponent(red), DWTraceComponent(green),
                                    DWTraceComponent(blue), DWTraceComponent(alpha)];
}

@implementation UIColor

// UIColor is a class cluster: alloc answers a placeholder, and the initialiser the real colour.
// Subclasses allocate their own instances.
+ (id)alloc {
  if (self == [UIColor class]) return DWPlaceholderFor(self);
  return [self allocWithZone:NSDefaultMallocZone()];
}

+ (UIColor *)colorWithRed:(DWCGFloat)red green:(DWCGFloat)green blue:(DWCGFloat)blue alpha:(DWCGFloat)alpha {
  return [[[self alloc] initWithRed:red green:green blue:blue alpha:alpha] autorelease];
}

+ (UIColor *)colorWithWhite:(DWCGFloat)white alpha:(DWCGFloat)alpha {
  return [self colorWithRed:white green:white blue:white alpha:alpha];
}

+ (UIColor *)colorWithPatternImage:(UIImage *)image {
  return [[[self alloc] initWithPatternImage:image] autorelease];
}

// Named colours are shared objects that live as long as the process, as on the device, made once
// whichever thread asks first.
#define DW_NAMED_COLOR(name, r, g, b, a)                                                      \
  static UIColor *shared_##name;                                                              \
  static void Make_##name(void) {                                                             \
    shared_##name = [[UIColor alloc] initWithRed:(r) green:(g) blue:(b) alpha:(a)];           \
  }                                                                                           \
  +(UIColor *)name {                                                                          \
    static pthread_once_t once = PTHREAD_ONCE_INIT;                                           \
    pthread_once(&once, Make_##name);                                                         \
    return shared_##name;                                                                     \
  }

DW_NAMED_COLOR(blackColor, 0, 0, 0, 1)
DW_NAMED_COLOR(darkGrayColor, (DWCGFloat)1 / 3, (DWCGFloat)1 / 3, (DWCGFloat)1 / 3, 1)
DW_NAMED_COLOR(lightGrayColor, (DWCGFloat)2 / 3, (DWCGFloat)2 / 3, (DWCGFloat)2 / 3, 1)
DW_NAMED_COLOR(whiteColor, 1, 1, 1, 1)
DW_NAMED_COLOR(grayColor, 0.5, 0.5, 0.5, 1)
DW_NAMED_COLOR(redColor, 1, 0, 0, 1)
DW_NAMED_COLOR(greenColor, 0, 1, 0, 1)
DW_NAMED_COLOR(blueColor, 0, 0, 1, 1)
DW_NAMED_COLOR(cyanColor, 0, 1, 1, 1)
DW_NAMED_COLOR(yellowColor, 1, 1, 0, 1)
DW_NAMED_COLOR(magentaColor, 1, 0, 1, 1)
DW_NAMED_COLOR(orangeColor, 1, 0.5, 0, 1)
DW_NAMED_COLOR(purpleColor, 0.5, 0, 0.5, 1)
DW_NAMED_COLOR(brownColor, 0.6, 0.4, 0.2, 1)
DW_NAMED_COLOR(clearColor, 0, 0, 0, 0)

- (id)initWithRed:(DWCGFloat)red green:(DWCGFloat)green blue:(DWCGFloat)blue alpha:(DWCGFloat)alpha {
  if ((self = [super init]) != nil) {
    _red = red;
    _green = green;
    _blue = blue;
    _alpha = alpha;
    _cgColor = (struct CGColor){red, green, blue, alpha};
    _initialised = YES;
  }
  return self;
}

- (id)initWithPatternImage:(UIImage *)image {
  if ((self = [super init]) != nil) {
    _patternImage = [image retain];
    _initialised = YES;
  }
  return self;
}

- (void)dealloc {
  [_patternImage release];
  [super dealloc];
}

- (BOOL)getRed:(DWCGFloat *)red green:(DWCGFloat *)green blue:(DWCGFloat *)blue alpha:(DWCGFloat *)alpha {
  if (_patternImage != nil) return NO;
  if (red != NULL) *red = _red;
  if (green != NULL) *green = _green;
  if (blue != NULL) *blue = _blue;
  if (alpha != NULL) *alpha = _alpha;
  return YES;
}

- (CGColorRef)CGColor { return &_cgColor; }

- (UIImage *)patternImage { return _patternImage; }

- (NSString *)traceValue {
  if (!_initialised) return @"UIColor(uninitialised)";
  if (_patternImage != nil) return @"UIColor(pattern)";
  return [NSString stringWithFormat:@"UIColor(%@)", Components(_red, _green, _blue, _alpha)];
}

- (NSString *)description {
  if (_patternImage != nil) return [NSString stringWithFormat:@"UIColor(pattern %@)", [_patternImage name]];
  return [NSString stringWithFormat:@"UIColor(%.6g %.6g %.6g %.6g)", (double)_red, (double)_green, (double)_blue,
                                    (double)_alpha];
}

@end

UIColor *DWColorWithCGColor(CGColorRef color) {
  if (color == NULL) return nil;
  return [UIColor colorWithRed:color->red green:color->green blue:color->blue alpha:color->alpha];
}

NSString *DWTraceCGColor(CGColorRef color) {
  if (color == NULL) return @"NULL";
  return [NSString stringWithFormat:@"CGColor(%@)", Components(color->red, color->green, color->blue, color->alpha)];
}

NSString *DWTraceColor(UIColor *color) { return [color traceValue]; }
