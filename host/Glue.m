// The host's design-system pieces: gradient and label styles, gradient views, stateful views, buttons,
// the tab bar and navigation cells.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation GLUEGradientStyle

+ (GLUEGradientStyle *)styleWithTopColor:(UIColor *)top bottomColor:(UIColor *)bottom {
  GLUEGradientStyle *style = [[[self alloc] init] autorelease];
  style->_topColor = [top retain];
  style->_bottomColor = [bottom retain];
  return style;
}

- (void)dealloc {
  [_topColor release];
  [_bottomColor release];
  [super dealloc];
}

- (UIColor *)topColor { return _topColor; }
- (UIColor *)bottomColor { return _bottomColor; }

@end

@implementation GLUELabelStyle

// Secondary text unless a style says otherwise.
- (id)init {
  if ((self = [super init]) != nil) _textColor = [DWHostLightGreyB3B3B3() retain];
  return self;
}

+ (GLUELabelStyle *)styleWithTextColor:(UIColor *)color {
  GLUELabelStyle *style = [[[self alloc] init] autorelease];
  [style->_textColor release];
  style->_textColor = [color retain];
  return style;
}

- (void)dealloc {
  [_textColor release];
  [super dealloc];
}

- (UIColor *)textColor {
  DWLogCall("GLUELabelStyle", self, _cmd, nil);
  return _textColor;
}

@end

@implementation GLUELabel

- (id)initWithFrame:(DWRect)frame text:(NSString *)text style:(GLUELabelStyle *)style {
  if ((self = [super initWithFrame:frame]) != nil) {
    _style = [style retain];
    [self setText:text];
  }
  return self;
}

- (void)dealloc {
  [_style release];
  [super dealloc];
}

- (GLUELabelStyle *)style { return _style; }

// The style is applied ahead of UIKit's own pass, as when the host restyles a label before drawing.
- (void)layoutSubviews {
  if (_style != nil) [self setTextColor:[_style textColor]];
  [super layoutSubviews];
}

@end

@implementation GLUEGradientView

- (void)dealloc {
  [_style release];
  [super dealloc];
}

- (GLUEGradientStyle *)style { return _style; }

// Without a style the view draws nothing of its own.
- (void)glue_applyStyle:(GLUEGradientStyle *)style {
  DWLogCall("GLUEGradientView", self, _cmd, style);
  [style retain];
  [_style release];
  _style = style;
  [self setBackgroundColor:style != nil ? [style topColor] : [UIColor clearColor]];
}

- (void)layoutSubviews {
  DWLogCall("GLUEGradientView", self, _cmd, nil);
  [super layoutSubviews];
  if (_style != nil) [self setBackgroundColor:[_style topColor]];
}

@end

@implementation GLUEStatefulView
- (void)layoutSubviews {
  DWLogCall("GLUEStatefulView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation GLUEButton

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [_titleLabel setTextColor:[UIColor whiteColor]];
  return self;
}

- (void)layoutSubviews {
  DWLogCall("GLUEButton", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGreen()];
}

@end

@implementation GLUETabBarImplementation

// Items share the bar's width equally, in the order they were added.
- (void)layoutSubviews {
  DWLogCall("GLUETabBarImplementation", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
  NSMutableArray *items = [NSMutableArray array];
  for (UIView *view in [self subviews])
    if ([view isKindOfClass:[GLUETabBarItemView class]]) [items addObject:view];
  if ([items count] == 0) return;
  DWCGFloat width = _frame.width / [items count];
  DWCGFloat x = 0;
  for (UIView *item in items) {
    [item setFrame:DWRectMake(x, 0, width, _frame.height)];
    x += width;
  }
}

@end

@implementation GLUETabBarItemView

- (void)setSelected:(BOOL)selected { _selected = selected; }
- (BOOL)isSelected { return _selected; }

- (void)layoutSubviews {
  DWLogCall("GLUETabBarItemView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor clearColor]];
}

@end

@implementation GLUENavigationCollectionViewCell
- (void)layoutSubviews {
  DWLogCall("GLUENavigationCollectionViewCell", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey181818()];
}
@end
