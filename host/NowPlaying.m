// The now-playing screen's views: container, artwork, track module, progress, device controls, and
// the mini player above the tab bar.
#import "HostClasses.h"
#import "StockColors.h"

#import "standin/foundation/CallLog.h"

@implementation SPTNowPlayingContainerViewController
- (void)layoutSubviews {
  DWLogCall("SPTNowPlayingContainerViewController", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey121212()];
}
@end

@implementation SPTNowPlayingDurationViewController
- (void)layoutSubviews {
  DWLogCall("SPTNowPlayingDurationViewController", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor clearColor]];
}
@end

@implementation SPTNowPlayingSlider
// Progress is drawn in the brand green whatever the thumb image.
- (UIColor *)_effectiveTintColorWithImage:(UIImage *)image {
  DWLogCall("SPTNowPlayingSlider", self, _cmd, image);
  return DWHostGreen();
}
@end

@implementation SPTNowPlayingBackgroundGradientView
- (void)layoutSubviews {
  DWLogCall("SPTNowPlayingBackgroundGradientView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTNowPlayingChromecastBarView
- (void)layoutSubviews {
  DWLogCall("SPTNowPlayingChromecastBarView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGreen()];
}
@end

@implementation SPTNowPlayingBarContentView
- (void)layoutSubviews {
  DWLogCall("SPTNowPlayingBarContentView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTArtistNPVTrackModuleView

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) {
    _gradientView = [[GLUEGradientView alloc] initWithFrame:DWRectMake(0, 0, frame.width, frame.height)];
    [_gradientView glue_applyStyle:[GLUEGradientStyle styleWithTopColor:DWHostGrey282828()
                                                            bottomColor:DWHostGrey121212()]];
    [self addSubview:_gradientView];
  }
  return self;
}

- (void)dealloc {
  [_gradientView release];
  [super dealloc];
}

- (GLUEGradientView *)gradientView { return _gradientView; }

// The shade always spans the module and is shown again on every pass.
- (void)layoutSubviews {
  DWLogCall("SPTArtistNPVTrackModuleView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor clearColor]];
  [_gradientView setFrame:DWRectMake(0, 0, _frame.width, _frame.height)];
  [_gradientView setHidden:NO];
}

@end

@implementation SPTShareScreenshotBannerView
- (void)layoutSubviews {
  DWLogCall("SPTShareScreenshotBannerView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTGaiaVolumeView
- (void)layoutSubviews {
  DWLogCall("SPTGaiaVolumeView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor clearColor]];
}
@end

@implementation SPTGaiaDevicePickerView
- (void)layoutSubviews {
  DWLogCall("SPTGaiaDevicePickerView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTAsyncLoadingView
// The placeholder shown until the artwork has loaded.
- (void)layoutSubviews {
  DWLogCall("SPTAsyncLoadingView", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:DWHostGrey282828()];
}
@end

@implementation SPTActionButton

- (id)initWithFrame:(DWRect)frame {
  if ((self = [super initWithFrame:frame]) != nil) [_titleLabel setTextColor:[UIColor whiteColor]];
  return self;
}

- (void)layoutSubviews {
  DWLogCall("SPTActionButton", self, _cmd, nil);
  [super layoutSubviews];
  [self setBackgroundColor:[UIColor clearColor]];
}

@end
