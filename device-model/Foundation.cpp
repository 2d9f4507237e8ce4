#include "DeviceLibraries.h"

#include "PropertyListReading.h"
#include "Text.h"
#include "TraceWriter.h"

#include <unicode/uchar.h>

#include <cstring>

namespace device {

namespace {

uint64_t NewNumber(Runtime &rt, Object::NumberType type, int64_t integer, double real) {
  Object &o = rt.NewObject(*rt.FindClass("NSNumber"), Object::Type::number);
  o.numberType = type;
  o.integer = integer;
  o.real = real;
  return o.handle;
}

// A property-list value as the runtime's objects, each owned by its container (+1 at the top).
uint64_t ObjectOf(Runtime &rt, const PropertyListValue &value) {
  using Kind = PropertyListValue::Kind;
  switch (value.kind) {
    case Kind::dictionary: {
      const uint64_t handle = rt.NewObject(*rt.FindClass("NSDictionary"), Object::Type::dictionary).handle;
      for (size_t i = 0; i < value.keys.size(); ++i) {
        const uint64_t key = rt.NewString(value.keys[i], false);
        const uint64_t item = ObjectOf(rt, value.items[i]);
        rt.Get(handle, "dictionary").entries.emplace_back(key, item);
      }
      return handle;
    }
    case Kind::array: {
      const uint64_t handle = rt.NewObject(*rt.FindClass("NSArray"), Object::Type::array).handle;
      for (const PropertyListValue &item : value.items) {
        const uint64_t object = ObjectOf(rt, item);
        rt.Get(handle, "array").items.push_back(object);
      }
      return handle;
    }
    case Kind::string: return rt.NewString(value.text, false);
    case Kind::boolean: return NewNumber(rt, Object::NumberType::boolean, value.integer, 0);
    case Kind::integer: return NewNumber(rt, Object::NumberType::integer, value.integer, 0);
    case Kind::real: return NewNumber(rt, Object::NumberType::real, 0, value.real);
    case Kind::date: return rt.NewObject(*rt.FindClass("NSDate"), Object::Type::date).handle;
    case Kind::data: return rt.NewObject(*rt.FindClass("NSData"), Object::Type::data).handle;
    case Kind::other: break;
  }
  return rt.NewObject(*rt.FindClass("NSObject"), Object::Type::plain).handle;
}

char32_t CodePointAt(const std::u16string &text, size_t i, size_t *units) {
  char32_t c = text[i];
  *units = 1;
  if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 && text[i + 1] < 0xe000) {
    c = 0x10000 + ((c - 0xd800) << 10) + (text[i + 1] - 0xdc00);
    *units = 2;
  }
  return c;
}

bool IsWhitespaceOrNewline(char32_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)) != 0; }

std::u16string Replace(const std::u16string &text, const std::u16string &target, const std::u16string &with) {
  if (target.empty()) return text;
  std::u16string out;
  size_t at = 0;
  while (true) {
    const size_t found = text.find(target, at);
    if (found == std::u16string::npos) break;
    out.append(text, at, found - at);
    out += with;
    at = found + target.size();
  }
  out.append(text, at, std::u16string::npos);
  return out;
}

// Key-value coding's search on a plain object: accessors, then instance variables.
uint64_t KeyValue(Runtime &rt, uint64_t self, const std::string &key) {
  std::string capitalised = key;
  if (!capitalised.empty() && capitalised[0] >= 'a' && capitalised[0] <= 'z') capitalised[0] -= 'a' - 'A';
  for (const std::string &accessor : {"get" + capitalised, key, "is" + capitalised, "_get" + capitalised, "_" + key}) {
    const uint64_t sel = rt.Selector(accessor);
    const uint64_t imp = rt.LookUp(self, sel);
    if (imp != 0) return rt.CallImplementation(imp, self, sel, InternalSelector(accessor, {}, Type::object), {}).word;
  }
  Object &object = rt.Get(self, "valueForKey:");
  for (const std::string &ivar : {"_" + key, "_is" + capitalised, key, "is" + capitalised}) {
    for (ClassInfo *c = object.cls; c != nullptr; c = c->superclass) {
      if (c->ivars.count(ivar)) {
        auto it = object.ivarValues.find(ivar);
        return it != object.ivarValues.end() ? it->second : 0;
      }
    }
  }
  throw RunError("valueForKey: " + object.cls->name + " has no key " + key +
                 " (the device raises NSUnknownKeyException)");
}

