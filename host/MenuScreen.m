// A track's context menu over the dimmed player, with the device picker above it.
#import "ScreenParts.h"
#import "StockColors.h"

static void AddDevice(UIView *picker, DWCGFloat y, NSString *iconName, NSString *title, UIColor *color) {
  DWAddIcon(picker, DWRectMake(16, y, 24, 24), iconName, color);
  DWAddLabel(picker, DWRectMake(52, y + 2, 291, 20), title, color);
}

static void AddMenuEntry(UITableView *menu, NSString *iconName, NSString *title) {
  UITableViewCell *cell = DWAddRow(menu, [UITableViewCell class], 52);
  [cell setBackgroundColor:DWHostGrey282828()];
  [[cell textLabel] setFrame:DWRectMake(56, 0, 303, 52)];
  [[cell textLabel] setText:title];
  [[cell textLabel] setTextColor:[UIColor whiteColor]];
  DWAddIcon([cell contentView], DWRectMake(16, 14, 24, 24), iconName, DWHostLightGreyB3B3B3());
}

UIView *DWBuildMenuScreen(void) {
  UIView *root = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, kScreenWidth, kScreenHeight)] autorelease];
  [root setBackgroundColor:[UIColor colorWithRed:0 green:0 blue:0 alpha:0.6]];
  DWAddStatusBar(root, YES);  // light content over the dark screen

  SPTGaiaDevicePickerView *picker =
      DWAddView(root, [SPTGaiaDevicePickerView class], DWRectMake(0, kStatusBarHeight, kScreenWidth, 132));
  DWAddLabel(picker, DWRectMake(16, 12, 343, 22), @"Connect to a device", [UIColor whiteColor]);
  AddDevice(picker, 48, @"phone", @"This iPhone", DWHostGreen());
  AddDevice(picker, 88, @"speaker", @"Living Room TV", [UIColor whiteColor]);

  DWCGFloat popupHeight = 456;
  SPTPopupView *popup = DWAddView(root, [SPTPopupView class],
                                  DWRectMake(0, kScreenHeight - popupHeight, kScreenWidth, popupHeight));
  DWAddLabel(popup, DWRectMake(16, 16, 343, 24), @"Midnight Harbour", [UIColor whiteColor]);
  DWAddLabel(popup, DWRectMake(16, 42, 343, 18), @"The Low Tides", DWHostLightGreyB3B3B3());

  UITableView *menu = DWAddView(popup, [UITableView class], DWRectMake(0, 72, kScreenWidth, 260));
  [menu setBackgroundColor:DWHostGrey282828()];
  AddMenuEntry(menu, @"heart", @"Like");
  AddMenuEntry(menu, @"playlist", @"Add to playlist");
  AddMenuEntry(menu, @"queue", @"Add to queue");
  AddMenuEntry(menu, @"album", @"Go to album");
  AddMenuEntry(menu, @"share", @"Share");

  DWAddButton(popup, [SPTPopupActionButton class], DWRectMake(16, 344, 343, 44), @"Download");
  DWAddButton(popup, [SPTContextMenuViewCancelButton class], DWRectMake(0, 400, kScreenWidth, 56), @"Cancel");
  return root;
}
