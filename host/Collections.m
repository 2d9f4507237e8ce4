// The host's collection views and their cells, and the carousel's blurred backdrop.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation HUBCollectionView
- (void)layoutSubviews {
  DWLogCall("HUBCollectionView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTCeramicCollectionView

static const DWCGFloat kShelfSpacing = 8;

// A shelf: cells side by side along the top, each keeping its own width.
- (void)layoutSubviews {
  DWLogCall("SPTCeramicCollectionView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey181818()];
  DWCGFloat x = kShelfSpacing;
  for (UIView *cell in [self subviews]) {
    DWRect frame = [cell frame];
    frame.x = x;
    frame.y = kShelfSpacing;
    [cell setFrame:frame];
    x += frame.width + kShelfSpacing;
  }
}

@end

@implementation SPTCeramicVerticalCollectionView
- (void)layoutSubviews {
  DWLogCall("SPTCeramicVerticalCollectionView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTTableBasedCollectionViewCell

- (void)_setBackgroundColor:(UIColor *)color {
  DWLogCall("SPTTableBasedCollectionViewCell", self, _cmd, color);
  [color retain];
  [_backgroundColor release];
  _backgroundColor = color;
}

- (void)layoutSubviews {
  [super layoutSubviews];
  [self _setBackgroundColor:DWHostGrey181818()];
}

@end

@implementation SPTCeramicCarouselBackgroundView

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [self setBackgroundColor:DWHostGrey282828()];
  return self;
}

- (void)dealloc {
  [_backgroundImageBlurView release];
  [_shadowGradientLayer release];
  [super dealloc];
}

- (UIView *)backgroundImageBlurView { return _backgroundImageBlurView; }
- (CAGradientLayer *)shadowGradientLayer { return _shadowGradientLayer; }

// The blur lies behind everything else the carousel shows, and covers it whole.
- (void)setBackgroundImageBlurView:(UIView *)view {
  DWLogCall("SPTCeramicCarouselBackgroundView", self, _cmd, view);
  if (view == _backgroundImageBlurView) return;
  if (_backgroundImageBlurView != nil) {
    [_subviews removeObjectIdenticalTo:_backgroundImageBlurView];
    [_backgroundImageBlurView setValue:nil forKey:@"superview"];  // UIView has no public detach
    [_backgroundImageBlurView release];
  }
  _backgroundImageBlurView = [view retain];
  if (view == nil) return;
  [view setFrame:DWRectMake(0, 0, _frame.width, _frame.height)];
  [self addSubview:view];
  [_subviews removeObjectIdenticalTo:view];
  [_subviews insertObject:view atIndex:0];
}

// The shadow darkens the lower half, under the carousel's titles.
- (void)setShadowGradientLayer:(CAGradientLayer *)layer {
  DWLogCall("SPTCeramicCarouselBackgroundView", self, _cmd, layer);
  [layer retain];
  [_shadowGradientLayer release];
  _shadowGradientLayer = layer;
  [layer setFrame:DWRectMake(0, _frame.height / 2, _frame.width, _frame.height / 2)];
}

@end
