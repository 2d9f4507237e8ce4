#import "Effects.h"

@implementation UIVisualEffectView
@end

@implementation CALayer
- (DWRect)frame { return _frame; }
- (void)setFrame:(DWRect)frame { _frame = frame; }
@end

@implementation CAGradientLayer
- (void)dealloc {
  [_colors release];
  [super dealloc];
}
- (NSArray *)colors { return _colors; }
- (void)setColors:(NSArray *)colors {
  NSArray *copy = [colors copy];
  [_colors release];
  _colors = copy;
}
@end
