// A scenario (tests/scenarios/NAME.json, format in docs/design.md) as plain data: the four
// preference files as bytes, the host classes and what each host implementation does, the objects to
// make, and the hooked calls. Read and checked whole before anything runs, the same for every
// executor: the stand-in device on Linux and the device model.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace dw::scenario {

// A scenario file that cannot be read or does not fit the format. The message names the file, the
// member and the problem: "PATH: calls[0].argument.color: expected ...".
struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Result and argument of a message a scenario may use.
enum class Shape { Void, VoidObject, Object, ObjectObject, VoidCGColor, VoidBool };

bool HasResult(Shape shape);
bool TakesArgument(Shape shape);

struct Selector {
  const char *name;
  Shape shape;
};

// The hooked selectors and the three setters the library sends: all that scenarios may call and
// host classes may implement.
const std::vector<Selector> &UsableSelectors();
// nullptr when `name` is not one of them.
const Selector *FindUsableSelector(const std::string &name);

struct Value {
  enum Kind { Null, Object, Color, Named, Pattern, Image, Flag } kind = Null;
  // Color: the components, as the library's initWithHex: makes them for the "#RRGGBB[AA]" form (each
  // byte / 255 in single precision), as written for the "rgba" form; the executor rounds them to
  // its component type.
  std::array<double, 4> rgba{};
  bool cgColor = false;  // Color: a CGColor reference of it instead
  std::string text;      // Object: the object's name; Named: the UIColor class message; Pattern, Image: the image name
  bool flag = false;     // Flag
};

struct Message {
  std::string to;  // "self", "super" or an object name
  const Selector *selector = nullptr;
  Value argument;  // when the selector takes one
};

struct MethodSpec {
  const Selector *selector = nullptr;
  std::vector<Message> steps;
  Value returns;  // Null unless the selector has a result
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
  enum Kind { Absent, Unreadable, Bytes } kind = Absent;  // Unreadable: a directory stands at the path
  std::vector<uint8_t> bytes;
};

struct Scenario {
  bool traceInstallation = false;
  std::vector<std::pair<std::string, FileSpec>> files;  // device path, content; all four, in a fixed order
  std::vector<ClassSpec> classes;
  std::vector<ObjectSpec> objects;
  std::vector<Message> calls;
};

// Reads and checks the scenario at `path`; throws ScenarioError.
Scenario ReadScenario(const std::string &path);
// The same for a scenario's text; `path` stands for its file in the messages.
Scenario ReadScenarioText(const std::string &json, const std::string &path);

}  // namespace dw::scenario
