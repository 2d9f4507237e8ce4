#include "Reading.h"

#include <json/reader.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>

namespace dw::scenario {
namespace {

const char *const kPreferences = "/var/mobile/Library/Preferences/";
const char *const kFileNames[][2] = {{"main", "com.tervan.duskwell.plist"},
                                     {"icon", "com.tervan.icon.plist"},
                                     {"text", "com.tervan.textc.plist"},
                                     {"status", "com.tervan.status.plist"}};
const char *const kNamedColors[] = {"whiteColor",   "grayColor",   "lightGrayColor", "blackColor",    "blueColor",
                                    "brownColor",   "clearColor",  "cyanColor",      "darkGrayColor", "greenColor",
                                    "magentaColor", "orangeColor", "purpleColor",    "redColor",      "yellowColor"};

std::string At(const std::string &where, size_t index) { return where + "[" + std::to_string(index) + "]"; }

void OnlyMembers(const Json::Value &object, const std::string &where, std::initializer_list<const char *> allowed) {
  Require(object.isObject(), where, "expected an object");
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool known = false;
    for (const char *name : allowed) known = known || it.name() == name;
    Require(known, where, "unknown member \"" + it.name() + "\"");
  }
}

std::string String(const Json::Value &object, const char *key, const std::string &where) {
  Require(object.isMember(key), where, std::string("missing member \"") + key + "\"");
  Require(object[key].isString(), where + "." + key, "expected a string");
  return object[key].asString();
}

// An optional member that holds an array; none when it is left out.
const Json::Value &Array(const Json::Value &object, const char *key, const std::string &where,
                         const char *expected = "expected an array") {
  static const Json::Value none(Json::arrayValue);
  if (!object.isMember(key)) return none;
  Require(object[key].isArray(), where, expected);
  return object[key];
}

bool IsHexColor(const std::string &text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

Value ReadColor(const Json::Value &form, const std::string &where) {
  Value value;
  value.kind = Value::Color;
  value.rgba = {0, 0, 0, 1};
  if (form.isObject() && form.isMember("color")) {
    OnlyMembers(form, where, {"color"});
    const std::string hex = String(form, "color", where);
    Require(IsHexColor(hex), where + ".color", "expected \"#RRGGBB\" or \"#RRGGBBAA\"");
    for (size_t i = 0; i < (hex.size() - 1) / 2; ++i) {
      const unsigned byte = static_cast<unsigned>(std::stoul(hex.substr(1 + 2 * i, 2), nullptr, 16));
      value.rgba[i] = static_cast<float>(byte) / 255.0f;
    }
  } else if (form.isObject() && form.isMember("rgba")) {
    OnlyMembers(form, where, {"rgba"});
    const Json::Value &rgba = form["rgba"];
    Require(rgba.isArray() && rgba.size() == 4, where + ".rgba", "expected four numbers");
    for (Json::ArrayIndex i = 0; i < 4; ++i) {
      Require(rgba[i].isNumeric(), where + ".rgba", "expected four numbers");
      value.rgba[i] = rgba[i].asDouble();
    }
  } else {
    throw Problem{where, "expected a colour: {\"color\": \"#RRGGBB\"} or {\"rgba\": [r, g, b, a]}"};
  }
  return value;
}

Value ReadValue(const Json::Value &form, Shape shape, const std::string &where) {
  Value value;
  if (shape == Shape::VoidBool) {
    Require(form.isBool(), where, "expected true or false");
    value.kind = Value::Flag;
    value.flag = form.asBool();
    return value;
  }
  if (form.isNull()) return value;
  Require(form.isObject() && form.size() == 1, where, "expected null or a one-member object");
  const std::string kind = form.begin().name();
  if (shape == Shape::VoidCGColor) {
    Require(kind == "cgcolor", where, "expected null or {\"cgcolor\": colour}");
    value = ReadColor(form["cgcolor"], where + ".cgcolor");
    value.cgColor = true;
    return value;
  }
  if (kind == "color" || kind == "rgba") return ReadColor(form, where);
  if (kind == "object") {
    value.kind = Value::Object;
  } else if (kind == "named") {
    value.kind = Value::Named;
  } else if (kind == "pattern") {
    value.kind = Value::Pattern;
  } else if (kind == "image") {
    value.kind = Value::Image;
  } else {
    throw Problem{where, "unknown value form \"" + kind + "\""};
  }
  Require(form[kind].isString(), where + "." + kind, "expected a string");
  value.text = form[kind].asString();
  if (value.kind == Value::Named) {
    bool known = false;
    for (const char *name : kNamedColors) known = known || value.text == name;
    Require(known, where + ".named", "not one of the fifteen named colours: " + value.text);
  }
  return value;
}

const Selector *ReadSelector(const Json::Value &object, const std::string &where) {
  const std::string name = String(object, "selector", where);
  const Selector *selector = FindUsableSelector(name);
  Require(selector != nullptr, where + ".selector", "not a selector scenarios can use: " + name);
  return selector;
}

Message ReadMessage(const Json::Value &object, const std::string &where) {
  OnlyMembers(object, where, {"to", "selector", "argument"});
  Message message;
  message.to = String(object, "to", where);
  message.selector = ReadSelector(object, where);
  const std::string name = message.selector->name;
  if (TakesArgument(message.selector->shape)) {
    Require(object.isMember("argument"), where, "missing member \"argument\" for " + name);
    message.argument = ReadValue(object["argument"], message.selector->shape, where + ".argument");
  } else {
    Require(!object.isMember("argument"), where + ".argument", name + " takes none");
  }
  return message;
}

ClassSpec ReadClass(const Json::Value &object, const std::string &where) {
  OnlyMembers(object, where, {"name", "superclass", "ivars", "methods"});
  ClassSpec spec;
  spec.name = String(object, "name", where);
  spec.superclass = String(object, "superclass", where);
  for (const Json::Value &ivar : Array(object, "ivars", where + ".ivars", "expected an array of names")) {
    Require(ivar.isString(), where + ".ivars", "expected an array of names");
    spec.ivars.push_back(ivar.asString());
  }
  const Json::Value &methods = Array(object, "methods", where + ".methods");
  std::set<std::string> selectors;
  for (Json::ArrayIndex m = 0; m < methods.size(); ++m) {
    const std::string at = At(where + ".methods", m);
    OnlyMembers(methods[m], at, {"selector", "steps", "returns"});
    MethodSpec method;
    method.selector = ReadSelector(methods[m], at);
    const std::string name = method.selector->name;
    Require(selectors.insert(name).second, at, "declared twice: " + name);
    const Json::Value &steps = Array(methods[m], "steps", at + ".steps");
    for (Json::ArrayIndex s = 0; s < steps.size(); ++s) method.steps.push_back(ReadMessage(steps[s], At(at + ".steps", s)));
    if (methods[m].isMember("returns")) {
      Require(HasResult(method.selector->shape), at + ".returns", name + " returns nothing");
      method.returns = ReadValue(methods[m]["returns"], Shape::Object, at + ".returns");
    }
    spec.methods.push_back(method);
  }
  return spec;
}

// Steps and values may name any listed object, wherever in the file it is listed.
void CheckObjectNames(const Scenario &scenario, const std::set<std::string> &objectNames) {
  auto checkValue = [&](const Value &value, const std::string &where) {
    Require(value.kind != Value::Object || objectNames.count(value.text) != 0, where, "no object named " + value.text);
  };
  for (size_t c = 0; c < scenario.classes.size(); ++c) {
    const std::vector<MethodSpec> &methods = scenario.classes[c].methods;
    for (size_t m = 0; m < methods.size(); ++m) {
      const std::string where = At(At("classes", c) + ".methods", m);
      checkValue(methods[m].returns, where + ".returns");
      for (size_t s = 0; s < methods[m].steps.size(); ++s) {
        const Message &step = methods[m].steps[s];
        const std::string at = At(where + ".steps", s);
        Require(step.to == "self" || step.to == "super" || objectNames.count(step.to) != 0, at + ".to",
                "no object named " + step.to);
        checkValue(step.argument, at + ".argument");
      }
    }
  }
  for (size_t i = 0; i < scenario.calls.size(); ++i) checkValue(scenario.calls[i].argument, At("calls", i) + ".argument");
}

Scenario ReadAll(const Json::Value &root) {
  Scenario scenario;
  OnlyMembers(root, "scenario", {"about", "install", "files", "classes", "objects", "calls"});
  String(root, "about", "scenario");
  if (root.isMember("install")) {
    Require(root["install"].isBool(), "install", "expected true or false");
    scenario.traceInstallation = root["install"].asBool();
  }
  Require(root.isMember("files"), "scenario", "missing member \"files\"");
  OnlyMembers(root["files"], "files", {"main", "icon", "text", "status"});
  for (const auto &name : kFileNames) {
    Require(root["files"].isMember(name[0]), "files", std::string("missing member \"") + name[0] + "\"");
    scenario.files.emplace_back(std::string(kPreferences) + name[1],
                                ReadFileForm(root["files"][name[0]], std::string("files.") + name[0]));
  }

  std::set<std::string> classNames;
  const Json::Value &classes = Array(root, "classes", "classes");
  for (Json::ArrayIndex i = 0; i < classes.size(); ++i) {
    scenario.classes.push_back(ReadClass(classes[i], At("classes", i)));
    const std::string &name = scenario.classes.back().name;
    Require(classNames.insert(name).second, At("classes", i) + ".name", "declared twice: " + name);
  }

  std::set<std::string> objectNames;
  const Json::Value &objects = Array(root, "objects", "objects");
  for (Json::ArrayIndex i = 0; i < objects.size(); ++i) {
    const std::string where = At("objects", i);
    OnlyMembers(objects[i], where, {"name", "class", "ivars"});
    ObjectSpec spec;
    spec.name = String(objects[i], "name", where);
    spec.className = String(objects[i], "class", where);
    Require(spec.name != "self" && spec.name != "super", where + ".name", "\"self\" and \"super\" are not object names");
    if (objects[i].isMember("ivars")) {
      const Json::Value &ivars = objects[i]["ivars"];
      Require(ivars.isObject(), where + ".ivars", "expected an object");
      for (auto it = ivars.begin(); it != ivars.end(); ++it) {
        Require(it->isNull() || (it->isString() && objectNames.count(it->asString()) != 0), where + ".ivars." + it.name(),
                "expected null or the name of an object listed earlier");
        spec.ivars.emplace_back(it.name(), it->isNull() ? "" : it->asString());
      }
    }
    Require(objectNames.insert(spec.name).second, where + ".name", "declared twice: " + spec.name);
    scenario.objects.push_back(spec);
  }

  Require(root.isMember("calls") && root["calls"].isArray(), "calls", "expected an array");
  for (Json::ArrayIndex i = 0; i < root["calls"].size(); ++i) {
    Message call = ReadMessage(root["calls"][i], At("calls", i));
    Require(objectNames.count(call.to) != 0, At("calls", i) + ".to", "no object named " + call.to);
    scenario.calls.push_back(call);
  }
  CheckObjectNames(scenario, objectNames);
  return scenario;
}

// Arrays and objects within each other: far more than any scenario needs, few enough for every
// executor's recursive writers and readers of property lists.
constexpr int kDeepestNesting = 1000;

// JSON text is UTF-8, and so is every string of the scenario: what the property-list writer and the
// executors take.
bool IsUtf8(const std::string &text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                        : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    const unsigned second = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90)) {
      return false;  // overlong, a surrogate, or past U+10FFFF
    }
    i += length;
  }
  return true;
}

