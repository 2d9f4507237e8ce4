#import "Screens.h"

#import "ScreenParts.h"
#import "StockColors.h"

@implementation DWScreen

+ (DWScreen *)screenWithName:(NSString *)aName root:(UIView *)aRoot {
  DWScreen *screen = [[[self alloc] init] autorelease];
  screen->name = [aName copy];
  screen->root = [aRoot retain];
  return screen;
}

- (void)dealloc {
  [name release];
  [root release];
  [super dealloc];
}

- (NSString *)name { return name; }
- (UIView *)root { return root; }

@end

NSArray *DWHostBuildScreens(void) {
  return [NSArray arrayWithObjects:[DWScreen screenWithName:@"Library" root:DWBuildLibraryScreen()],
                                   [DWScreen screenWithName:@"Now Playing" root:DWBuildNowPlayingScreen()],
                                   [DWScreen screenWithName:@"Menu" root:DWBuildMenuScreen()],
                                   [DWScreen screenWithName:@"Settings" root:DWBuildSettingsScreen()],
                                   [DWScreen screenWithName:@"Tab Bar" root:DWBuildTabBarScreen()],
                                   [DWScreen screenWithName:@"Status Bar" root:DWBuildStatusBarScreen()], nil];
}

id DWHostSampleIconConfiguration(void) {
  return [SPTIconConfiguration configurationWithIconName:@"heart" color:DWHostLightGreyB3B3B3()];
}

id DWHostSampleLabelStyle(void) { return [GLUELabelStyle styleWithTextColor:[UIColor whiteColor]]; }

// The host's dark screens ask for light status bar content.
id DWHostSampleStatusBarAttributes(void) {
  return [[[UIStatusBarForegroundStyleAttributes alloc] initWithLightContent:YES] autorelease];
}

id DWHostSampleSlider(void) {
  return [[[SPTNowPlayingSlider alloc] initWithFrame:DWRectMake(0, 0, 327, 16)] autorelease];
}
