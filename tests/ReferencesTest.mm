// Selectors, classes and constant strings are known at load: once the library is loaded, its
// hooked calls ask the runtime for nothing by name, while every message is still dispatched.
#import "tests/Support.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <objc/runtime.h>
#include <string.h>

#import "host/HostClasses.h"

namespace {

bool gCounting = false;
unsigned gLookupsByName = 0;

// True when the caller is the loaded library.
bool FromLibrary(const void *caller) {
  Dl_info info;
  return dladdr(caller, &info) != 0 && info.dli_fname != nullptr && strstr(info.dli_fname, "duskwell.so") != nullptr;
}

template <typename Fn>
Fn Next(const char *name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void NoteLookup(const void *caller) {
  if (gCounting && FromLibrary(caller)) ++gLookupsByName;
}

}  // namespace

// Every way the runtime answers a name, seen from outside: code loaded into the process binds to
// these, which count the library's calls and ask the runtime.
extern "C" SEL sel_registerName(const char *name) {
  static auto next = Next<SEL (*)(const char *)>("sel_registerName");
  NoteLookup(__builtin_return_address(0));
  return next(name);
}
extern "C" SEL sel_getUid(const char *name) {
  static auto next = Next<SEL (*)(const char *)>("sel_getUid");
  NoteLookup(__builtin_return_address(0));
  return next(name);
}
extern "C" Class objc_lookUpClass(const char *name) {
  static auto next = Next<Class (*)(const char *)>("objc_lookUpClass");
  NoteLookup(__builtin_return_address(0));
  return next(name);
}
extern "C" id objc_get_class(const char *name) {
  static auto next = Next<id (*)(const char *)>("objc_get_class");
  NoteLookup(__builtin_return_address(0));
  return next(name);
}

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
@end

namespace {

class ReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_.Write(kMainPrefs, SwitchOn(@"#202020", @"#101010", @"#E0E0E0"));
    root_.Write(kTextPalette, PaletteWith({"white2", "red2", "yellow2"}));
    root_.Write(kIconPalette, PaletteWith({"yellow1"}));
  }
  DeviceRoot root_;
};

// One call of every kind: layout hooks (with the filter and the hex category), the suppressions, the
// getters, the label setters and the key-value lookup of a gradient view.
TEST_F(ReferencesTest, HookedCallsLookNothingUpByName) {
  // The library binds to these counters, not to the runtime's own functions.
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "sel_registerName"), reinterpret_cast<void *>(&sel_registerName));
  ASSERT_EQ(dlsym(RTLD_DEFAULT, "objc_lookUpClass"), reinterpret_cast<void *>(&objc_lookUpClass));
  NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
  UIView *table = [[[UITableView alloc] initWithFrame:DWRectMake(0, 0, 320, 480)] autorelease];
  UILabel *label = [[[UILabel alloc] initWithFrame:DWRectMake(0, 0, 100, 20)] autorelease];
  UIView *module = [[[NSClassFromString(@"SPTArtistNPVTrackModuleView") alloc] initWithFrame:DWRectMake(0, 0, 10, 10)]
      autorelease];
  id icon = [[[NSClassFromString(@"SPTIconConfiguration") alloc] init] autorelease];
  DWCallLogClear();
  DWDeviceResetReadCounts();
  gLookupsByName = 0;
  gCounting = true;
  [table layoutSubviews];
  [table setBackgroundColor:[UIColor whiteColor]];
  [label layoutSubviews];
  [label setTextColor:[UIColor blueColor]];
  [module layoutSubviews];
  id named = [icon performSelector:@selector(iconColor)];
  gCounting = false;
  EXPECT_EQ(gLookupsByName, 0u);
  // The calls did their work: the messages were dispatched and the files read.
  EXPECT_EQ(named, [UIColor yellowColor]);
  EXPECT_EQ(Hex(label.textColor), "#FFFF00FF");
  EXPECT_EQ(Hex(table.backgroundColor), "#101010FF");
  EXPECT_GE(Reads(kMainPrefs), 8u);
  EXPECT_EQ(Reads(kTextPalette), 2u);  // the label's own layout sets its text colour too
  EXPECT_EQ(Reads(kIconPalette), 1u);
  [pool release];
}

// The same constant string object answers as a string wherever the library hands it over: the
// category strips "#" with one, the palette keys are others, and GetPrefBool takes the caller's.
TEST_F(ReferencesTest, ConstantStringsAreStrings) {
  EXPECT_TRUE(CallGetPrefBool(@"custom1"));
  UIColor *grey = [[[UIColor alloc] initWithHex:@"#1#2#1#2#1#2"] autorelease];
  EXPECT_EQ(Hex(grey), "#121212FF");
}

}  // namespace
