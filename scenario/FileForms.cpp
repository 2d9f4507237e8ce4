#include "Reading.h"

#include <plist/plist.h>

namespace dw::scenario {
namespace {

// libplist takes strings as C strings: one holding U+0000 would be cut short without a word.
std::string WithoutNul(std::string text, const std::string &where) {
  Require(text.find('\0') == std::string::npos, where, "U+0000 cannot be written in this form (give the file as base64)");
  return text;
}

// A JSON value as a property-list node: a number written without fraction or exponent is an
// integer, any other a real.
plist_t PlistOf(const Json::Value &value, const std::string &where) {
  switch (value.type()) {
    case Json::objectValue: {
      plist_t dict = plist_new_dict();
      for (auto it = value.begin(); it != value.end(); ++it) {
        const std::string key = WithoutNul(it.name(), where);
        plist_dict_set_item(dict, key.c_str(), PlistOf(*it, where + "." + key));
      }
      return dict;
    }
    case Json::arrayValue: {
      plist_t array = plist_new_array();
      for (Json::ArrayIndex i = 0; i < value.size(); ++i) {
        plist_array_append_item(array, PlistOf(value[i], where + "[" + std::to_string(i) + "]"));
      }
      return array;
    }
    case Json::stringValue: return plist_new_string(WithoutNul(value.asString(), where).c_str());
    case Json::booleanValue: return plist_new_bool(value.asBool() ? 1 : 0);
    case Json::uintValue: return plist_new_uint(value.asUInt64());
    case Json::intValue: return plist_new_uint(static_cast<uint64_t>(value.asInt64()));  // two's complement, as stored
    case Json::realValue: return plist_new_real(value.asDouble());
    case Json::nullValue: break;
  }
  throw Problem{where, "null has no property-list form"};
}

std::vector<uint8_t> BinaryPlistOf(const Json::Value &value, const std::string &where) {
  plist_t root = PlistOf(value, where);
  char *bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  plist_free(root);
  Require(bytes != nullptr, where, "could not be written as a property list");
  std::vector<uint8_t> contents(bytes, bytes + length);
  plist_to_bin_free(bytes);
  return contents;
}

std::vector<uint8_t> Base64Decode(const std::string &text, const std::string &where) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> bytes;
  unsigned buffer = 0;
  int bits = 0;
  size_t digits = 0, padding = 0;
  for (char c : text) {
    if (c == '=') {
      ++padding;
      continue;
    }
    Require(padding == 0, where, "not base64: padding before the end");
    const size_t digit = alphabet.find(c);
    Require(digit != std::string::npos, where, "not base64");
    ++digits;
    buffer = (buffer << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>((buffer >> bits) & 0xff));
    }
  }
  // A lone last digit carries no whole byte: the text was cut short.
  Require(digits % 4 != 1 && padding <= 2, where, "not base64: cut short or padded too far");
  return bytes;
}

}  // namespace

FileSpec ReadFileForm(const Json::Value &form, const std::string &where) {
  FileSpec file;
  if (form.isString()) {
    const std::string kind = form.asString();
    Require(kind == "absent" || kind == "unreadable", where, "expected \"absent\", \"unreadable\" or an object");
    file.kind = kind == "absent" ? FileSpec::Absent : FileSpec::Unreadable;
    return file;
  }
  Require(form.isObject() && form.size() == 1, where,
          "expected {\"plist\": …}, {\"xml\": …}, {\"openstep\": …} or {\"base64\": …}");
  const std::string kind = form.begin().name();
  const Json::Value &content = *form.begin();
  file.kind = FileSpec::Bytes;
  if (kind == "plist") {
    file.bytes = BinaryPlistOf(content, where + ".plist");
  } else if (kind == "xml" || kind == "openstep" || kind == "base64") {
    Require(content.isString(), where + "." + kind, "expected a string");
    const std::string text = content.asString();
    file.bytes = kind == "base64" ? Base64Decode(text, where + ".base64") : std::vector<uint8_t>(text.begin(), text.end());
  } else {
    throw Problem{where, "unknown file form \"" + kind + "\""};
  }
  return file;
}

}  // namespace dw::scenario
