// The dark theme's backgrounds: forced on every layout pass, filtered on every setter, and the
// host's own decorations kept out while the master switch is on.
#import "tests/Support.h"

#include <gtest/gtest.h>
#include <objc/runtime.h>
#include <string.h>

#import "tests/HookTable.h"
#import "tests/Preload.h"

namespace {

struct RepaintRow {
  const char *className;
  const char *key;
  const char *fallback;
};

const RepaintRow kRepaintRows[] = {
    {"SPTNowPlayingContainerViewController", "tabs", "#000000"}, {"GLUEStatefulView", "background", "#181818"},
    {"SPTPopupActionButton", "background", "#181818"}, {"SPTGaiaDevicePickerView", "tabs", "#000000"},
    {"SPTTableViewOfflineSwitchCell", "background", "#000000"}, {"SPTNowPlayingDurationViewController", "tabs", "#000000"},
    {"SPTGaiaVolumeView", "tabs", "#000000"}, {"SPTContextMenuViewCancelButton", "tabs", "#000000"},
    {"SPTNowPlayingChromecastBarView", "tabs", "#000000"}, {"SPTPopupView", "tabs", "#000000"},
    {"UITableView", "tabs", "#000000"}, {"UITableViewCell", "background", "#181818"},
    {"UISearchBarTextField", "background", "#181818"}, {"SPTNowPlayingBackgroundGradientView", "tabs", "#000000"},
    {"SPTAsyncLoadingView", "tabs", "#000000"}, {"SPTNowPlayingBarContentView", "tabs", "#000000"},
    {"_UITableViewHeaderFooterViewBackground", "tabs", "#000000"}, {"SPTStationEntityPullToRefreshView", "tabs", "#000000"},
    {"GLUENavigationCollectionViewCell", "tabs", "#000000"}, {"_UITableViewHeaderFooterContentView", "tabs", "#000000"},
    {"SPTEntityTableHeaderView", "tabs", "#000000"}, {"GLUEGradientView", "tabs", "#000000"},
    {"GLUETabBarImplementation", "tabs", "#000000"}, {"GLUETabBarItemView", "tabs", "#000000"},
    {"_UIBarBackground", "tabs", "#000000"}, {"SPTCeramicCollectionView", "background", "#181818"},
    {"SPTTrackAccessoryLabel", "background", "#181818"}, {"SPTCollectionToolbarHeaderView", "tabs", "#000000"},
    {"SPTCeramicVerticalCollectionView", "tabs", "#000000"}, {"SPTTableView", "tabs", "#000000"},
    {"UITableViewCellContentView", "background", "#181818"}, {"SPTTableViewCell", "background", "#181818"},
    {"GLUEButton", "tabs", "#181818"}, {"SPTNavigationTableViewCell", "background", "#181818"},
    {"SPTShareScreenshotBannerView", "background", "#181818"}, {"SPTSettingsTableViewCell", "background", "#181818"},
    {"SPTActionButton", "background", "#181818"}, {"UICollectionViewCell", "background", "#181818"},
    {"HUBCollectionView", "background", "#181818"}, {"SPTInfoView", "background", "#181818"},
};

UIView *NewView(const char *className) {
  return [[[NSClassFromString([NSString stringWithUTF8String:className]) alloc]
      initWithFrame:DWRectMake(0, 0, 320, 44)] autorelease];
}

// The colours the device's settings store, as the filter and the colour picker see them.
const std::string kTabs = "#336699FF", kBackground = "#224466FF", kBlack = "#000000FF";

std::string Expected(const RepaintRow &row, bool tabsSet, bool backgroundSet) {
  const bool readsTabs = strcmp(row.key, "tabs") == 0;
  if (readsTabs && tabsSet) return kTabs;
  if (!readsTabs && backgroundSet) return kBackground;
  // The fallback: black stays black; the stock grey is filtered to "background", or black.
  if (strcmp(row.fallback, "#000000") == 0) return kBlack;
  return backgroundSet ? kBackground : kBlack;
}

void ExpectEveryRowEndsIn(bool tabsSet, bool backgroundSet) {
  for (const RepaintRow &row : kRepaintRows) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    UIView *view = NewView(row.className);
    [view layoutSubviews];
    EXPECT_EQ(Hex([view backgroundColor]), Expected(row, tabsSet, backgroundSet)) << row.className;
    [pool release];
  }
}

}  // namespace

