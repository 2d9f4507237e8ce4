// The stand-in device's Foundation as the device has it, with the library loaded: class-cluster
// placeholders, strings' boolValue, and the hooking library's call through to a superclass.
#import "tests/Raised.h"
#import "tests/Support.h"
#import "standin/foundation/Placeholder.h"
#import "standin/foundation/StringBoolValue.h"
#import "standin/substrate/SuperCall.h"

#include <gtest/gtest.h>
#include <objc/runtime.h>

#include <string>

@interface UIColor (CompareAndHex)
- (id)initWithHex:(NSString *)hex;
- (BOOL)isSameColor:(UIColor *)other;
@end

namespace {

std::string Text(NSString *string) { return string != nil ? [string UTF8String] : "(nil)"; }

std::string Raised(id receiver, SEL selector, id argument = nil) {
  NSString *raised = DWRaisedBySending(receiver, selector, argument);
  return raised != nil ? [raised UTF8String] : "";
}

TEST(Placeholders, AColoursInitialiserAnswersAnotherObjectAndThePlaceholderThenRaises) {
  id placeholder = [UIColor alloc];
  EXPECT_EQ(Text(DWPlaceholderTraceValue(placeholder)), "UIColor(placeholder)");
  UIColor *color = [placeholder initWithRed:1 green:0.5 blue:0 alpha:1];
  ASSERT_NE(color, nil);
  EXPECT_NE((id)color, placeholder);
  EXPECT_EQ(DWPlaceholderTraceValue(color), nil);
  DWCGFloat red = 0, green = 0, blue = 0, alpha = 0;
  EXPECT_TRUE([color getRed:&red green:&green blue:&blue alpha:&alpha]);
  EXPECT_EQ(green, 0.5);
  // NULL for the first out-pointer, and the others unset: the message raises before any is read.
  const std::string raised = Raised(placeholder, @selector(getRed:green:blue:alpha:));
  EXPECT_NE(raised.find("NSInvalidArgumentException: -[UIColor(placeholder) getRed:green:blue:alpha:]"),
            std::string::npos) << raised;
  EXPECT_NE(raised.find("after its initialiser answered another object"), std::string::npos) << raised;
  EXPECT_EQ(Text(DWPlaceholderTraceValue(placeholder)), "UIColor(placeholder)") << "a gone placeholder still shows";
  [color release];
}

TEST(Placeholders, OnlyAnInitialiserOrReleaseMayFollowAlloc) {
  id placeholder = [UIColor alloc];
  const std::string raised = Raised(placeholder, @selector(isSameColor:), [UIColor whiteColor]);
  EXPECT_NE(raised.find("-[UIColor(placeholder) isSameColor:]: a message to the placeholder that +[UIColor alloc] "
                        "answered; only an init"),
            std::string::npos) << raised;
  EXPECT_NE(Raised(placeholder, @selector(class)), "");
  EXPECT_EQ(Raised(placeholder, @selector(release)), "");
  EXPECT_NE(Raised(placeholder, @selector(release)), "") << "released, it is gone";
}

TEST(Placeholders, TheLibrarysCategoryInitialiserRunsOnThePlaceholderAndEndsInTheRealColour) {
  id placeholder = [UIColor alloc];
  UIColor *color = [placeholder initWithHex:@"181818"];
  ASSERT_NE(color, nil);
  EXPECT_NE((id)color, placeholder);
  EXPECT_TRUE([color isSameColor:[UIColor colorWithRed:24 / 255.0 green:24 / 255.0 blue:24 / 255.0 alpha:1]]);
  EXPECT_EQ([[UIColor alloc] initWithHex:@"xyz"], nil) << "a failing initialiser releases the placeholder";
  [color release];
}

TEST(Placeholders, DictionariesAndSubclassesOfTheClusters) {
  id placeholder = [NSDictionary alloc];
  EXPECT_EQ(Text(DWPlaceholderTraceValue(placeholder)), "NSDictionary(placeholder)");
  NSDictionary *pairs = [placeholder initWithObjectsAndKeys:@"v", @"k", @"w", @"l", nil];
  EXPECT_NE((id)pairs, placeholder);
  EXPECT_EQ(Text([pairs objectForKey:@"l"]), "w");
  EXPECT_NE(Raised(placeholder, @selector(objectForKey:), @"k"), "");
  [pairs release];
  NSMutableDictionary *mutable_ = [NSMutableDictionary alloc];
  EXPECT_EQ(DWPlaceholderTraceValue(mutable_), nil) << "only the cluster's own class answers a placeholder";
  [[mutable_ init] release];
}

TEST(StringBoolValue, FollowsTheDevicesDocumentedRuleForEveryKindOfString) {
  const struct {
    const char *text;
    BOOL value;
  } cases[] = {{"+-1", NO}, {"--1", NO}, {"0 1", NO}, {" YES", YES}, {"y", YES}, {"T", YES}, {"00001", YES},
               {"-0", NO},  {"", NO},    {"\n\t+01", YES}, {"+ 1", NO}, {"no", NO}, {"t9", YES}, {"9", YES}};
  for (const auto &c : cases) {
    NSString *made = [NSString stringWithUTF8String:c.text];
    NSMutableString *mutable_ = [NSMutableString stringWithString:made];
    NSString *unicode = [NSString stringWithFormat:@"%@", made];
    EXPECT_EQ(DWStringBoolValue(made), c.value) << c.text;
    EXPECT_EQ([made boolValue], c.value) << c.text;
    EXPECT_EQ([mutable_ boolValue], c.value) << c.text;
    EXPECT_EQ([unicode boolValue], c.value) << c.text;
  }
  EXPECT_FALSE([@"+-1" boolValue]) << "a constant string too";
  EXPECT_TRUE([@" YES" boolValue]);
}

id AnswerA(id, SEL) { return @"a"; }
id AnswerB(id, SEL) { return @"b"; }

TEST(SuperCall, FindsTheSuperclasssImplementationAtEachCall) {
  Class base = objc_allocateClassPair([NSObject class], "DWSuperCallTestBase", 0);
  ASSERT_TRUE(base != Nil);
  const SEL selector = sel_registerName("dwSuperCallTestValue");
  class_addMethod(base, selector, (IMP)AnswerA, "@@:");
  objc_registerClassPair(base);
  Class derived = objc_allocateClassPair(base, "DWSuperCallTestDerived", 0);
  ASSERT_TRUE(derived != Nil);
  objc_registerClassPair(derived);
  id object = [[derived alloc] init];
  using Fn = id (*)(id, SEL);
  IMP call = DWSuperCall(base, selector, class_getInstanceMethod(derived, selector));
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(Text(reinterpret_cast<Fn>(call)(object, selector)), "a");
  method_setImplementation(class_getInstanceMethod(base, selector), (IMP)AnswerB);
  EXPECT_EQ(Text(reinterpret_cast<Fn>(call)(object, selector)), "b") << "a later change to the superclass is seen";
  [object release];
}

}  // namespace
