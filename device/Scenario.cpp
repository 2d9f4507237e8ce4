#include "Scenario.h"

#include "Device.h"

#include <nlohmann/json.hpp>
#include <plist/plist.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace device {

using nlohmann::json;

namespace {

const char *const kPreferences = "/var/mobile/Library/Preferences/";
const char *const kFileNames[][2] = {{"main", "com.tervan.duskwell.plist"},
                                     {"icon", "com.tervan.icon.plist"},
                                     {"text", "com.tervan.textc.plist"},
                                     {"status", "com.tervan.status.plist"}};
const char *const kNamedColors[] = {"whiteColor", "grayColor",   "lightGrayColor", "blackColor",    "blueColor",
                                    "brownColor", "clearColor",  "cyanColor",      "darkGrayColor", "greenColor",
                                    "magentaColor", "orangeColor", "purpleColor",  "redColor",      "yellowColor"};

struct Problem {
  std::string where, what;
};

void Require(bool condition, const std::string &where, const std::string &what) {
  if (!condition) throw Problem{where, what};
}

void OnlyMembers(const json &object, const std::string &where, const std::set<std::string> &allowed) {
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

// The hooked selectors and the three setters the library sends: what scenarios may use.
const SelectorInfo *ScenarioSelector(const json &object, const std::string &where) {
  const std::string name = String(object, "selector", where);
  const SelectorInfo *info = FindSelector(name);
  const bool usable = info != nullptr && (info->hooked || name == "setTextColor:" || name == "setHidden:");
  Require(usable, where + ".selector", "not a selector scenarios can use: " + name);
  return info;
}

bool IsHexColor(const std::string &text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

ScenarioValue ReadColor(const json &form, const std::string &where) {
  ScenarioValue value;
  if (form.is_object() && form.contains("color")) {
    OnlyMembers(form, where, {"color"});
    value.kind = ScenarioValue::hexColor;
    value.text = String(form, "color", where);
    Require(IsHexColor(value.text), where + ".color", "expected \"#RRGGBB\" or \"#RRGGBBAA\"");
  } else if (form.is_object() && form.contains("rgba")) {
    OnlyMembers(form, where, {"rgba"});
    const json &rgba = form["rgba"];
    Require(rgba.is_array() && rgba.size() == 4, where + ".rgba", "expected four numbers");
    for (size_t i = 0; i < 4; ++i) {
      Require(rgba[i].is_number(), where + ".rgba", "expected four numbers");
      value.rgba[i] = rgba[i].get<double>();
    }
    value.kind = ScenarioValue::rgbaColor;
  } else {
    throw Problem{where, "expected a colour: {\"color\": \"#RRGGBB\"} or {\"rgba\": [r, g, b, a]}"};
  }
  return value;
}

ScenarioValue ReadValue(const json &form, Type type, const std::string &where) {
  ScenarioValue value;
  if (type == Type::boolean) {
    Require(form.is_boolean(), where, "expected true or false");
    value.kind = ScenarioValue::boolean;
    value.flag = form.get<bool>();
    return value;
  }
  if (form.is_null()) return value;
  Require(form.is_object() && form.size() == 1, where, "expected null or a one-member object");
  if (type == Type::cgcolor) {
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
    value.kind = ScenarioValue::objectName;
  } else if (kind == "named") {
    bool known = false;
    for (const char *name : kNamedColors) known = known || value.text == name;
    Require(known, where + ".named", "not one of the fifteen named colours: " + value.text);
    value.kind = ScenarioValue::namedColor;
  } else if (kind == "pattern") {
    value.kind = ScenarioValue::patternColor;
  } else if (kind == "image") {
    value.kind = ScenarioValue::imageNamed;
  } else {
    throw Problem{where, "unknown value form \"" + kind + "\""};
  }
  return value;
}

ScenarioMessage ReadMessage(const json &object, const std::string &where) {
  OnlyMembers(object, where, {"to", "selector", "argument"});
  ScenarioMessage message;
  message.to = String(object, "to", where);
  message.selector = ScenarioSelector(object, where);
  if (!message.selector->arguments.empty()) {
    Require(object.contains("argument"), where, "missing member \"argument\" for " + message.selector->name);
    message.argument = ReadValue(object["argument"], message.selector->arguments[0], where + ".argument");
  } else {
    Require(!object.contains("argument"), where + ".argument", message.selector->name + " takes none");
  }
  return message;
}

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
    case json::value_t::number_integer: return plist_new_uint(static_cast<uint64_t>(value.get<int64_t>()));
    case json::value_t::number_float: return plist_new_real(value.get<double>());
    default: throw Problem{where, "null has no property-list form"};
  }
}

std::vector<uint8_t> Base64Decode(const std::string &text, const std::string &where) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> bytes;
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
      bytes.push_back(static_cast<uint8_t>((buffer >> bits) & 0xff));
    }
  }
  return bytes;
}

