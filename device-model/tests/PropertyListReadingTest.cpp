// The model's property-list reader against the table both executors' readers are held to
// (tests/property-list-readings.json), then its bounds.
#include "PropertyListReading.h"

#include "scenario/PropertyListBounds.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>

namespace device {
namespace {

std::string Quoted(const std::u16string &text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c == '"' || c == '\\') {
      out += '\\', out += static_cast<char>(c);
    } else if (c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
      out += '\\', out += "bfnrt"[std::string("\b\f\n\r\t").find(static_cast<char>(c))];
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    }
  }
  return out + "\"";
}

// The value in the table's canonical form.
std::string Canonical(const PropertyListValue &value) {
  using Kind = PropertyListValue::Kind;
  std::string out;
  switch (value.kind) {
    case Kind::dictionary: {
      std::vector<size_t> order(value.keys.size());
      std::iota(order.begin(), order.end(), 0);
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return value.keys[a] < value.keys[b]; });
      for (size_t i : order) out += (out.empty() ? "" : ", ") + Quoted(value.keys[i]) + ": " + Canonical(value.items[i]);
      return "{" + out + "}";
    }
    case Kind::array:
      for (const PropertyListValue &item : value.items) out += (out.empty() ? "" : ", ") + Canonical(item);
      return "[" + out + "]";
    case Kind::string: return Quoted(value.text);
    case Kind::boolean: return value.integer != 0 ? "true" : "false";
    case Kind::integer: return std::to_string(value.integer);
    case Kind::real: {
      char text[32];
      std::snprintf(text, sizeof text, "%.17g", value.real);
      out = text;
      return std::isfinite(value.real) && out.find_first_of(".e") == std::string::npos ? out + ".0" : out;
    }
    case Kind::date: return "date";
    case Kind::data:
      for (uint8_t byte : value.bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        out += hex;
      }
      return "<" + out + ">";
    case Kind::other: break;
  }
  return "other";
}

std::vector<uint8_t> Base64(const std::string &text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> bytes;
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    buffer = buffer << 6 | static_cast<unsigned>(alphabet.find(c));
    if ((bits += 6) >= 8) bytes.push_back(static_cast<uint8_t>(buffer >> (bits -= 8)));
  }
  return bytes;
}

std::vector<uint8_t> Text(const std::string &text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(PropertyListReadingTest, ReadsEveryCaseOfTheSharedTable) {
  std::ifstream file(DUSKWELL_PROPERTY_LIST_READINGS);
  Json::Value table;
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), file, &table, nullptr)) << DUSKWELL_PROPERTY_LIST_READINGS;
  ASSERT_GT(table["cases"].size(), 40u);
  for (const Json::Value &reading : table["cases"]) {
    const std::vector<uint8_t> bytes =
        reading.isMember("base64") ? Base64(reading["base64"].asString()) : Text(reading["text"].asString());
    PropertyListValue value;
    const bool read = ReadPropertyList(bytes, &value);
    if (reading["reads"].isNull()) {
      EXPECT_FALSE(read) << reading["name"].asString() << ": read as " << Canonical(value);
    } else {
      EXPECT_TRUE(read) << reading["name"].asString();
      if (read) {
        EXPECT_EQ(Canonical(value), reading["reads"].asString()) << reading["name"].asString();
      }
    }
  }
}

std::vector<uint8_t> Nested(size_t levels, const std::string &open, const std::string &close) {
  std::string text = "{ k = v; deep = ";
  for (size_t i = 0; i < levels; ++i) text += open;
  text += "x";
  for (size_t i = 0; i < levels; ++i) text += close;
  return Text(text + "; }");
}

