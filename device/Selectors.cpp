#include "Selectors.h"

#include <unordered_map>

namespace device {

namespace {

using T = Type;

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
      {"setBackgroundColor:", {T::object}, T::none, true},
      {"setTextColor:", {T::object}, T::none, true},
      {"setHidden:", {T::boolean}, T::none, true},
      {"layoutSubviews", {}, T::none, false},
      {"glue_applyStyle:", {T::object}, T::none, false},
      {"_setBackgroundCGColor:", {T::cgcolor}, T::none, false},
      {"_setBackgroundColor:", {T::object}, T::none, false},
      {"bottomGradientView", {}, T::object, false},
      {"setBackgroundImageBlurView:", {T::object}, T::none, false},
      {"setShadowGradientLayer:", {T::object}, T::none, false},
      {"iconColor", {}, T::object, false},
      {"_setColor:", {T::object}, T::none, false},
      {"_setTextColor:", {T::object}, T::none, false},
      {"textColor", {}, T::object, false},
      {"tintColor", {}, T::object, false},
      {"_effectiveTintColorWithImage:", {T::object}, T::object, false},
  };
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
