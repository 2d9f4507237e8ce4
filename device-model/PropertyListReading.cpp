// Which form a file is, as CoreFoundation tells: "bplist00" starts a binary file; text whose first
// character past white space is '<' is XML (read with libplist); any other text is old-style, which
// cannot hold a dictionary at a '<' (that starts data), so nothing is lost by not trying it there.
#include "PropertyListReading.h"

#include "Text.h"

#include "scenario/PropertyListBounds.h"

#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace device {

namespace {

using Value = PropertyListValue;

bool IsBinary(const std::vector<uint8_t> &bytes) {
  return bytes.size() >= 8 && std::memcmp(bytes.data(), "bplist00", 8) == 0;
}

bool IsXML(const std::vector<uint8_t> &bytes) {
  for (uint8_t c : bytes) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return c == '<';
  }
  return false;
}

// libplist hands an XML file's strings over as UTF-8.
std::u16string XMLText(const char *bytes) {
  const std::string text = bytes != nullptr ? bytes : "";
  return IsUTF8(text) ? FromUTF8(text) : FromLatin1(text);
}

// A libplist node as a value, `depth` containers up; false past the depth bound.
bool FromNode(plist_t node, unsigned depth, Value *out) {
  switch (plist_get_node_type(node)) {
    case PLIST_DICT: {
      if (depth + 1 > DWPropertyListMaxDepth) return false;
      out->kind = Value::Kind::dictionary;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      std::unique_ptr<void, void (*)(void *)> iterator(it, std::free);
      while (true) {
        char *key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, it, &key, &item);
        if (key == nullptr) return true;
        out->keys.push_back(XMLText(key));
        std::free(key);
        out->items.emplace_back();
        if (!FromNode(item, depth + 1, &out->items.back())) return false;
      }
    }
    case PLIST_ARRAY:
      if (depth + 1 > DWPropertyListMaxDepth) return false;
      out->kind = Value::Kind::array;
      out->items.resize(plist_array_get_size(node));
      for (uint32_t i = 0; i < out->items.size(); ++i) {
        if (!FromNode(plist_array_get_item(node, i), depth + 1, &out->items[i])) return false;
      }
      return true;
    case PLIST_STRING: {
      char *text = nullptr;
      plist_get_string_val(node, &text);
      out->kind = Value::Kind::string;
      out->text = XMLText(text);
      std::free(text);
      return true;
    }
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      out->kind = Value::Kind::boolean;
      out->integer = b != 0;
      return true;
    }
    case PLIST_UINT: {
      uint64_t v = 0;
      plist_get_uint_val(node, &v);
      out->kind = Value::Kind::integer;
      std::memcpy(&out->integer, &v, sizeof v);  // libplist hands the stored signed integer over as its bits
      return true;
    }
    case PLIST_REAL:
      out->kind = Value::Kind::real;
      plist_get_real_val(node, &out->real);
      return true;
    case PLIST_DATE: out->kind = Value::Kind::date; return true;
    case PLIST_DATA: {
      uint64_t length = 0;
      const uint8_t *bytes = reinterpret_cast<const uint8_t *>(plist_get_data_ptr(node, &length));
      out->kind = Value::Kind::data;
      if (bytes != nullptr) out->bytes.assign(bytes, bytes + length);
      return true;
    }
    default: out->kind = Value::Kind::other; return true;
  }
}

}  // namespace

std::u16string PropertyListText(std::u16string units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      units[i] = u'\uFFFD';
    }
  }
  return units;
}

bool ReadXMLPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out) {
  plist_t root = nullptr;
  plist_from_memory(reinterpret_cast<const char *>(bytes.data()), static_cast<uint32_t>(bytes.size()), &root);
  if (root == nullptr) return false;
  std::unique_ptr<void, void (*)(plist_t)> owned(root, plist_free);
  PropertyListValue value;
  if (!FromNode(root, 0, &value)) return false;
  *out = std::move(value);
  return true;
}

bool ReadPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out) {
  if (bytes.empty() || bytes.size() > DWPropertyListMaxBytes) return false;
  if (IsBinary(bytes)) return ReadBinaryPropertyList(bytes, out);
  if (IsXML(bytes)) return ReadXMLPropertyList(bytes, out);
  return ReadOpenStepPropertyList(bytes, out);
}

}  // namespace device
