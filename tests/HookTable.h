// The hook table the library must install, in order: what the host app and the library agree on.
#pragma once

struct ExpectedHook {
  const char *className;
  const char *selector;
};

static const ExpectedHook kExpectedHooks[] = {
    {"SPTNowPlayingContainerViewController", "layoutSubviews"}, {"GLUEStatefulView", "layoutSubviews"},
    {"SPTPopupActionButton", "layoutSubviews"}, {"SPTGaiaDevicePickerView", "layoutSubviews"},
    {"SPTTableViewOfflineSwitchCell", "layoutSubviews"}, {"SPTNowPlayingDurationViewController", "layoutSubviews"},
    {"SPTGaiaVolumeView", "layoutSubviews"}, {"SPTContextMenuViewCancelButton", "layoutSubviews"},
    {"SPTNowPlayingChromecastBarView", "layoutSubviews"}, {"SPTPopupView", "layoutSubviews"},
    {"UITableView", "layoutSubviews"}, {"UITableViewCell", "layoutSubviews"},
    {"UISearchBarTextField", "layoutSubviews"}, {"SPTNowPlayingBackgroundGradientView", "layoutSubviews"},
    {"SPTAsyncLoadingView", "layoutSubviews"}, {"SPTNowPlayingBarContentView", "layoutSubviews"},
    {"_UITableViewHeaderFooterViewBackground", "layoutSubviews"}, {"SPTStationEntityPullToRefreshView", "layoutSubviews"},
    {"GLUENavigationCollectionViewCell", "layoutSubviews"}, {"_UITableViewHeaderFooterContentView", "layoutSubviews"},
    {"SPTEntityTableHeaderView", "layoutSubviews"}, {"GLUEGradientView", "glue_applyStyle:"},
    {"GLUEGradientView", "layoutSubviews"}, {"GLUETabBarImplementation", "layoutSubviews"},
    {"GLUETabBarItemView", "layoutSubviews"}, {"_UIBarBackground", "layoutSubviews"},
    {"SPTCeramicCollectionView", "layoutSubviews"}, {"SPTTrackAccessoryLabel", "layoutSubviews"},
    {"SPTCollectionToolbarHeaderView", "layoutSubviews"}, {"SPTCeramicVerticalCollectionView", "layoutSubviews"},
    {"SPTTableView", "layoutSubviews"}, {"UITableViewCellContentView", "layoutSubviews"},
    {"UITableViewLabel", "_setBackgroundCGColor:"}, {"SPTTableViewCell", "layoutSubviews"},
    {"GLUEButton", "layoutSubviews"}, {"SPTNavigationTableViewCell", "layoutSubviews"},
    {"SPTShareScreenshotBannerView", "layoutSubviews"}, {"SPTSettingsTableViewCell", "layoutSubviews"},
    {"SPTActionButton", "layoutSubviews"}, {"UICollectionViewCell", "layoutSubviews"},
    {"HUBCollectionView", "layoutSubviews"}, {"SPTArtistNPVTrackModuleView", "layoutSubviews"},
    {"SPTInfoView", "layoutSubviews"}, {"SPTTableBasedCollectionViewCell", "_setBackgroundColor:"},
    {"SPTEntityStickyHeaderView", "bottomGradientView"}, {"SPTCeramicCarouselBackgroundView", "setBackgroundImageBlurView:"},
    {"SPTCeramicCarouselBackgroundView", "setShadowGradientLayer:"}, {"SPTIconConfiguration", "iconColor"},
    {"UILabel", "layoutSubviews"}, {"UILabel", "_setColor:"},
    {"UILabel", "_setTextColor:"}, {"UIButtonLabel", "layoutSubviews"},
    {"GLUELabelStyle", "textColor"}, {"UIStatusBarForegroundStyleAttributes", "tintColor"},
    {"SPTNowPlayingSlider", "_effectiveTintColorWithImage:"}, {"UIView", "setBackgroundColor:"},
};

static const unsigned kExpectedHookCount = sizeof kExpectedHooks / sizeof kExpectedHooks[0];
