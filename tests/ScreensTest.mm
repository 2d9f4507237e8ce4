// Whole screens of the host, laid out top-down with the library loaded.
#import "tests/Support.h"

#include <gtest/gtest.h>

#import "host/Screens.h"

@interface UIColor (CompareAndHex)
- (BOOL)isSameColor:(UIColor *)other;
@end

namespace {

void Collect(UIView *view, NSMutableArray *views) {
  [views addObject:view];
  for (UIView *subview : Items([view subviews])) Collect(subview, views);
}

}  // namespace

TEST(Screens, UseEveryHookedClass) {
  NSArray *missing = DWHostClassesMissingFromScreens();
  EXPECT_EQ([missing count], 0u) << [[missing description] UTF8String];
}

// Every background reaches the host through the filter, so with the theme on no view may keep
// white or a stock grey.
TEST(Screens, KeepNoStockBackgroundWhileTheThemeIsOn) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#0A0A0A", @"#224466", @"#EEEEEE"));
  NSArray *stock = [NSArray arrayWithObjects:[UIColor whiteColor], ColorFromBytes(18, 18, 18),
                                             ColorFromBytes(24, 24, 24), ColorFromBytes(40, 40, 40), nil];
  unsigned views = 0;
  for (DWScreen *screen : Items(DWHostBuildScreens())) {
    [[screen root] layoutIfNeeded];
    NSMutableArray *all = [NSMutableArray array];
    Collect([screen root], all);
    for (UIView *view : Items(all)) {
      ++views;
      for (UIColor *color : Items(stock)) {
        EXPECT_FALSE([[view backgroundColor] isSameColor:color])
            << [[screen name] UTF8String] << ": " << [NSStringFromClass([view class]) UTF8String];
      }
      // Labels the host styles itself set their style's colour after their own layout.
      if ([view class] == [UILabel class] || [view class] == [UIButtonLabel class]) {
        EXPECT_EQ(Hex([(UILabel *)view textColor]), "#EEEEEEFF") << [NSStringFromClass([view class]) UTF8String];
      }
    }
  }
  EXPECT_GT(views, 52u);
}
