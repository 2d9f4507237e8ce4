#import "Scenario.h"

#include <plist/plist.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace dw::trace {

using nlohmann::json;

namespace {

const SelectorShape kSelectorShapes[] = {
    {"layoutSubviews", Shape::Void},
    {"glue_applyStyle:", Shape::VoidObject},
    {"_setBackgroundCGColor:", Shape::VoidCGColor},
    {"_setBackgroundColor:", Shape::VoidObject},
    {"bottomGradientView", Shape::Object},
    {"setBackgroundImageBlurView:", Shape::VoidObject},
    {"setShadowGradientLayer:", Shape::VoidObject},
    {"iconColor", Shape::Object},
    {"_setColor:", Shape::VoidObject},
    {"_setTextColor:", Shape::VoidObject},
    {"textColor", Shape::Object},
    {"tintColor", Shape::Object},
    {"_effectiveTintColorWithImage:", Shape::ObjectObject},
    {"setBackgroundColor:", Shape::VoidObject},
    {"setTextColor:", Shape::VoidObject},
    {"setHidden:", Shape::VoidBool},
};

const char *const kNamedColors[] = {"whiteColor",    "grayColor",  "lightGrayColor", "blackColor",  "blueColor",
                                    "brownColor",    "clearColor", "cyanColor",      "darkGrayColor", "greenColor",
                                    "magentaColor",  "orangeColor", "purpleColor",   "redColor",    "yellowColor"};

const char *const kPreferences = "/var/mobile/Library/Preferences/";
const char *const kFileNames[][2] = {{"main", "com.tervan.duskwell.plist"},
                                     {"icon", "com.tervan.icon.plist"},
                                     {"text", "com.tervan.textc.plist"},
                                     {"status", "com.tervan.status.plist"}};

// A problem found at one member; the first one ends the reading.
struct Problem {
  std::string where, what;
};

void Require(bool condition, const std::string &where, const std::string &what) {
  if (!condition) throw Problem{where, what};
}

void OnlyMembers(const json &object, const std::string &where, std::set<std::string> allowed) {
  Require(object.is_object(), where, "expected an object");
  for (auto it = object.begin(); it != object.end(); ++it) {
    Require(allowed.count(it.key()) != 0, where, "unknown member \"" + it.key() + "\"");
  }
}

std::string String(const json &object, const std::string &key, const std::string &where) {
  Require(object.contains(key), where, "missing member \"" + key + "\"");
  Require(object[key].is_string(), where + "." + key, "expected a string");
  return object[key].get<std::string>();
}

bool IsHexColor(const std::string &text) {
  if (text.size() != 7 && text.size() != 9) return false;
  if (text[0] != '#') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (!isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

Value ReadColor(const json &form, const std::string &where) {
  Value value;
  if (form.contains("color")) {
    OnlyMembers(form, where, {"color"});
    value.kind = Value::Hex;
    value.text = String(form, "color", where);
    Require(IsHexColor(value.text), where + ".color", "expected \"#RRGGBB\" or \"#RRGGBBAA\"");
  } else if (form.contains("rgba")) {
    OnlyMembers(form, where, {"rgba"});
    const json &rgba = form["rgba"];
    Require(rgba.is_array() && rgba.size() == 4, where + ".rgba", "expected four numbers");
    for (size_t i = 0; i < 4; ++i) {
      Require(rgba[i].is_number(), where + ".rgba", "expected four numbers");
      value.rgba[i] = rgba[i].get<double>();
    }
    value.kind = Value::Rgba;
  } else {
    throw Problem{where, "expected a colour: {\"color\": \"#RRGGBB\"} or {\"rgba\": [r, g, b, a]}"};
  }
  return value;
}

Value ReadValue(const json &form, Shape shape, const std::string &where) {
  Value value;
  if (shape == Shape::VoidBool) {
    Require(form.is_boolean(), where, "expected true or false");
    value.kind = Value::Flag;
    value.flag = form.get<bool>();
    return value;
  }
  if (form.is_null()) return value;
  Require(form.is_object() && form.size() == 1, where, "expected null or a one-member object");
  if (shape == Shape::VoidCGColor) {
    Require(form.contains("cgcolor"), where, "expected null or {\"cgcolor\": colour}");
    value = ReadColor(form["cgcolor"], where + ".cgcolor");
    value.cgColor = true;
    return value;
  }
  const std::string kind = form.begin().key();
  if (kind == "color" || kind == "rgba") return ReadColor(form, where);
  Require(form.begin().value().is_string(), where + "." + kind, "expected a string");
  value.text = form.begin().value().get<std::string>();
  if (kind == "object") {
    value.kind = Value::Object;
  } else if (kind == "named") {
    bool known = false;
    for (const char *name : kNamedColors) known = known || value.text == name;
    Require(known, where + ".named", "not one of the fifteen named colours: " + value.text);
    value.kind = Value::Named;
  } else if (kind == "pattern") {
    value.kind = Value::Pattern;
  } else if (kind == "image") {
    value.kind = Value::Image;
  } else {
    throw Problem{where, "unknown value form \"" + kind + "\""};
  }
  return value;
}

const SelectorShape *ReadSelector(const json &object, const std::string &where) {
  const std::string name = String(object, "selector", where);
  const SelectorShape *selector = FindSelectorShape(name);
  Require(selector != nullptr, where + ".selector", "not a selector scenarios can use: " + name);
  return selector;
}

Message ReadMessage(const json &object, const std::string &where) {
  OnlyMembers(object, where, {"to", "selector", "argument"});
  Message message;
  message.to = String(object, "to", where);
  message.selector = ReadSelector(object, where);
  const Shape shape = message.selector->shape;
  const bool takesArgument = shape != Shape::Void && shape != Shape::Object;
  if (takesArgument) {
    Require(object.contains("argument"), where, std::string("missing member \"argument\" for ") + message.selector->name);
    message.argument = ReadValue(object["argument"], shape, where + ".argument");
  } else {
    Require(!object.contains("argument"), where + ".argument", std::string(message.selector->name) + " takes none");
  }
  return message;
}

// A JSON value as a property-list node.
plist_t PlistOf(const json &value, const std::string &where) {
  switch (value.type()) {
    case json::value_t::object: {
      plist_t dict = plist_new_dict();
      for (auto it = value.begin(); it != value.end(); ++it) {
        plist_dict_set_item(dict, it.key().c_str(), PlistOf(it.value(), where + "." + it.key()));
      }
      return dict;
    }
    case json::value_t::array: {
      plist_t array = plist_new_array();
      for (size_t i = 0; i < value.size(); ++i) plist_array_append_item(array, PlistOf(value[i], where));
      return array;
    }
    case json::value_t::string: return plist_new_string(value.get<std::string>().c_str());
    case json::value_t::boolean: return plist_new_bool(value.get<bool>() ? 1 : 0);
    case json::value_t::number_unsigned: return plist_new_uint(value.get<uint64_t>());
    case json::value_t::number_integer:
      return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));  // two's complement, as stored
    case json::value_t::number_float: return plist_new_real(value.get<double>());
    default: throw Problem{where, "null has no property-list form"};
  }
}

std::string Base64Decode(const std::string &text, const std::string &where) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned buffer = 0;
  int bits = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == '=') {
      ++padding;
      continue;
    }
    Require(padding == 0, where, "padding before the end");
    const size_t digit = alphabet.find(c);
    Require(digit != std::string::npos, where, "not base64");
    buffer = (buffer << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return bytes;
}

