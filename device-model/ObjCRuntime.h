// The Objective-C runtime of the device model, answered from the host side: classes with their
// superclass chains and method tables, unique selectors, objects with reference counts and
// autorelease pools, message dispatch that jumps into emulated code when an implementation is the
// library's, and the hooking library's MSHookMessageEx.
#pragma once

#include "Machine.h"
#include "SelectorTable.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace device {

class Trace;
struct ClassInfo;

// A model object. One record serves every kind of object the library meets; `type` says which
// fields mean something.
struct Object {
  enum class Type { plain, string, number, array, dictionary, date, data, color, image, scanner, characterSet };
  enum class NumberType { boolean, integer, real };
  Type type = Type::plain;
  ClassInfo *cls = nullptr;
  uint64_t handle = 0;
  int retainCount = 1;
  bool immortal = false;    // constant strings, named colours, shared sets: never freed
  bool initialized = true;  // false between alloc and an initialiser
  bool placeholder = false; // what +alloc of a class cluster answers (see Runtime::NewPlaceholder)
  std::u16string text;      // string
  NumberType numberType = NumberType::integer;
  int64_t integer = 0;
  double real = 0;
  std::vector<uint64_t> items;                         // array (owned)
  std::vector<std::pair<uint64_t, uint64_t>> entries;  // dictionary keys and values (owned)
  double components[4] = {0, 0, 0, 0};                 // colour, in the slice's width
  bool pattern = false;
  uint64_t cgColor = 0;  // the colour's CGColor, made on first use
  std::string imageName;  // image, or a pattern colour's image
  uint64_t scannedString = 0, skipSet = 0;  // scanner (owned)
  size_t scanLocation = 0;
  std::map<std::string, uint64_t> ivarValues;  // object instance variables (owned)
  bool flag = false;                           // a view's hidden flag
  std::string label;                           // a scenario object's name
};

class Runtime;

// A host-side implementation (UIKit, Foundation, the host app's): the body runs with the receiver,
// the selector and the arguments of the method's signature, and returns the method's result.
struct HostMethod {
  using Body = std::function<Value(Runtime &, uint64_t self, uint64_t selector, const std::vector<Value> &args)>;
  std::string implementor;
  SelectorInfo selector;
  Body body;
  bool traced = false;   // writes an impl event when it runs
  uint64_t address = 0;  // its trap: what a method table or a hook slot holds
};

struct ClassInfo {
  std::string name;
  ClassInfo *superclass = nullptr;
  uint64_t handle = 0;      // the class object
  uint64_t metaHandle = 0;  // its metaclass
  std::map<uint64_t, uint64_t> instanceMethods;  // selector -> implementation address
  std::map<uint64_t, uint64_t> classMethods;
  std::set<std::string> ivars;
  Object::Type instanceType = Object::Type::plain;
  // A class cluster's public class: its +alloc answers a placeholder (its subclasses' do not).
  bool allocatesPlaceholder = false;
  // What `init` does beyond marking the object initialised (UIKit's views set up their state).
  std::function<void(Runtime &, uint64_t self)> initializer;
};

class Runtime {
 public:
  Runtime(Machine &machine, Trace &trace);

  Machine &machine() { return machine_; }
  Trace &trace() { return trace_; }

  // Memory the runtime hands out (class objects, objects, selector names).
  uint64_t Allocate(uint64_t size, uint64_t alignment = 16);

  // Selectors: one unique address per name; the name's characters live at that address.
  uint64_t Selector(const std::string &name);
  const std::string &SelectorName(uint64_t selector) const;
  bool IsSelector(uint64_t selector) const;

  // Classes.
  ClassInfo &DefineClass(const std::string &name, const std::string &superclass);
  ClassInfo *FindClass(const std::string &name);
  ClassInfo &Class(const std::string &name);  // one that must exist
  ClassInfo *ClassOfHandle(uint64_t handle);  // a class object (not a metaclass)
  // For a host side taken from an app's files: a class of the model that the app does not have is
  // no longer found by name (its object stays valid).
  void ForgetClassName(const std::string &name) { classesByName_.erase(name); }
  bool IsKindOf(const ClassInfo *cls, const ClassInfo *ancestor) const;
  // Adds a host implementation for a selector of the table (or an internal one) to a class or its
  // metaclass, and returns its address.
  uint64_t AddMethod(ClassInfo &cls, bool classSide, const SelectorInfo &selector, HostMethod::Body body,
                     bool traced = false);
  uint64_t AddMethod(ClassInfo &cls, bool classSide, const std::string &tableSelector, HostMethod::Body body,
                     bool traced = false);
  void AddImageMethod(ClassInfo &cls, bool classSide, uint64_t selector, uint64_t implementation);
  // The class that defines `selector` itself, from `cls` upwards; nullptr when none does.
  ClassInfo *Definer(ClassInfo *cls, uint64_t selector);
  const HostMethod *HostMethodAt(uint64_t address) const;
  bool IsImageCode(uint64_t address) const;
  void SetImageRange(uint64_t begin, uint64_t end) { imageBegin_ = begin, imageEnd_ = end; }

