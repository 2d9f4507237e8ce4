#include "Platform.h"

#include "Text.h"
#include "Trace.h"

#include <cmath>

namespace device {

namespace {

struct NamedColor {
  const char *message;
  double r, g, b, a;
};

// The device's named colours.
const NamedColor kNamedColors[] = {
    {"blackColor", 0, 0, 0, 1},        {"darkGrayColor", 1.0 / 3, 1.0 / 3, 1.0 / 3, 1},
    {"lightGrayColor", 2.0 / 3, 2.0 / 3, 2.0 / 3, 1}, {"whiteColor", 1, 1, 1, 1},
    {"grayColor", 0.5, 0.5, 0.5, 1},   {"redColor", 1, 0, 0, 1},
    {"greenColor", 0, 1, 0, 1},        {"blueColor", 0, 0, 1, 1},
    {"cyanColor", 0, 1, 1, 1},         {"yellowColor", 1, 1, 0, 1},
    {"magentaColor", 1, 0, 1, 1},      {"orangeColor", 1, 0.5, 0, 1},
    {"purpleColor", 0.5, 0, 0.5, 1},   {"brownColor", 0.6, 0.4, 0.2, 1},
    {"clearColor", 0, 0, 0, 0},
};

// A 32-bit division on armv7, a 64-bit one on arm64: the slice's CGFloat arithmetic.
double ByteComponent(Runtime &rt, int byte) {
  if (rt.machine().arch() == Arch::arm64) return static_cast<double>(byte) / 255;
  return static_cast<float>(byte) / 255.0f;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A decimal from 0 to 1: digits with at most one point, nothing else.
bool ParseAlpha(const std::u16string &text, double *alpha) {
  if (text.empty() || text == u".") return false;
  int points = 0;
  std::string ascii;
  for (char16_t c : text) {
    if (c == u'.') {
      ++points;
    } else if (c < u'0' || c > u'9') {
      return false;
    }
    ascii.push_back(static_cast<char>(c));
  }
  if (points > 1) return false;
  const double value = std::strtod(ascii.c_str(), nullptr);
  if (value < 0.0 || value > 1.0) return false;
  *alpha = value;
  return true;
}

uint64_t SetIvarObject(Runtime &rt, uint64_t self, const std::string &ivar, uint64_t value) {
  Object &object = rt.Get(self, ivar.c_str());
  rt.Retain(value);
  uint64_t &slot = object.ivarValues[ivar];
  const uint64_t old = slot;
  slot = value;
  rt.Release(old);
  return value;
}

uint64_t IvarObject(Runtime &rt, uint64_t self, const std::string &ivar) {
  Object &object = rt.Get(self, ivar.c_str());
  auto it = object.ivarValues.find(ivar);
  return it != object.ivarValues.end() ? it->second : 0;
}

Value Nothing(Runtime &, uint64_t, uint64_t, const std::vector<Value> &) { return Value::None(); }

}  // namespace

uint64_t NewColor(Runtime &rt, double r, double g, double b, double a, bool autoreleased) {
  Object &color = rt.NewObject(*rt.FindClass("UIColor"), Object::Type::color);
  const double values[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) color.components[i] = rt.machine().ToCGFloat(values[i]);
  return autoreleased ? rt.Autorelease(color.handle) : color.handle;
}

bool ParsePickerColor(const std::u16string &input, double components[4]) {
  std::u16string text = input;
  double alpha = 1;
  const size_t colon = text.find(u':');
  if (colon != std::u16string::npos) {
    if (!ParseAlpha(text.substr(colon + 1), &alpha)) return false;
    text = text.substr(0, colon);
  }
  if (!text.empty() && text[0] == u'#') text = text.substr(1);
  if (text.size() != 3 && text.size() != 6) return false;
  int digits[6];
  for (size_t i = 0; i < text.size(); ++i) {
    digits[i] = HexDigit(text[i]);
    if (digits[i] < 0) return false;
  }
  for (int channel = 0; channel < 3; ++channel) {
    components[channel] =
        text.size() == 3 ? digits[channel] * 17 : digits[2 * channel] * 16 + digits[2 * channel + 1];
  }
  components[3] = alpha;
  return true;
}

uint64_t ParseColorString(Runtime &rt, uint64_t value, uint64_t fallback) {
  double parsed[4];
  bool ok = rt.IsString(value) && ParsePickerColor(rt.StringValue(value), parsed);
  if (!ok) ok = rt.IsString(fallback) && ParsePickerColor(rt.StringValue(fallback), parsed);
  if (!ok) return 0;  // every fallback the library passes is valid
  const int bytes[3] = {static_cast<int>(parsed[0]), static_cast<int>(parsed[1]), static_cast<int>(parsed[2])};
  return NewColor(rt, ByteComponent(rt, bytes[0]), ByteComponent(rt, bytes[1]), ByteComponent(rt, bytes[2]), parsed[3],
                  true);
}

void InstallUIKit(Runtime &rt) {
  ClassInfo &color = rt.DefineClass("UIColor", "NSObject");
  color.instanceType = Object::Type::color;
  for (const NamedColor &named : kNamedColors) {
    const uint64_t shared = NewColor(rt, named.r, named.g, named.b, named.a, false);
    Object &object = rt.Get(shared, "named colour");
    object.immortal = true;
    object.colorName = named.message;
    rt.AddMethod(color, true, named.message, [shared](Runtime &rt, uint64_t, uint64_t, const std::vector<Value> &) {
      rt.trace().ColorMade(rt.Describe(shared));
      return Value::Word(shared);
    });
  }
  rt.AddMethod(color, false, "initWithRed:green:blue:alpha:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &c = rt.Get(self, "initWithRed:green:blue:alpha:");
                 for (int i = 0; i < 4; ++i) c.components[i] = rt.machine().ToCGFloat(args[i].real);
                 c.initialized = true;
                 rt.trace().ColorMade(rt.Describe(self));
                 return Value::Word(self);
               });
  rt.AddMethod(color, true, "colorWithRed:green:blue:alpha:",
               [](Runtime &rt, uint64_t, uint64_t, const std::vector<Value> &args) {
                 const uint64_t made = NewColor(rt, args[0].real, args[1].real, args[2].real, args[3].real, true);
                 rt.trace().ColorMade(rt.Describe(made));
                 return Value::Word(made);
               });
  rt.AddMethod(color, false, "getRed:green:blue:alpha:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &c = rt.Get(self, "getRed:green:blue:alpha:");
                 if (c.pattern) return Value::Bool(false);
                 for (int i = 0; i < 4; ++i) {
                   if (args[i].word != 0) rt.machine().WriteCGFloat(args[i].word, c.components[i]);
                 }
                 return Value::Bool(true);
               });

