// The trace: one ordered list of what the library does to its platform, one event per line, nested
// events indented two spaces per level, in the text format the Linux stand-in writes (docs/design.md,
// "The trace and scenarios"). Every line and every value is written here.
#pragma once

#include "Machine.h"
#include "SelectorTable.h"

#include <map>
#include <string>
#include <vector>

namespace device {

class Runtime;

class Trace {
 public:
  // An event that may contain others. Its line goes out when the first nested event arrives or when
  // it closes; a result follows as " -> RESULT" on the line itself, or on a closing line after nested
  // events. Close(nullptr): no result.
  void Open(const std::string &line);
  void Close(const std::string *result);
  // An event with nothing inside it.
  void Event(const std::string &line);

  // Values, as the trace writes them.
  std::string Object(uint64_t handle, Runtime &rt);
  std::string Class(uint64_t handle, Runtime &rt);
  static std::string Selector(uint64_t selector, Runtime &rt);
  static std::string Bool(bool value) { return value ? "YES" : "NO"; }
  static std::string Component(double value);
  std::string CGColor(uint64_t handle, Runtime &rt);
  std::string Typed(Type type, const Value &value, Runtime &rt);
  // " A B C" for the arguments of a message (nothing for none).
  std::string Arguments(const std::vector<Type> &types, const std::vector<Value> &values, Runtime &rt);
  static std::string Quote(const std::string &utf8);

  // Events are kept only while recording (not during the constructor unless its installation is traced).
  void SetRecording(bool on) { recording_ = on; }
  bool recording() const { return recording_; }
  const std::string &text() const { return text_; }

 private:
  struct Frame {
    std::string line;
    bool written = false;
  };
  void WriteLine(size_t level, const std::string &line);
  void WriteEnclosing();

  bool recording_ = true;
  std::string text_;
  std::vector<Frame> frames_;
  std::map<uint64_t, unsigned> numbers_;
};

}  // namespace device
