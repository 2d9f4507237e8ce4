#include "Trace.h"

#include "Runtime.h"
#include "Text.h"

#include <cmath>
#include <cstdio>

namespace device {

void Trace::Add(std::string line) {
  if (recording_) lines_.push_back(std::move(line));
}

std::string Trace::Text() const {
  std::string out;
  for (const std::string &line : lines_) out += line + "\n";
  return out;
}

std::string Trace::Real(double value) {
  if (std::isnan(value)) return "nan";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

std::string Trace::Quoted(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7f) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x", u);
      out += buffer;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Trace::DescribeObject(uint64_t handle, Runtime &rt) {
  if (handle == 0) return "nil";
  if (ClassInfo *cls = rt.ClassOfHandle(handle)) return "class " + cls->name;
  Object *object = rt.Find(handle);
  if (object == nullptr) return "?";
  switch (object->type) {
    case Object::Type::string:
      return Quoted(ToUTF8(object->text));
    case Object::Type::number:
      if (object->numberType == Object::NumberType::boolean) return object->integer ? "true" : "false";
      if (object->numberType == Object::NumberType::integer) return std::to_string(object->integer);
      return Real(object->real);
    case Object::Type::color:
      if (object->pattern) return "UIColor(pattern)";
      if (!object->colorName.empty()) return "UIColor." + object->colorName;
      return "UIColor(" + Real(object->components[0]) + " " + Real(object->components[1]) + " " +
             Real(object->components[2]) + " " + Real(object->components[3]) + ")";
    default:
      break;
  }
  if (!object->label.empty()) return object->cls->publicName + " " + object->label;
  return object->cls->publicName;
}

std::string Trace::DescribeArgument(const Value &value, Runtime &rt) {
  switch (value.kind) {
    case Kind::cgfloat:
      return Real(value.real);
    case Kind::boolean:
      return value.word ? "YES" : "NO";
    case Kind::word:
      if (rt.IsSelector(value.word)) return "@selector(" + rt.SelectorName(value.word) + ")";
      return DescribeObject(value.word, rt);
    case Kind::none:
      break;
  }
  return "";
}

namespace {

std::string Arguments(const std::vector<Value> &args, Trace &trace, Runtime &rt) {
  std::string out;
  for (const Value &v : args) out += " " + trace.DescribeArgument(v, rt);
  return out;
}

}  // namespace

void Trace::ClassLookup(const std::string &name, bool found) {
  Add("lookup " + name + (found ? "" : " (absent)"));
}

void Trace::MessageSent(const std::string &receiverClass, const std::string &selector, const std::vector<Value> &args,
                        Runtime &rt) {
  Add("send " + receiverClass + " " + selector + Arguments(args, *this, rt));
}

void Trace::HostCall(const std::string &implementor, const std::string &receiver, const std::string &selector,
                     const std::vector<Value> &args, Runtime &rt) {
  Add("call " + implementor + " " + selector + " on " + receiver + Arguments(args, *this, rt));
}

void Trace::FileRead(const std::string &devicePath, bool found) {
  Add("read " + devicePath + (found ? " found" : " missing"));
}

void Trace::DictionaryLookup(const std::string &selector, const std::string &key) {
  Add("lookup-key " + selector + " " + key);
}

void Trace::BoolValue(const std::string &value, bool result) {
  Add("boolValue " + value + " -> " + (result ? "YES" : "NO"));
}

void Trace::ColorPicker(const std::string &value, const std::string &fallback, const std::string &result) {
  Add("LCPParseColorString " + value + " " + fallback + " -> " + result);
}

void Trace::ColorMade(const std::string &color) { Add("color " + color); }

void Trace::Note(const std::string &line) { Add(line); }

}  // namespace device
