// The colour category the library attaches to UIColor: hex strings in, 8-bit comparison out.
#import "tests/Support.h"

#include <gtest/gtest.h>
#include <math.h>

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
- (BOOL)isSameColor:(UIColor *)other;
@end

namespace {

UIColor *FromHex(NSString *hex) { return [[[UIColor alloc] initWithHex:hex] autorelease]; }

UIColor *Grey(DWCGFloat component, DWCGFloat alpha = 1) {
  return [UIColor colorWithRed:component green:component blue:component alpha:alpha];
}

struct Components {
  DWCGFloat r, g, b, a;
};

Components Of(UIColor *color) {
  Components c = {-1, -1, -1, -1};
  [color getRed:&c.r green:&c.g blue:&c.b alpha:&c.a];
  return c;
}

DWCGFloat ByteComponent(int c) { return static_cast<DWCGFloat>(static_cast<float>(c) / 255.0f); }

}  // namespace

TEST(InitWithHex, EveryChannelValueSurvivesTheRoundTrip) {
  for (int c = 0; c < 256; ++c) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    UIColor *red = FromHex([NSString stringWithFormat:@"%02X0000", c]);
    UIColor *green = FromHex([NSString stringWithFormat:@"00%02x00", c]);
    UIColor *blue = FromHex([NSString stringWithFormat:@"0000%02X", c]);
    EXPECT_EQ(Of(red).r, ByteComponent(c));
    EXPECT_EQ(Of(green).g, ByteComponent(c));
    EXPECT_EQ(Of(blue).b, ByteComponent(c));
    EXPECT_TRUE([red isSameColor:ColorFromBytes(c, 0, 0)]) << c;
    EXPECT_TRUE([green isSameColor:ColorFromBytes(0, c, 0)]) << c;
    EXPECT_TRUE([blue isSameColor:ColorFromBytes(0, 0, c)]) << c;
    if (c < 255) {
      EXPECT_FALSE([blue isSameColor:ColorFromBytes(0, 0, c + 1)]) << c;
    }
    [pool release];
  }
}

TEST(InitWithHex, ReadsTheDigitsAfterRemovingEveryHashAndSkippingSymbols) {
  EXPECT_TRUE([FromHex(@"FFFFFF") isSameColor:[UIColor whiteColor]]);
  EXPECT_TRUE([FromHex(@"#FFFFFF") isSameColor:[UIColor whiteColor]]);
  EXPECT_TRUE([FromHex(@"FF#FF#FF") isSameColor:[UIColor whiteColor]]);
  Components shortForm = Of(FromHex(@"FFF"));  // not a shorthand: 0x000FFF
  EXPECT_EQ(shortForm.r, 0);
  EXPECT_EQ(shortForm.g, ByteComponent(15));
  EXPECT_EQ(shortForm.b, 1);
  Components eightDigits = Of(FromHex(@"80FF0000"));  // the leading byte is dropped, never alpha
  EXPECT_EQ(eightDigits.r, 1);
  EXPECT_EQ(eightDigits.g, 0);
  EXPECT_EQ(eightDigits.a, 1);
  EXPECT_TRUE([FromHex(@"$FF00FF") isSameColor:[UIColor magentaColor]]);
  EXPECT_TRUE([FromHex(@"+FF00FF") isSameColor:[UIColor magentaColor]]);
  Components trailing = Of(FromHex(@"12zz"));
  EXPECT_EQ(trailing.r, 0);
  EXPECT_EQ(trailing.b, ByteComponent(18));
}

TEST(InitWithHex, GivesNilWithoutDigitsAndReleasesTheReceiver) {
  for (NSString *hex : Items([NSArray arrayWithObjects:@"", @"#", @"##", @"xyz", @" FF", @"-12", nil])) {
    EXPECT_EQ([[UIColor alloc] initWithHex:hex], nil) << [hex UTF8String];
  }
  const int before = LiveColors();
  for (int i = 0; i < 1000; ++i) [[UIColor alloc] initWithHex:@"xyz"];
  EXPECT_EQ(LiveColors(), before);
}

TEST(IsSameColor, ComparesAllFourComponentsAtEightBitPrecision) {
  UIColor *stockGrey = FromHex(@"121212");
  EXPECT_TRUE([stockGrey isSameColor:stockGrey]);
  EXPECT_FALSE([Grey(0.0705) isSameColor:stockGrey]);  // 17.97 truncates to 17
  EXPECT_TRUE([Grey(0.0706) isSameColor:stockGrey]);   // 18.003 truncates to 18
  EXPECT_TRUE([Grey(-0.001) isSameColor:[UIColor blackColor]]);
  EXPECT_TRUE([Grey(1.002) isSameColor:[UIColor whiteColor]]);
  EXPECT_FALSE([Grey(0.999) isSameColor:[UIColor whiteColor]]);
  EXPECT_FALSE([Grey(1, 0.5) isSameColor:[UIColor whiteColor]]);
  EXPECT_FALSE([[UIColor whiteColor] isSameColor:Grey(1, 0.5)]);
}

// Out-of-range and NaN components have a defined 8-bit value: saturated, or 0 for NaN.
TEST(IsSameColor, SaturatesHugeComponentsAndReadsNaNAsZero) {
  EXPECT_TRUE([Grey(1e12) isSameColor:Grey(1e13)]);
  EXPECT_TRUE([Grey(-1e12) isSameColor:Grey(-1e13)]);
  EXPECT_FALSE([Grey(1e12) isSameColor:[UIColor whiteColor]]);
  EXPECT_TRUE([Grey(static_cast<DWCGFloat>(NAN)) isSameColor:Grey(0)]);
}

TEST(IsSameColor, IsFalseWhenEitherColourHasNoComponents) {
  UIColor *pattern = [UIColor colorWithPatternImage:[UIImage imageNamed:@"stripes"]];
  EXPECT_FALSE([pattern isSameColor:[UIColor blackColor]]);
  EXPECT_FALSE([[UIColor blackColor] isSameColor:pattern]);
  EXPECT_FALSE([pattern isSameColor:pattern]);
  // Nothing unset is compared: a colour without components is not the transparent black of clearColor.
  EXPECT_FALSE([pattern isSameColor:[UIColor clearColor]]);
  EXPECT_FALSE([[UIColor clearColor] isSameColor:pattern]);
  EXPECT_FALSE([[UIColor blackColor] isSameColor:nil]);
  EXPECT_FALSE([[UIColor clearColor] isSameColor:nil]);
}
