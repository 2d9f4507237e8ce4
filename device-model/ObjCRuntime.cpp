#include "ObjCRuntime.h"

#include "Text.h"
#include "TraceWriter.h"

#include <algorithm>
#include <cstdio>

namespace device {

namespace {

constexpr uint64_t kHeapSize = 0x1000000;  // 16 MiB: class objects, objects and selector names

uint64_t HeapBase(Arch arch) { return arch == Arch::arm64 ? 0x300000000ull : 0x50000000ull; }

Value Zero(Type type) { return type == Type::cgfloat ? Value::Real(0) : Value{KindOf(type), 0, 0}; }

}  // namespace

Runtime::Runtime(Machine &machine, Trace &trace) : machine_(machine), trace_(trace) {
  heapBase_ = heapNext_ = HeapBase(machine.arch());
  heapEnd_ = heapBase_ + kHeapSize;
  machine_.Map(heapBase_, kHeapSize, 1 | 2);
  msgSendTrap_ = machine_.AddTrap("objc_msgSend", [this] { TrapMessageSend(); });
  sendReturnTrap_ = machine_.AddTrap("(return from a message into the library)", [this] { TrapSendReturn(); });
}

uint64_t Runtime::Allocate(uint64_t size, uint64_t alignment) {
  uint64_t at = (heapNext_ + alignment - 1) / alignment * alignment;
  if (at + size > heapEnd_) throw RunError("the model's heap is exhausted");
  heapNext_ = at + size;
  return at;
}

// ---- Selectors and classes

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

ClassInfo &Runtime::DefineClass(const std::string &name, const std::string &superclass) {
  if (classesByName_.count(name)) throw RunError("class " + name + " is defined twice");
  ClassInfo *super = nullptr;
  if (!superclass.empty()) {
    super = FindClass(superclass);
    if (super == nullptr) throw RunError("class " + name + ": superclass " + superclass + " is not defined");
  }
  classes_.emplace_back();
  ClassInfo &cls = classes_.back();
  cls.name = name;
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
  return cls;
}

ClassInfo *Runtime::FindClass(const std::string &name) {
  auto it = classesByName_.find(name);
  return it != classesByName_.end() ? it->second : nullptr;
}

ClassInfo &Runtime::Class(const std::string &name) {
  ClassInfo *cls = FindClass(name);
  if (cls == nullptr) throw RunError("the model has no class " + name);
  return *cls;
}

ClassInfo *Runtime::ClassOfHandle(uint64_t handle) {
  auto it = classesByHandle_.find(handle);
  return it != classesByHandle_.end() ? it->second : nullptr;
}

bool Runtime::IsKindOf(const ClassInfo *cls, const ClassInfo *ancestor) const {
  for (; cls != nullptr; cls = cls->superclass) {
    if (cls == ancestor) return true;
  }
  return false;
}

uint64_t Runtime::AddMethod(ClassInfo &cls, bool classSide, const SelectorInfo &selector, HostMethod::Body body,
                            bool traced) {
  hostMethods_.emplace_back();
  HostMethod &method = hostMethods_.back();
  method.implementor = cls.name;
  method.selector = selector;
  method.body = std::move(body);
  method.traced = traced;
  const std::string trapName = std::string(classSide ? "+[" : "-[") + cls.name + " " + selector.name + "]";
  HostMethod *stored = &method;
  method.address = machine_.AddTrap(trapName, [this, stored] { RunHostMethodFromTrap(*stored); });
  hostMethodsByAddress_[method.address] = stored;
  (classSide ? cls.classMethods : cls.instanceMethods)[Selector(selector.name)] = method.address;
  return method.address;
}

uint64_t Runtime::AddMethod(ClassInfo &cls, bool classSide, const std::string &tableSelector, HostMethod::Body body,
                            bool traced) {
  const SelectorInfo *info = FindSelector(tableSelector);
  if (info == nullptr) throw RunError("the selector table has no " + tableSelector);
  return AddMethod(cls, classSide, *info, std::move(body), traced);
}

void Runtime::AddImageMethod(ClassInfo &cls, bool classSide, uint64_t selector, uint64_t implementation) {
  (classSide ? cls.classMethods : cls.instanceMethods)[selector] = implementation;
}

ClassInfo *Runtime::Definer(ClassInfo *cls, uint64_t selector) {
  for (ClassInfo *c = cls; c != nullptr; c = c->superclass) {
    if (c->instanceMethods.count(selector)) return c;
  }
  return nullptr;
}

const HostMethod *Runtime::HostMethodAt(uint64_t address) const {
  auto it = hostMethodsByAddress_.find(address);
  return it != hostMethodsByAddress_.end() ? it->second : nullptr;
}

bool Runtime::IsImageCode(uint64_t address) const {
  const uint64_t plain = machine_.arch() == Arch::armv7 ? (address & ~uint64_t(1)) : address;
  return plain >= imageBegin_ && plain < imageEnd_;
}

// ---- Objects

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
  if (object == nullptr) throw RunError(std::string(why) + ": " + Gone(handle));
  return *object;
}

