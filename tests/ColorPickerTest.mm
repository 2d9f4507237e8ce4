// The stand-in colour picker: the fallback for anything it cannot read, "#RRGGBB" as exact bytes.
#import "tests/Support.h"

#include <gtest/gtest.h>

#import "standin/colorpicker/ColorPicker.h"

TEST(ColorPicker, GivesTheFallbacksColourForAnAbsentOrUnreadableValue) {
  EXPECT_EQ(Hex(LCPParseColorString(nil, @"#181818")), "#181818FF");
  DWCGFloat red = -1, alpha = -1;
  [LCPParseColorString(nil, @"#181818") getRed:&red green:NULL blue:NULL alpha:&alpha];
  EXPECT_EQ(red, (DWCGFloat)24 / 255);
  EXPECT_EQ(alpha, 1);
  NSArray *unreadable = [NSArray arrayWithObjects:@"", @"#", @"#12345", @"#1234567", @"#GGGGGG", @"red", @" #123456",
                                                  @"#123456:", @"#123456:1.5", @"#123456:-1", @"#123456:0.5.5",
                                                  [NSNumber numberWithInt:0x123456], [NSArray array], nil];
  for (id value : Items(unreadable)) {
    EXPECT_EQ(Hex(LCPParseColorString(value, @"#000000")), "#000000FF") << [[value description] UTF8String];
  }
}

TEST(ColorPicker, ReadsShortAndLongHexWithOptionalAlpha) {
  EXPECT_EQ(Hex(LCPParseColorString(@"#1A2B3C", @"#000000")), "#1A2B3CFF");
  EXPECT_EQ(Hex(LCPParseColorString(@"1a2b3c", @"#000000")), "#1A2B3CFF");
  EXPECT_EQ(Hex(LCPParseColorString(@"#abc", @"#000000")), "#AABBCCFF");
  EXPECT_EQ(Hex(LCPParseColorString(@"#1A2B3C:0.5", @"#000000")), "#1A2B3C80");
  EXPECT_EQ(Hex(LCPParseColorString(@"#FFF:0", @"#000000")), "#FFFFFF00");
}
