// Home above the tab bar: the carousel, a shelf, a list of playlists and the mini player.
#import "ScreenParts.h"
#import "StockColors.h"

static void AddShelfItem(UIView *shelf, Class cellClass, DWCGFloat width, NSString *title) {
  UIView *cell = DWAddView(shelf, cellClass, DWRectMake(0, 0, width, 104));
  DWAddIcon(cell, DWRectMake(width / 2 - 16, 24, 32, 32), @"playlist", DWHostLightGreyB3B3B3());
  DWAddLabel(cell, DWRectMake(8, 72, width - 16, 20), title, [UIColor whiteColor]);
}

static void AddPlaylistRow(UIView *list, NSString *title) {
  SPTTableBasedCollectionViewCell *cell = DWAddRow(list, [SPTTableBasedCollectionViewCell class], 56);
  DWAddIcon(cell, DWRectMake(16, 12, 32, 32), @"playlist", DWHostLightGreyB3B3B3());
  DWAddLabel(cell, DWRectMake(60, 18, 299, 20), title, [UIColor whiteColor]);
}

UIView *DWBuildTabBarScreen(void) {
  UIView *root = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, kScreenWidth, kScreenHeight)] autorelease];
  [root setBackgroundColor:DWHostGrey121212()];
  DWAddStatusBar(root, YES);  // light content over the dark screen

  DWCGFloat miniPlayerHeight = 48, bottom = kScreenHeight - kTabBarHeight - miniPlayerHeight;
  HUBCollectionView *home = DWAddView(root, [HUBCollectionView class],
                                      DWRectMake(0, kStatusBarHeight, kScreenWidth, bottom - kStatusBarHeight));

  SPTCeramicCarouselBackgroundView *carousel = DWAddRow(home, [SPTCeramicCarouselBackgroundView class], 160);
  UIVisualEffectView *blur = [[[UIVisualEffectView alloc] initWithFrame:DWRectMake(0, 0, 0, 0)] autorelease];
  [blur setBackgroundColor:[UIColor colorWithRed:1 green:1 blue:1 alpha:0.1]];
  [carousel setBackgroundImageBlurView:blur];
  CAGradientLayer *shadow = [[[CAGradientLayer alloc] init] autorelease];
  [shadow setColors:[NSArray arrayWithObjects:[UIColor clearColor], [UIColor colorWithRed:0 green:0 blue:0 alpha:0.6],
                                              nil]];
  [carousel setShadowGradientLayer:shadow];
  DWAddLabel(carousel, DWRectMake(16, 16, 343, 28), @"Good evening", [UIColor whiteColor]);
  DWAddLabel(carousel, DWRectMake(16, 124, 343, 20), @"Recently played", DWHostLightGreyB3B3B3());

  SPTCeramicCollectionView *shelf = DWAddRow(home, [SPTCeramicCollectionView class], 120);
  AddShelfItem(shelf, [GLUENavigationCollectionViewCell class], 112, @"Made for you");
  AddShelfItem(shelf, [GLUENavigationCollectionViewCell class], 112, @"Charts");
  AddShelfItem(shelf, [UICollectionViewCell class], 111, @"Podcasts");

  SPTCeramicVerticalCollectionView *playlists = DWAddRow(home, [SPTCeramicVerticalCollectionView class], 168);
  AddPlaylistRow(playlists, @"Chill Evenings");
  AddPlaylistRow(playlists, @"Focus Flow");
  AddPlaylistRow(playlists, @"Morning Run");

  SPTNowPlayingBarContentView *miniPlayer = DWAddView(root, [SPTNowPlayingBarContentView class],
                                                      DWRectMake(0, bottom, kScreenWidth, miniPlayerHeight));
  DWAddIcon(miniPlayer, DWRectMake(8, 8, 32, 32), @"album", DWHostLightGreyB3B3B3());
  DWAddLabel(miniPlayer, DWRectMake(48, 14, 270, 20), @"Midnight Harbour · The Low Tides", [UIColor whiteColor]);
  DWAddIcon(miniPlayer, DWRectMake(335, 12, 24, 24), @"play", [UIColor whiteColor]);

  DWAddTabBar(root, @"Home");
  return root;
}