ScenarioFile ReadFileSpec(const json &form, const std::string &where) {
  ScenarioFile file;
  if (form.is_string()) {
    const std::string kind = form.get<std::string>();
    Require(kind == "absent" || kind == "unreadable", where, "expected \"absent\", \"unreadable\" or an object");
    file.kind = kind == "absent" ? ScenarioFile::absent : ScenarioFile::unreadable;
    return file;
  }
  Require(form.is_object() && form.size() == 1, where, "expected {\"plist\": …}, {\"xml\": …} or {\"base64\": …}");
  const std::string kind = form.begin().key();
  file.kind = ScenarioFile::bytes;
  if (kind == "plist") {
    plist_t root = PlistOf(form["plist"], where + ".plist");
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    plist_free(root);
    Require(bytes != nullptr, where, "could not be written as a property list");
    file.contents.assign(bytes, bytes + length);
    plist_to_bin_free(bytes);
  } else if (kind == "xml" || kind == "base64") {
    Require(form[kind].is_string(), where + "." + kind, "expected a string");
    const std::string text = form[kind].get<std::string>();
    file.contents = kind == "xml" ? std::vector<uint8_t>(text.begin(), text.end()) : Base64Decode(text, where);
  } else {
    throw Problem{where, "unknown file form \"" + kind + "\""};
  }
  return file;
}

void ReadAll(const json &root, Scenario &scenario) {
  OnlyMembers(root, "scenario", {"about", "install", "files", "classes", "objects", "calls"});
  String(root, "about", "scenario");
  if (root.contains("install")) {
    Require(root["install"].is_boolean(), "install", "expected true or false");
    scenario.traceInstallation = root["install"].get<bool>();
  }
  Require(root.contains("files"), "scenario", "missing member \"files\"");
  OnlyMembers(root["files"], "files", {"main", "icon", "text", "status"});
  for (const auto &name : kFileNames) {
    Require(root["files"].contains(name[0]), "files", std::string("missing member \"") + name[0] + "\"");
    scenario.files.emplace_back(std::string(kPreferences) + name[1],
                                ReadFileSpec(root["files"][name[0]], std::string("files.") + name[0]));
  }

  std::set<std::string> classNames;
  const json classes = root.value("classes", json::array());
  Require(classes.is_array(), "classes", "expected an array");
  for (size_t i = 0; i < classes.size(); ++i) {
    const std::string where = "classes[" + std::to_string(i) + "]";
    OnlyMembers(classes[i], where, {"name", "superclass", "ivars", "methods"});
    ScenarioClass spec;
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
      ScenarioMethod method;
      method.selector = ScenarioSelector(methods[m], at);
      Require(selectors.insert(method.selector->name).second, at, "declared twice: " + method.selector->name);
      const json steps = methods[m].value("steps", json::array());
      Require(steps.is_array(), at + ".steps", "expected an array");
      for (size_t s = 0; s < steps.size(); ++s) {
        method.steps.push_back(ReadMessage(steps[s], at + ".steps[" + std::to_string(s) + "]"));
      }
      if (methods[m].contains("returns")) {
        Require(method.selector->result == Type::object, at + ".returns", method.selector->name + " returns nothing");
        method.returns = ReadValue(methods[m]["returns"], Type::object, at + ".returns");
      }
      spec.methods.push_back(method);
    }
    scenario.classes.push_back(spec);
  }

  std::set<std::string> objectNames;
  const json objects = root.value("objects", json::array());
  Require(objects.is_array(), "objects", "expected an array");
  for (size_t i = 0; i < objects.size(); ++i) {
    const std::string where = "objects[" + std::to_string(i) + "]";
    OnlyMembers(objects[i], where, {"name", "class", "ivars"});
    ScenarioObject spec;
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
    scenario.objects.push_back(spec);
  }

  Require(root.contains("calls") && root["calls"].is_array(), "calls", "expected an array");
  for (size_t i = 0; i < root["calls"].size(); ++i) {
    const std::string where = "calls[" + std::to_string(i) + "]";
    ScenarioMessage call = ReadMessage(root["calls"][i], where);
    Require(objectNames.count(call.to) != 0, where + ".to", "no object named " + call.to);
    scenario.calls.push_back(call);
  }

  auto checkValue = [&](const ScenarioValue &value, const std::string &where) {
    Require(value.kind != ScenarioValue::objectName || objectNames.count(value.text) != 0, where,
            "no object named " + value.text);
  };
  for (const ScenarioClass &spec : scenario.classes) {
    for (const ScenarioMethod &method : spec.methods) {
      const std::string where = "classes." + spec.name + "." + method.selector->name;
      checkValue(method.returns, where + ".returns");
      for (const ScenarioMessage &step : method.steps) {
        Require(step.to == "self" || step.to == "super" || objectNames.count(step.to) != 0, where + ".steps",
                "no object named " + step.to);
        checkValue(step.argument, where + ".steps.argument");
      }
    }
  }
  for (const ScenarioMessage &call : scenario.calls) checkValue(call.argument, "calls.argument");
}

