// The slider and the status bar: views whose colours come from getters.
#import "UIKit.h"

#import "../foundation/CallLog.h"
#import "../foundation/TraceLog.h"

@implementation UISlider

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) _thumbImage = [[UIImage imageNamed:@"slider-thumb"] retain];
  return self;
}

- (void)dealloc {
  [_thumbImage release];
  [_trackColor release];
  [super dealloc];
}

- (UIImage *)thumbImage { return _thumbImage; }

- (UIColor *)trackColor { return _trackColor; }

// Each pass draws the track and thumb in the tint asked for the thumb image.
- (void)layoutSubviews {
  DWLogCall("UISlider", self, _cmd, nil);
  DW_TRACE_IMPL("UISlider", nil);
  if (DWTracing()) DWTraceMessageBegin(self, @selector(_effectiveTintColorWithImage:), DWTraceValue(_thumbImage));
  UIColor *tint = [self _effectiveTintColorWithImage:_thumbImage];
  if (DWTracing()) DWTraceClose(DWTraceValue(tint));
  [tint retain];
  [_trackColor release];
  _trackColor = tint;
}

// The tint the slider draws its track and thumb image with.
- (UIColor *)_effectiveTintColorWithImage:(UIImage *)image {
  DWLogCall("UISlider", self, _cmd, image);
  DW_TRACE_IMPL("UISlider", DWTraceValue(image));
  return DWTraceReturning([self tintColor]);
}

@end

@implementation UIStatusBarForegroundStyleAttributes

- (id)init { return [self initWithLightContent:NO]; }

- (id)initWithLightContent:(BOOL)light {
  if ((self = [super init]) != nil) _lightContent = light;
  return self;
}

- (UIColor *)tintColor {
  DWLogCall("UIStatusBarForegroundStyleAttributes", self, _cmd, nil);
  DW_TRACE_IMPL("UIStatusBarForegroundStyleAttributes", nil);
  return DWTraceReturning(_lightContent ? [UIColor whiteColor] : [UIColor blackColor]);
}

@end

@implementation UIStatusBar

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    _foregroundStyle = [[UIStatusBarForegroundStyleAttributes alloc] initWithLightContent:NO];
  }
  return self;
}

- (void)dealloc {
  [_foregroundStyle release];
  [_glyphColor release];
  [super dealloc];
}

- (UIColor *)glyphColor { return _glyphColor; }

// Each pass draws the time, signal and battery glyphs in the style attributes' tint.
- (void)layoutSubviews {
  DWLogCall("UIStatusBar", self, _cmd, nil);
  DW_TRACE_IMPL("UIStatusBar", nil);
  if (DWTracing()) DWTraceMessageBegin(_foregroundStyle, @selector(tintColor), nil);
  UIColor *tint = [_foregroundStyle tintColor];
  if (DWTracing()) DWTraceClose(DWTraceValue(tint));
  [tint retain];
  [_glyphColor release];
  _glyphColor = tint;
}

- (UIStatusBarForegroundStyleAttributes *)foregroundStyle { return _foregroundStyle; }

- (void)setForegroundStyle:(UIStatusBarForegroundStyleAttributes *)style {
  [style retain];
  [_foregroundStyle release];
  _foregroundStyle = style;
}

@end
