#import "Runner.h"

#import "Observer.h"
#import "Values.h"
#import "standin/foundation/StandInDevice.h"
#import "standin/foundation/TraceLog.h"
#import "standin/uikit/UIKit.h"

#include <dlfcn.h>
#include <ftw.h>
#include <objc/message.h>
#include <objc/runtime.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>

namespace dw::trace {
namespace {

// One argument of any shape a scenario uses.
struct Argument {
  id object = nil;
  CGColorRef cgColor = nullptr;
  BOOL flag = NO;
};

// A host implementation as the scenario declares it.
struct HostMethod {
  std::string implementor;
  Class declaring = Nil;
  const MethodSpec *spec = nullptr;
};

std::map<std::string, id> objects;

NSString *DescribeForTrace(id object) { return Describe(object); }

NSString *Text(const std::string &text) { return [NSString stringWithUTF8String:text.c_str()]; }

UIColor *MakeColor(const Value &value) {
  return [UIColor colorWithRed:static_cast<DWCGFloat>(value.rgba[0])
                         green:static_cast<DWCGFloat>(value.rgba[1])
                          blue:static_cast<DWCGFloat>(value.rgba[2])
                         alpha:static_cast<DWCGFloat>(value.rgba[3])];
}

Argument Make(const Value &value) {
  Argument argument;
  switch (value.kind) {
    case Value::Null: break;
    case Value::Object: argument.object = objects.at(value.text); break;
    case Value::Color:
      argument.object = MakeColor(value);
      if (value.cgColor) argument.cgColor = [static_cast<UIColor *>(argument.object) CGColor];
      break;
    case Value::Named: argument.object = [UIColor performSelector:sel_registerName(value.text.c_str())]; break;
    case Value::Pattern:
      argument.object = [UIColor colorWithPatternImage:[UIImage imageNamed:Text(value.text)]];
      break;
    case Value::Image: argument.object = [UIImage imageNamed:Text(value.text)]; break;
    case Value::Flag: argument.flag = value.flag ? YES : NO; break;
  }
  return argument;
}

NSString *DescribeArgument(Shape shape, const Argument &argument) {
  switch (shape) {
    case Shape::Void:
    case Shape::Object: return nil;
    case Shape::VoidCGColor: return DWTraceCGColor(argument.cgColor);
    case Shape::VoidBool: return DWTraceBool(argument.flag);
    default: return Describe(argument.object);
  }
}

NSString *EventLine(const char *kind, id receiver, const Selector *selector, const Argument &argument) {
  NSMutableString *line = [NSMutableString stringWithFormat:@"%s %@ %s", kind, Describe(receiver), selector->name];
  if (NSString *described = DescribeArgument(selector->shape, argument)) [line appendFormat:@" %@", described];
  return line;
}

id Invoke(IMP imp, id receiver, SEL selector, Shape shape, const Argument &argument) {
  switch (shape) {
    case Shape::Void: FunctionCast<void (*)(id, SEL)>(imp)(receiver, selector); return nil;
    case Shape::VoidObject:
      FunctionCast<void (*)(id, SEL, id)>(imp)(receiver, selector, argument.object);
      return nil;
    case Shape::Object: return FunctionCast<id (*)(id, SEL)>(imp)(receiver, selector);
    case Shape::ObjectObject: return FunctionCast<id (*)(id, SEL, id)>(imp)(receiver, selector, argument.object);
    case Shape::VoidCGColor:
      FunctionCast<void (*)(id, SEL, CGColorRef)>(imp)(receiver, selector, argument.cgColor);
      return nil;
    case Shape::VoidBool:
      FunctionCast<void (*)(id, SEL, BOOL)>(imp)(receiver, selector, argument.flag);
      return nil;
  }
  return nil;
}

// Sends one message by ordinary dispatch (or to the superclass of `declaring`), as an event.
id Perform(const char *kind, const Message &message, id self, Class declaring) {
  const bool toSuper = message.to == "super";
  id receiver = message.to == "self" || toSuper ? self : objects.at(message.to);
  SEL selector = sel_registerName(message.selector->name);
  const Argument argument = Make(message.argument);
  DWTraceOpen(EventLine(toSuper ? "super" : kind, receiver, message.selector, argument));
  IMP imp;
  if (toSuper) {
    struct objc_super above = {receiver, class_getSuperclass(declaring)};
    imp = objc_msg_lookup_super(&above, selector);
  } else {
    imp = objc_msg_lookup(receiver, selector);
  }
  id result = Invoke(imp, receiver, selector, message.selector->shape, argument);
  DWTraceClose(HasResult(message.selector->shape) ? Describe(result) : nil);
  return result;
}

// ---- Host implementations: one function per declared method, from fixed pools per shape.

constexpr int kPoolSize = 96;
std::map<std::pair<Shape, int>, HostMethod> hostMethods;

id RunHost(Shape shape, int index, id self, SEL selector, const Argument &argument) {
  const HostMethod &method = hostMethods.at({shape, index});
  NSMutableString *line = [NSMutableString stringWithFormat:@"impl %s %@ %s", method.implementor.c_str(),
                                                            Describe(self), sel_getName(selector)];
  if (NSString *described = DescribeArgument(shape, argument)) [line appendFormat:@" %@", described];
  DWTraceOpen(line);
  for (const Message &step : method.spec->steps) Perform("msg", step, self, method.declaring);
  id result = HasResult(shape) ? Make(method.spec->returns).object : nil;
  DWTraceClose(HasResult(shape) ? Describe(result) : nil);
  return result;
}

template <int N> void HostVoid(id self, SEL cmd) { RunHost(Shape::Void, N, self, cmd, Argument()); }
template <int N> void HostVoidObject(id self, SEL cmd, id object) {
  Argument argument;
  argument.object = object;
  RunHost(Shape::VoidObject, N, self, cmd, argument);
}
template <int N> id HostObject(id self, SEL cmd) { return RunHost(Shape::Object, N, self, cmd, Argument()); }
template <int N> id HostObjectObject(id self, SEL cmd, id object) {
  Argument argument;
  argument.object = object;
  return RunHost(Shape::ObjectObject, N, self, cmd, argument);
}
template <int N> void HostVoidCGColor(id self, SEL cmd, CGColorRef color) {
  Argument argument;
  argument.cgColor = color;
  RunHost(Shape::VoidCGColor, N, self, cmd, argument);
}
template <int N> void HostVoidBool(id self, SEL cmd, BOOL flag) {
  Argument argument;
  argument.flag = flag;
  RunHost(Shape::VoidBool, N, self, cmd, argument);
}

template <int... N>
IMP PoolEntry(Shape shape, int index, std::integer_sequence<int, N...>) {
  static const IMP pools[][kPoolSize] = {
      {FunctionCast<IMP>(&HostVoid<N>)...},        {FunctionCast<IMP>(&HostVoidObject<N>)...},
      {FunctionCast<IMP>(&HostObject<N>)...},      {FunctionCast<IMP>(&HostObjectObject<N>)...},
      {FunctionCast<IMP>(&HostVoidCGColor<N>)...}, {FunctionCast<IMP>(&HostVoidBool<N>)...},
  };
  return pools[static_cast<int>(shape)][index];
}

const char *TypesOf(Shape shape) {
  switch (shape) {
    case Shape::Void: return "v@:";
    case Shape::VoidObject: return "v@:@";
    case Shape::Object: return "@@:";
    case Shape::ObjectObject: return "@@:@";
    case Shape::VoidCGColor: return "v@:^v";
    case Shape::VoidBool: return "v@:C";
  }
  return "v@:";
}

bool MakeClass(const ClassSpec &spec, std::string *error) {
  Class superclass = objc_getClass(spec.superclass.c_str());
  if (superclass == Nil) {
    *error = "class " + spec.name + ": no superclass " + spec.superclass;
    return false;
  }
  Class cls = objc_allocateClassPair(superclass, spec.name.c_str(), 0);
  if (cls == Nil) {
    *error = "class " + spec.name + ": the device has a class of that name already";
    return false;
  }
  for (const std::string &ivar : spec.ivars) {
    if (!class_addIvar(cls, ivar.c_str(), sizeof(id), 3, "@")) {
      *error = "class " + spec.name + ": instance variable " + ivar + " cannot be added";
      return false;
    }
  }
  for (const MethodSpec &method : spec.methods) {
    const Shape shape = method.selector->shape;
    int index = 0;
    while (hostMethods.count({shape, index}) != 0) ++index;
    if (index == kPoolSize) {
      *error = "more host methods of one shape than the device can make";
      return false;
    }
    hostMethods[{shape, index}] = HostMethod{spec.name, cls, &method};
    class_addMethod(cls, sel_registerName(method.selector->name),
                    PoolEntry(shape, index, std::make_integer_sequence<int, kPoolSize>()), TypesOf(shape));
  }
  objc_registerClassPair(cls);
  return true;
}

bool MakeObject(const ObjectSpec &spec, std::string *error) {
  Class cls = objc_getClass(spec.className.c_str());
  if (cls == Nil) {
    *error = "object " + spec.name + ": no class " + spec.className;
    return false;
  }
  id object = [[static_cast<id>(cls) alloc] init];
  for (const auto &[name, target] : spec.ivars) {
    Ivar ivar = class_getInstanceVariable(cls, name.c_str());
    if (ivar == nullptr || ivar_getTypeEncoding(ivar)[0] != '@') {
      *error = "object " + spec.name + ": no object instance variable " + name;
      return false;
    }
    object_setIvar(object, ivar, target.empty() ? nil : [objects.at(target) retain]);
  }
  objects[spec.name] = object;
  NameObject(object, spec.name);
  return true;
}

// A message the receiver cannot answer would raise on the device and end the run; it is refused
// before anything runs.
bool Answers(const Message &message, Class receiverClass, Class declaring, const std::string &where,
             std::string *error) {
  Class cls = message.to == "super" ? class_getSuperclass(declaring)
              : message.to == "self" ? receiverClass
                                     : object_getClass(objects.at(message.to));
  if (cls != Nil && class_respondsToSelector(cls, sel_registerName(message.selector->name))) return true;
  *error = where + ": " + (cls != Nil ? class_getName(cls) : "nil") + " does not answer " + message.selector->name;
  return false;
}

bool AllMessagesAnswered(const Scenario &scenario, std::string *error) {
  for (size_t i = 0; i < scenario.calls.size(); ++i) {
    if (!Answers(scenario.calls[i], Nil, Nil, "calls[" + std::to_string(i) + "]", error)) return false;
  }
  for (const ClassSpec &spec : scenario.classes) {
    Class cls = objc_getClass(spec.name.c_str());
    for (const MethodSpec &method : spec.methods) {
      for (const Message &step : method.steps) {
        const std::string where = "class " + spec.name + " " + method.selector->name + " step";
        if (!Answers(step, cls, cls, where, error)) return false;
      }
    }
  }
  return true;
}

int RemoveEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

bool WriteFiles(const Scenario &scenario, const std::string &root, std::string *error) {
  const std::string directory = root + "/var/mobile/Library/Preferences";
  for (std::string path : {root + "/var", root + "/var/mobile", root + "/var/mobile/Library", directory}) {
    if (mkdir(path.c_str(), 0755) != 0) {
      *error = path + ": cannot be made";
      return false;
    }
  }
  for (const auto &[devicePath, file] : scenario.files) {
    const std::string local = root + devicePath;
    if (file.kind == FileSpec::Unreadable && mkdir(local.c_str(), 0755) != 0) {
      *error = local + ": cannot be made";
      return false;
    }
    if (file.kind != FileSpec::Bytes) continue;
    FILE *out = fopen(local.c_str(), "wb");
    const bool written = out != nullptr && fwrite(file.bytes.data(), 1, file.bytes.size(), out) == file.bytes.size();
    if (out == nullptr || fclose(out) != 0 || !written) {
      *error = local + ": cannot be written";
      return false;
    }
  }
  return true;
}

}  // namespace

bool RunScenario(const Scenario &scenario, const std::string &libraryPath, FILE *output, std::string *error) {
  const char *temporary = getenv("TMPDIR");
  std::string pattern = std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
                        "/duskwell-trace.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = pattern + ": no temporary device root";
    return false;
  }
  const std::string root = pattern;
  bool ok = WriteFiles(scenario, root, error);
  DWDeviceInstallFoundation();
  DWDeviceSetRoot(Text(root));
  for (size_t i = 0; ok && i < scenario.classes.size(); ++i) ok = MakeClass(scenario.classes[i], error);
  for (size_t i = 0; ok && i < scenario.objects.size(); ++i) ok = MakeObject(scenario.objects[i], error);
  ok = ok && AllMessagesAnswered(scenario, error);
  if (ok) {
    ObserveLibrary(libraryPath, scenario.traceInstallation);
    if (scenario.traceInstallation) DWTraceStart(output, DescribeForTrace);
    void *library = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr) {
      *error = std::string("cannot load ") + libraryPath + ": " + dlerror();
      ok = false;
    }
    LibraryLoaded();
  }
  if (ok) {
    DWTraceStart(output, DescribeForTrace);
    for (const Message &call : scenario.calls) {
      NSAutoreleasePool *pool = [[NSAutoreleasePool alloc] init];
      Perform("call", call, nil, Nil);
      [pool release];
    }
  }
  DWTraceStop();
  nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  return ok;
}

}  // namespace dw::trace
