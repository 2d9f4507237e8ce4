#include "ScenarioReplay.h"

#include "Loader.h"

#include <map>

namespace device {

namespace scenario = dw::scenario;

const SelectorInfo &DeviceSelector(const scenario::Selector &selector) {
  const SelectorInfo *info = FindSelector(selector.name);
  if (info == nullptr) throw ScenarioError(std::string("selector ") + selector.name + " is not known to the device model");
  return *info;
}

namespace {

class Runner {
 public:
  Runner(Device &device, const Scenario &scenario) : device_(device), rt_(device.runtime()), scenario_(scenario) {}

  void MakeClasses() {
    for (const scenario::ClassSpec &spec : scenario_.classes) {
      if (rt_.FindClass(spec.superclass) == nullptr) {
        throw ScenarioError("class " + spec.name + ": no superclass " + spec.superclass);
      }
      if (rt_.FindClass(spec.name) != nullptr) {
        throw ScenarioError("class " + spec.name + ": the device has a class of that name already");
      }
      ClassInfo &cls = rt_.DefineClass(spec.name, spec.superclass);
      for (const std::string &ivar : spec.ivars) cls.ivars.insert(ivar);
      for (const scenario::MethodSpec &method : spec.methods) {
        const scenario::MethodSpec *m = &method;
        ClassInfo *declaring = &cls;
        rt_.AddMethod(cls, false, DeviceSelector(*method.selector),
                      [this, m, declaring](Runtime &, uint64_t self, uint64_t, const std::vector<Value> &) {
                        for (const scenario::Message &step : m->steps) Perform(step.to == "super" ? "super" : "msg", step, self, declaring);
                        return scenario::HasResult(m->selector->shape) ? Value::Word(Make(m->returns).word) : Value::None();
                      },
                      true);
      }
    }
  }

  void MakeObjects() {
    for (const scenario::ObjectSpec &spec : scenario_.objects) {
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
    for (const scenario::Message &call : scenario_.calls) {
      const uint64_t pool = rt_.PushPool();
      Perform("call", call, 0, nullptr);
      rt_.PopPool(pool);
    }
  }

 private:
  Value Make(const scenario::Value &value) {
    Machine &m = rt_.machine();
    switch (value.kind) {
      case scenario::Value::Null:
        return Value::Word(0);
      case scenario::Value::Object:
        return Value::Word(objects_.at(value.text));
      case scenario::Value::Color: {
        const auto &c = value.rgba;
        const uint64_t color = NewColor(rt_, m.ToCGFloat(c[0]), m.ToCGFloat(c[1]), m.ToCGFloat(c[2]), m.ToCGFloat(c[3]), true);
        return Value::Word(value.cgColor ? rt_.CGColorOf(color) : color);
      }
      case scenario::Value::Named:
        return rt_.Send("", rt_.Class("UIColor").handle, value.text, {});
      case scenario::Value::Pattern:
      case scenario::Value::Image: {
        Object &made = value.kind == scenario::Value::Image ? rt_.NewObject(rt_.Class("UIImage"), Object::Type::image)
                                                            : rt_.NewObject(rt_.Class("UIColor"), Object::Type::color);
        made.imageName = value.text;
        made.pattern = value.kind == scenario::Value::Pattern;
        return Value::Word(rt_.Autorelease(made.handle));
      }
      case scenario::Value::Flag:
        return Value::Bool(value.flag);
    }
    return Value::Word(0);
  }

  Value Perform(const char *kind, const scenario::Message &message, uint64_t self, ClassInfo *declaring) {
    const bool toSuper = message.to == "super";
    const uint64_t receiver = message.to == "self" || toSuper ? self : objects_.at(message.to);
    std::vector<Value> args;
    if (scenario::TakesArgument(message.selector->shape)) args.push_back(Make(message.argument));
    return rt_.Send(kind, receiver, DeviceSelector(*message.selector), args, toSuper ? declaring : nullptr);
  }

  Device &device_;
  Runtime &rt_;
  const Scenario &scenario_;
  std::map<std::string, uint64_t> objects_;
};

}  // namespace

std::string RunScenario(const std::vector<uint8_t> &file, Arch arch, const Scenario &scenario) {
  std::map<std::string, const scenario::FileSpec *> files;
  for (const auto &[path, spec] : scenario.files) files[path] = &spec;
  Device device(file, arch, [files](const std::string &path) {
    FileContents contents;
    auto it = files.find(path);
    if (it == files.end() || it->second->kind == scenario::FileSpec::Absent) return contents;
    contents.state = it->second->kind == scenario::FileSpec::Unreadable ? FileContents::unreadable : FileContents::present;
    contents.bytes = it->second->bytes;
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