std::string Runtime::Gone(uint64_t handle) const {
  auto spent = spentPlaceholders_.find(handle);
  if (spent != spentPlaceholders_.end()) {
    return Hex(handle) + " is the placeholder that +[" + spent->second->name + " alloc] answered, gone since its " +
           "initialiser answered another object or it was released (use what init… returned)";
  }
  return Hex(handle) + " is not a live object (freed, or never made)";
}

namespace {

// Cocoa's init family: "init" alone or followed by a capital.
bool IsInitializer(const std::string &selector) {
  return selector.compare(0, 4, "init") == 0 && (selector.size() == 4 || (selector[4] >= 'A' && selector[4] <= 'Z'));
}

}  // namespace

void Runtime::RefusePlaceholder(const Object &placeholder, const std::string &selector) const {
  throw RunError("-[" + placeholder.cls->name + "(placeholder) " + selector + "]: a message to the placeholder that +[" +
                 placeholder.cls->name + " alloc] answered; only an init… message or release may follow alloc");
}

uint64_t Runtime::NewPlaceholder(ClassInfo &cluster) {
  Object &placeholder = NewObject(cluster, Object::Type::plain);
  placeholder.placeholder = true;
  placeholder.initialized = false;
  return placeholder.handle;
}

void Runtime::SpendPlaceholder(uint64_t handle) {
  Object &placeholder = Get(handle, "a placeholder");
  if (!placeholder.placeholder) throw RunError(Hex(handle) + " is not a placeholder");
  spentPlaceholders_[handle] = placeholder.cls;
  objects_.erase(handle);
}

const ClassInfo *Runtime::PlaceholderCluster(uint64_t handle) {
  auto spent = spentPlaceholders_.find(handle);
  if (spent != spentPlaceholders_.end()) return spent->second;
  Object *object = Find(handle);
  return object != nullptr && object->placeholder ? object->cls : nullptr;
}

bool Runtime::IsClassObject(uint64_t handle) const { return classesByHandle_.count(handle) != 0; }

ClassInfo *Runtime::ClassOf(uint64_t receiver) {
  if (Object *object = Find(receiver)) return object->cls;
  return nullptr;
}

uint64_t Runtime::Make(ClassInfo &cls) {
  Object &object = NewObject(cls, cls.instanceType);
  const uint64_t handle = object.handle;
  std::vector<ClassInfo *> chain;
  for (ClassInfo *c = &cls; c != nullptr; c = c->superclass) chain.push_back(c);
  // Each init calls its superclass's first.
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if ((*it)->initializer) (*it)->initializer(*this, handle);
  }
  return handle;
}

uint64_t Runtime::Autorelease(uint64_t handle) {
  if (handle == 0) return 0;
  Object &object = Get(handle, "autorelease");
  if (object.placeholder) RefusePlaceholder(object, "autorelease");
  if (object.immortal) return handle;
  // Without a pool the object leaks, as on the device.
  if (!pools_.empty()) pools_.back().objects.push_back(handle);
  return handle;
}

void Runtime::Retain(uint64_t handle) {
  if (handle == 0 || IsClassObject(handle)) return;
  Object &object = Get(handle, "retain");
  if (object.placeholder) RefusePlaceholder(object, "retain");
  if (!object.immortal) ++object.retainCount;
}

