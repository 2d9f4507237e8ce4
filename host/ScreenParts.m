#import "ScreenParts.h"
#import "StockColors.h"

id DWAddView(UIView *parent, Class viewClass, DWRect frame) {
  UIView *view = [[viewClass alloc] initWithFrame:frame];
  [parent addSubview:view];
  [view release];
  return view;
}

id DWAddRow(UIView *list, Class viewClass, DWCGFloat height) {
  DWCGFloat y = 0;
  for (UIView *row in [list subviews]) y += [row frame].height;
  return DWAddView(list, viewClass, DWRectMake(0, y, [list frame].width, height));
}

GLUELabel *DWAddLabel(UIView *parent, DWRect frame, NSString *text, UIColor *color) {
  GLUELabel *label = [[GLUELabel alloc] initWithFrame:frame text:text style:[GLUELabelStyle styleWithTextColor:color]];
  [parent addSubview:label];
  [label release];
  return label;
}

SPTIconView *DWAddIcon(UIView *parent, DWRect frame, NSString *iconName, UIColor *color) {
  SPTIconConfiguration *configuration = [SPTIconConfiguration configurationWithIconName:iconName color:color];
  SPTIconView *icon = [[SPTIconView alloc] initWithFrame:frame configuration:configuration];
  [parent addSubview:icon];
  [icon release];
  return icon;
}

UIButton *DWAddButton(UIView *parent, Class buttonClass, DWRect frame, NSString *title) {
  UIButton *button = DWAddView(parent, buttonClass, frame);
  [button setTitle:title];
  return button;
}

UIStatusBar *DWAddStatusBar(UIView *root, BOOL lightContent) {
  UIStatusBar *bar = DWAddView(root, [UIStatusBar class], DWRectMake(0, 0, kScreenWidth, kStatusBarHeight));
  [bar setForegroundStyle:[[[UIStatusBarForegroundStyleAttributes alloc] initWithLightContent:lightContent] autorelease]];
  return bar;
}

GLUETabBarImplementation *DWAddTabBar(UIView *root, NSString *selectedTitle) {
  GLUETabBarImplementation *bar = DWAddView(
      root, [GLUETabBarImplementation class], DWRectMake(0, kScreenHeight - kTabBarHeight, kScreenWidth, kTabBarHeight));
  NSArray *titles = [NSArray arrayWithObjects:@"Home", @"Search", @"Your Library", @"Settings", nil];
  NSArray *icons = [NSArray arrayWithObjects:@"home", @"search", @"library", @"settings", nil];
  DWCGFloat width = kScreenWidth / [titles count];
  NSUInteger index = 0;
  for (NSString *title in titles) {
    BOOL selected = [title isEqualToString:selectedTitle];
    UIColor *color = selected ? [UIColor whiteColor] : DWHostLightGreyB3B3B3();
    GLUETabBarItemView *item =
        DWAddView(bar, [GLUETabBarItemView class], DWRectMake(width * index, 0, width, kTabBarHeight));
    [item setSelected:selected];
    DWAddIcon(item, DWRectMake(width / 2 - 12, 5, 24, 24), [icons objectAtIndex:index], color);
    [DWAddLabel(item, DWRectMake(0, 32, width, 14), title, color) setTextAlignment:UITextAlignmentCenter];
    index++;
  }
  return bar;
}