// The class whose layoutSubviews the host had for `className` before loading: its own, or the one it
// inherits.
static const char *HostLayoutOwner(const char *className) {
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    if (strcmp(kExpectedHooks[row].className, className) == 0 && strcmp(kExpectedHooks[row].selector, "layoutSubviews") == 0) {
      return [OwnerBeforeLoading(row) UTF8String];
    }
  }
  return className;
}

TEST(RepaintOnLayout, WithTheSwitchOffTheHostLooksAsItsOwnLayoutLeftIt) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOff(@"#336699", @"#224466"));
  for (const RepaintRow &row : kRepaintRows) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    UIView *view = NewView(row.className);
    UIColor *before = [view backgroundColor];
    DWCallLogClear();
    [view layoutSubviews];
    EXPECT_EQ(Calls(HostLayoutOwner(row.className), "layoutSubviews", view).size(), 1u) << row.className;
    for (DWCall *call : Calls("UIView", "setBackgroundColor:", view)) {
      EXPECT_NE(Hex(call->argument), kTabs) << row.className;
      EXPECT_NE(Hex(call->argument), kBackground) << row.className;
    }
    if (Calls("UIView", "setBackgroundColor:", view).empty()) {
      EXPECT_EQ([view backgroundColor], before);
    }
    [pool release];
  }
}

TEST(RepaintOnLayout, EachRowEndsInItsOwnKeyOrFallback) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699", @"#224466"));
  ExpectEveryRowEndsIn(true, true);
  device.Write(kMainPrefs, SwitchOn(@"#336699", nil));
  ExpectEveryRowEndsIn(true, false);
  device.Write(kMainPrefs, SwitchOn(nil, @"#224466"));
  ExpectEveryRowEndsIn(false, true);
  device.Write(kMainPrefs, SwitchOn());
  ExpectEveryRowEndsIn(false, false);
}

// The host lays out first; the forced colour is sent afterwards by ordinary dispatch, so it meets
// the background filter; the host's own view controller setter sees it first.
TEST(RepaintOnLayout, SendsTheColourAfterTheHostLayoutThroughDispatch) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#FFFFFF", @"#224466"));
  UIView *table = NewView("UITableView");
  DWCallLogClear();
  [table layoutSubviews];
  std::vector<std::string> trace = Trace(table);
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_EQ(trace[0], "UITableView -layoutSubviews");
  EXPECT_EQ(trace[1], "UIView -setBackgroundColor:");
  // white "tabs" is stock white: the filter hands on the "background" colour instead
  EXPECT_EQ(Hex([table backgroundColor]), kBackground);
}

TEST(RepaintOnLayout, ReadsThePreferencesOnceWhenOffAndTwiceWhenOn) {
  DeviceRoot device;
  UIView *table = NewView("UITableView");
  device.Write(kMainPrefs, SwitchOff(@"#336699"));
  DWDeviceResetReadCounts();
  [table layoutSubviews];
  EXPECT_EQ(Reads(kMainPrefs), 1u);
  device.Write(kMainPrefs, SwitchOn(@"#336699"));
  DWDeviceResetReadCounts();
  [table layoutSubviews];
  EXPECT_EQ(Reads(kMainPrefs), 2u + 2u);  // the switch and "tabs", then the filter's two reads
}

TEST(RepaintOnLayout, SeesEditsAtTheNextPassAndLeavesColoursWhenSwitchedOff) {
  DeviceRoot device;
  UIView *table = NewView("UITableView");
  device.Write(kMainPrefs, SwitchOn(@"#336699"));
  [table layoutSubviews];
  EXPECT_EQ(Hex([table backgroundColor]), kTabs);
  device.Write(kMainPrefs, SwitchOn(@"#AA0000"));
  [table layoutSubviews];
  EXPECT_EQ(Hex([table backgroundColor]), "#AA0000FF");
  device.Write(kMainPrefs, SwitchOff(@"#336699"));
  [table layoutSubviews];
  EXPECT_EQ(Hex([table backgroundColor]), "#AA0000FF");
}

