#include "DeviceLibraries.h"

#include "Text.h"
#include "TraceWriter.h"
#include "scenario/PickerGrammar.h"

#include <cmath>
#include <cstdlib>

namespace device {

namespace {

struct NamedColor {
  const char *message;
  double r, g, b, a;  // what the device's CGFloat holds: computed in the slice's width below
};

// The device's named colours. A third and two thirds are divided in the slice's width.
const NamedColor kNamedColors[] = {
    {"blackColor", 0, 0, 0, 1},   {"darkGrayColor", -1, -1, -1, 1}, {"lightGrayColor", -2, -2, -2, 1},
    {"whiteColor", 1, 1, 1, 1},   {"grayColor", 0.5, 0.5, 0.5, 1},  {"redColor", 1, 0, 0, 1},
    {"greenColor", 0, 1, 0, 1},   {"blueColor", 0, 0, 1, 1},        {"cyanColor", 0, 1, 1, 1},
    {"yellowColor", 1, 1, 0, 1},  {"magentaColor", 1, 0, 1, 1},     {"orangeColor", 1, 0.5, 0, 1},
    {"purpleColor", 0.5, 0, 0.5, 1}, {"brownColor", 0.6, 0.4, 0.2, 1}, {"clearColor", 0, 0, 0, 0},
};

// n / d computed in the slice's CGFloat: double on arm64, float on armv7.
double Fraction(Runtime &rt, int n, int d) {
  if (rt.machine().arch() == Arch::arm64) return static_cast<double>(n) / d;
  return static_cast<float>(n) / static_cast<float>(d);
}

// The alpha's digits read by the C library.
double LibraryDecimal(const uint16_t *digits, size_t length) {
  const std::string ascii(digits, digits + length);
  return std::strtod(ascii.c_str(), nullptr);
}

void SetIvar(Runtime &rt, uint64_t self, const std::string &ivar, uint64_t value) {
  Object &object = rt.Get(self, ivar.c_str());
  rt.Retain(value);
  uint64_t &slot = object.ivarValues[ivar];
  const uint64_t old = slot;
  slot = value;
  rt.Release(old);
}

uint64_t Ivar(Runtime &rt, uint64_t self, const std::string &ivar) {
  Object &object = rt.Get(self, ivar.c_str());
  auto it = object.ivarValues.find(ivar);
  return it != object.ivarValues.end() ? it->second : 0;
}

uint64_t NamedColorObject(Runtime &rt, const std::string &message) {
  return rt.Send("", rt.Class("UIColor").handle, message, {}).word;
}

Value Nothing(Runtime &, uint64_t, uint64_t, const std::vector<Value> &) { return Value::None(); }

// A layout pass that gives the view a stock background of its own, by ordinary dispatch.
HostMethod::Body StockBackground(int red, int green, int blue, int of, double alpha) {
  return [=](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    const uint64_t stock =
        NewColor(rt, Fraction(rt, red, of), Fraction(rt, green, of), Fraction(rt, blue, of), alpha, true);
    rt.Send("msg", self, "setBackgroundColor:", {Value::Word(stock)});
    return Value::None();
  };
}

}  // namespace

uint64_t NewColor(Runtime &rt, double r, double g, double b, double a, bool autoreleased) {
  Object &color = rt.NewObject(rt.Class("UIColor"), Object::Type::color);
  const double values[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) color.components[i] = rt.machine().ToCGFloat(values[i]);
  return autoreleased ? rt.Autorelease(color.handle) : color.handle;
}

bool ParsePickerColor(const std::u16string &input, double components[4]) {
  const std::vector<uint16_t> units(input.begin(), input.end());
  int bytes[3];
  if (!DWReadPickerColor(units.data(), units.size(), LibraryDecimal, bytes, &components[3])) return false;
  for (int channel = 0; channel < 3; ++channel) components[channel] = bytes[channel];
  return true;
}

uint64_t ParseColorString(Runtime &rt, uint64_t value, uint64_t fallback) {
  double parsed[4];
  bool ok = rt.IsString(value) && ParsePickerColor(rt.StringValue(value), parsed);
  if (!ok) ok = rt.IsString(fallback) && ParsePickerColor(rt.StringValue(fallback), parsed);
  if (!ok) return 0;  // every fallback the library passes is valid
  return NewColor(rt, Fraction(rt, static_cast<int>(parsed[0]), 255), Fraction(rt, static_cast<int>(parsed[1]), 255),
                  Fraction(rt, static_cast<int>(parsed[2]), 255), parsed[3], true);
}

void InstallUIKit(Runtime &rt) {
  ClassInfo &image = rt.DefineClass("UIImage", "NSObject");
  image.instanceType = Object::Type::image;

  ClassInfo &color = rt.DefineClass("UIColor", "NSObject");
  color.instanceType = Object::Type::color;
  color.allocatesPlaceholder = true;
  for (const NamedColor &named : kNamedColors) {
    double c[3] = {named.r, named.g, named.b};
    for (double &v : c) {
      if (v == -1) v = Fraction(rt, 1, 3);
      if (v == -2) v = Fraction(rt, 2, 3);
    }
    const uint64_t shared = NewColor(rt, c[0], c[1], c[2], named.a, false);
    rt.Get(shared, "named colour").immortal = true;
    rt.AddMethod(color, true, named.message,
                 [shared](Runtime &, uint64_t, uint64_t, const std::vector<Value> &) { return Value::Word(shared); });
  }
  rt.AddMethod(color, false, "initWithRed:green:blue:alpha:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &c = rt.Get(self, "initWithRed:green:blue:alpha:");
                 if (c.placeholder) {
                   rt.SpendPlaceholder(self);
                   return Value::Word(NewColor(rt, args[0].real, args[1].real, args[2].real, args[3].real, false));
                 }
                 for (int i = 0; i < 4; ++i) c.components[i] = rt.machine().ToCGFloat(args[i].real);
                 c.initialized = true;
                 return Value::Word(self);
               });
  rt.AddMethod(color, false, "getRed:green:blue:alpha:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &c = rt.Get(self, "getRed:green:blue:alpha:");
                 if (c.pattern || !c.initialized) return Value::Bool(false);
                 for (int i = 0; i < 4; ++i) {
                   if (args[i].word != 0) rt.machine().WriteCGFloat(args[i].word, c.components[i]);
                 }
                 return Value::Bool(true);
               });

  ClassInfo &view = rt.DefineClass("UIView", "NSObject");
  rt.AddMethod(view, false, "setBackgroundColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    SetIvar(rt, self, "_backgroundColor", args[0].word);
    return Value::None();
  }, true);
  rt.AddMethod(view, false, "setHidden:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    rt.Get(self, "setHidden:").flag = args[0].word != 0;
    return Value::None();
  }, true);
  rt.AddMethod(view, false, "layoutSubviews", Nothing, true);
  // Its own tint, else the stock one (views here stand alone, with no superview to ask).
  rt.AddMethod(view, false, "tintColor", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    const uint64_t own = Ivar(rt, self, "_tintColor");
    return Value::Word(own != 0 ? own : NewColor(rt, 0, Fraction(rt, 122, 255), 1, 1, true));
  });

  ClassInfo &label = rt.DefineClass("UILabel", "UIView");
  label.initializer = [](Runtime &rt, uint64_t self) { SetIvar(rt, self, "_textColor", NamedColorObject(rt, "blackColor")); };
  rt.AddMethod(label, false, "setTextColor:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    // UIKit's public setter stores through the private one, by dispatch.
    rt.Send("msg", self, "_setTextColor:", {args[0]});
    return Value::None();
  }, true);
  auto storeTextColor = [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    SetIvar(rt, self, "_textColor", args[0].word);
    return Value::None();
  };
  rt.AddMethod(label, false, "_setTextColor:", storeTextColor, true);
  rt.AddMethod(label, false, "_setColor:", storeTextColor, true);
  rt.AddMethod(label, false, "layoutSubviews", Nothing, true);

  ClassInfo &buttonLabel = rt.DefineClass("UIButtonLabel", "UILabel");
  rt.AddMethod(buttonLabel, false, "layoutSubviews", Nothing, true);
  ClassInfo &button = rt.DefineClass("UIButton", "UIView");
  button.initializer = [](Runtime &rt, uint64_t self) {
    const uint64_t title = rt.Make(rt.Class("UIButtonLabel"));
    const uint64_t tint = NewColor(rt, 0, Fraction(rt, 122, 255), 1, 1, false);
    SetIvar(rt, title, "_textColor", tint);
    rt.Release(tint);
    SetIvar(rt, self, "_titleLabel", title);
    rt.Release(title);
  };

  ClassInfo &tableLabel = rt.DefineClass("UITableViewLabel", "UILabel");
  rt.AddMethod(tableLabel, false, "_setBackgroundCGColor:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 uint64_t background = 0;
                 if (const double *c = rt.CGColorComponents(args[0].word)) {
                   background = NewColor(rt, c[0], c[1], c[2], c[3], true);
                 }
                 SetIvar(rt, self, "_backgroundColor", background);
                 return Value::None();
               }, true);

  ClassInfo &contentView = rt.DefineClass("UITableViewCellContentView", "UIView");
  rt.AddMethod(contentView, false, "layoutSubviews", Nothing, true);

  auto whiteBackground = [](Runtime &rt, uint64_t self) {
    SetIvar(rt, self, "_backgroundColor", NamedColorObject(rt, "whiteColor"));
  };
  ClassInfo &cell = rt.DefineClass("UITableViewCell", "UIView");
  cell.initializer = [whiteBackground](Runtime &rt, uint64_t self) {
    whiteBackground(rt, self);
    const uint64_t content = rt.Make(rt.Class("UITableViewCellContentView"));
    const uint64_t text = rt.Make(rt.Class("UITableViewLabel"));
    SetIvar(rt, content, "_textLabelView", text);  // the content view holds the label
    SetIvar(rt, self, "_contentView", content);
    SetIvar(rt, self, "_textLabel", text);
    rt.Release(content);
    rt.Release(text);
  };
  // The cell gives its label its own background so that the label draws opaquely.
  rt.AddMethod(cell, false, "layoutSubviews", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    uint64_t background = Ivar(rt, self, "_backgroundColor");
    if (background == 0) background = NamedColorObject(rt, "whiteColor");
    rt.Send("msg", Ivar(rt, self, "_textLabel"), "_setBackgroundCGColor:", {Value::Word(rt.CGColorOf(background))});
    return Value::None();
  }, true);

  ClassInfo &table = rt.DefineClass("UITableView", "UIView");
  table.initializer = whiteBackground;
  rt.AddMethod(table, false, "layoutSubviews", Nothing, true);  // stacks its subviews

  ClassInfo &headerBackground = rt.DefineClass("_UITableViewHeaderFooterViewBackground", "UIView");
  rt.AddMethod(headerBackground, false, "layoutSubviews", StockBackground(247, 247, 247, 255, 1), true);
  ClassInfo &headerContent = rt.DefineClass("_UITableViewHeaderFooterContentView", "UIView");
  rt.AddMethod(headerContent, false, "layoutSubviews", Nothing, true);
  rt.DefineClass("UITableViewHeaderFooterView", "UIView");

  ClassInfo &collection = rt.DefineClass("UICollectionView", "UIView");
  collection.initializer = [](Runtime &rt, uint64_t self) {
    SetIvar(rt, self, "_backgroundColor", NamedColorObject(rt, "blackColor"));
  };
  rt.AddMethod(collection, false, "layoutSubviews", Nothing, true);  // stacks its subviews
  ClassInfo &collectionCell = rt.DefineClass("UICollectionViewCell", "UIView");
  rt.AddMethod(collectionCell, false, "layoutSubviews", Nothing, true);

  ClassInfo &textField = rt.DefineClass("UITextField", "UIView");
  textField.initializer = whiteBackground;
  ClassInfo &searchField = rt.DefineClass("UISearchBarTextField", "UITextField");
  rt.AddMethod(searchField, false, "layoutSubviews", StockBackground(142, 142, 147, 255, 0.12), true);

  ClassInfo &barBackground = rt.DefineClass("_UIBarBackground", "UIView");
  rt.AddMethod(barBackground, false, "layoutSubviews", StockBackground(248, 248, 248, 255, 0.82), true);
  rt.DefineClass("UITabBar", "UIView");
  rt.DefineClass("UINavigationBar", "UIView");

  ClassInfo &slider = rt.DefineClass("UISlider", "UIView");
  slider.initializer = [](Runtime &rt, uint64_t self) {
    Object &thumb = rt.NewObject(rt.Class("UIImage"), Object::Type::image);
    thumb.imageName = "slider-thumb";
    SetIvar(rt, self, "_thumbImage", thumb.handle);
    rt.Release(thumb.handle);
  };
  // Each pass draws the track and thumb in the tint asked for the thumb image.
  rt.AddMethod(slider, false, "layoutSubviews", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    const Value tint = rt.Send("msg", self, "_effectiveTintColorWithImage:", {Value::Word(Ivar(rt, self, "_thumbImage"))});
    SetIvar(rt, self, "_trackColor", tint.word);
    return Value::None();
  }, true);
  rt.AddMethod(slider, false, "_effectiveTintColorWithImage:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
                 const uint64_t imp = rt.LookUp(self, rt.Selector("tintColor"));
                 return Value::Word(rt.CallImplementation(imp, self, rt.Selector("tintColor"), *FindSelector("tintColor"), {}).word);
               }, true);

  ClassInfo &statusStyle = rt.DefineClass("UIStatusBarForegroundStyleAttributes", "NSObject");
  rt.AddMethod(statusStyle, false, "tintColor", [](Runtime &rt, uint64_t, uint64_t, const std::vector<Value> &) {
    return Value::Word(NamedColorObject(rt, "blackColor"));
  }, true);
  ClassInfo &statusBar = rt.DefineClass("UIStatusBar", "UIView");
  statusBar.initializer = [](Runtime &rt, uint64_t self) {
    const uint64_t style = rt.Make(rt.Class("UIStatusBarForegroundStyleAttributes"));  // dark content
    SetIvar(rt, self, "_foregroundStyle", style);
    rt.Release(style);
  };
  // Each pass draws the time, signal and battery glyphs in the style attributes' tint.
  rt.AddMethod(statusBar, false, "layoutSubviews", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    const Value tint = rt.Send("msg", Ivar(rt, self, "_foregroundStyle"), "tintColor", {});
    SetIvar(rt, self, "_glyphColor", tint.word);
    return Value::None();
  }, true);

  rt.DefineClass("UIVisualEffectView", "UIView");
  rt.DefineClass("CALayer", "NSObject");
  rt.DefineClass("CAGradientLayer", "CALayer");
}

}  // namespace device