// ---- Running

class Runner {
 public:
  Runner(Device &device, const Scenario &scenario) : device_(device), rt_(device.runtime()), scenario_(scenario) {}

  void MakeClasses() {
    for (const ScenarioClass &spec : scenario_.classes) {
      if (rt_.FindClass(spec.superclass) == nullptr) {
        throw ScenarioError("class " + spec.name + ": no superclass " + spec.superclass);
      }
      if (rt_.FindClass(spec.name) != nullptr) {
        throw ScenarioError("class " + spec.name + ": the device has a class of that name already");
      }
      ClassInfo &cls = rt_.DefineClass(spec.name, spec.superclass);
      for (const std::string &ivar : spec.ivars) cls.ivars.insert(ivar);
      for (const ScenarioMethod &method : spec.methods) {
        const ScenarioMethod *m = &method;
        ClassInfo *declaring = &cls;
        rt_.AddMethod(cls, false, *method.selector,
                      [this, m, declaring](Runtime &, uint64_t self, uint64_t, const std::vector<Value> &) {
                        for (const ScenarioMessage &step : m->steps) Perform(step.to == "super" ? "super" : "msg", step, self, declaring);
                        return m->selector->result == Type::object ? Value::Word(Make(m->returns).word) : Value::None();
                      },
                      true);
      }
    }
  }

  void MakeObjects() {
    for (const ScenarioObject &spec : scenario_.objects) {
      ClassInfo *cls = rt_.FindClass(spec.className);
      if (cls == nullptr) throw ScenarioError("object " + spec.name + ": no class " + spec.className);
      const uint64_t object = rt_.Make(*cls);
      for (const auto &[name, target] : spec.ivars) {
        bool declared = false;
        for (ClassInfo *c = cls; c != nullptr && !declared; c = c->superclass) declared = c->ivars.count(name) != 0;
        if (!declared) throw ScenarioError("object " + spec.name + ": no object instance variable " + name);
        const uint64_t value = target.empty() ? 0 : objects_.at(target);
        rt_.Retain(value);
        rt_.Get(object, "object").ivarValues[name] = value;
      }
      rt_.Get(object, "object").label = spec.name;
      objects_[spec.name] = object;
    }
  }

  void Calls() {
    for (const ScenarioMessage &call : scenario_.calls) {
      const uint64_t pool = rt_.PushPool();
      Perform("call", call, 0, nullptr);
      rt_.PopPool(pool);
    }
  }