// A colour key holding something other than a colour string falls back like an absent key.
TEST(RepaintOnLayout, TreatsAColourKeyThatIsNoStringAsAbsent) {
  DeviceRoot device;
  UIView *table = NewView("UITableView");
  NSMutableDictionary *prefs = [NSMutableDictionary dictionaryWithDictionary:SwitchOn()];
  for (id value : Items([NSArray arrayWithObjects:[NSNumber numberWithInt:0x336699], [NSArray arrayWithObject:@"#336699"],
                                             [NSData dataWithBytes:"#336699" length:7], @"#33669", nil])) {
    [prefs setObject:value forKey:@"tabs"];
    device.Write(kMainPrefs, prefs);
    [table layoutSubviews];
    EXPECT_EQ(Hex([table backgroundColor]), kBlack);
  }
}

TEST(BackgroundFilter, ReplacesWhiteAndTheStockGreysWhileOn) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(nil, @"#224466"));
  UIView *view = NewView("UIView");
  for (UIColor *stock : Items([NSArray arrayWithObjects:[UIColor whiteColor], ColorFromBytes(18, 18, 18),
                                                   ColorFromBytes(24, 24, 24), ColorFromBytes(40, 40, 40), nil])) {
    DWCallLogClear();
    [view setBackgroundColor:stock];
    std::vector<DWCall *> calls = Calls("UIView", "setBackgroundColor:", view);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(Hex(calls[0]->argument), kBackground);
  }
}

TEST(BackgroundFilter, PassesEveryOtherColourUnchanged) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(nil, @"#224466"));
  UIView *view = NewView("UIView");
  UIColor *pattern = [UIColor colorWithPatternImage:[UIImage imageNamed:@"stripes"]];
  NSArray *others = [NSArray arrayWithObjects:[UIColor blackColor], [UIColor clearColor], [UIColor grayColor],
                                              [UIColor redColor], [UIColor colorWithWhite:1 alpha:0.5],
                                              [UIColor colorWithWhite:0.0705 alpha:1], pattern, nil];
  for (UIColor *color : Items(others)) {
    DWCallLogClear();
    [view setBackgroundColor:color];
    std::vector<DWCall *> calls = Calls("UIView", "setBackgroundColor:", view);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->argument, color) << [[color description] UTF8String];
  }
  DWCallLogClear();
  [view setBackgroundColor:nil];
  ASSERT_EQ(Calls("UIView", "setBackgroundColor:", view).size(), 1u);
  EXPECT_EQ(Calls("UIView", "setBackgroundColor:", view)[0]->argument, nil);
}

TEST(BackgroundFilter, PassesEverythingWhileOffButStillReadsTheColourFirst) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOff(nil, @"#224466"));
  UIView *view = NewView("UIView");
  DWDeviceResetReadCounts();
  [view setBackgroundColor:[UIColor whiteColor]];
  EXPECT_EQ([view backgroundColor], [UIColor whiteColor]);
  EXPECT_EQ(Reads(kMainPrefs), 2u);
}

TEST(BackgroundFilter, TurnsStockColoursBlackWithoutABackgroundKey) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699"));
  UIView *view = NewView("UIView");
  [view setBackgroundColor:[UIColor whiteColor]];
  EXPECT_EQ(Hex([view backgroundColor]), kBlack);
}

TEST(BackgroundFilter, KeepsNoObjectBeyondTheCall) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699", @"#224466"));
  UIView *table = NewView("UITableView");
  UIColor *white = [UIColor whiteColor];
  NSAutoreleasePool *warmUp = [[NSAutoreleasePool alloc] init];
  [table layoutSubviews];
  [table setBackgroundColor:white];
  [warmUp release];
  DWCallLogClear();  // the log holds the colours the host received
  const int colors = LiveColors(), dictionaries = LiveDictionaries();
  for (int i = 0; i < 200; ++i) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    [table setBackgroundColor:white];
    [table layoutSubviews];
    [pool release];
  }
  DWCallLogClear();
  EXPECT_EQ(LiveColors(), colors);
  EXPECT_EQ(LiveDictionaries(), dictionaries);
}

// ---- Suppressed decorations

namespace {

void SetSwitch(DeviceRoot &device, bool on) { device.Write(kMainPrefs, on ? SwitchOn() : SwitchOff()); }

}  // namespace

TEST(SuppressedDecorations, GradientStyleIsWithheldWhileOn) {
  DeviceRoot device;
  UIView *gradient = NewView("GLUEGradientView");
  id style = [[[NSClassFromString(@"GLUEGradientStyle") alloc] init] autorelease];
  for (bool on : {false, true}) {
    SetSwitch(device, on);
    for (id given : {style, (id)nil}) {
      DWCallLogClear();
      [gradient performSelector:@selector(glue_applyStyle:) withObject:given];
      std::vector<DWCall *> calls = Calls("GLUEGradientView", "glue_applyStyle:", gradient);
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0]->argument, on ? nil : given);
    }
  }
}

