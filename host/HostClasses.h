// The simulated host app's own classes: the host views, cells, styles and getters whose methods the
// library replaces, plus the few helpers (icon views, styled labels) the host draws them with. Every
// implementation the library may replace writes one call-log entry when it runs.
#pragma once

#import "standin/uikit/Effects.h"
#import "standin/uikit/UIKit.h"

// ---- Styles and icons ----

// The two colours a gradient runs between, top to bottom.
@interface GLUEGradientStyle : NSObject {
  UIColor *_topColor;
  UIColor *_bottomColor;
}
+ (GLUEGradientStyle *)styleWithTopColor:(UIColor *)top bottomColor:(UIColor *)bottom;
- (UIColor *)topColor;
- (UIColor *)bottomColor;
@end

@interface GLUELabelStyle : NSObject {
  UIColor *_textColor;
}
+ (GLUELabelStyle *)styleWithTextColor:(UIColor *)color;
- (UIColor *)textColor;
@end

@interface SPTIconConfiguration : NSObject {
  NSString *_iconName;
  UIColor *_iconColor;
}
+ (SPTIconConfiguration *)configurationWithIconName:(NSString *)name color:(UIColor *)color;
- (NSString *)iconName;
- (UIColor *)iconColor;
@end

// Draws its configuration's icon in the configuration's colour.
@interface SPTIconView : UIView {
  SPTIconConfiguration *_configuration;
}
- (id)initWithFrame:(DWRect)frame configuration:(SPTIconConfiguration *)configuration;
- (SPTIconConfiguration *)configuration;
- (UIColor *)iconTintColor;
@end

// A label whose text colour comes from its style on every layout pass.
@interface GLUELabel : UILabel {
  GLUELabelStyle *_style;
}
- (id)initWithFrame:(DWRect)frame text:(NSString *)text style:(GLUELabelStyle *)style;
- (GLUELabelStyle *)style;
@end

// ---- Design-system views ----

@interface GLUEGradientView : UIView {
  GLUEGradientStyle *_style;
}
- (void)glue_applyStyle:(GLUEGradientStyle *)style;
- (GLUEGradientStyle *)style;
@end

// Shows one of its states (content, loading, empty, error).
@interface GLUEStatefulView : UIView
@end

@interface GLUEButton : UIButton
@end

@interface GLUETabBarImplementation : UIView
@end

@interface GLUETabBarItemView : UIView {
  BOOL _selected;
}
- (void)setSelected:(BOOL)selected;
- (BOOL)isSelected;
@end

@interface GLUENavigationCollectionViewCell : UICollectionViewCell
@end

// ---- Lists and headers ----

@interface SPTTableView : UITableView
@end

@interface SPTTableViewCell : UITableViewCell
@end

@interface SPTTrackAccessoryLabel : UILabel
@end

@interface SPTEntityTableHeaderView : UIView
@end

// Keeps a gradient along its bottom edge, made the first time it is asked for.
@interface SPTEntityStickyHeaderView : UIView {
  GLUEGradientView *_bottomGradientView;
}
- (GLUEGradientView *)bottomGradientView;
@end

@interface SPTCollectionToolbarHeaderView : UIView
@end

@interface SPTStationEntityPullToRefreshView : UIView
@end

@interface SPTAsyncLoadingView : UIView
@end

// ---- Collections ----

@interface HUBCollectionView : UICollectionView
@end

@interface SPTCeramicCollectionView : UICollectionView
@end

@interface SPTCeramicVerticalCollectionView : UICollectionView
@end

@interface SPTTableBasedCollectionViewCell : UICollectionViewCell
// The background the cell gives itself, without passing through the public setter.
- (void)_setBackgroundColor:(UIColor *)color;
@end

@interface SPTCeramicCarouselBackgroundView : UIView {
  UIView *_backgroundImageBlurView;  // a UIVisualEffectView as the host makes it
  CAGradientLayer *_shadowGradientLayer;
}
- (void)setBackgroundImageBlurView:(UIView *)view;
- (UIView *)backgroundImageBlurView;
- (void)setShadowGradientLayer:(CAGradientLayer *)layer;
- (CAGradientLayer *)shadowGradientLayer;
@end

// ---- Now playing ----

// The now-playing view controllers are views here: they answer layout and colour like their views.
@interface SPTNowPlayingContainerViewController : UIView
@end

@interface SPTNowPlayingDurationViewController : UIView
@end

@interface SPTNowPlayingSlider : UISlider
@end

@interface SPTNowPlayingBackgroundGradientView : UIView
@end

@interface SPTNowPlayingChromecastBarView : UIView
@end

@interface SPTNowPlayingBarContentView : UIView
@end

// The track title module; its gradient view shades the artwork behind the title.
@interface SPTArtistNPVTrackModuleView : UIView {
  GLUEGradientView *_gradientView;
}
- (GLUEGradientView *)gradientView;
@end

@interface SPTShareScreenshotBannerView : UIView
@end

@interface SPTGaiaVolumeView : UIView
@end

@interface SPTGaiaDevicePickerView : UIView
@end

@interface SPTActionButton : UIButton
@end

// ---- Pop-ups ----

@interface SPTPopupView : UIView
@end

@interface SPTPopupActionButton : UIButton
@end

@interface SPTContextMenuViewCancelButton : UIButton
@end

// ---- Settings ----

@interface SPTSettingsTableViewCell : UITableViewCell
@end

@interface SPTNavigationTableViewCell : UITableViewCell
@end

@interface SPTTableViewOfflineSwitchCell : UITableViewCell {
  UIView *_switchView;
}
- (UIView *)switchView;
@end

#ifndef DW_HOST_WITHOUT_SPT_INFO_VIEW
@interface SPTInfoView : UIView
@end
#endif
