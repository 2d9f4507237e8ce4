// A scenario as data: the four preference files, the host classes and what each host
// implementation does, the objects to make, and the hooked calls. Read from JSON and checked whole
// before anything runs.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace dw::trace {

// The message shapes a scenario may use: result and argument.
enum class Shape { Void, VoidObject, Object, ObjectObject, VoidCGColor, VoidBool };

struct SelectorShape {
  const char *name;
  Shape shape;
};

// The hooked selectors and the three setters the library sends; nullptr when `name` is none of them.
const SelectorShape *FindSelectorShape(const std::string &name);
bool HasResult(Shape shape);

struct Value {
  enum Kind { Null, Object, Hex, Rgba, Named, Pattern, Image, Flag } kind = Null;
  bool cgColor = false;  // a CGColor reference made from the Hex or Rgba colour
  std::string text;      // object name, hex string, colour message, image name
  std::array<double, 4> rgba{};
  bool flag = false;
};

struct Message {
  std::string to;  // "self", "super" or an object name
  const SelectorShape *selector = nullptr;
  Value argument;
};

struct MethodSpec {
  const SelectorShape *selector = nullptr;
  std::vector<Message> steps;
  Value returns;
};

struct ClassSpec {
  std::string name, superclass;
  std::vector<std::string> ivars;
  std::vector<MethodSpec> methods;
};

struct ObjectSpec {
  std::string name, className;
  std::vector<std::pair<std::string, std::string>> ivars;  // variable, object name ("" for nil)
};

struct FileSpec {
  enum Kind { Absent, Unreadable, Bytes } kind = Absent;
  std::string bytes;
};

struct Scenario {
  bool traceInstallation = false;
  std::vector<std::pair<std::string, FileSpec>> files;  // device path, content
  std::vector<ClassSpec> classes;
  std::vector<ObjectSpec> objects;
  std::vector<Message> calls;
};

// Reads and checks the scenario at `path`; on failure `error` says which member is wrong and why.
bool ReadScenario(const std::string &path, Scenario *scenario, std::string *error);

}  // namespace dw::trace
