// Scenarios run by the model: the file forms and what the device's reader makes of each, the
// selectors scenarios use as the device knows them, and strings in both encodings.
#include "ScenarioReplay.h"
#include "Support.h"
#include "Text.h"

#include <cstdio>
#include <fstream>

namespace device {
namespace {

std::string WriteScenario(const std::string &json) {
  static int count = 0;
  const std::string path = ::testing::TempDir() + "/scenario" + std::to_string(++count) + ".json";
  std::ofstream(path) << json;
  return path;
}

// The trace of one UILabel layout pass with the master switch read from `main`.
std::string MainFileRead(const std::string &main) {
  const std::string path = WriteScenario(R"({"about": "x", "files": {"main": )" + main +
                                         R"(, "icon": "absent", "text": "absent", "status": "absent"},
    "objects": [{"name": "label", "class": "UIButtonLabel"}],
    "calls": [{"to": "label", "selector": "layoutSubviews"}]})");
  const std::string trace = RunScenario(ShippedDylib(), ArchitecturesOf(ShippedDylib()).front(), dw::scenario::ReadScenario(path));
  const size_t read = trace.find("read ");
  return read == std::string::npos ? trace : trace.substr(read, trace.find('\n', read) - read);
}

TEST(ScenarioRunTest, EachFileFormReadsAsTheDevicesReaderReadsIt) {
  const std::string path = "\"/var/mobile/Library/Preferences/com.tervan.duskwell.plist\"";
  EXPECT_EQ(MainFileRead(R"("absent")"), "read " + path + " missing");
  EXPECT_EQ(MainFileRead(R"("unreadable")"), "read " + path + " unreadable");
  EXPECT_EQ(MainFileRead(R"({"plist": {"custom1": true}})"), "read " + path + " found");
  EXPECT_EQ(MainFileRead(R"({"plist": ["custom1"]})"), "read " + path + " unreadable") << "not a dictionary";
  EXPECT_EQ(MainFileRead(R"({"base64": "YnBsaXN0MDA="})"), "read " + path + " unreadable") << "a truncated binary list";
  EXPECT_EQ(MainFileRead(R"({"base64": ""})"), "read " + path + " unreadable") << "an empty file";
  EXPECT_EQ(MainFileRead(R"({"xml": "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>"})"),
            "read " + path + " found");
}

TEST(ScenarioRunTest, TheSwitchReadsThroughTheShippedCode) {
  const std::string on = WriteScenario(R"({"about": "x", "files": {"main": {"plist": {"custom1": 1, "text2": "#FF0000"}},
    "icon": "absent", "text": "absent", "status": "absent"},
    "objects": [{"name": "label", "class": "UIButtonLabel"}],
    "calls": [{"to": "label", "selector": "layoutSubviews"}]})");
  const std::string trace = RunScenario(ShippedDylib(), ArchitecturesOf(ShippedDylib()).front(), dw::scenario::ReadScenario(on));
  EXPECT_NE(trace.find("  send NSNumber boolValue -> YES\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("  LCPParseColorString \"#FF0000\" \"#000000\" -> UIColor(1 0 0 1)\n"), std::string::npos) << trace;
  EXPECT_NE(trace.find("      impl UILabel UIButtonLabel#label _setTextColor: UIColor(1 0 0 1)\n"), std::string::npos)
      << "UIKit's setTextColor: reaches row 51's replacement, which calls through to UIKit:\n" << trace;
}

// Every selector scenarios use is in the device's table, with the C types its shape stands for.
TEST(ScenarioSelectorsTest, EachUsableSelectorIsTheDevicesWithTheSameTypes) {
  using dw::scenario::Shape;
  for (const dw::scenario::Selector &selector : dw::scenario::UsableSelectors()) {
    const SelectorInfo &info = DeviceSelector(selector);
    const std::vector<Type> none, object = {Type::object};
    const std::vector<Type> arguments = selector.shape == Shape::VoidCGColor ? std::vector<Type>{Type::cgcolor}
                                        : selector.shape == Shape::VoidBool  ? std::vector<Type>{Type::boolean}
                                        : dw::scenario::TakesArgument(selector.shape) ? object
                                                                                      : none;
    EXPECT_EQ(info.arguments, arguments) << selector.name;
    EXPECT_EQ(info.result, dw::scenario::HasResult(selector.shape) ? Type::object : Type::none) << selector.name;
  }
}

TEST(TextTest, Utf8AndUtf16RoundTrip) {
  const std::string text = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";  // a, e-acute, euro sign, an emoji
  const std::u16string wide = FromUTF8(text);
  EXPECT_EQ(wide, std::u16string(u"a\u00e9\u20ac\U0001F600"));
  EXPECT_EQ(ToUTF8(wide), text);
  EXPECT_EQ(FromUTF8("\xff" "a"), std::u16string(u"\ufffda"));
  EXPECT_EQ(FromUTF8("\xc3"), std::u16string(u"\ufffd")) << "a truncated sequence";
}

}  // namespace
}  // namespace device