// The top dictionary and 511 containers are the 512 levels allowed; a hundred thousand levels end
// at the bound, not in the stack.
TEST(PropertyListReadingTest, OldStyleNestingIsBounded) {
  PropertyListValue value;
  EXPECT_TRUE(ReadPropertyList(Nested(DWPropertyListMaxDepth - 1, "(", ")"), &value));
  EXPECT_TRUE(ReadPropertyList(Nested(DWPropertyListMaxDepth - 1, "{a=", ";}"), &value));
  EXPECT_FALSE(ReadPropertyList(Nested(DWPropertyListMaxDepth, "(", ")"), &value));
  EXPECT_FALSE(ReadPropertyList(Nested(DWPropertyListMaxDepth, "{a=", ";}"), &value));
  EXPECT_FALSE(ReadPropertyList(Nested(100000, "(", ")"), &value));
  // The strings-file form's dictionary is the first level.
  std::string strings = "k = ";
  for (int i = 0; i < DWPropertyListMaxDepth; ++i) strings += "(";
  EXPECT_FALSE(ReadPropertyList(Text(strings + std::string(DWPropertyListMaxDepth, ')') + ";"), &value));
  EXPECT_TRUE(ReadPropertyList(Text(strings.substr(0, strings.size() - 1) + std::string(DWPropertyListMaxDepth - 1, ')') + ";"),
                               &value));
}

// A binary file built object by object; offsets and references (written by the caller) two bytes wide.
std::vector<uint8_t> Binary(const std::vector<std::vector<uint8_t>> &objects) {
  std::vector<uint8_t> file = Text("bplist00");
  std::vector<size_t> offsets;
  for (const auto &object : objects) {
    offsets.push_back(file.size());
    file.insert(file.end(), object.begin(), object.end());
  }
  const size_t table = file.size();
  for (size_t offset : offsets) file.insert(file.end(), {static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset)});
  const uint8_t trailer[32] = {0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(objects.size() >> 8),
                               static_cast<uint8_t>(objects.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                               static_cast<uint8_t>(table >> 8), static_cast<uint8_t>(table)};
  file.insert(file.end(), trailer, trailer + 32);
  return file;
}

// Arrays each holding the next `copies` times, `levels` deep, around a `true`.
std::vector<uint8_t> Chain(unsigned levels, unsigned copies) {
  std::vector<std::vector<uint8_t>> objects;
  for (unsigned i = 0; i < levels; ++i) {
    std::vector<uint8_t> array = {static_cast<uint8_t>(0xA0 | copies)};
    for (unsigned c = 0; c < copies; ++c) array.insert(array.end(), {static_cast<uint8_t>((i + 1) >> 8), static_cast<uint8_t>(i + 1)});
    objects.push_back(array);
  }
  objects.push_back({0x09});
  return Binary(objects);
}

// Binary graphs are measured before anything is built: a chain deeper than the bound, arrays that
// each hold the next twice (2^60 objects once expanded), and the largest file the bound allows.
TEST(PropertyListReadingTest, BinaryGraphsAreBoundedBeforeTheyAreBuilt) {
  PropertyListValue value;
  EXPECT_TRUE(ReadPropertyList(Chain(DWPropertyListMaxDepth, 1), &value));
  EXPECT_FALSE(ReadPropertyList(Chain(DWPropertyListMaxDepth + 1, 1), &value));
  EXPECT_FALSE(ReadPropertyList(Chain(20000, 1), &value));
  EXPECT_TRUE(ReadPropertyList(Chain(19, 2), &value)) << "2^20 - 1 objects once expanded";
  EXPECT_FALSE(ReadPropertyList(Chain(20, 2), &value)) << "2^21 - 1";
  EXPECT_FALSE(ReadPropertyList(Chain(60, 2), &value)) << "2^61 - 1";
  ASSERT_TRUE(ReadPropertyList(Chain(2, 2), &value));
  EXPECT_EQ(Canonical(value), "[[true, true], [true, true]]") << "a shared object is read at each reference";
  std::vector<uint8_t> huge(DWPropertyListMaxBytes + 1, ' ');
  EXPECT_FALSE(ReadPropertyList(huge, &value)) << "past the size bound, even white space";
}

}  // namespace
}  // namespace device