  ClassInfo &view = rt.DefineClass("UIView", "NSObject");
  view.ivars.insert("_backgroundColor");
  rt.AddMethod(view, false, "setBackgroundColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    SetIvarObject(rt, self, "_backgroundColor", args[0].word);
    return Value::None();
  }, true);
  rt.AddMethod(view, false, "backgroundColor", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(IvarObject(rt, self, "_backgroundColor"));
  });
  rt.AddMethod(view, false, "setHidden:", Nothing, true);
  rt.AddMethod(view, false, "layoutSubviews", Nothing, true);

  ClassInfo &label = rt.DefineClass("UILabel", "UIView");
  label.ivars.insert("_textColor");
  rt.AddMethod(label, false, "setTextColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    // UIKit's public setter stores through the private one.
    rt.Send(self, "_setTextColor:", {args[0]});
    return Value::None();
  });
  rt.AddMethod(label, false, "_setTextColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    SetIvarObject(rt, self, "_textColor", args[0].word);
    return Value::None();
  }, true);
  rt.AddMethod(label, false, "_setColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    SetIvarObject(rt, self, "_textColor", args[0].word);
    return Value::None();
  }, true);
  rt.AddMethod(label, false, "textColor", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(IvarObject(rt, self, "_textColor"));
  });
  rt.AddMethod(label, false, "layoutSubviews", Nothing, true);

  ClassInfo &buttonLabel = rt.DefineClass("UIButtonLabel", "UILabel");
  rt.AddMethod(buttonLabel, false, "layoutSubviews", Nothing, true);

  ClassInfo &tableLabel = rt.DefineClass("UITableViewLabel", "UILabel");
  rt.AddMethod(tableLabel, false, "_setBackgroundCGColor:", Nothing, true);
}

}  // namespace device
