#include "PickerGrammar.h"

static int HexDigit(uint16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A decimal from 0 to 1: digits with at most one point, nothing else.
static bool ReadAlpha(const uint16_t *text, size_t length, DWPickerDecimal decimal, double *alpha) {
  if (length == 0 || (length == 1 && text[0] == '.')) return false;
  int points = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '.') {
      ++points;
    } else if (text[i] < '0' || text[i] > '9') {
      return false;
    }
  }
  if (points > 1) return false;
  const double value = decimal(text, length);
  if (value < 0.0 || value > 1.0) return false;
  *alpha = value;
  return true;
}

bool DWReadPickerColor(const uint16_t *text, size_t length, DWPickerDecimal decimal, int bytes[3], double *alpha) {
  double readAlpha = 1;
  for (size_t colon = 0; colon < length; ++colon) {
    if (text[colon] != ':') continue;
    if (!ReadAlpha(text + colon + 1, length - colon - 1, decimal, &readAlpha)) return false;
    length = colon;
    break;
  }
  if (length > 0 && text[0] == '#') ++text, --length;
  if (length != 3 && length != 6) return false;
  int digits[6];
  for (size_t i = 0; i < length; ++i) {
    digits[i] = HexDigit(text[i]);
    if (digits[i] < 0) return false;
  }
  for (int channel = 0; channel < 3; ++channel) {
    bytes[channel] = length == 3 ? digits[channel] * 17 : digits[2 * channel] * 16 + digits[2 * channel + 1];
  }
  *alpha = readAlpha;
  return true;
}
