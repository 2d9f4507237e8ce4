// Old-style (OpenStep) text property lists as CoreFoundation reads them: dictionaries { k = v; },
// arrays ( a, b ), quoted and unquoted strings, <hex data>, comments, and the strings-file form
// (k = v; without braces). Every leaf is a string or data. Nesting is bounded, so the recursion is.
#include "PropertyListReading.h"

#include "Text.h"

#include "scenario/NextStepLatin.h"
#include "scenario/PropertyListBounds.h"

#include <algorithm>
#include <unordered_map>

namespace device {

namespace {

using Value = PropertyListValue;

// The file's characters. A byte-order mark (in a file of more than four bytes) names UTF-32 or
// UTF-16 and is skipped; anything else is UTF-8, which must be well formed.
bool Characters(const std::vector<uint8_t> &bytes, std::u16string *out) {
  const size_t n = bytes.size();
  auto starts = [&](std::initializer_list<uint8_t> mark) {
    return n > 4 && std::equal(mark.begin(), mark.end(), bytes.begin());
  };
  if (starts({0x00, 0x00, 0xFE, 0xFF}) || starts({0xFF, 0xFE, 0x00, 0x00})) {
    const bool big = bytes[0] == 0x00;
    if ((n - 4) % 4 != 0) return false;
    for (size_t i = 4; i < n; i += 4) {
      const uint32_t c = big ? uint32_t(bytes[i]) << 24 | bytes[i + 1] << 16 | bytes[i + 2] << 8 | bytes[i + 3]
                             : uint32_t(bytes[i + 3]) << 24 | bytes[i + 2] << 16 | bytes[i + 1] << 8 | bytes[i];
      if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
      if (c >= 0x10000) {
        out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
        out->push_back(static_cast<char16_t>(c));
      }
    }
    return true;
  }
  if (starts({0xFE, 0xFF}) || starts({0xFF, 0xFE})) {
    const bool big = bytes[0] == 0xFE;
    if (n % 2 != 0) return false;
    for (size_t i = 2; i < n; i += 2) {
      out->push_back(static_cast<char16_t>(big ? bytes[i] << 8 | bytes[i + 1] : bytes[i + 1] << 8 | bytes[i]));
    }
    return true;
  }
  const size_t skip = starts({0xEF, 0xBB, 0xBF}) ? 3 : 0;
  const std::string text(bytes.begin() + static_cast<std::ptrdiff_t>(skip), bytes.end());
  if (!IsUTF8(text)) return false;
  *out = FromUTF8(text);
  return true;
}

bool IsUnquotedCharacter(char16_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '/' || c == ':' || c == '.' || c == '-';
}

int HexDigit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Reader {
 public:
  explicit Reader(const std::u16string &text) : text_(text) {}

  bool Read(Value *out) {
    if (!SkipSpace()) {  // nothing but white space and comments: an empty dictionary
      out->kind = Value::Kind::dictionary;
      return true;
    }
    Outcome first = Object(out);
    if (first != found) return false;
    if (!SkipSpace()) return true;
    // More after a first string: the strings-file form, read again from the start as the inside
    // of a dictionary, up to the first thing that cannot start a key.
    if (out->kind != Value::Kind::string) return false;
    at_ = 0;
    *out = Value();
    depth_ = 1;
    return DictionaryContents(out) == found;
  }

 private:
  // What a part of the grammar finds: its value, nothing that starts one here, or a fault.
  enum Outcome { found, none, fault };

  // White space and comments; false at the end of the text.
  bool SkipSpace() {
    while (at_ < text_.size()) {
      const char16_t c = text_[at_];
      if ((c >= 9 && c <= 13) || c == ' ' || c == 0x2028 || c == 0x2029) {
        ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
        at_ += 2;
        while (at_ < text_.size() && !IsLineEnd(text_[at_])) ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
        const size_t close = text_.find(u"*/", at_ + 2);
        at_ = close == std::u16string::npos ? text_.size() : close + 2;  // an open comment runs to the end
      } else {
        return true;
      }
    }
    return false;
  }

  static bool IsLineEnd(char16_t c) { return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029; }

  Outcome Object(Value *out) {
    if (!SkipSpace()) return none;
    const char16_t c = text_[at_];
    if (c == '{' || c == '(') {
      if (++depth_ > DWPropertyListMaxDepth) return fault;
      ++at_;
      const Outcome outcome = c == '{' ? Dictionary(out) : Array(out);
      --depth_;
      return outcome;
    }
    if (c == '<') {
      ++at_;
      return Data(out);
    }
    return String(out);
  }

  Outcome String(Value *out) {
    if (!SkipSpace()) return none;
    const char16_t c = text_[at_];
    out->kind = Value::Kind::string;
    if (c == '"' || c == '\'') {
      ++at_;
      return Quoted(c, &out->text);
    }
    if (!IsUnquotedCharacter(c)) return none;
    const size_t start = at_;
    while (at_ < text_.size() && IsUnquotedCharacter(text_[at_])) ++at_;
    out->text = text_.substr(start, at_ - start);
    return found;
  }

  Outcome Quoted(char16_t quote, std::u16string *out) {
    while (at_ < text_.size() && text_[at_] != quote) {
      if (text_[at_] != '\\') {
        out->push_back(text_[at_++]);
        continue;
      }
      if (++at_ >= text_.size()) return fault;
      out->push_back(Escaped());
    }
    if (at_ >= text_.size()) return fault;  // no closing quote
    ++at_;
    *out = PropertyListText(std::move(*out));
    return found;
  }

  // The character after a backslash (already passed), and what follows it of the escape.
  char16_t Escaped() {
    const char16_t c = text_[at_++];
    if (c >= '0' && c <= '7') {  // up to three octal digits, their value taken as a byte
      unsigned value = c - '0';
      for (int more = 0; more < 2 && at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '7'; ++more) {
        value = value * 8 + (text_[at_++] - '0');
      }
      return DWNextStepCharacter(static_cast<uint8_t>(value & 0xFF));
    }
    switch (c) {
      case 'U': {  // up to four hexadecimal digits
        unsigned value = 0;
        for (int digits = 0; digits < 4 && at_ < text_.size() && text_[at_] < 0x80 && HexDigit(uint8_t(text_[at_])) >= 0;
             ++digits) {
          value = value * 16 + static_cast<unsigned>(HexDigit(uint8_t(text_[at_++])));
        }
        return static_cast<char16_t>(value);
      }
      case 'a': return '\a';
      case 'b': return '\b';
      case 'f': return '\f';
      case 'n': return '\n';
      case 'r': return '\r';
      case 't': return '\t';
      case 'v': return '\v';
      default: return c;  // the character itself: \" \' \\ and any other
    }
  }

  Outcome Data(Value *out) {
    out->kind = Value::Kind::data;
    while (at_ < text_.size() && text_[at_] != '>') {
      const char16_t c = text_[at_];
      if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == 0x2028 || c == 0x2029) {
        ++at_;
        continue;
      }
      // CoreFoundation takes a digit's low byte only, so U+0130 stands for '0'.
      if (HexDigit(static_cast<uint8_t>(c)) < 0) return fault;
      if (at_ + 1 >= text_.size() || HexDigit(static_cast<uint8_t>(text_[at_ + 1])) < 0) return fault;  // half a byte
      out->bytes.push_back(static_cast<uint8_t>(HexDigit(static_cast<uint8_t>(c)) << 4 |
                                                HexDigit(static_cast<uint8_t>(text_[at_ + 1]))));
      at_ += 2;
    }
    if (at_ >= text_.size()) return fault;
    ++at_;
    return found;
  }