void Runtime::Release(uint64_t handle) {
  if (handle == 0 || IsClassObject(handle)) return;
  Object &object = Get(handle, "release (of an object already freed?)");
  if (object.immortal) return;
  if (object.placeholder) return SpendPlaceholder(handle);
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
  const uint64_t token = Allocate(16);  // an address of its own, never an object
  pools_.push_back(Pool{token, {}});
  return token;
}

void Runtime::PopPool(uint64_t token) {
  auto it = std::find_if(pools_.begin(), pools_.end(), [&](const Pool &p) { return p.token == token; });
  if (it == pools_.end()) throw RunError("objc_autoreleasePoolPop: " + Hex(token) + " is not a pool in place");
  // Popping a pool pops the pools pushed after it too.
  const size_t keep = static_cast<size_t>(it - pools_.begin());
  while (pools_.size() > keep) {
    std::vector<uint64_t> objects = std::move(pools_.back().objects);
    pools_.pop_back();
    for (uint64_t handle : objects) Release(handle);
  }
}

size_t Runtime::LiveObjectCount() const {
  size_t count = 0;
  for (const auto &entry : objects_) {
    if (!entry.second->immortal) ++count;
  }
  return count;
}

uint64_t Runtime::CGColorOf(uint64_t color) {
  Object &object = Get(color, "CGColor");
  if (object.cgColor == 0) {
    object.cgColor = Allocate(4 * 8);
    cgColors_[object.cgColor] = {object.components[0], object.components[1], object.components[2],
                                 object.components[3]};
  }
  return object.cgColor;
}

const double *Runtime::CGColorComponents(uint64_t cgColor) const {
  auto it = cgColors_.find(cgColor);
  return it != cgColors_.end() ? it->second.data() : nullptr;
}

// ---- Dispatch

uint64_t Runtime::LookUpInClass(ClassInfo *cls, bool classSide, uint64_t selector) {
  for (ClassInfo *c = cls; c != nullptr; c = c->superclass) {
    const auto &table = classSide ? c->classMethods : c->instanceMethods;
    auto it = table.find(selector);
    if (it != table.end()) return it->second;
  }
  if (classSide && cls != nullptr) {
    // A class answers its root class's instance methods too (class, respondsToSelector:, ...).
    ClassInfo *root = cls;
    while (root->superclass != nullptr) root = root->superclass;
    return LookUpInClass(root, false, selector);
  }
  return 0;
}

uint64_t Runtime::LookUp(uint64_t receiver, uint64_t selector) {
  if (ClassInfo *cls = ClassOfHandle(receiver)) return LookUpInClass(cls, true, selector);
  Object *object = Find(receiver);
  if (object == nullptr) throw RunError("message " + SelectorName(selector) + " sent to " + Gone(receiver));
  if (object->placeholder && !IsInitializer(SelectorName(selector)) && SelectorName(selector) != "release") {
    RefusePlaceholder(*object, SelectorName(selector));
  }
  return LookUpInClass(object->cls, false, selector);
}

std::string Runtime::DescribeResult(const SelectorInfo &selector, const Value &result, const std::vector<Value> &args) {
  // scanHexInt: shows the value it scanned.
  if (selector.name == "scanHexInt:") {
    if (result.word == 0) return "NO";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "YES 0x%X", machine_.Read32(args[0].word));
    return buffer;
  }
  return trace_.Typed(selector.result, result, *this);
}

Value Runtime::RunHostMethod(const HostMethod &method, uint64_t self, uint64_t selector, const std::vector<Value> &args) {
  if (method.traced) {
    trace_.Open("impl " + method.implementor + " " + trace_.Object(self, *this) + " " + method.selector.name +
                trace_.Arguments(method.selector.arguments, args, *this));
  }
  Value result = method.body(*this, self, selector, args);
  if (method.selector.result == Type::none) result = Value::None();
  if (method.traced) {
    if (method.selector.result == Type::none) {
      trace_.Close(nullptr);
    } else {
      const std::string described = DescribeResult(method.selector, result, args);
      trace_.Close(&described);
    }
  }
  return result;
}

