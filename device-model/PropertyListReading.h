// The device's property-list reader as the model runs it: a file's bytes (binary, XML or old-style
// text, told apart as CoreFoundation tells them) as a tree of values, within the bounds of
// scenario/PropertyListBounds.h. Foundation.cpp makes the tree into the runtime's objects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace device {

struct PropertyListValue {
  enum class Kind { dictionary, array, string, boolean, integer, real, date, data, other };
  Kind kind = Kind::other;
  std::u16string text;  // string
  int64_t integer = 0;  // integer; boolean (0 or 1)
  double real = 0;
  std::vector<uint8_t> bytes;            // data
  std::vector<PropertyListValue> items;  // array items; dictionary values, beside `keys`
  std::vector<std::u16string> keys;      // dictionary
};

// The file's top-level value, or false when the bytes hold no property list the reader takes.
bool ReadPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out);

// Each form alone (ReadPropertyList tells which form a file is).
bool ReadBinaryPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out);
bool ReadXMLPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out);
bool ReadOpenStepPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out);

// A string's UTF-16 units as the model's strings hold them: a unit of a surrogate pair that stands
// alone becomes U+FFFD (the stand-in's strings cannot hold one; see docs/design.md).
std::u16string PropertyListText(std::u16string units);

}  // namespace device
