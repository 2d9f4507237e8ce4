// No dictionary or colour outlives the hooked call that made it: not when the host runs many calls
// inside one autorelease pool, and not over a long run.
#import "tests/Support.h"

#import "host/HostClasses.h"

#include <gtest/gtest.h>

namespace {

// The theme on, every palette rule with something to do.
void WriteBusyTheme(DeviceRoot &device) {
  device.Write(kMainPrefs, SwitchOn(@"#101010", @"#202020", @"#E0E0E0"));
  device.Write(kTextPalette, PaletteWith({"red2", "blue2"}));
  device.Write(kIconPalette, PaletteWith({"green1"}));
}

// Four kinds of hooked call in turn: a repaint that meets the background filter, a label layout, a
// palette getter and a label colour setter that applies the palette.
class Workload {
 public:
  Workload()
      : cell_([[UITableViewCell alloc] initWithFrame:DWRectMake(0, 0, 320, 44)]),
        label_([[UILabel alloc] initWithFrame:DWRectMake(0, 0, 200, 20)]),
        icon_([[SPTIconConfiguration alloc] init]) {}
  ~Workload() {
    [cell_ release];
    [label_ release];
    [icon_ release];
  }
  void Run(int calls) {
    for (int i = 0; i < calls; ++i) {
      switch (i % 4) {
        case 0: [cell_ layoutSubviews]; break;
        case 1: [label_ layoutSubviews]; break;
        case 2: last_icon_color_ = [icon_ iconColor]; break;
        case 3: [label_ setTextColor:[UIColor yellowColor]]; break;
      }
    }
  }
  UITableViewCell *cell_;
  UILabel *label_;
  SPTIconConfiguration *icon_;
  UIColor *last_icon_color_ = nil;
};

}  // namespace

TEST(Memory, TenThousandCallsInOnePoolLeaveNoDictionaryOrColourBehind) {
  DeviceRoot device;
  WriteBusyTheme(device);
  Workload workload;
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  workload.Run(8);
  DWCallLogClear();  // the log keeps every argument it saw
  const int dictionaries = LiveDictionaries(), colors = LiveColors();
  workload.Run(10000);
  DWCallLogClear();
  EXPECT_EQ(LiveDictionaries(), dictionaries);
  EXPECT_EQ(LiveColors(), colors);
  // What the library handed the host is alive and right after all its pools have gone.
  EXPECT_EQ(Hex([workload.cell_ backgroundColor]), "#202020FF");
  EXPECT_EQ(Hex([workload.label_ textColor]), "#FF0000FF");  // the setter ends on the palette's last colour
  EXPECT_EQ(workload.last_icon_color_, [UIColor greenColor]);
  [pool release];
}

// A run loop's worth of calls: a pool per hundred calls, the log emptied as it goes.
TEST(Soak, AHundredThousandCallsKeepLiveObjectsFlat) {
  DeviceRoot device;
  WriteBusyTheme(device);
  Workload workload;
  DWDeviceResetReadCounts();
  int dictionaries = 0, colors = 0;
  for (int round = 0; round < 1000; ++round) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    workload.Run(100);
    DWCallLogClear();
    [pool release];
    if (round == 0) {
      dictionaries = LiveDictionaries();
      colors = LiveColors();
    }
  }
  EXPECT_EQ(LiveDictionaries(), dictionaries);
  EXPECT_EQ(LiveColors(), colors);
  EXPECT_EQ(Reads(kMainPrefs), 1000u * 25 * 7);  // the cell 5 (2 in the filter, 1 for its label), the label 2
  EXPECT_EQ(Reads(kTextPalette), 1000u * 25 * 2);
}
