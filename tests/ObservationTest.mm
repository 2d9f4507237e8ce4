// Recording what the library asks of the preference files: the recorded reads are the library's
// own, in order, and recording changes nothing the library does.
#import "tests/Support.h"

#include <gtest/gtest.h>

#import "host/HostClasses.h"
#import "host/Screens.h"

namespace {

std::vector<std::string> Events(NSArray *reads) {
  std::vector<std::string> events;
  for (id read : Items(reads)) {
    NSString *text = [[read objectForKey:@"event"] isEqualToString:@"parse"]
                         ? [NSString stringWithFormat:@"parse %@", [read objectForKey:@"fallback"]]
                         : [NSString stringWithFormat:@"%@ %@ %@", [[read objectForKey:@"file"] lastPathComponent],
                                                      [read objectForKey:@"selector"], [read objectForKey:@"key"]];
    events.push_back([text UTF8String]);
  }
  return events;
}

}  // namespace

TEST(PreferenceReadRecording, NotesTheRepaintRuleKeysAndFallbackInOrder) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699"));
  UITableView *table = [[[UITableView alloc] initWithFrame:DWRectMake(0, 0, 100, 100)] autorelease];
  size_t before = [DWDevicePreferenceReads() count];
  DWDeviceRecordPreferenceReads(YES);
  [table layoutSubviews];
  DWDeviceRecordPreferenceReads(NO);
  NSArray *all = DWDevicePreferenceReads();
  NSArray *reads = [all subarrayWithRange:NSMakeRange(before, [all count] - before)];
  // The switch, the row's colour read, then the background filter's own read and switch.
  std::vector<std::string> expected = {
      "com.tervan.duskwell.plist valueForKey: custom1", "com.tervan.duskwell.plist objectForKey: tabs",
      "parse #000000", "com.tervan.duskwell.plist objectForKey: background", "parse #000000",
      "com.tervan.duskwell.plist valueForKey: custom1"};
  EXPECT_EQ(Events(reads), expected);
  EXPECT_EQ(Hex([table backgroundColor]), "#336699FF");
}

TEST(PreferenceReadRecording, LeavesWhatTheLibraryAnswersUnchanged) {
  DeviceRoot device;
  device.Write(kMainPrefs, SwitchOn(@"#336699", @"#224466", @"#EEEEEE"));
  device.Write(kTextPalette, PaletteWith({"red2", "darkgray2"}));
  std::vector<std::string> colours[2];
  for (int recording = 0; recording < 2; ++recording) {
    DWDeviceRecordPreferenceReads(recording == 1);
    UILabel *label = [[[UILabel alloc] initWithFrame:DWRectMake(0, 0, 100, 20)] autorelease];
    [label layoutSubviews];
    colours[recording].push_back(Hex([label textColor]));
    colours[recording].push_back(Hex([DWHostSampleLabelStyle() textColor]));
    UIView *view = [[[UIView alloc] initWithFrame:DWRectMake(0, 0, 10, 10)] autorelease];
    [view setBackgroundColor:[UIColor whiteColor]];
    colours[recording].push_back(Hex([view backgroundColor]));
    colours[recording].push_back(CallGetPrefBool(@"custom1") ? "on" : "off");
  }
  DWDeviceRecordPreferenceReads(NO);
  EXPECT_EQ(colours[1], colours[0]);
  EXPECT_EQ(colours[0], (std::vector<std::string>{"#FF0000FF", "#555555FF", "#224466FF", "on"}));
}
