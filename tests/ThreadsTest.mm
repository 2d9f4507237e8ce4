// Each replacement runs on the thread the host calls it on and shares nothing with other calls: eight
// threads of hooked calls while the theme's files are replaced underneath them, each call seeing one
// whole version of the file, every read counted and every host call logged.
#import "tests/Support.h"

#import "host/HostClasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 500;

// One thread's host objects, made on the main thread as the host makes its views.
struct Views {
  UITableViewCell *cell = [[UITableViewCell alloc] initWithFrame:DWRectMake(0, 0, 320, 44)];
  UILabel *label = [[UILabel alloc] initWithFrame:DWRectMake(0, 0, 200, 20)];
  SPTIconConfiguration *icon = [[SPTIconConfiguration alloc] init];
  void Release() {
    [cell release];
    [label release];
    [icon release];
  }
};

// One round of four hooked calls; the number of answers that match no version of the theme.
int Round(Views &views) {
  int wrong = 0;
  [views.cell layoutSubviews];  // the switch, the colour, and the filter's own reads
  std::string background = Hex([views.cell backgroundColor]);
  wrong += background != "#111111FF" && background != "#222222FF";
  [views.label layoutSubviews];  // text2, then the text palette through the label's setter
  wrong += Hex([views.label textColor]) != "#FF0000FF";
  wrong += [views.icon iconColor] != [UIColor greenColor];
  [views.label setTextColor:[UIColor yellowColor]];
  wrong += Hex([views.label textColor]) != "#FF0000FF";
  return wrong;
}

}  // namespace

TEST(Threads, EightThreadsOfHookedCallsWhileTheFilesAreReplaced) {
  DeviceRoot device;
  NSDictionary *themes[2] = {[SwitchOn(@"#111111", @"#111111", @"#111111") retain],
                             [SwitchOn(@"#222222", @"#222222", @"#222222") retain]};
  device.Write(kMainPrefs, themes[0]);
  device.Write(kTextPalette, PaletteWith({"red2"}));
  device.Write(kIconPalette, PaletteWith({"green1"}));
  std::vector<Views> views(kThreads);

  // One round alone says what a round reads and logs.
  DWCallLogClear();
  DWDeviceResetReadCounts();
  ASSERT_EQ(Round(views[0]), 0);
  const unsigned mainReads = Reads(kMainPrefs), textReads = Reads(kTextPalette), iconReads = Reads(kIconPalette);
  const NSUInteger logged = [DWCallLogEntries() count];
  DWCallLogClear();
  DWDeviceResetReadCounts();

  std::atomic<int> wrong{0}, running{kThreads}, waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      GSRegisterCurrentThread();
      NSAutoreleasePool *outer = [[NSAutoreleasePool alloc] init];
      for (--waiting; waiting > 0;) std::this_thread::yield();  // all start together
      for (int round = 0; round < kRounds; ++round) {
        NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
        wrong += Round(views[t]);
        [pool release];
      }
      [outer release];
      --running;
      GSUnregisterCurrentThread();
    });
  }
  int replacements = 0;
  while (running > 0) {
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    device.Write(kMainPrefs, themes[++replacements % 2]);  // written beside and renamed into place
    [pool release];
  }
  for (std::thread &thread : threads) thread.join();

  EXPECT_EQ(wrong, 0);
  EXPECT_GT(replacements, 1);
  EXPECT_EQ(Reads(kMainPrefs), mainReads * kThreads * kRounds);
  EXPECT_EQ(Reads(kTextPalette), textReads * kThreads * kRounds);
  EXPECT_EQ(Reads(kIconPalette), iconReads * kThreads * kRounds);
  EXPECT_EQ([DWCallLogEntries() count], logged * kThreads * kRounds);
  EXPECT_EQ(Calls("UITableViewCell", "layoutSubviews").size(), static_cast<size_t>(kThreads * kRounds));
  DWCallLogClear();
  for (Views &each : views) each.Release();
  [themes[0] release];
  [themes[1] release];
}
