#include "SelectorTable.h"

#include "scenario/Scenario.h"

#include <unordered_map>

namespace device {

namespace {

using T = Type;
using dw::scenario::Shape;

std::vector<Type> ArgumentsOf(Shape shape) {
  switch (shape) {
    case Shape::Void:
    case Shape::Object: return {};
    case Shape::VoidCGColor: return {T::cgcolor};
    case Shape::VoidBool: return {T::boolean};
    case Shape::VoidObject:
    case Shape::ObjectObject: return {T::object};
  }
  return {};
}

Type ResultOf(Shape shape) { return dw::scenario::HasResult(shape) ? T::object : T::none; }

std::vector<SelectorInfo> Table() {
  std::vector<SelectorInfo> rows = {
      {"alloc", {}, T::object, true},
      {"release", {}, T::none, true},
      {"retain", {}, T::object, true},
      {"autorelease", {}, T::object, true},
      {"class", {}, T::cls, true},
      {"dictionaryWithContentsOfFile:", {T::object}, T::object, true},
      {"initWithContentsOfFile:", {T::object}, T::object, true},
      {"objectForKey:", {T::object}, T::object, true},
      {"valueForKey:", {T::object}, T::object, true},
      {"respondsToSelector:", {T::sel}, T::boolean, true},
      {"isKindOfClass:", {T::cls}, T::boolean, true},
      {"boolValue", {}, T::boolean, true},
      {"initWithHex:", {T::object}, T::object, true},
      {"isSameColor:", {T::object}, T::boolean, true},
      {"stringByReplacingOccurrencesOfString:withString:", {T::object, T::object}, T::object, true},
      {"scannerWithString:", {T::object}, T::object, true},
      {"symbolCharacterSet", {}, T::object, true},
      {"setCharactersToBeSkipped:", {T::object}, T::none, true},
      {"scanHexInt:", {T::out}, T::boolean, true},
      {"initWithRed:green:blue:alpha:", {T::cgfloat, T::cgfloat, T::cgfloat, T::cgfloat}, T::object, true},
      {"getRed:green:blue:alpha:", {T::out, T::out, T::out, T::out}, T::boolean, true},
  };
  // The hooked selectors and the setters scenarios call: their signatures are the scenario format's.
  for (const dw::scenario::Selector &usable : dw::scenario::UsableSelectors()) {
    const std::string name = usable.name;
    const bool sent = name == "setBackgroundColor:" || name == "setTextColor:" || name == "setHidden:";
    rows.push_back({name, ArgumentsOf(usable.shape), ResultOf(usable.shape), sent});
  }
  for (const char *named : {"whiteColor", "grayColor", "lightGrayColor", "blackColor", "blueColor", "brownColor",
                            "clearColor", "cyanColor", "darkGrayColor", "greenColor", "magentaColor", "orangeColor",
                            "purpleColor", "redColor", "yellowColor"}) {
    rows.push_back({named, {}, T::object, true});
  }
  return rows;
}

}  // namespace

Kind KindOf(Type type) {
  switch (type) {
    case Type::none: return Kind::none;
    case Type::boolean: return Kind::boolean;
    case Type::cgfloat: return Kind::cgfloat;
    default: return Kind::word;
  }
}

std::vector<Kind> KindsOf(const std::vector<Type> &types) {
  std::vector<Kind> kinds;
  for (Type t : types) kinds.push_back(KindOf(t));
  return kinds;
}

const SelectorInfo *FindSelector(const std::string &name) {
  static const std::unordered_map<std::string, SelectorInfo> table = [] {
    std::unordered_map<std::string, SelectorInfo> map;
    for (SelectorInfo &row : Table()) map[row.name] = row;
    return map;
  }();
  auto it = table.find(name);
  return it != table.end() ? &it->second : nullptr;
}

SelectorInfo InternalSelector(const std::string &name, std::vector<Type> arguments, Type result) {
  return SelectorInfo{name, std::move(arguments), result, false};
}

}  // namespace device
