// Settings: account and playback sections, the offline switch and the version footer.
#import "ScreenParts.h"
#import "StockColors.h"

static void AddSectionHeader(UIView *table, NSString *title) {
  UITableViewHeaderFooterView *header = DWAddRow(table, [UITableViewHeaderFooterView class], 36);
  UIView *content = [[header subviews] lastObject];  // the header's content view lies above its background
  UILabel *label = DWAddView(content, [UILabel class], DWRectMake(16, 14, 343, 18));
  [label setText:title];
  [label setTextColor:[UIColor grayColor]];
}

static UITableViewCell *AddCell(UIView *table, Class cellClass, NSString *title) {
  UITableViewCell *cell = DWAddRow(table, cellClass, 48);
  [[cell textLabel] setText:title];
  return cell;
}

static void AddNavigationCell(UIView *table, NSString *title) {
  UITableViewCell *cell = AddCell(table, [SPTNavigationTableViewCell class], title);
  DWAddIcon([cell contentView], DWRectMake(343, 12, 16, 24), @"chevron", [UIColor lightGrayColor]);
}

static void AddSettingCell(UIView *table, NSString *title, NSString *value) {
  UITableViewCell *cell = AddCell(table, [SPTSettingsTableViewCell class], title);
  [[cell textLabel] setFrame:DWRectMake(16, 0, 240, 48)];
  UILabel *detail = DWAddView([cell contentView], [UILabel class], DWRectMake(264, 14, 95, 20));
  [detail setText:value];
  [detail setTextColor:[UIColor grayColor]];
}

UIView *DWBuildSettingsScreen(void) {
  UIView *root = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, kScreenWidth, kScreenHeight)] autorelease];
  [root setBackgroundColor:DWHostGrey121212()];
  DWAddStatusBar(root, YES);  // light content over the dark screen

  UINavigationBar *bar = DWAddView(root, [UINavigationBar class],
                                   DWRectMake(0, kStatusBarHeight, kScreenWidth, kNavigationBarHeight));
  DWAddLabel(bar, DWRectMake(147, 12, 81, 20), @"Settings", [UIColor blackColor]);

  DWCGFloat top = kStatusBarHeight + kNavigationBarHeight;
  SPTTableView *table = DWAddView(root, [SPTTableView class],
                                  DWRectMake(0, top, kScreenWidth, kScreenHeight - kTabBarHeight - top));
  AddSectionHeader(table, @"ACCOUNT");
  AddNavigationCell(table, @"Account");
  AddNavigationCell(table, @"Data Saver");
  AddSectionHeader(table, @"PLAYBACK");
  AddSettingCell(table, @"Crossfade", @"5 s");
  AddSettingCell(table, @"Gapless playback", @"On");
  AddCell(table, [SPTTableViewOfflineSwitchCell class], @"Offline mode");
#ifndef DW_HOST_WITHOUT_SPT_INFO_VIEW
  SPTInfoView *info = DWAddRow(table, [SPTInfoView class], 72);
  DWAddLabel(info, DWRectMake(16, 16, 343, 20), @"Version 8.4.1", DWHostLightGreyB3B3B3());
  DWAddLabel(info, DWRectMake(16, 38, 343, 18), @"Build 8.4.1.1037", DWHostLightGreyB3B3B3());
#endif

  DWAddTabBar(root, @"Settings");
  return root;
}
