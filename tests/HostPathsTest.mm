// The simulated host reaches the library the way the app does: rows on classes that only inherit the
// hooked method, a highlighted row's title drawn through UIKit's _setColor:, and icons, sliders and
// status bars asking their colour getters on every layout pass.
#import "tests/Support.h"

#include <gtest/gtest.h>
#include <string.h>

#import "host/HostClasses.h"
#import "host/Screens.h"
#import "standin/substrate/Substrate.h"
#import "tests/HookTable.h"

namespace {

unsigned RowOf(const char *className, const char *selector) {
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    if (strcmp(kExpectedHooks[row].className, className) == 0 && strcmp(kExpectedHooks[row].selector, selector) == 0) {
      return row;
    }
  }
  return kExpectedHookCount;
}

void Collect(UIView *view, std::vector<UIView *> *views) {
  views->push_back(view);
  for (UIView *subview : Items([view subviews])) Collect(subview, views);
}

// Every view of freshly built screens, after one top-down layout pass of each.
std::vector<UIView *> LaidOutViews(NSArray *screens) {
  std::vector<UIView *> views;
  for (DWScreen *screen : Items(screens)) {
    [[screen root] layoutIfNeeded];
    Collect([screen root], &views);
  }
  return views;
}

}  // namespace

// SPTNavigationTableViewCell inherits UITableViewCell's layout, which row 12 replaced before row 36
// was installed: row 36's slot holds row 12's replacement, so one pass paints the cell twice.
TEST(HostPaths, RowsOnClassesThatInheritTheMethodTakeTheInheritedPath) {
  for (const char *name : {"SPTNavigationTableViewCell", "SPTContextMenuViewCancelButton"}) {
    DWHookRecord record = DWHookRecordAt(RowOf(name, "layoutSubviews"));
    EXPECT_TRUE(record.inherited) << name;
    EXPECT_TRUE(record.slotFilled) << name;
  }
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(nil, @"#224466"));
  UIView *cell = [[[NSClassFromString(@"SPTNavigationTableViewCell") alloc] initWithFrame:DWRectMake(0, 0, 320, 44)]
      autorelease];
  DWCallLogClear();
  [cell layoutSubviews];
  EXPECT_EQ(Trace(cell), std::vector<std::string>({"UITableViewCell -layoutSubviews", "UIView -setBackgroundColor:",
                                                   "UIView -setBackgroundColor:"}));
  for (DWCall *call : Calls("UIView", "setBackgroundColor:", cell)) EXPECT_EQ(Hex(call->argument), "#224466FF");
}

TEST(HostPaths, AHighlightedRowsTitleMeetsTheTextPaletteThroughSetColor) {
  DeviceRoot device;
  device.Write(kTextPalette, PaletteWith({"white2", "red2"}));
  DWCallLogClear();
  NSArray *screens = DWHostBuildScreens();
  std::vector<UIView *> highlighted;
  std::vector<UIView *> views;
  Collect([[screens objectAtIndex:0] root], &views);
  for (UIView *view : views) {
    if ([view isKindOfClass:[UILabel class]] && [(UILabel *)view isHighlighted]) highlighted.push_back(view);
  }
  ASSERT_EQ(highlighted.size(), 1u);
  std::vector<std::string> colors;
  for (DWCall *call : Calls("UILabel", "_setColor:", highlighted[0])) colors.push_back(Hex(call->argument));
  EXPECT_EQ(colors, std::vector<std::string>({"#1DB954FF", "#FFFFFFFF", "#FF0000FF", "#1DB954FF"}));
}

TEST(HostPaths, LayoutAsksTheIconSliderAndStatusBarGetters) {
  DeviceRoot device;
  DWCallLogClear();
  std::vector<UIView *> views = LaidOutViews(DWHostBuildScreens());
  unsigned icons = 0, sliders = 0, bars = 0;
  for (UIView *view : views) {
    if ([view isKindOfClass:[SPTIconView class]]) {
      ++icons;
      EXPECT_EQ([view tintColor], [[(SPTIconView *)view configuration] iconColor]);
    } else if ([view isKindOfClass:[SPTNowPlayingSlider class]]) {
      ++sliders;
      EXPECT_EQ(Calls("SPTNowPlayingSlider", "_effectiveTintColorWithImage:", view).size(), 1u);
    } else if ([view isKindOfClass:[UIStatusBar class]]) {
      ++bars;
      EXPECT_EQ(Calls("UIStatusBarForegroundStyleAttributes", "tintColor", [(UIStatusBar *)view foregroundStyle]).size(),
                1u);
    }
  }
  EXPECT_GT(icons, 0u);
  EXPECT_GT(sliders, 0u);
  EXPECT_GT(bars, 0u);
  EXPECT_GE(Calls("SPTIconConfiguration", "iconColor").size(), icons);

  device.Write(kIconPalette, PaletteWith({"yellow1"}));
  device.Write(kStatusPalette, PaletteWith({"white3"}));
  DWCallLogClear();
  for (UIView *view : LaidOutViews(DWHostBuildScreens())) {
    if ([view isKindOfClass:[SPTIconView class]]) {
      EXPECT_EQ(Hex([view tintColor]), "#FFFF00FF");
    } else if ([view isKindOfClass:[SPTNowPlayingSlider class]]) {
      EXPECT_EQ(Hex([(UISlider *)view trackColor]), "#FFFF00FF");
    } else if ([view isKindOfClass:[UIStatusBar class]]) {
      EXPECT_EQ(Hex([(UIStatusBar *)view glyphColor]), "#FFFFFFFF");
    }
  }
  EXPECT_EQ(Calls("SPTIconConfiguration", "iconColor").size(), 0u);
  EXPECT_EQ(Calls("UIStatusBarForegroundStyleAttributes", "tintColor").size(), 0u);
}
