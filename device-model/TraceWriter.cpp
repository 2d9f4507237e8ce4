#include "TraceWriter.h"

#include "ObjCRuntime.h"
#include "Text.h"
#include "scenario/Quote.h"
#include "scenario/TraceComponent.h"

namespace device {

void Trace::WriteLine(size_t level, const std::string &line) {
  text_.append(2 * level, ' ');
  text_ += line;
  text_ += '\n';
}

void Trace::WriteEnclosing() {
  if (frames_.empty() || frames_.back().written) return;
  WriteLine(frames_.size() - 1, frames_.back().line);
  frames_.back().written = true;
}

void Trace::Open(const std::string &line) {
  if (!recording_) return;
  WriteEnclosing();
  frames_.push_back(Frame{line, false});
}

void Trace::Close(const std::string *result) {
  if (!recording_ || frames_.empty()) return;
  Frame frame = std::move(frames_.back());
  frames_.pop_back();
  if (!frame.written) {
    WriteLine(frames_.size(), result != nullptr ? frame.line + " -> " + *result : frame.line);
  } else if (result != nullptr) {
    WriteLine(frames_.size(), "-> " + *result);
  }
}

void Trace::Event(const std::string &line) {
  if (!recording_) return;
  WriteEnclosing();
  WriteLine(frames_.size(), line);
}

std::string Trace::Quote(const std::string &text) { return dw::scenario::QuoteForTrace(text); }

std::string Trace::Component(double value) {
  char text[DWTraceComponentSize];
  return DWWriteTraceComponent(value, text);
}

std::string Trace::Class(uint64_t handle, Runtime &rt) {
  if (handle == 0) return "nil";
  if (ClassInfo *cls = rt.ClassOfHandle(handle)) return "class " + cls->name;
  return Object(handle, rt);
}

std::string Trace::Selector(uint64_t selector, Runtime &rt) {
  if (selector == 0) return "@selector(null)";
  return "@selector(" + rt.SelectorName(selector) + ")";
}

std::string Trace::CGColor(uint64_t handle, Runtime &rt) {
  if (handle == 0) return "NULL";
  const double *c = rt.CGColorComponents(handle);
  if (c == nullptr) return "CGColor(?)";
  return "CGColor(" + Component(c[0]) + " " + Component(c[1]) + " " + Component(c[2]) + " " + Component(c[3]) + ")";
}

std::string Trace::Object(uint64_t handle, Runtime &rt) {
  if (handle == 0) return "nil";
  if (ClassInfo *cls = rt.ClassOfHandle(handle)) return "class " + cls->name;
  if (const ClassInfo *cluster = rt.PlaceholderCluster(handle)) return cluster->name + "(placeholder)";
  device::Object *object = rt.Find(handle);
  if (object == nullptr) return "?";
  if (!object->label.empty()) return object->cls->name + "#" + object->label;
  switch (object->type) {
    case Object::Type::color:
      if (!object->initialized) return "UIColor(uninitialised)";
      if (object->pattern) return "UIColor(pattern)";
      return "UIColor(" + Component(object->components[0]) + " " + Component(object->components[1]) + " " +
             Component(object->components[2]) + " " + Component(object->components[3]) + ")";
    case Object::Type::string:
      return Quote(ToUTF8(object->text));
    case Object::Type::image:
      return "UIImage(" + Quote(object->imageName) + ")";
    case Object::Type::dictionary: return "NSDictionary";
    case Object::Type::array: return "NSArray";
    case Object::Type::number: return "NSNumber";
    case Object::Type::date: return "NSDate";
    case Object::Type::data: return "NSData";
    case Object::Type::scanner: return "NSScanner";
    case Object::Type::characterSet: return "NSCharacterSet";
    case Object::Type::plain:
      break;
  }
  unsigned &number = numbers_[handle];
  if (number == 0) number = static_cast<unsigned>(numbers_.size());
  return object->cls->name + "#" + std::to_string(number);
}

std::string Trace::Typed(Type type, const Value &value, Runtime &rt) {
  switch (type) {
    case Type::object: return Object(value.word, rt);
    case Type::cls: return Class(value.word, rt);
    case Type::sel: return Selector(value.word, rt);
    case Type::boolean: return Bool(value.word != 0);
    case Type::cgfloat: return Component(value.real);
    case Type::cgcolor: return CGColor(value.word, rt);
    case Type::out: return "_";
    case Type::word:
    case Type::none: break;
  }
  return "";
}

std::string Trace::Arguments(const std::vector<Type> &types, const std::vector<Value> &values, Runtime &rt) {
  std::string out;
  for (size_t i = 0; i < types.size() && i < values.size(); ++i) out += " " + Typed(types[i], values[i], rt);
  return out;
}

}  // namespace device
