// The status bar over a plain navigation bar: the bar the status palette recolours, on its own.
#import "ScreenParts.h"

UIView *DWBuildStatusBarScreen(void) {
  DWCGFloat height = kStatusBarHeight + kNavigationBarHeight;
  UIView *root = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, kScreenWidth, height)] autorelease];
  [root setBackgroundColor:[UIColor whiteColor]];
  DWAddStatusBar(root, NO);  // dark content over the light bar
  UINavigationBar *bar = DWAddView(root, [UINavigationBar class],
                                   DWRectMake(0, kStatusBarHeight, kScreenWidth, kNavigationBarHeight));
  DWAddLabel(bar, DWRectMake(155, 12, 65, 20), @"Search", [UIColor blackColor]);
  return root;
}
