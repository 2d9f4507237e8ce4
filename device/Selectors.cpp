#include "Selectors.h"

#include <unordered_map>

namespace device {

namespace {

using T = Type;

std::vector<SelectorInfo> Table() {
  std::vector<SelectorInfo> rows = {
      {"alloc", {}, T::object, true, false},
      {"release", {}, T::none, true, false},
      {"retain", {}, T::object, true, false},
      {"autorelease", {}, T::object, true, false},
      {"class", {}, T::cls, true, false},
      {"dictionaryWithContentsOfFile:", {T::object}, T::object, true, false},
      {"initWithContentsOfFile:", {T::object}, T::object, true, false},
      {"objectForKey:", {T::object}, T::object, true, false},
      {"valueForKey:", {T::object}, T::object, true, false},
      {"respondsToSelector:", {T::sel}, T::boolean, true, false},
      {"isKindOfClass:", {T::cls}, T::boolean, true, false},
      {"boolValue", {}, T::boolean, true, false},
      {"initWithHex:", {T::object}, T::object, true, false},
      {"isSameColor:", {T::object}, T::boolean, true, false},
      {"stringByReplacingOccurrencesOfString:withString:", {T::object, T::object}, T::object, true, false},
      {"scannerWithString:", {T::object}, T::object, true, false},
      {"symbolCharacterSet", {}, T::object, true, false},
      {"setCharactersToBeSkipped:", {T::object}, T::none, true, false},
      {"scanHexInt:", {T::out}, T::boolean, true, false},
      {"initWithRed:green:blue:alpha:", {T::cgfloat, T::cgfloat, T::cgfloat, T::cgfloat}, T::object, true, false},
      {"getRed:green:blue:alpha:", {T::out, T::out, T::out, T::out}, T::boolean, true, false},
      {"setBackgroundColor:", {T::object}, T::none, true, true},
      {"setTextColor:", {T::object}, T::none, true, false},
      {"setHidden:", {T::boolean}, T::none, true, false},
      {"layoutSubviews", {}, T::none, false, true},
      {"glue_applyStyle:", {T::object}, T::none, false, true},
      {"_setBackgroundCGColor:", {T::cgcolor}, T::none, false, true},
      {"_setBackgroundColor:", {T::object}, T::none, false, true},
      {"bottomGradientView", {}, T::object, false, true},
      {"setBackgroundImageBlurView:", {T::object}, T::none, false, true},
      {"setShadowGradientLayer:", {T::object}, T::none, false, true},
      {"iconColor", {}, T::object, false, true},
      {"_setColor:", {T::object}, T::none, false, true},
      {"_setTextColor:", {T::object}, T::none, false, true},
      {"textColor", {}, T::object, false, true},
      {"tintColor", {}, T::object, false, true},
      {"_effectiveTintColorWithImage:", {T::object}, T::object, false, true},
  };
  for (const char *named : {"whiteColor", "grayColor", "lightGrayColor", "blackColor", "blueColor", "brownColor",
                            "clearColor", "cyanColor", "darkGrayColor", "greenColor", "magentaColor", "orangeColor",
                            "purpleColor", "redColor", "yellowColor"}) {
    rows.push_back({named, {}, T::object, true, false});
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
  return SelectorInfo{name, std::move(arguments), result, false, false};
}

}  // namespace device
