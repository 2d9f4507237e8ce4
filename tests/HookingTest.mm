// Installation: every row of the hook table installed in order, each class looked up once just
// before its first row, and every replacement reaching the implementation that was there before.
#import "tests/Support.h"

#include <gtest/gtest.h>
#include <objc/runtime.h>

#import "standin/foundation/StandInDevice.h"
#import "standin/substrate/Substrate.h"
#import "tests/HookTable.h"
#import "tests/Preload.h"

namespace {

id NewInstance(Class cls) {
  if ([cls isSubclassOfClass:[UIView class]]) return [[[cls alloc] initWithFrame:DWRectMake(0, 0, 320, 44)] autorelease];
  return [[[cls alloc] init] autorelease];
}

// An argument of the kind each selector takes, distinct enough to be recognised in the log.
id ArgumentFor(const char *selector) {
  NSString *name = [NSString stringWithUTF8String:selector];
  if ([name isEqualToString:@"glue_applyStyle:"]) return NewInstance(NSClassFromString(@"GLUEGradientStyle"));
  if ([name isEqualToString:@"setBackgroundImageBlurView:"]) return NewInstance([UIView class]);
  if ([name isEqualToString:@"setShadowGradientLayer:"]) return NewInstance(NSClassFromString(@"CAGradientLayer"));
  if ([name isEqualToString:@"_effectiveTintColorWithImage:"]) return [UIImage imageNamed:@"probe"];
  return ColorFromBytes(12, 34, 56);
}

}  // namespace

TEST(Installation, InstallsTheFiftySixRowsInTableOrder) {
  ASSERT_EQ(DWHookRecordCount(), kExpectedHookCount);
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    DWHookRecord record = DWHookRecordAt(row);
    SCOPED_TRACE(testing::Message() << "row " << row + 1 << " " << kExpectedHooks[row].className);
    ASSERT_NE(record.className, nullptr);
    EXPECT_STREQ(record.className, kExpectedHooks[row].className);
    EXPECT_STREQ(record.selector, kExpectedHooks[row].selector);
    EXPECT_TRUE(record.slotFilled);
  }
}

TEST(Installation, LooksEachClassUpOnceJustBeforeItsFirstRow) {
  NSArray *lookups = DWDeviceClassLookups();
  ASSERT_EQ([lookups count], 52u) << [[lookups description] UTF8String];
  unsigned distinct = 0;
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    if (row == 0 || strcmp(kExpectedHooks[row].className, kExpectedHooks[row - 1].className) != 0) {
      EXPECT_STREQ([[lookups objectAtIndex:distinct] UTF8String], kExpectedHooks[row].className);
      ++distinct;
    }
    EXPECT_EQ(DWHookRecordAt(row).lookupsBefore, distinct) << "row " << row + 1;
  }
  EXPECT_EQ(distinct, 52u);
}

// With no preference files every replacement calls through, so each row must reach the
// implementation that answered before loading, with the same receiver, selector and argument.
TEST(Installation, EveryReplacementReachesThePreviousImplementation) {
  DeviceRoot device;
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    const ExpectedHook &hook = kExpectedHooks[row];
    SCOPED_TRACE(testing::Message() << "row " << row + 1 << " " << hook.className << " " << hook.selector);
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    id receiver = NewInstance(objc_getClass(hook.className));
    SEL selector = sel_registerName(hook.selector);
    DWCallLogClear();
    const BOOL takesArgument = strchr(hook.selector, ':') != nullptr;
    id argument = takesArgument ? ArgumentFor(hook.selector) : nil;
    if (strcmp(hook.selector, "_setBackgroundCGColor:") == 0) {
      [receiver performSelector:selector withObject:(id)[(UIColor *)argument CGColor]];
    } else if (takesArgument) {
      [receiver performSelector:selector withObject:argument];
    } else {
      [receiver performSelector:selector];
    }
    ASSERT_NE(OwnerBeforeLoading(row), nil);
    std::vector<DWCall *> calls = Calls([OwnerBeforeLoading(row) UTF8String], hook.selector, receiver);
    ASSERT_GE(calls.size(), 1u);
    if (strcmp(hook.selector, "_setBackgroundCGColor:") == 0) {
      EXPECT_EQ(calls[0]->rawArgument, (const void *)[(UIColor *)argument CGColor]);
    } else if (takesArgument) {
      EXPECT_EQ(calls[0]->argument, argument);
    }
    [pool release];
  }
}

// The previous implementation gets the selector the replacement received, not one it names itself:
// each row's replacement, installed under another name on a subclass, passes that name on.
TEST(Installation, PassesOnTheSelectorItReceived) {
  DeviceRoot device;
  for (unsigned row = 0; row < kExpectedHookCount; ++row) {
    const ExpectedHook &hook = kExpectedHooks[row];
    SCOPED_TRACE(testing::Message() << "row " << row + 1 << " " << hook.className << " " << hook.selector);
    NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
    Class hooked = objc_getClass(hook.className);
    SEL selector = sel_registerName(hook.selector);
    std::string aliasName = std::string("aliased_") + hook.selector;
    std::string subclassName = std::string("Aliasing") + hook.className + std::to_string(row);
    Class cls = objc_allocateClassPair(hooked, subclassName.c_str(), 0);
    SEL alias = sel_registerName(aliasName.c_str());
    Method method = class_getInstanceMethod(hooked, selector);
    class_addMethod(cls, alias, method_getImplementation(method), method_getTypeEncoding(method));
    objc_registerClassPair(cls);
    id receiver = NewInstance(cls);
    DWCallLogClear();
    if (strcmp(hook.selector, "_setBackgroundCGColor:") == 0) {
      [receiver performSelector:alias withObject:(id)[ColorFromBytes(1, 2, 3) CGColor]];
    } else if (strchr(hook.selector, ':') != nullptr) {
      [receiver performSelector:alias withObject:ArgumentFor(hook.selector)];
    } else {
      [receiver performSelector:alias];
    }
    const char *owner = [OwnerBeforeLoading(row) UTF8String];
    EXPECT_GE(Calls(owner, aliasName.c_str(), receiver).size(), 1u);
    EXPECT_EQ(Calls(owner, hook.selector, receiver).size(), 0u);
    [pool release];
  }
}