std::vector<Value> Runtime::ReadArguments(const SelectorInfo &selector) {
  std::vector<Kind> kinds = {Kind::word, Kind::word};
  for (Type t : selector.arguments) kinds.push_back(KindOf(t));
  std::vector<Value> all = machine_.Arguments(kinds);
  return std::vector<Value>(all.begin() + 2, all.end());
}

void Runtime::RunHostMethodFromTrap(const HostMethod &method) {
  std::vector<Value> head = machine_.Arguments({Kind::word, Kind::word});
  Value result = RunHostMethod(method, head[0].word, head[1].word, ReadArguments(method.selector));
  machine_.Return(result);
}

void Runtime::TrapMessageSend() {
  std::vector<Value> head = machine_.Arguments({Kind::word, Kind::word});
  const uint64_t receiver = head[0].word, selector = head[1].word;
  if (!IsSelector(selector)) throw RunError("objc_msgSend with " + Hex(selector) + ", which is not a selector");
  const std::string &name = SelectorName(selector);
  ClassInfo *stringClass = FindClass("NSString");
  if (name == "stringWithUTF8String:" && stringClass != nullptr && receiver == stringClass->handle) {
    // How the library makes string objects from text; the string shows by value where it is used.
    RunHostMethodFromTrap(*HostMethodAt(LookUp(receiver, selector)));
    return;
  }
  const SelectorInfo *info = FindSelector(name);
  if (info == nullptr || !info->sent) {
    throw RunError("the library sent " + name + ", which the trace does not know");
  }
  const std::vector<Value> args = ReadArguments(*info);
  trace_.Open("send " + trace_.Object(receiver, *this) + " " + name + trace_.Arguments(info->arguments, args, *this));
  if (receiver == 0) {
    // A message to nil does nothing and yields zero, in every register the device's clears.
    const Value zero = Zero(info->result);
    if (info->result == Type::none) {
      trace_.Close(nullptr);
    } else {
      const std::string described = DescribeResult(*info, zero, args);
      trace_.Close(&described);
    }
    machine_.ReturnFromNilMessage();
    return;
  }
  const uint64_t imp = LookUp(receiver, selector);
  if (imp == 0) {
    throw RunError("-[" + trace_.Object(receiver, *this) + " " + name + "]: unrecognized selector");
  }
  if (IsImageCode(imp)) {
    // On into the library's own code with the registers as objc_msgSend leaves them; only the return
    // comes back here first, so that the message's end and result are seen.
    pendingSends_.push_back(PendingSend{machine_.LinkRegister(), info, args});
    machine_.SetLinkRegister(sendReturnTrap_);
    machine_.ContinueAt(imp);
    return;
  }
  const HostMethod *method = HostMethodAt(imp);
  if (method == nullptr) throw RunError(name + " dispatches to " + Hex(imp) + ", which is neither the library nor the host");
  const Value result = RunHostMethod(*method, receiver, selector, args);
  if (info->result == Type::none) {
    trace_.Close(nullptr);
  } else {
    const std::string described = DescribeResult(*info, result, args);
    trace_.Close(&described);
  }
  machine_.Return(result);
}

void Runtime::TrapSendReturn() {
  if (pendingSends_.empty()) throw RunError("the library returned from a message that was never sent");
  PendingSend pending = std::move(pendingSends_.back());
  pendingSends_.pop_back();
  if (pending.selector->result == Type::none) {
    trace_.Close(nullptr);
  } else {
    const std::string described =
        DescribeResult(*pending.selector, machine_.Result(KindOf(pending.selector->result)), pending.args);
    trace_.Close(&described);
  }
  machine_.ContinueAt(pending.returnAddress);
}

Value Runtime::CallImplementation(uint64_t imp, uint64_t receiver, uint64_t selector, const SelectorInfo &info,
                                  const std::vector<Value> &args) {
  if (const HostMethod *method = HostMethodAt(imp)) return RunHostMethod(*method, receiver, selector, args);
  // The library's code, or a trap of the model's own (the slot of an inherited method) run as code.
  if (!IsImageCode(imp) && !machine_.IsTrap(imp)) {
    throw RunError(info.name + ": " + Hex(imp) + " is neither the library nor the host");
  }
  std::vector<Value> all = {Value::Word(receiver), Value::Word(selector)};
  all.insert(all.end(), args.begin(), args.end());
  return machine_.Call(imp, all, KindOf(info.result));
}

