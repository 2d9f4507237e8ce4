// The reader: a scenario checked whole into plain data, and refusals that name the member.
#include "Files.h"

namespace dw::scenario {
namespace {

const char *const kAbsent = R"("absent")";
const char *const kView = R"(, "objects": [{"name": "v", "class": "UIView"}])";

std::string CallOnView(const std::string &call) { return Refusal(ScenarioText(kAbsent, kView, "[" + call + "]")); }

TEST(ScenarioReaderTest, ReadsEveryPartInOrder) {
  const Scenario scenario = ReadScenario(WriteScenarioFile(R"({"about": "x", "install": true,
    "files": {"main": "absent", "icon": "unreadable", "text": "absent", "status": "absent"},
    "classes": [{"name": "Cell", "superclass": "UITableViewCell", "ivars": ["_gradientView"],
      "methods": [{"selector": "layoutSubviews", "steps": [
                     {"to": "self", "selector": "setBackgroundColor:", "argument": {"color": "#FF000080"}},
                     {"to": "super", "selector": "layoutSubviews"},
                     {"to": "gradient", "selector": "setHidden:", "argument": true}]},
                  {"selector": "iconColor", "returns": {"named": "darkGrayColor"}}]}],
    "objects": [{"name": "gradient", "class": "UIView"},
                {"name": "cell", "class": "Cell", "ivars": {"_gradientView": "gradient", "_other": null}}],
    "calls": [{"to": "cell", "selector": "_setBackgroundCGColor:", "argument": {"cgcolor": {"rgba": [0.5, 1, 0, 0.25]}}},
              {"to": "cell", "selector": "_effectiveTintColorWithImage:", "argument": {"image": "icon"}},
              {"to": "cell", "selector": "setTextColor:", "argument": {"object": "gradient"}}]})"));
  EXPECT_TRUE(scenario.traceInstallation);
  ASSERT_EQ(scenario.files.size(), 4u);
  EXPECT_EQ(scenario.files[0].first, "/var/mobile/Library/Preferences/com.tervan.duskwell.plist");
  EXPECT_EQ(scenario.files[1].first, "/var/mobile/Library/Preferences/com.tervan.icon.plist");
  EXPECT_EQ(scenario.files[1].second.kind, FileSpec::Unreadable);
  EXPECT_EQ(scenario.files[2].first, "/var/mobile/Library/Preferences/com.tervan.textc.plist");
  EXPECT_EQ(scenario.files[3].first, "/var/mobile/Library/Preferences/com.tervan.status.plist");

  ASSERT_EQ(scenario.classes.size(), 1u);
  const ClassSpec &cell = scenario.classes[0];
  EXPECT_EQ(cell.superclass, "UITableViewCell");
  EXPECT_EQ(cell.ivars, std::vector<std::string>{"_gradientView"});
  ASSERT_EQ(cell.methods.size(), 2u);
  const std::vector<Message> &steps = cell.methods[0].steps;
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].to, "self");
  EXPECT_EQ(steps[0].selector, FindUsableSelector("setBackgroundColor:"));
  EXPECT_EQ(steps[0].argument.kind, Value::Color);
  const std::array<double, 4> halfRed = {1, 0, 0, static_cast<float>(128) / 255.0f};
  EXPECT_EQ(steps[0].argument.rgba, halfRed) << "each byte / 255 in single precision";
  EXPECT_EQ(steps[1].to, "super");
  EXPECT_EQ(steps[1].argument.kind, Value::Null);
  EXPECT_EQ(steps[2].argument.kind, Value::Flag);
  EXPECT_TRUE(steps[2].argument.flag);
  EXPECT_EQ(cell.methods[1].returns.kind, Value::Named);
  EXPECT_EQ(cell.methods[1].returns.text, "darkGrayColor");

  ASSERT_EQ(scenario.objects.size(), 2u);
  using Ivars = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(scenario.objects[1].ivars, (Ivars{{"_gradientView", "gradient"}, {"_other", ""}}));

  ASSERT_EQ(scenario.calls.size(), 3u);
  EXPECT_TRUE(scenario.calls[0].argument.cgColor);
  EXPECT_EQ(scenario.calls[0].argument.rgba, (std::array<double, 4>{0.5, 1, 0, 0.25}));
  EXPECT_EQ(scenario.calls[1].argument.kind, Value::Image);
  EXPECT_EQ(scenario.calls[1].argument.text, "icon");
  EXPECT_EQ(scenario.calls[2].argument.kind, Value::Object);
}