  Outcome Array(Value *out) {
    out->kind = Value::Kind::array;
    while (true) {
      Value item;
      const Outcome outcome = Object(&item);
      if (outcome == fault) return fault;
      if (outcome == none) break;
      out->items.push_back(std::move(item));
      if (!SkipSpace() || text_[at_] != ',') break;
      ++at_;  // a comma may end the list
    }
    if (!SkipSpace() || text_[at_] != ')') return fault;
    ++at_;
    return found;
  }

  Outcome Dictionary(Value *out) {
    if (DictionaryContents(out) != found) return fault;
    if (!SkipSpace() || text_[at_] != '}') return fault;
    ++at_;
    return found;
  }

  // key = value; ... (a key alone, "key;", is its own value), up to what cannot start a key.
  Outcome DictionaryContents(Value *out) {
    out->kind = Value::Kind::dictionary;
    std::unordered_map<std::u16string, size_t> positions;  // a key given again replaces its value
    while (true) {
      Value key;
      const Outcome keyOutcome = String(&key);
      if (keyOutcome == fault) return fault;
      if (keyOutcome == none) return found;
      if (!SkipSpace()) return fault;
      Value value;
      if (text_[at_] == ';') {
        value = key;
      } else if (text_[at_] == '=') {
        ++at_;
        if (Object(&value) != found) return fault;
      } else {
        return fault;
      }
      if (!SkipSpace() || text_[at_] != ';') return fault;
      ++at_;
      const auto placed = positions.emplace(key.text, out->keys.size());
      if (placed.second) {
        out->keys.push_back(std::move(key.text));
        out->items.push_back(std::move(value));
      } else {
        out->items[placed.first->second] = std::move(value);
      }
    }
  }

  const std::u16string &text_;
  size_t at_ = 0;
  unsigned depth_ = 0;
};

}  // namespace

bool ReadOpenStepPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out) {
  std::u16string text;
  if (!Characters(bytes, &text)) return false;
  PropertyListValue value;
  if (!Reader(text).Read(&value)) return false;
  *out = std::move(value);
  return true;
}

}  // namespace device
