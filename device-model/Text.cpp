#include "Text.h"

namespace device {

std::u16string FromUTF8(const std::string &text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp;
    size_t extra;
    if (c < 0x80) {
      cp = c, extra = 0;
    } else if ((c & 0xe0) == 0xc0) {
      cp = c & 0x1f, extra = 1;
    } else if ((c & 0xf0) == 0xe0) {
      cp = c & 0x0f, extra = 2;
    } else if ((c & 0xf8) == 0xf0) {
      cp = c & 0x07, extra = 3;
    } else {
      out.push_back(u'\ufffd');
      ++i;
      continue;
    }
    bool bad = false;
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
        bad = true;
        break;
      }
      cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3f);
    }
    if (bad) {
      out.push_back(u'\ufffd');
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string ToUTF8(const std::u16string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xd800 && cp < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 && text[i + 1] < 0xe000) {
      cp = 0x10000 + ((cp - 0xd800) << 10) + (text[i + 1] - 0xdc00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
  }
  return out;
}

std::u16string FromLatin1(const std::string &bytes) {
  std::u16string out;
  for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return out;
}

// Well-formed UTF-8 is exactly what decodes and encodes back to the same bytes.
bool IsUTF8(const std::string &bytes) {
  // A round trip leaves every form alone but a surrogate's own three bytes (0xED, then 0xA0 or above).
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) == 0xED && static_cast<unsigned char>(bytes[i + 1]) >= 0xA0) return false;
  }
  return ToUTF8(FromUTF8(bytes)) == bytes;
}

}  // namespace device
