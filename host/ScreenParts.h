// What the screen builders share: the display's geometry and the pieces every screen is made of.
#pragma once

#import "HostClasses.h"

static const DWCGFloat kScreenWidth = 375, kScreenHeight = 667;
static const DWCGFloat kStatusBarHeight = 20, kNavigationBarHeight = 44, kTabBarHeight = 49;

// A new view of `viewClass` at `frame` in `parent` (retained by the parent only).
id DWAddView(UIView *parent, Class viewClass, DWRect frame);

// A new view of `viewClass`, `height` high and full width, below the rows `list` already has.
id DWAddRow(UIView *list, Class viewClass, DWCGFloat height);

GLUELabel *DWAddLabel(UIView *parent, DWRect frame, NSString *text, UIColor *color);
SPTIconView *DWAddIcon(UIView *parent, DWRect frame, NSString *iconName, UIColor *color);
UIButton *DWAddButton(UIView *parent, Class buttonClass, DWRect frame, NSString *title);

// The status bar along the top of `root`.
UIStatusBar *DWAddStatusBar(UIView *root, BOOL lightContent);

// The host's tab bar along the bottom of `root`, with `selectedTitle`'s item selected.
GLUETabBarImplementation *DWAddTabBar(UIView *root, NSString *selectedTitle);

// Each screen's root view (autoreleased).
UIView *DWBuildLibraryScreen(void);
UIView *DWBuildNowPlayingScreen(void);
UIView *DWBuildMenuScreen(void);
UIView *DWBuildSettingsScreen(void);
UIView *DWBuildTabBarScreen(void);
UIView *DWBuildStatusBarScreen(void);
