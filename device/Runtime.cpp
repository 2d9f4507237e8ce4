#include "Runtime.h"

#include "Text.h"
#include "Trace.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace device {

namespace {

constexpr uint64_t kHeapSize = 0x1000000;  // 16 MiB: class objects, objects and selector names

uint64_t HeapBase(Arch arch) { return arch == Arch::arm64 ? 0x300000000ull : 0x50000000ull; }

std::string Hex(uint64_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

}  // namespace

Signature SignatureOf(const std::string &selector) {
  Signature sig;
  const size_t colons = static_cast<size_t>(std::count(selector.begin(), selector.end(), ':'));
  sig.arguments.assign(colons, Kind::word);
  static const std::set<std::string> kBoolResults = {
      "boolValue", "respondsToSelector:", "isKindOfClass:", "isMemberOfClass:", "isSameColor:", "scanHexInt:",
      "getRed:green:blue:alpha:", "isEqual:", "isEqualToString:", "isHidden"};
  static const std::set<std::string> kNoResult = {
      "release", "setHidden:", "setCharactersToBeSkipped:", "layoutSubviews", "setBackgroundColor:", "setTextColor:",
      "_setTextColor:", "_setColor:", "_setBackgroundColor:", "_setBackgroundCGColor:", "glue_applyStyle:",
      "setBackgroundImageBlurView:", "setShadowGradientLayer:", "dealloc"};
  if (kBoolResults.count(selector)) sig.result = Kind::boolean;
  if (kNoResult.count(selector)) sig.result = Kind::none;
  if (selector == "initWithRed:green:blue:alpha:" || selector == "colorWithRed:green:blue:alpha:") {
    sig.arguments.assign(4, Kind::cgfloat);
  }
  if (selector == "colorWithWhite:alpha:" || selector == "initWithWhite:alpha:") sig.arguments.assign(2, Kind::cgfloat);
  if (selector == "setHidden:") sig.arguments = {Kind::boolean};
  return sig;
}

Runtime::Runtime(Machine &machine, Trace &trace) : machine_(machine), trace_(trace) {
  heapBase_ = heapNext_ = HeapBase(machine.arch());
  heapEnd_ = heapBase_ + kHeapSize;
  machine_.Map(heapBase_, kHeapSize, 1 | 2);
  msgSendTrap_ = machine_.AddTrap("objc_msgSend", [this] { TrapMessageSend(); });
}

uint64_t Runtime::Allocate(uint64_t size, uint64_t alignment) {
  uint64_t at = (heapNext_ + alignment - 1) / alignment * alignment;
  if (at + size > heapEnd_) throw RunError("the model's heap is exhausted");
  heapNext_ = at + size;
  return at;
}

uint64_t Runtime::Selector(const std::string &name) {
  auto it = selectorsByName_.find(name);
  if (it != selectorsByName_.end()) return it->second;
  const uint64_t at = Allocate(name.size() + 1, 8);
  machine_.Write(at, name.c_str(), name.size() + 1);
  selectorsByName_[name] = at;
  selectorNames_[at] = name;
  return at;
}

const std::string &Runtime::SelectorName(uint64_t selector) const {
  static const std::string unknown = "(not a selector)";
  auto it = selectorNames_.find(selector);
  return it != selectorNames_.end() ? it->second : unknown;
}

bool Runtime::IsSelector(uint64_t selector) const { return selectorNames_.count(selector) != 0; }

ClassInfo &Runtime::DefineClass(const std::string &name, const std::string &superclass, const std::string &publicName) {
  if (classesByName_.count(name)) throw RunError("class " + name + " is defined twice");
  ClassInfo *super = nullptr;
  if (!superclass.empty()) {
    super = FindClass(superclass);
    if (super == nullptr) throw RunError("class " + name + ": superclass " + superclass + " is not defined");
  }
  classes_.emplace_back();
  ClassInfo &cls = classes_.back();
  cls.name = name;
  cls.publicName = publicName.empty() ? name : publicName;
  cls.superclass = super;
  if (super != nullptr) cls.instanceType = super->instanceType;
  // objc_class: isa, superclass, cache, vtable, data; the metaclass likewise.
  const unsigned p = machine_.pointerSize();
  cls.handle = Allocate(5 * p);
  cls.metaHandle = Allocate(5 * p);
  machine_.WritePointer(cls.handle, cls.metaHandle);
  machine_.WritePointer(cls.handle + p, super != nullptr ? super->handle : 0);
  machine_.WritePointer(cls.metaHandle + p, super != nullptr ? super->metaHandle : cls.handle);
  classesByName_[name] = &cls;
  classesByHandle_[cls.handle] = &cls;
  metaclassesByHandle_[cls.metaHandle] = &cls;
  return cls;
}

ClassInfo *Runtime::FindClass(const std::string &name) {
  auto it = classesByName_.find(name);
  return it != classesByName_.end() ? it->second : nullptr;
}

ClassInfo *Runtime::ClassOfHandle(uint64_t handle) {
  auto it = classesByHandle_.find(handle);
  return it != classesByHandle_.end() ? it->second : nullptr;
}

ClassInfo *Runtime::MetaclassOfHandle(uint64_t handle) {
  auto it = metaclassesByHandle_.find(handle);
  return it != metaclassesByHandle_.end() ? it->second : nullptr;
}

bool Runtime::IsKindOf(const ClassInfo *cls, const ClassInfo *ancestor) const {
  for (; cls != nullptr; cls = cls->superclass) {
    if (cls == ancestor) return true;
  }
  return false;
}

uint64_t Runtime::AddMethod(ClassInfo &cls, bool classSide, const std::string &selector, HostMethod::Body body,
                            bool logged, Signature signature, bool explicitSignature) {
  hostMethods_.emplace_back();
  HostMethod &method = hostMethods_.back();
  method.implementor = cls.name;
  method.selector = selector;
  method.signature = explicitSignature ? signature : SignatureOf(selector);
  if (logged) {
    // A host or UIKit implementation the library may replace or call through: its runs are traced.
    method.body = [body = std::move(body), &cls](Runtime &rt, uint64_t self, uint64_t sel,
                                                  const std::vector<Value> &args) {
      rt.trace().HostCall(cls.name, rt.Describe(self), rt.SelectorName(sel), args, rt);
      return body(rt, self, sel, args);
    };
  } else {
    method.body = std::move(body);
  }
  const std::string trapName = std::string(classSide ? "+[" : "-[") + cls.name + " " + selector + "]";
  HostMethod *stored = &method;
  method.address = machine_.AddTrap(trapName, [this, stored] { RunHostMethodFromTrap(*stored); });
  hostMethodsByAddress_[method.address] = stored;
  (classSide ? cls.classMethods : cls.instanceMethods)[Selector(selector)] = method.address;
  return method.address;
}

void Runtime::AddImageMethod(ClassInfo &cls, bool classSide, uint64_t selector, uint64_t implementation) {
  (classSide ? cls.classMethods : cls.instanceMethods)[selector] = implementation;
}

const HostMethod *Runtime::HostMethodAt(uint64_t address) const {
  auto it = hostMethodsByAddress_.find(address);
  return it != hostMethodsByAddress_.end() ? it->second : nullptr;
}

bool Runtime::IsImageCode(uint64_t address) const {
  const uint64_t plain = machine_.arch() == Arch::armv7 ? (address & ~uint64_t(1)) : address;
  return plain >= imageBegin_ && plain < imageEnd_;
}

Object &Runtime::NewObject(ClassInfo &cls, Object::Type type) {
  auto object = std::make_unique<Object>();
  object->type = type;
  object->cls = &cls;
  object->handle = Allocate(2 * machine_.pointerSize());
  machine_.WritePointer(object->handle, cls.handle);
  Object &ref = *object;
  objects_[ref.handle] = std::move(object);
  return ref;
}

Object *Runtime::Find(uint64_t handle) {
  auto it = objects_.find(handle);
  return it != objects_.end() ? it->second.get() : nullptr;
}

Object &Runtime::Get(uint64_t handle, const char *why) {
  Object *object = Find(handle);
  if (object == nullptr) throw RunError(std::string(why) + ": " + Hex(handle) + " is not a live object");
  return *object;
}

bool Runtime::IsClassObject(uint64_t handle) const { return classesByHandle_.count(handle) != 0; }

ClassInfo *Runtime::ClassOf(uint64_t receiver) {
  if (Object *object = Find(receiver)) return object->cls;
  return nullptr;
}

uint64_t Runtime::Autorelease(uint64_t handle) {
  if (handle == 0) return 0;
  Object &object = Get(handle, "autorelease");
  if (object.immortal) return handle;
  // Without a pool the object leaks, as on the device.
  if (!pools_.empty()) pools_.back().objects.push_back(handle);
  return handle;
}

void Runtime::Retain(uint64_t handle) {
  if (handle == 0 || IsClassObject(handle)) return;
  Object &object = Get(handle, "retain");
  if (!object.immortal) ++object.retainCount;
}

void Runtime::Release(uint64_t handle) {
  if (handle == 0 || IsClassObject(handle)) return;
  Object &object = Get(handle, "release (over-released?)");
  if (object.immortal) return;
  if (--object.retainCount > 0) return;
  // Deallocation: what the object owned is released with it.
  std::vector<uint64_t> owned = object.items;
  for (const auto &entry : object.entries) {
    owned.push_back(entry.first);
    owned.push_back(entry.second);
  }
  for (const auto &ivar : object.ivarValues) owned.push_back(ivar.second);
  owned.push_back(object.scannedString);
  owned.push_back(object.skipSet);
  objects_.erase(handle);
  for (uint64_t child : owned) Release(child);
}

uint64_t Runtime::PushPool() {
  const uint64_t token = nextPoolToken_++ * 16 + heapBase_ - 0x100000;  // an address-like token, never an object
  pools_.push_back(Pool{token, {}});
  return token;
}

void Runtime::PopPool(uint64_t token) {
  auto it = std::find_if(pools_.begin(), pools_.end(), [&](const Pool &p) { return p.token == token; });
  if (it == pools_.end()) throw RunError("objc_autoreleasePoolPop: " + Hex(token) + " is not a pool in place");
  // Popping a pool pops every pool pushed after it too.
  while (pools_.size() > static_cast<size_t>(it - pools_.begin())) {
    std::vector<uint64_t> objects = std::move(pools_.back().objects);
    pools_.pop_back();
    for (uint64_t handle : objects) Release(handle);
    it = std::find_if(pools_.begin(), pools_.end(), [&](const Pool &p) { return p.token == token; });
    if (it == pools_.end()) break;
  }
}

size_t Runtime::LiveObjectCount() const {
  size_t count = 0;
  for (const auto &entry : objects_) {
    if (!entry.second->immortal) ++count;
  }
  return count;
}

uint64_t Runtime::LookUpInClass(ClassInfo *cls, bool classSide, uint64_t selector) {
  for (ClassInfo *c = cls; c != nullptr; c = c->superclass) {
    const auto &table = classSide ? c->classMethods : c->instanceMethods;
    auto it = table.find(selector);
    if (it != table.end()) return it->second;
  }
  if (classSide) {
    // A class answers its root class's instance methods too (class, respondsToSelector:, ...).
    ClassInfo *root = cls;
    while (root != nullptr && root->superclass != nullptr) root = root->superclass;
    return LookUpInClass(root, false, selector);
  }
  return 0;
}

uint64_t Runtime::LookUp(uint64_t receiver, uint64_t selector) {
  if (ClassInfo *cls = ClassOfHandle(receiver)) return LookUpInClass(cls, true, selector);
  Object *object = Find(receiver);
  if (object == nullptr) {
    throw RunError("message " + SelectorName(selector) + " sent to " + Hex(receiver) +
                   ", which is not a live object (released, or never made)");
  }
  return LookUpInClass(object->cls, false, selector);
}

std::string Runtime::PublicClassName(uint64_t receiver) {
  if (ClassInfo *cls = ClassOfHandle(receiver)) return cls->name;
  if (Object *object = Find(receiver)) return object->cls->publicName;
  return "?";
}

void Runtime::RunHostMethodFromTrap(const HostMethod &method) {
  std::vector<Kind> kinds = {Kind::word, Kind::word};
  kinds.insert(kinds.end(), method.signature.arguments.begin(), method.signature.arguments.end());
  std::vector<Value> all = machine_.Arguments(kinds);
  std::vector<Value> args(all.begin() + 2, all.end());
  Value result = method.body(*this, all[0].word, all[1].word, args);
  if (method.signature.result == Kind::none) result = Value::None();
  machine_.Return(result);
}

void Runtime::TrapMessageSend() {
  std::vector<Value> head = machine_.Arguments({Kind::word, Kind::word});
  const uint64_t receiver = head[0].word, selector = head[1].word;
  if (!IsSelector(selector)) throw RunError("objc_msgSend with " + Hex(selector) + ", which is not a selector");
  const std::string &name = SelectorName(selector);
  const Signature sig = SignatureOf(name);
  std::vector<Kind> kinds = {Kind::word, Kind::word};
  kinds.insert(kinds.end(), sig.arguments.begin(), sig.arguments.end());
  std::vector<Value> all = machine_.Arguments(kinds);
  std::vector<Value> args(all.begin() + 2, all.end());
  trace_.MessageSent(receiver == 0 ? "nil" : PublicClassName(receiver), name, args, *this);
  if (receiver == 0) {
    // A message to nil does nothing and yields zero in every result register.
    machine_.Return(sig.result == Kind::cgfloat ? Value::Real(0) : Value::Word(0));
    return;
  }
  const uint64_t imp = LookUp(receiver, selector);
  if (imp == 0) {
    throw RunError("-[" + PublicClassName(receiver) + " " + name + "]: unrecognized selector sent to " +
                   Describe(receiver));
  }
  if (IsImageCode(imp)) {
    machine_.ContinueAt(imp);  // the registers are the caller's, as objc_msgSend leaves them
    return;
  }
  const HostMethod *method = HostMethodAt(imp);
  if (method == nullptr) {
    // A trampoline or another trap: jump there with the registers as they are.
    machine_.ContinueAt(imp);
    return;
  }
  RunHostMethodFromTrap(*method);
}

Value Runtime::CallImplementation(uint64_t imp, uint64_t receiver, uint64_t selector, const std::vector<Value> &args,
                                  const Signature &signature) {
  if (const HostMethod *method = HostMethodAt(imp)) {
    Value result = method->body(*this, receiver, selector, args);
    return method->signature.result == Kind::none ? Value::None() : result;
  }
  std::vector<Value> all = {Value::Word(receiver), Value::Word(selector)};
  all.insert(all.end(), args.begin(), args.end());
  return machine_.Call(imp, all, signature.result);
}

Value Runtime::SendSelector(uint64_t receiver, uint64_t selector, const std::vector<Value> &args) {
  const Signature sig = SignatureOf(SelectorName(selector));
  if (receiver == 0) return sig.result == Kind::cgfloat ? Value::Real(0) : Value::Word(0);
  const uint64_t imp = LookUp(receiver, selector);
  if (imp == 0) {
    throw RunError("-[" + PublicClassName(receiver) + " " + SelectorName(selector) + "]: unrecognized selector");
  }
  return CallImplementation(imp, receiver, selector, args, sig);
}

Value Runtime::Send(uint64_t receiver, const std::string &selector, const std::vector<Value> &args) {
  return SendSelector(receiver, Selector(selector), args);
}

uint64_t Runtime::SuperTrampoline(ClassInfo *superclass, uint64_t selector) {
  const std::string name = "(call of " + (superclass ? superclass->name : std::string("nil")) + "'s " +
                           SelectorName(selector) + ")";
  return machine_.AddTrap(name, [this, superclass, selector] {
    const uint64_t imp = LookUpInClass(superclass, false, selector);
    if (imp == 0) throw RunError("the hooked superclass implementation of " + SelectorName(selector) + " is gone");
    if (const HostMethod *method = HostMethodAt(imp)) {
      RunHostMethodFromTrap(*method);
    } else {
      machine_.ContinueAt(imp);
    }
  });
}

void Runtime::HookMessage(uint64_t clsHandle, uint64_t selector, uint64_t replacement, uint64_t slot) {
  if (clsHandle == 0) return;
  ClassInfo *cls = ClassOfHandle(clsHandle);
  if (cls == nullptr) throw RunError("MSHookMessageEx: " + Hex(clsHandle) + " is not a class");
  if (!IsSelector(selector)) throw RunError("MSHookMessageEx: " + Hex(selector) + " is not a selector");
  if (LookUpInClass(cls, false, selector) == 0) return;
  uint64_t previous;
  auto own = cls->instanceMethods.find(selector);
  if (own != cls->instanceMethods.end()) {
    previous = own->second;
    own->second = replacement;
  } else {
    previous = SuperTrampoline(cls->superclass, selector);
    cls->instanceMethods[selector] = replacement;
  }
  if (slot != 0) machine_.WritePointer(slot, previous);
}

uint64_t Runtime::NewString(const std::u16string &text, bool autoreleased) {
  Object &object = NewObject(*FindClass("NSString"), Object::Type::string);
  object.text = text;
  return autoreleased ? Autorelease(object.handle) : object.handle;
}

uint64_t Runtime::NewStringUTF8(const std::string &text, bool autoreleased) {
  return NewString(FromUTF8(text), autoreleased);
}

uint64_t Runtime::ConstantString(uint64_t address, const std::u16string &text) {
  auto object = std::make_unique<Object>();
  object->type = Object::Type::string;
  object->cls = FindClass("__NSCFConstantString");
  object->handle = address;
  object->immortal = true;
  object->text = text;
  objects_[address] = std::move(object);
  return address;
}

bool Runtime::IsString(uint64_t handle) {
  Object *object = Find(handle);
  return object != nullptr && object->type == Object::Type::string;
}

std::u16string Runtime::StringValue(uint64_t handle) { return Get(handle, "a string").text; }

std::string Runtime::Describe(uint64_t handle) { return trace_.DescribeObject(handle, *this); }

}  // namespace device