TEST(ScenarioReaderTest, RefusesWhatIsNotJsonNamingWhere) {
  EXPECT_EQ(Refusal("{"), "not valid JSON: line 1, column 2: Missing '}' or object member name");
  const std::string whole = ScenarioText(kAbsent);
  EXPECT_EQ(Refusal(whole + " []"),
            "not valid JSON: line 1, column " + std::to_string(whole.size() + 2) + ": Extra non-whitespace after JSON value.");
  EXPECT_EQ(Refusal(R"({"about": "x", "about": "y"})").rfind("not valid JSON: line 1, column 16: Duplicate key: 'about'", 0), 0u);
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, ", \"objects\": [{\"name\": \"caf\xe9\", \"class\": \"UIView\"}]")),
            "not valid JSON: not UTF-8 text") << "Latin-1";
  EXPECT_EQ(Refusal(ScenarioText("{\"xml\": \"\xed\xa0\x80\"}")), "not valid JSON: not UTF-8 text") << "a surrogate";
  EXPECT_EQ(Refusal(ScenarioText("{\"plist\": \"caf\xc3\xa9 \xf0\x9f\x98\x80\"}")), "(accepted)");
  // Nesting beyond the parser's depth is a refusal like any other, not an exception of the parser's.
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_EQ(Refusal(ScenarioText("{\"plist\": {\"k\": " + nested(2000) + "}}")), "not valid JSON: nested more than 1000 deep");
  EXPECT_EQ(Refusal(ScenarioText("{\"plist\": {\"k\": " + nested(990) + "}}")), "(accepted)");
  const std::string missing = ::testing::TempDir() + "/no-such-scenario.json";
  try {
    ReadScenario(missing);
    ADD_FAILURE() << "read a file that is not there";
  } catch (const ScenarioError &e) {
    EXPECT_EQ(std::string(e.what()), missing + ": cannot be read");
  }
}

TEST(ScenarioReaderTest, RefusesMembersThatDoNotFit) {
  EXPECT_EQ(Refusal(R"({"about": "x", "files": {"main": "absent"}, "calls": []})"), "files: missing member \"icon\"");
  EXPECT_EQ(Refusal(R"({"about": "x", "files": {"main": "absent", "icon": "absent", "text": "absent", "status": "absent"}})"),
            "calls: expected an array");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "extra": 1)")), "scenario: unknown member \"extra\"");
  EXPECT_EQ(Refusal(R"({"files": {}, "calls": []})"), "scenario: missing member \"about\"");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "install": 1)")), "install: expected true or false");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "classes": {})")), "classes: expected an array");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "classes": [{"name": "A", "superclass": "NSObject", "ivars": [1]}])")),
            "classes[0].ivars: expected an array of names");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "classes": [{"name": "A", "superclass": "NSObject"},
                                                              {"name": "A", "superclass": "NSObject"}])")),
            "classes[1].name: declared twice: A");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "classes": [{"name": "A", "superclass": "NSObject",
      "methods": [{"selector": "tintColor"}, {"selector": "tintColor"}]}])")),
            "classes[0].methods[1]: declared twice: tintColor");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "classes": [{"name": "A", "superclass": "NSObject",
      "methods": [{"selector": "layoutSubviews", "returns": null}]}])")),
            "classes[0].methods[0].returns: layoutSubviews returns nothing");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "objects": [{"name": "self", "class": "UIView"}])")),
            "objects[0].name: \"self\" and \"super\" are not object names");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "objects": [{"name": "a", "class": "UIView", "ivars": {"_x": "b"}},
                                                              {"name": "b", "class": "UIView"}])")),
            "objects[0].ivars._x: expected null or the name of an object listed earlier");
  EXPECT_EQ(Refusal(ScenarioText(kAbsent, R"(, "objects": [{"name": "a", "class": "UIView"}, {"name": "a", "class": "UIView"}])")),
            "objects[1].name: declared twice: a");
}