FileSpec ReadFile(const json &form, const std::string &where) {
  FileSpec file;
  if (form.is_string()) {
    const std::string kind = form.get<std::string>();
    Require(kind == "absent" || kind == "unreadable", where, "expected \"absent\", \"unreadable\" or an object");
    file.kind = kind == "absent" ? FileSpec::Absent : FileSpec::Unreadable;
    return file;
  }
  Require(form.is_object() && form.size() == 1, where, "expected {\"plist\": …}, {\"xml\": …} or {\"base64\": …}");
  const std::string kind = form.begin().key();
  file.kind = FileSpec::Bytes;
  if (kind == "plist") {
    plist_t root = PlistOf(form["plist"], where + ".plist");
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    Require(bytes != nullptr, where, "could not be written as a property list");
    file.bytes.assign(bytes, length);
    plist_to_bin_free(bytes);
  } else if (kind == "xml" || kind == "base64") {
    Require(form[kind].is_string(), where + "." + kind, "expected a string");
    file.bytes = kind == "xml" ? form[kind].get<std::string>() : Base64Decode(form[kind].get<std::string>(), where);
  } else {
    throw Problem{where, "unknown file form \"" + kind + "\""};
  }
  return file;
}

void ReadAll(const json &root, Scenario *scenario) {
  OnlyMembers(root, "scenario", {"about", "install", "files", "classes", "objects", "calls"});
  String(root, "about", "scenario");
  if (root.contains("install")) {
    Require(root["install"].is_boolean(), "install", "expected true or false");
    scenario->traceInstallation = root["install"].get<bool>();
  }
  Require(root.contains("files"), "scenario", "missing member \"files\"");
  OnlyMembers(root["files"], "files", {"main", "icon", "text", "status"});
  for (const auto &name : kFileNames) {
    Require(root["files"].contains(name[0]), "files", std::string("missing member \"") + name[0] + "\"");
    scenario->files.emplace_back(std::string(kPreferences) + name[1],
                                 ReadFile(root["files"][name[0]], std::string("files.") + name[0]));
  }

  std::set<std::string> classNames;
  const json classes = root.value("classes", json::array());
  Require(classes.is_array(), "classes", "expected an array");
  for (size_t i = 0; i < classes.size(); ++i) {
    const std::string where = "classes[" + std::to_string(i) + "]";
    OnlyMembers(classes[i], where, {"name", "superclass", "ivars", "methods"});
    ClassSpec spec;
    spec.name = String(classes[i], "name", where);
    spec.superclass = String(classes[i], "superclass", where);
    Require(classNames.insert(spec.name).second, where + ".name", "declared twice: " + spec.name);
    const json ivars = classes[i].value("ivars", json::array());
    Require(ivars.is_array(), where + ".ivars", "expected an array of names");
    for (const json &ivar : ivars) {
      Require(ivar.is_string(), where + ".ivars", "expected an array of names");
      spec.ivars.push_back(ivar.get<std::string>());
    }
    const json methods = classes[i].value("methods", json::array());
    Require(methods.is_array(), where + ".methods", "expected an array");
    std::set<std::string> selectors;
    for (size_t m = 0; m < methods.size(); ++m) {
      const std::string at = where + ".methods[" + std::to_string(m) + "]";
      OnlyMembers(methods[m], at, {"selector", "steps", "returns"});
      MethodSpec method;
      method.selector = ReadSelector(methods[m], at);
      Require(selectors.insert(method.selector->name).second, at, std::string("declared twice: ") + method.selector->name);
      const json steps = methods[m].value("steps", json::array());
      Require(steps.is_array(), at + ".steps", "expected an array");
      for (size_t s = 0; s < steps.size(); ++s) {
        method.steps.push_back(ReadMessage(steps[s], at + ".steps[" + std::to_string(s) + "]"));
      }
      if (methods[m].contains("returns")) {
        Require(HasResult(method.selector->shape), at + ".returns", std::string(method.selector->name) + " returns nothing");
        method.returns = ReadValue(methods[m]["returns"], Shape::Object, at + ".returns");
      }
      spec.methods.push_back(method);
    }
    scenario->classes.push_back(spec);
  }

  std::set<std::string> objectNames;
  const json objects = root.value("objects", json::array());
  Require(objects.is_array(), "objects", "expected an array");
  for (size_t i = 0; i < objects.size(); ++i) {
    const std::string where = "objects[" + std::to_string(i) + "]";
    OnlyMembers(objects[i], where, {"name", "class", "ivars"});
    ObjectSpec spec;
    spec.name = String(objects[i], "name", where);
    spec.className = String(objects[i], "class", where);
    Require(spec.name != "self" && spec.name != "super", where + ".name", "\"self\" and \"super\" are not object names");
    const json ivars = objects[i].value("ivars", json::object());
    Require(ivars.is_object(), where + ".ivars", "expected an object");
    for (auto it = ivars.begin(); it != ivars.end(); ++it) {
      Require(it.value().is_null() || (it.value().is_string() && objectNames.count(it.value().get<std::string>()) != 0),
              where + ".ivars." + it.key(), "expected null or the name of an object listed earlier");
      spec.ivars.emplace_back(it.key(), it.value().is_null() ? "" : it.value().get<std::string>());
    }
    Require(objectNames.insert(spec.name).second, where + ".name", "declared twice: " + spec.name);
    scenario->objects.push_back(spec);
  }

  Require(root.contains("calls") && root["calls"].is_array(), "calls", "expected an array");
  for (size_t i = 0; i < root["calls"].size(); ++i) {
    const std::string where = "calls[" + std::to_string(i) + "]";
    Message call = ReadMessage(root["calls"][i], where);
    Require(objectNames.count(call.to) != 0, where + ".to", "no object named " + call.to);
    scenario->calls.push_back(call);
  }

  // Object names used by steps and values exist.
  auto checkValue = [&](const Value &value, const std::string &where) {
    Require(value.kind != Value::Object || objectNames.count(value.text) != 0, where, "no object named " + value.text);
  };
  for (const ClassSpec &spec : scenario->classes) {
    for (const MethodSpec &method : spec.methods) {
      const std::string where = "classes." + spec.name + "." + method.selector->name;
      checkValue(method.returns, where + ".returns");
      for (const Message &step : method.steps) {
        Require(step.to == "self" || step.to == "super" || objectNames.count(step.to) != 0, where + ".steps",
                "no object named " + step.to);
        checkValue(step.argument, where + ".steps.argument");
      }
    }
  }
  for (const Message &call : scenario->calls) checkValue(call.argument, "calls.argument");
}

}  // namespace

const SelectorShape *FindSelectorShape(const std::string &name) {
  for (const SelectorShape &shape : kSelectorShapes) {
    if (name == shape.name) return &shape;
  }
  return nullptr;
}

bool HasResult(Shape shape) { return shape == Shape::Object || shape == Shape::ObjectObject; }

bool ReadScenario(const std::string &path, Scenario *scenario, std::string *error) {
  std::ifstream input(path, std::ios::binary);
  if (!input) {
    *error = path + ": cannot be read";
    return false;
  }
  std::stringstream text;
  text << input.rdbuf();
  json root = json::parse(text.str(), nullptr, false);
  if (root.is_discarded()) {
    *error = path + ": not valid JSON";
    return false;
  }
  try {
    ReadAll(root, scenario);
  } catch (const Problem &problem) {
    *error = path + ": " + problem.where + ": " + problem.what;
    return false;
  } catch (const json::exception &problem) {
    *error = path + ": " + problem.what();
    return false;
  }
  return true;
}

}  // namespace dw::trace
