// The simulated host app's screens, built the way the host builds them, for inspection and preview,
// and sample receivers of the colour getters the library answers.
#pragma once

#import "standin/uikit/UIKit.h"

@interface DWScreen : NSObject {
 @public
  NSString *name;
  UIView *root;
}
+ (DWScreen *)screenWithName:(NSString *)name root:(UIView *)root;
- (NSString *)name;
- (UIView *)root;
@end

#ifdef __cplusplus
extern "C" {
#endif

// Fresh screens, in this order: "Library", "Now Playing", "Menu", "Settings", "Tab Bar", "Status Bar".
// Frames are in points on a 375 x 667 display; nothing has been laid out yet.
NSArray *DWHostBuildScreens(void);

// One receiver for each colour getter, set up as the host sets them up.
id DWHostSampleIconConfiguration(void);
id DWHostSampleLabelStyle(void);
id DWHostSampleStatusBarAttributes(void);
id DWHostSampleSlider(void);

// The classes of the library's hook table, in table order (52 names).
NSArray *DWHostHookedClassNames(void);

// The names of DWHostHookedClassNames() that no object of freshly built screens is an instance of:
// views, label styles, icon configurations and status bar attributes alike.
NSArray *DWHostClassesMissingFromScreens(void);

#ifdef __cplusplus
}
#endif