TEST(ScenarioReaderTest, RefusesMessagesThatDoNotFitTheSelector) {
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "frame"})"), "calls[0].selector: not a selector scenarios can use: frame");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "alloc"})"), "calls[0].selector: not a selector scenarios can use: alloc")
      << "the library sends it, but it is no hooked selector";
  EXPECT_EQ(CallOnView(R"({"to": "nobody", "selector": "layoutSubviews"})"), "calls[0].to: no object named nobody");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:"})"),
            "calls[0]: missing member \"argument\" for setBackgroundColor:");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "tintColor", "argument": null})"), "calls[0].argument: tintColor takes none");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setHidden:", "argument": null})"), "calls[0].argument: expected true or false");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": true})"),
            "calls[0].argument: expected null or a one-member object");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "_setBackgroundCGColor:", "argument": {"color": "#FFFFFF"}})"),
            "calls[0].argument: expected null or {\"cgcolor\": colour}");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"cgcolor": {"color": "#FFFFFF"}}})"),
            "calls[0].argument: unknown value form \"cgcolor\"") << "a CGColor only for _setBackgroundCGColor:";
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "_setBackgroundCGColor:", "argument": {"cgcolor": {"named": "redColor"}}})"),
            "calls[0].argument.cgcolor: expected a colour: {\"color\": \"#RRGGBB\"} or {\"rgba\": [r, g, b, a]}");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setTextColor:", "argument": {"object": "w"}})"),
            "calls[0].argument: no object named w");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setTextColor:", "argument": {"image": 3}})"),
            "calls[0].argument.image: expected a string");
}

TEST(ScenarioReaderTest, RefusesColoursOutsideTheirForms) {
  for (const char *hex : {"#12345", "123456", "#12345G", "#1234567"}) {
    EXPECT_EQ(CallOnView(std::string(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"color": ")") + hex + "\"}}"),
              "calls[0].argument.color: expected \"#RRGGBB\" or \"#RRGGBBAA\"") << hex;
  }
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"rgba": [1, 0, 0]}})"),
            "calls[0].argument.rgba: expected four numbers");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"rgba": [1, 0, true, 1]}})"),
            "calls[0].argument.rgba: expected four numbers");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"named": "pinkColor"}})"),
            "calls[0].argument.named: not one of the fifteen named colours: pinkColor");
  EXPECT_EQ(CallOnView(R"({"to": "v", "selector": "setBackgroundColor:", "argument": {"named": "yellowColor"}})"), "(accepted)");
}

TEST(ScenarioReaderTest, StepsMayNameObjectsListedAnywhere) {
  const std::string classes = R"(, "classes": [{"name": "A", "superclass": "UIView", "methods": [{"selector": "layoutSubviews",
      "steps": [{"to": "later", "selector": "setTextColor:", "argument": {"object": "OBJECT"}}]}]}],
      "objects": [{"name": "later", "class": "A"}])";
  auto withArgument = [&](const std::string &object) {
    std::string text = classes;
    text.replace(text.find("OBJECT"), 6, object);
    return Refusal(ScenarioText(kAbsent, text));
  };
  EXPECT_EQ(withArgument("later"), "(accepted)");
  EXPECT_EQ(withArgument("nobody"), "classes[0].methods[0].steps[0].argument: no object named nobody");
}

TEST(ScenarioSelectorsTest, ShapesSayWhatEachMessageTakesAndAnswers) {
  EXPECT_EQ(UsableSelectors().size(), 16u);
  ASSERT_NE(FindUsableSelector("_effectiveTintColorWithImage:"), nullptr);
  EXPECT_EQ(FindUsableSelector("_effectiveTintColorWithImage:")->shape, Shape::ObjectObject);
  EXPECT_EQ(FindUsableSelector("setHidden:")->shape, Shape::VoidBool);
  EXPECT_EQ(FindUsableSelector("setHidden"), nullptr);
  for (const Selector &selector : UsableSelectors()) {
    const std::string name = selector.name;
    EXPECT_EQ(TakesArgument(selector.shape), name.back() == ':') << name;
    EXPECT_EQ(HasResult(selector.shape), name == "bottomGradientView" || name == "iconColor" || name == "textColor" ||
                                             name == "tintColor" || name == "_effectiveTintColorWithImage:")
        << name;
  }
}

}  // namespace
}  // namespace dw::scenario
