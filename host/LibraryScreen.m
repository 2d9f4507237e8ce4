// Your Library: a sticky title, the search and shuffle header, and the recently added tracks.
#import "ScreenParts.h"
#import "StockColors.h"

// The playing track's row is highlighted: its title draws in the host's green through UIKit's
// _setColor:, which the text palette meets.
static void AddTrackRow(SPTTableView *table, NSString *title, NSString *artist, BOOL explicitTrack, BOOL playing) {
  SPTTableViewCell *cell = DWAddRow(table, [SPTTableViewCell class], 56);
  UIView *content = [cell contentView];
  [[cell textLabel] setFrame:DWRectMake(16, 8, 260, 22)];
  [[cell textLabel] setText:title];
  [[cell textLabel] setHighlightedTextColor:DWHostGreen()];
  [cell setHighlighted:playing];
  DWAddLabel(content, DWRectMake(16, 30, 260, 18), artist, DWHostLightGreyB3B3B3());
  if (explicitTrack) {
    SPTTrackAccessoryLabel *badge = DWAddView(content, [SPTTrackAccessoryLabel class], DWRectMake(291, 19, 18, 18));
    [badge setText:@"E"];
  }
  DWAddIcon(content, DWRectMake(335, 16, 24, 24), @"more", DWHostLightGreyB3B3B3());
}

UIView *DWBuildLibraryScreen(void) {
  UIView *root = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, kScreenWidth, kScreenHeight)] autorelease];
  [root setBackgroundColor:DWHostGrey121212()];
  DWAddStatusBar(root, YES);  // light content over the dark screen

  DWCGFloat headerHeight = 64;
  SPTEntityStickyHeaderView *sticky =
      DWAddView(root, [SPTEntityStickyHeaderView class], DWRectMake(0, kStatusBarHeight, kScreenWidth, headerHeight));
  DWAddLabel(sticky, DWRectMake(16, 18, 250, 28), @"Your Library", [UIColor whiteColor]);
  DWAddIcon(sticky, DWRectMake(335, 20, 24, 24), @"add", [UIColor whiteColor]);

  DWCGFloat top = kStatusBarHeight + headerHeight;
  SPTTableView *table = DWAddView(root, [SPTTableView class],
                                  DWRectMake(0, top, kScreenWidth, kScreenHeight - kTabBarHeight - top));

  SPTStationEntityPullToRefreshView *refresh = DWAddRow(table, [SPTStationEntityPullToRefreshView class], 32);
  DWAddLabel(refresh, DWRectMake(16, 8, 343, 16), @"Pull to refresh", DWHostLightGreyB3B3B3());

  SPTEntityTableHeaderView *header = DWAddRow(table, [SPTEntityTableHeaderView class], 100);
  UISearchBarTextField *search = DWAddView(header, [UISearchBarTextField class], DWRectMake(16, 8, 343, 36));
  UILabel *placeholder = DWAddView(search, [UILabel class], DWRectMake(12, 8, 319, 20));
  [placeholder setText:@"Find in Your Library"];
  [placeholder setTextColor:DWHostLightGreyB3B3B3()];
  DWAddButton(header, [GLUEButton class], DWRectMake(97, 56, 181, 36), @"SHUFFLE PLAY");

  SPTCollectionToolbarHeaderView *toolbar = DWAddRow(table, [SPTCollectionToolbarHeaderView class], 44);
  DWAddLabel(toolbar, DWRectMake(16, 12, 250, 20), @"Recently added", [UIColor whiteColor]);
  DWAddIcon(toolbar, DWRectMake(335, 10, 24, 24), @"sort", DWHostLightGreyB3B3B3());

  AddTrackRow(table, @"Midnight Harbour", @"The Low Tides", NO, NO);
  AddTrackRow(table, @"Paper Lanterns", @"Juniper Fields", YES, YES);
  AddTrackRow(table, @"Static Bloom", @"Neon Orchard", NO, NO);
  AddTrackRow(table, @"Slow River", @"Amber Coast", NO, NO);
  AddTrackRow(table, @"Glass Houses", @"The Quiet Hours", YES, NO);

  GLUEStatefulView *loadingMore = DWAddRow(table, [GLUEStatefulView class], 60);
  DWAddLabel(loadingMore, DWRectMake(16, 20, 343, 20), @"Loading more songs…", DWHostLightGreyB3B3B3());

  DWAddTabBar(root, @"Your Library");
  return root;
}
