// Labels end every layout pass, while the master switch is on, in the user's "text2" colour.
#import "tests/Support.h"

#include <gtest/gtest.h>

namespace {

UILabel *Label(Class cls) { return [[[cls alloc] initWithFrame:DWRectMake(0, 0, 200, 20)] autorelease]; }

}  // namespace

TEST(LabelLayout, WithTheSwitchOffRunsTheHostLayoutAndLeavesTheColour) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOff(nil, nil, @"#EEEEEE"));
  UILabel *label = Label([UILabel class]);
  UILabel *buttonLabel = Label([UIButtonLabel class]);
  UIColor *before = [label textColor];
  DWCallLogClear();
  DWDeviceResetReadCounts();
  [label layoutSubviews];
  [buttonLabel layoutSubviews];
  EXPECT_EQ(Trace(label), std::vector<std::string>({"UILabel -layoutSubviews", "UILabel -layoutSubviews"}));
  EXPECT_EQ(Trace(buttonLabel), std::vector<std::string>({"UIButtonLabel -layoutSubviews"}));
  EXPECT_EQ([label textColor], before);
  EXPECT_EQ(Reads(kMainPrefs), 2u);
}

TEST(LabelLayout, WithTheSwitchOnSetsText2BetweenAndAfterTheHostLayout) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(nil, nil, @"#EEEEEE"));
  UILabel *label = Label([UILabel class]);
  UILabel *buttonLabel = Label([UIButtonLabel class]);
  DWCallLogClear();
  DWDeviceResetReadCounts();
  [label layoutSubviews];
  EXPECT_EQ(Reads(kMainPrefs), 2u);
  [buttonLabel layoutSubviews];
  EXPECT_EQ(Trace(label), std::vector<std::string>({"UILabel -layoutSubviews", "UILabel -_setTextColor:",
                                                    "UILabel -layoutSubviews"}));
  EXPECT_EQ(Trace(buttonLabel), std::vector<std::string>({"UIButtonLabel -layoutSubviews", "UILabel -_setTextColor:"}));
  EXPECT_EQ(Hex([label textColor]), "#EEEEEEFF");
  EXPECT_EQ(Hex([buttonLabel textColor]), "#EEEEEEFF");
}

TEST(LabelLayout, TakesBlackWithoutText2AndOverrulesTheHostOnTheNextPass) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn());
  UILabel *label = Label([UILabel class]);
  [label layoutSubviews];
  EXPECT_EQ(Hex([label textColor]), "#000000FF");
  device.Write(kMainPrefs, SwitchOn(nil, nil, @"#EEEEEE"));
  [label setTextColor:[UIColor redColor]];
  EXPECT_EQ([label textColor], [UIColor redColor]);
  [label layoutSubviews];
  EXPECT_EQ(Hex([label textColor]), "#EEEEEEFF");
  device.Write(kMainPrefs, SwitchOff(nil, nil, @"#AAAAAA"));
  [label layoutSubviews];
  EXPECT_EQ(Hex([label textColor]), "#EEEEEEFF");  // nothing restores the host's colour
}

// The text palette acts on the setter the layout pass uses: the palette's colour comes last.
TEST(LabelLayout, MeetsTheTextPaletteThroughTheLabelsOwnSetter) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(nil, nil, @"#EEEEEE"));
  device.Write(kTextPalette, PaletteWith({"cyan2"}));
  UILabel *label = Label([UILabel class]);
  [label layoutSubviews];
  EXPECT_EQ([label textColor], [UIColor cyanColor]);
}