// `self` is the placeholder from alloc: it goes, and the file's dictionary (+1) or nil comes back.
uint64_t ReadDictionaryFile(Runtime &rt, const FileReader &files, uint64_t self, uint64_t path) {
  FileContents file;
  if (path != 0) file = files(ToUTF8(rt.StringValue(path)));
  uint64_t plist = file.state == FileContents::present ? PropertyListObject(rt, file.bytes) : 0;
  const bool isDictionary = plist != 0 && rt.Get(plist, "property list").type == Object::Type::dictionary;
  const char *outcome = isDictionary ? "found" : file.state == FileContents::missing ? "missing" : "unreadable";
  rt.trace().Event("read " + rt.trace().Object(path, rt) + " " + outcome);
  rt.Release(self);
  if (!isDictionary) {
    if (plist != 0) rt.Release(plist);
    return 0;
  }
  return plist;
}

uint64_t DictionaryValue(Runtime &rt, uint64_t self, uint64_t key, const char *selector) {
  Object &dict = rt.Get(self, selector);
  if (key == 0) return 0;
  const std::u16string wanted = rt.StringValue(key);
  for (const auto &entry : dict.entries) {
    if (rt.StringValue(entry.first) == wanted) return entry.second;
  }
  return 0;
}

}  // namespace

uint64_t PropertyListObject(Runtime &rt, const std::vector<uint8_t> &bytes) {
  PropertyListValue value;
  return ReadPropertyList(bytes, &value) ? ObjectOf(rt, value) : 0;
}

bool StringBoolValue(const std::u16string &text) {
  size_t i = 0;
  while (i < text.size() && IsWhitespaceOrNewline(text[i])) ++i;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  while (i < text.size() && text[i] == u'0') ++i;
  if (i >= text.size()) return false;
  const char16_t c = text[i];
  return (c >= u'1' && c <= u'9') || c == u'Y' || c == u'y' || c == u'T' || c == u't';
}

bool IsSymbol(char32_t c) {
  switch (u_charType(static_cast<UChar32>(c))) {
    case U_MATH_SYMBOL:
    case U_CURRENCY_SYMBOL:
    case U_MODIFIER_SYMBOL:
    case U_OTHER_SYMBOL:
      return true;
    default:
      return false;
  }
}