TEST(SuppressedDecorations, DroppedSettersReachTheHostOnlyWhileOff) {
  DeviceRoot device;
  struct Setter {
    const char *className, *selector;
    id argument;
  };
  UIColor *red = [UIColor redColor];
  const Setter setters[] = {
      {"SPTTableBasedCollectionViewCell", "_setBackgroundColor:", red},
      {"SPTCeramicCarouselBackgroundView", "setBackgroundImageBlurView:", NewView("UIView")},
      {"SPTCeramicCarouselBackgroundView", "setShadowGradientLayer:",
       [[[NSClassFromString(@"CAGradientLayer") alloc] init] autorelease]},
      {"UITableViewLabel", "_setBackgroundCGColor:", (id)[red CGColor]},
  };
  for (const Setter &setter : setters) {
    for (bool on : {false, true}) {
      SetSwitch(device, on);
      UIView *view = NewView(setter.className);
      DWCallLogClear();
      DWDeviceResetReadCounts();
      [view performSelector:sel_registerName(setter.selector) withObject:setter.argument];
      EXPECT_EQ(Calls(setter.className, setter.selector, view).size(), on ? 0u : 1u) << setter.selector;
      EXPECT_EQ(Reads(kMainPrefs), 1u) << setter.selector;
    }
  }
}

TEST(SuppressedDecorations, BottomGradientViewIsAbsentWhileOn) {
  DeviceRoot device;
  UIView *header = NewView("SPTEntityStickyHeaderView");
  SetSwitch(device, false);
  id hostGradient = [header performSelector:@selector(bottomGradientView)];
  EXPECT_NE(hostGradient, nil);
  SetSwitch(device, true);
  DWCallLogClear();
  EXPECT_EQ([header performSelector:@selector(bottomGradientView)], nil);
  EXPECT_TRUE(Calls("SPTEntityStickyHeaderView", "bottomGradientView").empty());
  SetSwitch(device, false);
  EXPECT_EQ([header performSelector:@selector(bottomGradientView)], hostGradient);
}

TEST(SuppressedDecorations, TrackModuleGradientIsHiddenOnEveryPassWhileOn) {
  DeviceRoot device;
  UIView *module = NewView("SPTArtistNPVTrackModuleView");
  SetSwitch(device, false);
  DWCallLogClear();
  [module layoutSubviews];
  EXPECT_EQ(Calls("SPTArtistNPVTrackModuleView", "layoutSubviews", module).size(), 2u);
  UIView *gradient = [module valueForKey:@"_gradientView"];
  ASSERT_NE(gradient, nil);
  EXPECT_FALSE([gradient isHidden]);

  SetSwitch(device, true);
  DWCallLogClear();
  [module layoutSubviews];
  EXPECT_EQ(Calls("SPTArtistNPVTrackModuleView", "layoutSubviews", module).size(), 1u);
  EXPECT_TRUE([gradient isHidden]);

  SetSwitch(device, false);
  DWCallLogClear();
  [module layoutSubviews];
  for (DWCall *call : Calls("UIView", "setHidden:", gradient)) EXPECT_FALSE([call->argument boolValue]);
}

// A view without a "_gradientView" key reached by the same replacement: nothing happens, nothing
// raises. (The zeroed padding stands where the host's own layout expects its instance variables.)
TEST(SuppressedDecorations, AViewWithoutAGradientKeyIsLeftAlone) {
  DeviceRoot device;
  SetSwitch(device, true);
  Class cls = objc_allocateClassPair([UIView class], "PlainModuleView", 0);
  class_addIvar(cls, "padding", 1024, 4, "[1024c]");
  IMP replacement = class_getMethodImplementation(NSClassFromString(@"SPTArtistNPVTrackModuleView"),
                                                  @selector(layoutSubviews));
  class_addMethod(cls, sel_registerName("moduleLayout"), replacement, "v@:");
  objc_registerClassPair(cls);
  UIView *plain = [[[cls alloc] initWithFrame:DWRectMake(0, 0, 10, 10)] autorelease];
  [plain performSelector:sel_registerName("moduleLayout")];
  EXPECT_FALSE([plain isHidden]);
}
