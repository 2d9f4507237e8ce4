// An XML property list's element depth measured before libplist reads it.
#import "PropertyListLimits.h"

#include <string.h>

static const uint8_t *Find(const uint8_t *from, const uint8_t *end, const char *needle) {
  size_t length = strlen(needle);
  for (; (size_t)(end - from) >= length; ++from) {
    if (memcmp(from, needle, length) == 0) return from + length;
  }
  return end;
}

// True when the text at `p` is a decimal integer above 2^63-1.
static bool WideDecimal(const uint8_t *p, const uint8_t *end) {
  while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
  if (p < end && *p == '+') ++p;
  while (p < end && *p == '0') ++p;
  const uint8_t *digits = p;
  while (p < end && *p >= '0' && *p <= '9') ++p;
  size_t count = (size_t)(p - digits);
  return count > 19 || (count == 19 && memcmp(digits, "9223372036854775807", 19) > 0);
}

DWPropertyListOutcome DWCheckXMLDepth(const uint8_t *bytes, size_t length, bool *wideUnsigned) {
  const uint8_t *p = bytes, *end = bytes + length;
  long depth = 0;
  while ((p = memchr(p, '<', (size_t)(end - p))) != NULL) {
    ++p;
    if (p < end && *p == '!') {
      p = (end - p >= 3 && memcmp(p, "!--", 3) == 0) ? Find(p, end, "-->")
          : (end - p >= 8 && memcmp(p, "![CDATA[", 8) == 0) ? Find(p, end, "]]>")
                                                            : Find(p, end, ">");
      continue;
    }
    if (p < end && *p == '?') {
      p = Find(p, end, "?>");
      continue;
    }
    const uint8_t *close = Find(p, end, ">");
    if (close - p == 8 && memcmp(p, "integer>", 8) == 0 && WideDecimal(close, end)) *wideUnsigned = true;
    if (p < end && *p == '/') {
      --depth;
    } else if (close - p < 2 || close[-2] != '/') {
      // Containers sit inside <plist>, so the element limit is one above the container limit.
      if (++depth > DWPropertyListMaxDepth + 1) return DWPropertyListTooDeep;
    }
    p = close;
  }
  return DWPropertyListRead;
}
