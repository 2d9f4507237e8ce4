// The Objective-C runtime of the device model, answered from the host side: classes with their
// superclass chains and method tables, unique selectors, objects with reference counts and
// autorelease pools, message dispatch that jumps into emulated code when an implementation is the
// library's, and the hooking library's MSHookMessageEx.
#pragma once

#include "Machine.h"

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

// What a method takes after its receiver and selector, and what it returns.
struct Signature {
  std::vector<Kind> arguments;
  Kind result = Kind::word;
};

// The signature of a selector as the library and the host send it: one word per colon unless the
// selector is known to take or return something else (CGFloat components, BOOL).
Signature SignatureOf(const std::string &selector);

struct ClassInfo;

// A model object. One record serves every kind of object the library meets; `kind` says which
// fields mean something.
struct Object {
  enum class Type { plain, string, number, array, dictionary, date, data, color, scanner, characterSet };
  enum class NumberType { boolean, integer, real };
  Type type = Type::plain;
  ClassInfo *cls = nullptr;
  uint64_t handle = 0;
  int retainCount = 1;
  bool immortal = false;  // constant strings, named colours, shared sets: never freed
  bool initialized = true;
  // string
  std::u16string text;
  // number
  NumberType numberType = NumberType::integer;
  int64_t integer = 0;
  double real = 0;
  // array, dictionary (keys and values are object handles)
  std::vector<uint64_t> items;
  std::vector<std::pair<uint64_t, uint64_t>> entries;
  // colour: components in the slice's width; a named colour keeps its message name
  double components[4] = {0, 0, 0, 0};
  bool pattern = false;
  std::string colorName;
  // scanner
  uint64_t scannedString = 0;
  size_t scanLocation = 0;
  uint64_t skipSet = 0;
  // host objects: what the scenario stores under an instance variable (key-value coding)
  std::map<std::string, uint64_t> ivarValues;
  std::string label;  // a host object's name in the scenario, for the trace
};

class Runtime;

// A host-side implementation: the body runs with the receiver, the selector and the arguments of
// the method's signature, and returns the method's result.
struct HostMethod {
  using Body = std::function<Value(Runtime &, uint64_t self, uint64_t selector, const std::vector<Value> &args)>;
  std::string implementor;
  std::string selector;
  Signature signature;
  Body body;
  uint64_t address = 0;  // its trap: what a method table or a hook slot holds
};

struct ClassInfo {
  std::string name;
  std::string publicName;  // what a trace calls its instances (an NSString, not an __NSCFConstantString)
  ClassInfo *superclass = nullptr;
  uint64_t handle = 0;      // the class object
  uint64_t metaHandle = 0;  // its metaclass
  std::map<uint64_t, uint64_t> instanceMethods;  // selector -> implementation address
  std::map<uint64_t, uint64_t> classMethods;
  std::set<std::string> ivars;
  Object::Type instanceType = Object::Type::plain;
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
  ClassInfo &DefineClass(const std::string &name, const std::string &superclass, const std::string &publicName = "");
  ClassInfo *FindClass(const std::string &name);
  ClassInfo *ClassOfHandle(uint64_t handle);  // a class object (not a metaclass)
  ClassInfo *MetaclassOfHandle(uint64_t handle);
  bool IsKindOf(const ClassInfo *cls, const ClassInfo *ancestor) const;
  // Adds a host implementation to a class (or its metaclass) and returns its address.
  uint64_t AddMethod(ClassInfo &cls, bool classSide, const std::string &selector, HostMethod::Body body,
                     bool logged = false, Signature signature = Signature{}, bool explicitSignature = false);
  // Installs the methods of a method list read from the image (a category's).
  void AddImageMethod(ClassInfo &cls, bool classSide, uint64_t selector, uint64_t implementation);
  const HostMethod *HostMethodAt(uint64_t address) const;
  bool IsImageCode(uint64_t address) const;
  void SetImageRange(uint64_t begin, uint64_t end) { imageBegin_ = begin, imageEnd_ = end; }

  // Objects.
  Object &NewObject(ClassInfo &cls, Object::Type type);
  Object *Find(uint64_t handle);
  Object &Get(uint64_t handle, const char *why);  // fails the run for anything that is not a live object
  ClassInfo *ClassOf(uint64_t receiver);          // an object's class, or a class object's class
  bool IsClassObject(uint64_t handle) const;
  uint64_t Autorelease(uint64_t handle);
  void Retain(uint64_t handle);
  void Release(uint64_t handle);
  uint64_t PushPool();
  void PopPool(uint64_t token);
  size_t LiveObjectCount() const;

  // Dispatch.
  // The implementation a receiver runs for a selector: an address in the image or a host trap; 0
  // when it has none.
  uint64_t LookUp(uint64_t receiver, uint64_t selector);
  uint64_t LookUpInClass(ClassInfo *cls, bool classSide, uint64_t selector);
  // A message sent from the host side: dispatched like any other, into emulated code or a host
  // implementation. Nil receivers yield zero.
  Value Send(uint64_t receiver, const std::string &selector, const std::vector<Value> &args = {});
  Value SendSelector(uint64_t receiver, uint64_t selector, const std::vector<Value> &args);
  // Calls an implementation directly (as a slot call does).
  Value CallImplementation(uint64_t implementation, uint64_t receiver, uint64_t selector, const std::vector<Value> &args,
                           const Signature &signature);

  // The hooking library: the device platform's semantics. A method defined on the class has its
  // implementation exchanged; a method only inherited gets the replacement added to the class and
  // the slot a trampoline that calls the superclass's implementation as it is at the time of each
  // call. A nil class, or a selector the class cannot answer, changes nothing.
  void HookMessage(uint64_t cls, uint64_t selector, uint64_t replacement, uint64_t slot);

  // A description of a value for the trace: its public class and contents.
  std::string Describe(uint64_t handle);
  std::string PublicClassName(uint64_t receiver);

  // Strings.
  uint64_t NewString(const std::u16string &text, bool autoreleased = true);
  uint64_t NewStringUTF8(const std::string &text, bool autoreleased = true);
  uint64_t ConstantString(uint64_t address, const std::u16string &text);
  bool IsString(uint64_t handle);
  std::u16string StringValue(uint64_t handle);

  // The traps of the runtime's own functions (objc_msgSend and the rest) install themselves here.
  uint64_t MessageSendTrap() const { return msgSendTrap_; }

 private:
  struct Pool {
    uint64_t token;
    std::vector<uint64_t> objects;
  };
  void TrapMessageSend();
  uint64_t SuperTrampoline(ClassInfo *superclass, uint64_t selector);
  void RunHostMethodFromTrap(const HostMethod &method);

  Machine &machine_;
  Trace &trace_;
  uint64_t heapBase_ = 0, heapNext_ = 0, heapEnd_ = 0;
  uint64_t imageBegin_ = 0, imageEnd_ = 0;
  std::unordered_map<std::string, uint64_t> selectorsByName_;
  std::unordered_map<uint64_t, std::string> selectorNames_;
  std::deque<ClassInfo> classes_;
  std::unordered_map<std::string, ClassInfo *> classesByName_;
  std::unordered_map<uint64_t, ClassInfo *> classesByHandle_, metaclassesByHandle_;
  std::unordered_map<uint64_t, std::unique_ptr<Object>> objects_;
  std::deque<HostMethod> hostMethods_;
  std::unordered_map<uint64_t, HostMethod *> hostMethodsByAddress_;
  std::vector<Pool> pools_;
  uint64_t nextPoolToken_ = 1;
  uint64_t msgSendTrap_ = 0;
};

}  // namespace device
