// Which classes of the hook table the screens use: every one should appear somewhere, so that a
// look at the screens shows every hook at work.
#import "Screens.h"

#import "ScreenParts.h"

NSArray *DWHostHookedClassNames(void) {
  return [NSArray arrayWithObjects:
      @"SPTNowPlayingContainerViewController", @"GLUEStatefulView", @"SPTPopupActionButton",
      @"SPTGaiaDevicePickerView", @"SPTTableViewOfflineSwitchCell", @"SPTNowPlayingDurationViewController",
      @"SPTGaiaVolumeView", @"SPTContextMenuViewCancelButton", @"SPTNowPlayingChromecastBarView", @"SPTPopupView",
      @"UITableView", @"UITableViewCell", @"UISearchBarTextField", @"SPTNowPlayingBackgroundGradientView",
      @"SPTAsyncLoadingView", @"SPTNowPlayingBarContentView", @"_UITableViewHeaderFooterViewBackground",
      @"SPTStationEntityPullToRefreshView", @"GLUENavigationCollectionViewCell",
      @"_UITableViewHeaderFooterContentView", @"SPTEntityTableHeaderView", @"GLUEGradientView",
      @"GLUETabBarImplementation", @"GLUETabBarItemView", @"_UIBarBackground", @"SPTCeramicCollectionView",
      @"SPTTrackAccessoryLabel", @"SPTCollectionToolbarHeaderView", @"SPTCeramicVerticalCollectionView",
      @"SPTTableView", @"UITableViewCellContentView", @"UITableViewLabel", @"SPTTableViewCell", @"GLUEButton",
      @"SPTNavigationTableViewCell", @"SPTShareScreenshotBannerView", @"SPTSettingsTableViewCell",
      @"SPTActionButton", @"UICollectionViewCell", @"HUBCollectionView", @"SPTArtistNPVTrackModuleView",
      @"SPTInfoView", @"SPTTableBasedCollectionViewCell", @"SPTEntityStickyHeaderView",
      @"SPTCeramicCarouselBackgroundView", @"SPTIconConfiguration", @"UILabel", @"UIButtonLabel",
      @"GLUELabelStyle", @"UIStatusBarForegroundStyleAttributes", @"SPTNowPlayingSlider", @"UIView", nil];
}

// Only plain accessors are used: asking a hooked getter here would show up in the call log.
static void CollectClassNames(UIView *view, NSMutableSet *names) {
  [names addObject:NSStringFromClass([view class])];
  if ([view isKindOfClass:[GLUELabel class]]) [names addObject:NSStringFromClass([[(GLUELabel *)view style] class])];
  if ([view isKindOfClass:[SPTIconView class]])
    [names addObject:NSStringFromClass([[(SPTIconView *)view configuration] class])];
  if ([view isKindOfClass:[UIStatusBar class]])
    [names addObject:NSStringFromClass([[(UIStatusBar *)view foregroundStyle] class])];
  for (UIView *subview in [view subviews]) CollectClassNames(subview, names);
}

NSArray *DWHostClassesMissingFromScreens(void) {
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  NSMutableSet *used = [NSMutableSet set];
  for (DWScreen *screen in DWHostBuildScreens()) CollectClassNames([screen root], used);
  NSMutableArray *missing = [[NSMutableArray alloc] init];
  for (NSString *name in DWHostHookedClassNames())
    if (![used containsObject:name]) [missing addObject:name];
  [pool release];
  return [missing autorelease];
}