Value Runtime::Send(const char *kind, uint64_t receiver, const SelectorInfo &info, const std::vector<Value> &args,
                    ClassInfo *above) {
  const bool traced = kind != nullptr && *kind != '\0';
  if (traced) {
    trace_.Open(std::string(kind) + " " + trace_.Object(receiver, *this) + " " + info.name +
                trace_.Arguments(info.arguments, args, *this));
  }
  const uint64_t selector = Selector(info.name);
  Value result = Zero(info.result);
  if (receiver != 0) {
    const uint64_t imp = above != nullptr ? LookUpInClass(above->superclass, false, selector) : LookUp(receiver, selector);
    if (imp == 0) throw RunError("-[" + trace_.Object(receiver, *this) + " " + info.name + "]: unrecognized selector");
    result = CallImplementation(imp, receiver, selector, info, args);
  }
  if (traced) {
    if (info.result == Type::none) {
      trace_.Close(nullptr);
    } else {
      const std::string described = DescribeResult(info, result, args);
      trace_.Close(&described);
    }
  }
  return result;
}

Value Runtime::Send(const char *kind, uint64_t receiver, const std::string &tableSelector, const std::vector<Value> &args) {
  const SelectorInfo *info = FindSelector(tableSelector);
  if (info == nullptr) throw RunError("the selector table has no " + tableSelector);
  return Send(kind, receiver, *info, args);
}

uint64_t Runtime::SuperTrampoline(ClassInfo *superclass, uint64_t selector) {
  const std::string name = "(call of " + superclass->name + "'s " + SelectorName(selector) + ")";
  return machine_.AddTrap(name, [this, superclass, selector] {
    const uint64_t imp = LookUpInClass(superclass, false, selector);
    if (imp == 0) throw RunError("the superclass implementation of " + SelectorName(selector) + " is gone");
    if (const HostMethod *method = HostMethodAt(imp)) {
      RunHostMethodFromTrap(*method);
    } else {
      machine_.ContinueAt(imp);  // with the caller's registers, as a tail call
    }
  });
}

Runtime::HookOutcome Runtime::HookMessage(uint64_t clsHandle, uint64_t selector, uint64_t replacement, uint64_t slot) {
  if (clsHandle == 0) return HookOutcome::none;
  ClassInfo *cls = ClassOfHandle(clsHandle);
  if (cls == nullptr) throw RunError("MSHookMessageEx: " + Hex(clsHandle) + " is not a class");
  if (!IsSelector(selector)) throw RunError("MSHookMessageEx: " + Hex(selector) + " is not a selector");
  if (!IsImageCode(replacement)) throw RunError("MSHookMessageEx: replacement " + Hex(replacement) + " is not the library's code");
  if (LookUpInClass(cls, false, selector) == 0) return HookOutcome::none;
  uint64_t previous;
  HookOutcome outcome;
  auto own = cls->instanceMethods.find(selector);
  if (own != cls->instanceMethods.end()) {
    previous = own->second;
    own->second = replacement;
    outcome = HookOutcome::own;
  } else {
    previous = SuperTrampoline(cls->superclass, selector);
    cls->instanceMethods[selector] = replacement;
    outcome = HookOutcome::inherited;
  }
  if (slot != 0) machine_.WritePointer(slot, previous);
  return outcome;
}

// ---- Strings

uint64_t Runtime::NewString(const std::u16string &text, bool autoreleased) {
  Object &object = NewObject(Class("NSString"), Object::Type::string);
  object.text = text;
  return autoreleased ? Autorelease(object.handle) : object.handle;
}

uint64_t Runtime::NewStringUTF8(const std::string &text, bool autoreleased) {
  return NewString(FromUTF8(text), autoreleased);
}

uint64_t Runtime::ConstantString(uint64_t address, const std::u16string &text) {
  auto object = std::make_unique<Object>();
  object->type = Object::Type::string;
  object->cls = &Class("__NSCFConstantString");
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

std::u16string Runtime::StringValue(uint64_t handle) {
  Object &object = Get(handle, "a string");
  if (object.type != Object::Type::string) throw RunError("a string was expected, not " + object.cls->name);
  return object.text;
}

}  // namespace device
