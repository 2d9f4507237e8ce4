// The trace: one line per operation the library performs on its platform, in the text format the
// Linux stand-in writes, so that the two can be compared line for line. Every line is made here.
#pragma once

#include "Machine.h"

#include <string>
#include <vector>

namespace device {

class Runtime;

class Trace {
 public:
  // Events.
  void ClassLookup(const std::string &name, bool found);
  void MessageSent(const std::string &receiverClass, const std::string &selector, const std::vector<Value> &args,
                   Runtime &rt);
  void HostCall(const std::string &implementor, const std::string &receiver, const std::string &selector,
                const std::vector<Value> &args, Runtime &rt);
  void FileRead(const std::string &devicePath, bool found);
  void DictionaryLookup(const std::string &selector, const std::string &key);
  void BoolValue(const std::string &value, bool result);
  void ColorPicker(const std::string &value, const std::string &fallback, const std::string &result);
  void ColorMade(const std::string &color);
  // A line the scenario runner writes (the start of a hooked call).
  void Note(const std::string &line);

  // Descriptions of values.
  std::string DescribeObject(uint64_t handle, Runtime &rt);
  std::string DescribeArgument(const Value &value, Runtime &rt);
  static std::string Real(double value);
  static std::string Quoted(const std::string &text);

  void SetRecording(bool on) { recording_ = on; }
  const std::vector<std::string> &lines() const { return lines_; }
  std::string Text() const;

 private:
  void Add(std::string line);
  bool recording_ = true;
  std::vector<std::string> lines_;
};

}  // namespace device
