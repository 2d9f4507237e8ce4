// Class clusters in the model: +alloc of UIColor and NSDictionary answers a placeholder, the
// initialiser another object, and the placeholder is gone after it; any other message to a
// placeholder, and any message to one that is gone, stops the run naming it.
#include "DeviceLibraries.h"
#include "ObjCRuntime.h"
#include "TraceWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace device {
namespace {

const char kPlist[] =
    "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>white1</key><true/></dict></plist>";

class PlaceholderTest : public ::testing::Test {
 protected:
  PlaceholderTest() : machine_(Arch::arm64), rt_(machine_, trace_) {
    InstallFoundation(rt_, [](const std::string &path) {
      FileContents file;
      if (path == "/var/mobile/prefs.plist") {
        file.state = FileContents::present;
        file.bytes.assign(kPlist, kPlist + sizeof kPlist - 1);
      }
      return file;
    });
    InstallUIKit(rt_);
  }

  uint64_t Alloc(const std::string &cls) { return rt_.Send("", rt_.Class(cls).handle, "alloc").word; }
  uint64_t InitColor(uint64_t receiver) {
    return rt_.Send("", receiver, "initWithRed:green:blue:alpha:",
                    {Value::Real(1), Value::Real(0.5), Value::Real(0), Value::Real(1)}).word;
  }
  uint64_t InitDictionary(uint64_t receiver, const std::string &path) {
    return rt_.Send("", receiver, "initWithContentsOfFile:", {Value::Word(rt_.NewStringUTF8(path, false))}).word;
  }
  // The message of the RunError that `send` throws, or "" when it throws none.
  template <typename F>
  static std::string Refusal(F send) {
    try {
      send();
    } catch (const RunError &error) {
      return error.what();
    }
    return "";
  }

  Machine machine_;
  Trace trace_;
  Runtime rt_;
};

TEST_F(PlaceholderTest, AColoursInitialiserAnswersAnotherObjectAndThePlaceholderIsGone) {
  const uint64_t placeholder = Alloc("UIColor");
  EXPECT_EQ(trace_.Object(placeholder, rt_), "UIColor(placeholder)");
  const uint64_t color = InitColor(placeholder);
  ASSERT_NE(color, 0u);
  EXPECT_NE(color, placeholder);
  EXPECT_EQ(trace_.Object(color, rt_), "UIColor(1 0.5 0 1)");
  EXPECT_EQ(rt_.Find(placeholder), nullptr);
  EXPECT_TRUE(rt_.IsSpentPlaceholder(placeholder));
  EXPECT_EQ(trace_.Object(placeholder, rt_), "UIColor(placeholder)") << "a kept placeholder still shows as one";
  const std::string refusal = Refusal([&] { rt_.Send("", placeholder, "getRed:green:blue:alpha:", {Value::Word(0), Value::Word(0), Value::Word(0), Value::Word(0)}); });
  EXPECT_NE(refusal.find("the placeholder that +[UIColor alloc] answered, gone"), std::string::npos) << refusal;
  EXPECT_NE(Refusal([&] { rt_.Release(placeholder); }).find("placeholder"), std::string::npos);
}

TEST_F(PlaceholderTest, APlaceholderTakesNoMessageButAnInitialiserOrRelease) {
  const uint64_t placeholder = Alloc("UIColor");
  const std::string refusal = Refusal([&] { rt_.Send("", placeholder, "isSameColor:", {Value::Word(0)}); });
  EXPECT_NE(refusal.find("-[UIColor(placeholder) isSameColor:]"), std::string::npos) << refusal;
  EXPECT_NE(Refusal([&] { rt_.Send("", placeholder, "respondsToSelector:", {Value::Word(rt_.Selector("boolValue"))}); }),
            "");
  EXPECT_NE(Refusal([&] { rt_.Retain(placeholder); }).find("-[UIColor(placeholder) retain]"), std::string::npos)
      << "objc_retain, which the library calls directly, too";
  EXPECT_NE(Refusal([&] { rt_.Autorelease(placeholder); }), "");
  ASSERT_NE(rt_.Find(placeholder), nullptr) << "a refused message leaves the placeholder as it was";
  const size_t before = rt_.LiveObjectCount();
  rt_.Send("", placeholder, "release");
  EXPECT_EQ(rt_.LiveObjectCount(), before - 1);
  EXPECT_TRUE(rt_.IsSpentPlaceholder(placeholder));
}

TEST_F(PlaceholderTest, ADictionarysInitialiserAnswersTheFilesDictionaryOrNil) {
  const size_t before = rt_.LiveObjectCount();
  const uint64_t placeholder = Alloc("NSDictionary");
  EXPECT_EQ(trace_.Object(placeholder, rt_), "NSDictionary(placeholder)");
  const uint64_t dictionary = InitDictionary(placeholder, "/var/mobile/prefs.plist");
  ASSERT_NE(dictionary, 0u);
  EXPECT_NE(dictionary, placeholder);
  EXPECT_EQ(trace_.Object(dictionary, rt_), "NSDictionary");
  EXPECT_TRUE(rt_.IsSpentPlaceholder(placeholder));
  EXPECT_NE(rt_.Send("", dictionary, "objectForKey:", {Value::Word(rt_.NewStringUTF8("white1", false))}).word, 0u);
  EXPECT_NE(Refusal([&] { rt_.Send("", placeholder, "objectForKey:", {Value::Word(0)}); }).find("gone"),
            std::string::npos);

  const uint64_t missing = Alloc("NSDictionary");
  EXPECT_EQ(InitDictionary(missing, "/var/mobile/none.plist"), 0u);
  EXPECT_TRUE(rt_.IsSpentPlaceholder(missing)) << "a failing initialiser releases the placeholder";
  rt_.Release(dictionary);
  EXPECT_EQ(rt_.LiveObjectCount(), before + 3) << "only the two paths and the key made here are left";
}

TEST_F(PlaceholderTest, ASubclassOfAClusterAllocatesItsOwnInstance) {
  rt_.DefineClass("DWTestColor", "UIColor");
  const uint64_t made = Alloc("DWTestColor");
  EXPECT_FALSE(rt_.Get(made, "test").placeholder);
  EXPECT_EQ(InitColor(made), made);
  EXPECT_EQ(trace_.Object(made, rt_), "UIColor(1 0.5 0 1)");
}

TEST_F(PlaceholderTest, InitAloneAnswersAnEmptyInstanceOfTheCluster) {
  const uint64_t placeholder = Alloc("NSDictionary");
  const uint64_t empty = rt_.Send("", placeholder, InternalSelector("init", {}, Type::object), {}).word;
  ASSERT_NE(empty, placeholder);
  EXPECT_EQ(rt_.Get(empty, "test").type, Object::Type::dictionary);
  EXPECT_TRUE(rt_.IsSpentPlaceholder(placeholder));
}

}  // namespace
}  // namespace device