bool ScanHexInt(const std::u16string &text, size_t &location, const std::function<bool(char32_t)> &skip,
                uint32_t *value) {
  size_t i = location;
  while (i < text.size()) {
    size_t units;
    const char32_t c = CodePointAt(text, i, &units);
    if (!skip(c)) break;
    i += units;
  }
  auto digit = [&](size_t at) -> int {
    if (at >= text.size()) return -1;
    const char16_t c = text[at];
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  const bool prefixed = text.compare(i, 2, u"0x") == 0 || text.compare(i, 2, u"0X") == 0;
  if (prefixed && digit(i + 2) >= 0) i += 2;
  if (digit(i) < 0) return false;
  uint64_t v = 0;
  bool overflow = false;
  for (; digit(i) >= 0; ++i) {
    v = v * 16 + static_cast<uint64_t>(digit(i));
    if (v > 0xffffffffu) overflow = true, v = 0xffffffffu;
  }
  *value = overflow ? 0xffffffffu : static_cast<uint32_t>(v);
  location = i;
  return true;
}

void InstallFoundation(Runtime &rt, FileReader files) {
  ClassInfo &object = rt.DefineClass("NSObject", "");
  rt.AddMethod(object, true, "alloc", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    ClassInfo *cls = rt.ClassOfHandle(self);
    if (cls->allocatesPlaceholder) return Value::Word(rt.NewPlaceholder(*cls));
    Object &made = rt.NewObject(*cls, cls->instanceType);
    made.initialized = false;
    return Value::Word(made.handle);
  });
  rt.AddMethod(object, true, "class", [](Runtime &, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(self);
  });
  rt.AddMethod(object, false, "class", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(rt.ClassOf(self)->handle);
  });
  rt.AddMethod(object, false, InternalSelector("init", {}, Type::object), [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    Object &receiver = rt.Get(self, "init");
    if (receiver.placeholder) {
      // An empty instance of the cluster.
      ClassInfo &cluster = *receiver.cls;
      rt.SpendPlaceholder(self);
      return Value::Word(rt.NewObject(cluster, cluster.instanceType).handle);
    }
    receiver.initialized = true;
    return Value::Word(self);
  });
  rt.AddMethod(object, false, "release", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    rt.Release(self);
    return Value::None();
  });
  rt.AddMethod(object, false, "retain", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    rt.Retain(self);
    return Value::Word(self);
  });
  rt.AddMethod(object, false, "autorelease", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(rt.Autorelease(self));
  });
  rt.AddMethod(object, false, "respondsToSelector:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 return Value::Bool(args[0].word != 0 && rt.LookUp(self, args[0].word) != 0);
               });
  rt.AddMethod(object, false, "isKindOfClass:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    ClassInfo *cls = rt.ClassOf(self);
    ClassInfo *ancestor = rt.ClassOfHandle(args[0].word);
    return Value::Bool(cls != nullptr && ancestor != nullptr && rt.IsKindOf(cls, ancestor));
  });
  rt.AddMethod(object, false, InternalSelector("isEqual:", {Type::object}, Type::boolean), [](Runtime &, uint64_t self, uint64_t, const std::vector<Value> &args) {
    return Value::Bool(self == args[0].word);
  });
  rt.AddMethod(object, false, "valueForKey:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    if (args[0].word == 0) throw RunError("valueForKey: with a nil key (the device raises)");
    return Value::Word(KeyValue(rt, self, ToUTF8(rt.StringValue(args[0].word))));
  });

  ClassInfo &string = rt.DefineClass("NSString", "NSObject");
  string.instanceType = Object::Type::string;
  string.allocatesPlaceholder = true;
  rt.DefineClass("__NSCFConstantString", "NSString");
  rt.AddMethod(string, true, InternalSelector("stringWithUTF8String:", {Type::word}, Type::object), [](Runtime &rt, uint64_t, uint64_t, const std::vector<Value> &args) {
    if (args[0].word == 0) throw RunError("stringWithUTF8String: with NULL (the device raises)");
    return Value::Word(rt.NewStringUTF8(rt.machine().ReadCString(args[0].word)));
  });
  rt.AddMethod(string, false, "stringByReplacingOccurrencesOfString:withString:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 if (args[0].word == 0 || args[1].word == 0) throw RunError("string replacement with nil (the device raises)");
                 return Value::Word(rt.NewString(
                     Replace(rt.StringValue(self), rt.StringValue(args[0].word), rt.StringValue(args[1].word))));
               });
  rt.AddMethod(string, false, "boolValue", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    const bool result = StringBoolValue(rt.StringValue(self));
    return Value::Bool(result);
  });
  rt.AddMethod(string, false, InternalSelector("isEqual:", {Type::object}, Type::boolean), [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    return Value::Bool(rt.IsString(args[0].word) && rt.StringValue(args[0].word) == rt.StringValue(self));
  });
  rt.AddMethod(string, false, InternalSelector("isEqualToString:", {Type::object}, Type::boolean), [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    return Value::Bool(args[0].word != 0 && rt.StringValue(args[0].word) == rt.StringValue(self));
  });
  rt.AddMethod(string, false, InternalSelector("length", {}, Type::word), [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(rt.StringValue(self).size());
  });

  ClassInfo &number = rt.DefineClass("NSNumber", "NSObject");
  number.instanceType = Object::Type::number;
  number.allocatesPlaceholder = true;
  rt.AddMethod(number, false, "boolValue", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    Object &n = rt.Get(self, "boolValue");
    const bool result = n.numberType == Object::NumberType::real ? n.real != 0 : n.integer != 0;
    return Value::Bool(result);
  });

  for (const auto &[name, type] : {std::pair{"NSArray", Object::Type::array}, std::pair{"NSDate", Object::Type::date},
                                   std::pair{"NSData", Object::Type::data}}) {
    ClassInfo &cluster = rt.DefineClass(name, "NSObject");
    cluster.instanceType = type;
    cluster.allocatesPlaceholder = true;
  }

  ClassInfo &dictionary = rt.DefineClass("NSDictionary", "NSObject");
  dictionary.instanceType = Object::Type::dictionary;
  dictionary.allocatesPlaceholder = true;
  rt.AddMethod(dictionary, true, "dictionaryWithContentsOfFile:",
               [files](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 const uint64_t placeholder = rt.NewPlaceholder(*rt.ClassOfHandle(self));
                 return Value::Word(rt.Autorelease(ReadDictionaryFile(rt, files, placeholder, args[0].word)));
               });
  rt.AddMethod(dictionary, false, "initWithContentsOfFile:",
               [files](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 return Value::Word(ReadDictionaryFile(rt, files, self, args[0].word));
               });
  rt.AddMethod(dictionary, false, "objectForKey:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    return Value::Word(DictionaryValue(rt, self, args[0].word, "objectForKey:"));
  });
  rt.AddMethod(dictionary, false, "valueForKey:", [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
    if (args[0].word != 0 && rt.IsString(args[0].word)) {
      const std::u16string key = rt.StringValue(args[0].word);
      if (!key.empty() && key[0] == u'@') throw RunError("valueForKey: with an @ key is not modelled");
    }
    return Value::Word(DictionaryValue(rt, self, args[0].word, "valueForKey:"));
  });
  rt.AddMethod(dictionary, false, InternalSelector("count", {}, Type::word), [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &) {
    return Value::Word(rt.Get(self, "count").entries.size());
  });

  ClassInfo &characterSet = rt.DefineClass("NSCharacterSet", "NSObject");
  characterSet.instanceType = Object::Type::characterSet;
  Object &symbols = rt.NewObject(characterSet, Object::Type::characterSet);
  symbols.immortal = true;
  Object &whitespace = rt.NewObject(characterSet, Object::Type::characterSet);
  whitespace.immortal = true;
  const uint64_t symbolSet = symbols.handle, whitespaceSet = whitespace.handle;
  rt.AddMethod(characterSet, true, "symbolCharacterSet", [symbolSet](Runtime &, uint64_t, uint64_t, const std::vector<Value> &) {
    return Value::Word(symbolSet);
  });
  rt.AddMethod(characterSet, true, InternalSelector("whitespaceAndNewlineCharacterSet", {}, Type::object),
               [whitespaceSet](Runtime &, uint64_t, uint64_t, const std::vector<Value> &) { return Value::Word(whitespaceSet); });

  ClassInfo &scanner = rt.DefineClass("NSScanner", "NSObject");
  scanner.instanceType = Object::Type::scanner;
  rt.AddMethod(scanner, true, "scannerWithString:",
               [whitespaceSet](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 if (!rt.IsString(args[0].word)) throw RunError("scannerWithString: needs a string (the device raises)");
                 Object &s = rt.NewObject(*rt.ClassOfHandle(self), Object::Type::scanner);
                 // The scanner keeps a copy of the string; strings here are immutable, so a retain.
                 rt.Retain(args[0].word);
                 s.scannedString = args[0].word;
                 s.skipSet = whitespaceSet;
                 return Value::Word(rt.Autorelease(s.handle));
               });
  rt.AddMethod(scanner, false, "setCharactersToBeSkipped:",
               [](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &s = rt.Get(self, "setCharactersToBeSkipped:");
                 rt.Retain(args[0].word);
                 const uint64_t old = s.skipSet;
                 s.skipSet = args[0].word;
                 rt.Release(old);
                 return Value::None();
               });
  rt.AddMethod(scanner, false, "scanHexInt:",
               [symbolSet, whitespaceSet](Runtime &rt, uint64_t self, uint64_t, const std::vector<Value> &args) {
                 Object &s = rt.Get(self, "scanHexInt:");
                 const uint64_t set = s.skipSet;
                 if (set != 0 && set != symbolSet && set != whitespaceSet) {
                   throw RunError("scanHexInt: with a character set the model does not know");
                 }
                 auto skip = [&](char32_t c) {
                   if (set == symbolSet) return IsSymbol(c);
                   if (set == whitespaceSet) return IsWhitespaceOrNewline(c);
                   return false;
                 };
                 uint32_t value = 0;
                 const std::u16string text = rt.StringValue(s.scannedString);
                 const bool found = ScanHexInt(text, s.scanLocation, skip, &value);
                 if (found && args[0].word != 0) rt.machine().Write32(args[0].word, value);
                 return Value::Bool(found);
               });
}

}  // namespace device
