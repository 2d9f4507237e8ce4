// An older host that lacks one class of the hook table: the other rows install and behave.
#import "tests/Support.h"

#include <gtest/gtest.h>

#import "host/HostClasses.h"
#import "standin/substrate/Substrate.h"
#import "tests/HookTable.h"

TEST(OlderHost, InstallsTheOtherFiftyFiveRows) {
  ASSERT_EQ(DWHookRecordCount(), kExpectedHookCount);
  unsigned installed = 0;
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    DWHookRecord record = DWHookRecordAt(row);
    const bool missing = strcmp(kExpectedHooks[row].className, "SPTInfoView") == 0;
    EXPECT_EQ(record.classFound, !missing) << kExpectedHooks[row].className;
    EXPECT_EQ(record.slotFilled, !missing) << kExpectedHooks[row].className;
    installed += record.slotFilled ? 1 : 0;
  }
  EXPECT_EQ(installed, 55u);
  EXPECT_EQ(NSClassFromString(@"SPTInfoView"), Nil);
}

TEST(OlderHost, RowsAfterTheMissingClassBehave) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699", @"#224466"));
  device.Write(kIconPalette, PaletteWith({"red1"}));
  UIView *view = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)] autorelease];
  [view setBackgroundColor:[UIColor whiteColor]];
  EXPECT_EQ(Hex([view backgroundColor]), "#224466FF");
  EXPECT_EQ([[[[NSClassFromString(@"SPTIconConfiguration") alloc] init] autorelease] iconColor], [UIColor redColor]);
  UITableView *table = [[[UITableView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)] autorelease];
  [table layoutSubviews];
  EXPECT_EQ(Hex([table backgroundColor]), "#336699FF");
}