 private:
  Value Make(const ScenarioValue &value) {
    Machine &m = rt_.machine();
    switch (value.kind) {
      case ScenarioValue::nil:
        return Value::Word(0);
      case ScenarioValue::objectName:
        return Value::Word(objects_.at(value.text));
      case ScenarioValue::hexColor:
      case ScenarioValue::rgbaColor: {
        double c[4] = {0, 0, 0, 1};
        if (value.kind == ScenarioValue::hexColor) {
          const size_t count = (value.text.size() - 1) / 2;
          for (size_t i = 0; i < count; ++i) {
            const unsigned byte = static_cast<unsigned>(std::stoul(value.text.substr(1 + 2 * i, 2), nullptr, 16));
            c[i] = static_cast<float>(byte) / 255.0f;
          }
        } else {
          for (int i = 0; i < 4; ++i) c[i] = value.rgba[i];
        }
        const uint64_t color = NewColor(rt_, m.ToCGFloat(c[0]), m.ToCGFloat(c[1]), m.ToCGFloat(c[2]), m.ToCGFloat(c[3]), true);
        return Value::Word(value.cgColor ? rt_.CGColorOf(color) : color);
      }
      case ScenarioValue::namedColor:
        return rt_.Send("", rt_.Class("UIColor").handle, value.text, {});
      case ScenarioValue::patternColor:
      case ScenarioValue::imageNamed: {
        Object &made = value.kind == ScenarioValue::imageNamed ? rt_.NewObject(rt_.Class("UIImage"), Object::Type::image)
                                                          : rt_.NewObject(rt_.Class("UIColor"), Object::Type::color);
        made.imageName = value.text;
        made.pattern = value.kind == ScenarioValue::patternColor;
        return Value::Word(rt_.Autorelease(made.handle));
      }
      case ScenarioValue::boolean:
        return Value::Bool(value.flag);
    }
    return Value::Word(0);
  }

  Value Perform(const char *kind, const ScenarioMessage &message, uint64_t self, ClassInfo *declaring) {
    const bool toSuper = message.to == "super";
    const uint64_t receiver = message.to == "self" || toSuper ? self : objects_.at(message.to);
    std::vector<Value> args;
    if (!message.selector->arguments.empty()) args.push_back(Make(message.argument));
    return rt_.Send(kind, receiver, *message.selector, args, toSuper ? declaring : nullptr);
  }

  Device &device_;
  Runtime &rt_;
  const Scenario &scenario_;
  std::map<std::string, uint64_t> objects_;
};

}  // namespace

Scenario LoadScenario(const std::string &path) {
  std::ifstream input(path, std::ios::binary);
  if (!input) throw ScenarioError(path + ": cannot be read");
  std::stringstream text;
  text << input.rdbuf();
  json root = json::parse(text.str(), nullptr, false);
  if (root.is_discarded()) throw ScenarioError(path + ": not valid JSON");
  Scenario scenario;
  try {
    ReadAll(root, scenario);
  } catch (const Problem &problem) {
    throw ScenarioError(path + ": " + problem.where + ": " + problem.what);
  } catch (const json::exception &problem) {
    throw ScenarioError(path + ": " + problem.what());
  }
  return scenario;
}

std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &scenario) {
  std::map<std::string, const ScenarioFile *> files;
  for (const auto &[path, spec] : scenario.files) files[path] = &spec;
  Device device(file, arch, [files](const std::string &path) {
    FileContents contents;
    auto it = files.find(path);
    if (it == files.end() || it->second->kind == ScenarioFile::absent) return contents;
    contents.state = it->second->kind == ScenarioFile::unreadable ? FileContents::unreadable : FileContents::present;
    contents.bytes = it->second->contents;
    return contents;
  });
  Runner runner(device, scenario);
  runner.MakeClasses();
  runner.MakeObjects();
  device.trace().SetRecording(scenario.traceInstallation);
  device.Load();
  device.trace().SetRecording(true);
  runner.Calls();
  return device.trace().text();
}

}  // namespace device