// JsonCpp's report "* Line 3, Column 7\n  Missing ',' ...\n" as "line 3, column 7: missing ',' ...".
std::string FirstParseError(const std::string &report) {
  std::istringstream lines(report);
  std::string position, problem;
  std::getline(lines, position);
  std::getline(lines, problem);
  if (position.rfind("* Line ", 0) == 0) position = "line " + position.substr(7);
  const size_t column = position.find(", Column ");
  if (column != std::string::npos) position.replace(column, 9, ", column ");
  problem.erase(0, problem.find_first_not_of(' '));
  return problem.empty() ? position : position + ": " + problem;
}

}  // namespace

Scenario ReadScenario(const std::string &path) {
  std::ifstream input(path, std::ios::binary);
  const std::string json{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
  if (!input.is_open() || input.bad()) throw ScenarioError(path + ": cannot be read");
  return ReadScenarioText(json, path);
}

Scenario ReadScenarioText(const std::string &json, const std::string &path) {
  if (!IsUtf8(json)) throw ScenarioError(path + ": not valid JSON: not UTF-8 text");
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);  // no comments, nothing after the object, no key twice
  // JsonCpp's parser recurses once per level and, past this depth, throws instead of reporting.
  builder.settings_["stackLimit"] = kDeepestNesting;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string report;
  bool parsed;
  try {
    parsed = reader->parse(json.data(), json.data() + json.size(), &root, &report);
  } catch (const Json::Exception &) {
    throw ScenarioError(path + ": not valid JSON: nested more than " + std::to_string(kDeepestNesting) + " deep");
  }
  if (!parsed) throw ScenarioError(path + ": not valid JSON: " + FirstParseError(report));
  try {
    return ReadAll(root);
  } catch (const Problem &problem) {
    throw ScenarioError(path + ": " + problem.where + ": " + problem.what);
  } catch (const Json::Exception &problem) {
    throw ScenarioError(path + ": " + problem.what());
  }
}

}  // namespace dw::scenario
