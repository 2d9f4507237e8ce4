// The master switch as the exported GetPrefBool reads it from the main preferences file.
#import "tests/Support.h"

#include <gtest/gtest.h>

namespace {

BOOL SwitchWith(DeviceRoot &device, id value, PlistFormat format = PlistFormat::binary) {
  device.Write(kMainPrefs, [NSDictionary dictionaryWithObject:value forKey:@"custom1"], format);
  return CallGetPrefBool(@"custom1");
}

}  // namespace

TEST(GetPrefBool, IsOffWithoutAFileOrAKey) {
  DeviceRoot device;
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  device.Write(kMainPrefs, [NSDictionary dictionaryWithObject:@"#FFFFFF" forKey:@"tabs"]);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
}

TEST(GetPrefBool, ReadsBooleansNumbersAndStringsByTheirTruth) {
  DeviceRoot device;
  EXPECT_TRUE(SwitchWith(device, [NSNumber numberWithBool:YES]));
  EXPECT_FALSE(SwitchWith(device, [NSNumber numberWithBool:NO]));
  EXPECT_TRUE(SwitchWith(device, [NSNumber numberWithInt:1]));
  EXPECT_FALSE(SwitchWith(device, [NSNumber numberWithInt:0]));
  EXPECT_TRUE(SwitchWith(device, [NSNumber numberWithInt:-3]));
  EXPECT_TRUE(SwitchWith(device, @"YES"));
  EXPECT_TRUE(SwitchWith(device, @"1"));
  EXPECT_FALSE(SwitchWith(device, @"no"));
  EXPECT_FALSE(SwitchWith(device, @""));
}

// Values without a boolean reading would raise if asked; they read as off and the host lives on.
TEST(GetPrefBool, ReadsValuesWithoutABooleanReadingAsOff) {
  DeviceRoot device;
  EXPECT_FALSE(SwitchWith(device, [NSArray arrayWithObject:[NSNumber numberWithBool:YES]]));
  EXPECT_FALSE(SwitchWith(device, [NSDictionary dictionaryWithObject:@"x" forKey:@"y"]));
  EXPECT_FALSE(SwitchWith(device, [NSDate date]));
  EXPECT_FALSE(SwitchWith(device, [NSData dataWithBytes:"\1" length:1]));
}

TEST(GetPrefBool, ReadsXMLAndBinaryFilesAlike) {
  DeviceRoot device;
  EXPECT_TRUE(SwitchWith(device, [NSNumber numberWithBool:YES], PlistFormat::xml));
  EXPECT_TRUE(SwitchWith(device, [NSNumber numberWithBool:YES], PlistFormat::binary));
}

TEST(GetPrefBool, IsOffForFilesThatHoldNoDictionary) {
  DeviceRoot device;
  device.WriteBytes(kMainPrefs, [@"not a property list" dataUsingEncoding:NSUTF8StringEncoding]);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  NSData *array = [NSPropertyListSerialization dataWithPropertyList:[NSArray arrayWithObject:@"custom1"]
                                                             format:NSPropertyListBinaryFormat_v1_0
                                                            options:0
                                                              error:NULL];
  device.WriteBytes(kMainPrefs, array);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
}

TEST(GetPrefBool, ReadsTheFileAfreshOnEveryCall) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn());
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  device.Write(kMainPrefs, SwitchOff());
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  device.Remove(kMainPrefs);
  EXPECT_FALSE(CallGetPrefBool(@"custom1"));
  EXPECT_EQ(Reads(kMainPrefs), 3u);
}