  // Objects.
  Object &NewObject(ClassInfo &cls, Object::Type type);
  Object *Find(uint64_t handle);
  Object &Get(uint64_t handle, const char *why);  // fails the run for anything that is not a live object
  ClassInfo *ClassOf(uint64_t receiver);          // an instance's class
  bool IsClassObject(uint64_t handle) const;
  // alloc then init, as the host makes its objects.
  uint64_t Make(ClassInfo &cls);
  // Class clusters, as the device has them: +alloc answers a placeholder, and an initialiser another
  // object, the real one; the placeholder is then gone (SpendPlaceholder). A placeholder takes an
  // init… message or release, nothing else: any other message stops the run, and so does any
  // message to it once it is gone, each naming it. Its initialisers are the cluster's own, which
  // make the real object, and those a category of the library adds, which run on the placeholder
  // (it inherits them on the device too).
  uint64_t NewPlaceholder(ClassInfo &cluster);
  void SpendPlaceholder(uint64_t placeholder);
  bool IsSpentPlaceholder(uint64_t handle) const { return spentPlaceholders_.count(handle) != 0; }
  // The cluster a placeholder, live or gone, stands for; nullptr for anything else.
  const ClassInfo *PlaceholderCluster(uint64_t handle);
  uint64_t Autorelease(uint64_t handle);
  void Retain(uint64_t handle);
  void Release(uint64_t handle);
  uint64_t PushPool();
  void PopPool(uint64_t token);
  size_t LiveObjectCount() const;
  // A colour's CGColor (owned by the colour), and a CGColor's components.
  uint64_t CGColorOf(uint64_t color);
  const double *CGColorComponents(uint64_t cgColor) const;

  // Dispatch.
  // The implementation a receiver runs for a selector: an address in the image or a host trap; 0
  // when it has none.
  uint64_t LookUp(uint64_t receiver, uint64_t selector);
  uint64_t LookUpInClass(ClassInfo *cls, bool classSide, uint64_t selector);
  // A message sent from the host side, dispatched like any other (into emulated code or a host
  // implementation); nil receivers yield zero. `kind` names the trace event ("call", "msg", "super")
  // or is empty for an untraced message. `above` sends to the superclass of that class.
  Value Send(const char *kind, uint64_t receiver, const SelectorInfo &selector, const std::vector<Value> &args,
             ClassInfo *above = nullptr);
  Value Send(const char *kind, uint64_t receiver, const std::string &tableSelector, const std::vector<Value> &args = {});
  // Calls an implementation directly, as a slot call does.
  Value CallImplementation(uint64_t implementation, uint64_t receiver, uint64_t selector, const SelectorInfo &info,
                           const std::vector<Value> &args);

  // The hooking library with the device platform's semantics. A method defined on the class has
  // its implementation exchanged; a method only inherited gets the replacement added to the class
  // and the slot a trampoline that calls the superclass's implementation as it is at the time of
  // each call. A nil class, or a selector the class cannot answer, changes nothing.
  enum class HookOutcome { own, inherited, none };
  HookOutcome HookMessage(uint64_t cls, uint64_t selector, uint64_t replacement, uint64_t slot);

  // Strings.
  uint64_t NewString(const std::u16string &text, bool autoreleased = true);
  uint64_t NewStringUTF8(const std::string &text, bool autoreleased = true);
  uint64_t ConstantString(uint64_t address, const std::u16string &text);
  bool IsString(uint64_t handle);
  std::u16string StringValue(uint64_t handle);

  uint64_t MessageSendTrap() const { return msgSendTrap_; }
  // The trace value of a message's result.
  std::string DescribeResult(const SelectorInfo &selector, const Value &result, const std::vector<Value> &args);

 private:
  struct Pool {
    uint64_t token;
    std::vector<uint64_t> objects;
  };
  // A message of the library that went on into the library's own code: what its return needs.
  struct PendingSend {
    uint64_t returnAddress;
    const SelectorInfo *selector;
    std::vector<Value> args;
  };
  void TrapMessageSend();
  void TrapSendReturn();
  uint64_t SuperTrampoline(ClassInfo *superclass, uint64_t selector);
  void RunHostMethodFromTrap(const HostMethod &method);
  Value RunHostMethod(const HostMethod &method, uint64_t self, uint64_t selector, const std::vector<Value> &args);
  std::vector<Value> ReadArguments(const SelectorInfo &selector);
  Value ReadResult(Type type);

  Machine &machine_;
  Trace &trace_;
  uint64_t heapBase_ = 0, heapNext_ = 0, heapEnd_ = 0;
  uint64_t imageBegin_ = 0, imageEnd_ = 0;
  std::unordered_map<std::string, uint64_t> selectorsByName_;
  std::unordered_map<uint64_t, std::string> selectorNames_;
  std::deque<ClassInfo> classes_;
  std::unordered_map<std::string, ClassInfo *> classesByName_;
  std::unordered_map<uint64_t, ClassInfo *> classesByHandle_;
  std::unordered_map<uint64_t, std::unique_ptr<Object>> objects_;
  std::unordered_map<uint64_t, ClassInfo *> spentPlaceholders_;  // addresses are never reused
  std::string Gone(uint64_t handle) const;
  // Stops the run: `selector` (a message, or objc_retain / objc_autorelease) reached a placeholder.
  [[noreturn]] void RefusePlaceholder(const Object &placeholder, const std::string &selector) const;
  std::unordered_map<uint64_t, std::array<double, 4>> cgColors_;
  std::deque<HostMethod> hostMethods_;
  std::unordered_map<uint64_t, HostMethod *> hostMethodsByAddress_;
  std::vector<Pool> pools_;
  uint64_t nextPoolToken_ = 1;
  uint64_t msgSendTrap_ = 0, sendReturnTrap_ = 0;
  std::vector<PendingSend> pendingSends_;
};

}  // namespace device
