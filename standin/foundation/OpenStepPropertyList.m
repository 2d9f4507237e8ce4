// Old-style (OpenStep) text property lists as CoreFoundation reads them: dictionaries { k = v; },
// arrays ( a, b ), quoted and unquoted strings, <hex data>, comments, and the strings-file form
// (k = v; without braces). Every leaf is a string or data. Nesting is bounded, so the recursion is.
#import "PropertyListForms.h"

#include "scenario/NextStepLatin.h"

#include <stdbool.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
  const unichar *text;
  size_t length, at;
  unsigned depth;
  bool tooDeep;
} Reader;

// What a part of the grammar finds: an object (retained), nothing that starts one here, or a fault.
typedef enum { Found, None, Fault } Outcome;

static Outcome ReadObject(Reader *reader, id *object);

// UTF-8 as the Unicode standard defines it well formed (no overlong forms, no surrogates, nothing
// past U+10FFFF), as UTF-16 units appended at `out`; false on anything else.
static bool DecodeUTF8(const uint8_t *bytes, size_t length, unichar *out, size_t *count) {
  size_t n = 0;
  for (size_t i = 0; i < length;) {
    uint8_t c = bytes[i];
    uint32_t value;
    size_t extra;
    uint8_t low = 0x80, high = 0xBF;  // the bounds of the byte after the first
    if (c < 0x80) {
      value = c, extra = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      value = c & 0x1F, extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      value = c & 0x0F, extra = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      value = c & 0x07, extra = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (extra > length - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k) {
      uint8_t next = bytes[i + k];
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
      value = value << 6 | (next & 0x3F);
    }
    i += extra + 1;
    if (value >= 0x10000) {
      out[n++] = (unichar)(0xD800 + ((value - 0x10000) >> 10));
      out[n++] = (unichar)(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      out[n++] = (unichar)value;
    }
  }
  *count = n;
  return true;
}

// The file's characters. A byte-order mark (in a file of more than four bytes) names UTF-32 or
// UTF-16 and is skipped; anything else is UTF-8. Returns a malloc'd buffer, or NULL.
static unichar *Characters(const uint8_t *bytes, size_t length, size_t *count) {
  unichar *text = malloc(sizeof(unichar) * (length > 0 ? length : 1));  // never more units than bytes
  if (text == NULL) return NULL;
  size_t n = 0;
  bool utf32be = length > 4 && memcmp(bytes, "\x00\x00\xFE\xFF", 4) == 0;
  bool utf32le = length > 4 && memcmp(bytes, "\xFF\xFE\x00\x00", 4) == 0;
  if (utf32be || utf32le) {
    if (length % 4 != 0) goto refused;
    for (size_t i = 4; i < length; i += 4) {
      const uint8_t *p = bytes + i;
      uint32_t c = utf32be ? (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]
                           : (uint32_t)p[3] << 24 | (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
      if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) goto refused;
      if (c >= 0x10000) {
        text[n++] = (unichar)(0xD800 + ((c - 0x10000) >> 10));
        text[n++] = (unichar)(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        text[n++] = (unichar)c;
      }
    }
  } else if (length > 4 && (memcmp(bytes, "\xFE\xFF", 2) == 0 || memcmp(bytes, "\xFF\xFE", 2) == 0)) {
    bool big = bytes[0] == 0xFE;
    if (length % 2 != 0) goto refused;
    for (size_t i = 2; i < length; i += 2) {
      text[n++] = big ? (unichar)(bytes[i] << 8 | bytes[i + 1]) : (unichar)(bytes[i + 1] << 8 | bytes[i]);
    }
  } else {
    size_t skip = length > 4 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    if (!DecodeUTF8(bytes + skip, length - skip, text, &n)) goto refused;
  }
  *count = n;
  return text;
refused:
  free(text);
  return NULL;
}

static bool IsLineEnd(unichar c) { return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029; }

// White space and comments; false at the end of the text.
static bool SkipSpace(Reader *reader) {
  const unichar *text = reader->text;
  while (reader->at < reader->length) {
    unichar c = text[reader->at];
    bool next = reader->at + 1 < reader->length;
    if ((c >= 9 && c <= 13) || c == ' ' || c == 0x2028 || c == 0x2029) {
      ++reader->at;
    } else if (c == '/' && next && text[reader->at + 1] == '/') {
      reader->at += 2;
      while (reader->at < reader->length && !IsLineEnd(text[reader->at])) ++reader->at;
    } else if (c == '/' && next && text[reader->at + 1] == '*') {
      reader->at += 2;  // an open comment runs to the end
      while (reader->at < reader->length &&
             !(text[reader->at] == '*' && reader->at + 1 < reader->length && text[reader->at + 1] == '/')) {
        ++reader->at;
      }
      if (reader->at < reader->length) reader->at += 2;
    } else {
      return true;
    }
  }
  return false;
}

static bool IsUnquoted(unichar c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '/' || c == ':' || c == '.' || c == '-';
}

static int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The character a backslash escape stands for; the backslash is passed, its next character is not.
static unichar Escaped(Reader *reader) {
  const unichar *text = reader->text;
  unichar c = text[reader->at++];
  if (c >= '0' && c <= '7') {  // up to three octal digits, their value taken as a byte
    unsigned value = c - '0';
    for (int more = 0; more < 2 && reader->at < reader->length && text[reader->at] >= '0' && text[reader->at] <= '7';
         ++more) {
      value = value * 8 + (text[reader->at++] - '0');
    }
    return DWNextStepCharacter((uint8_t)(value & 0xFF));
  }
  switch (c) {
    case 'U': {  // up to four hexadecimal digits
      unsigned value = 0;
      for (int digits = 0; digits < 4 && reader->at < reader->length && text[reader->at] < 0x80 &&
                           HexValue((uint8_t)text[reader->at]) >= 0;
           ++digits) {
        value = value * 16 + (unsigned)HexValue((uint8_t)text[reader->at++]);
      }
      return (unichar)value;
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

static Outcome ReadQuoted(Reader *reader, unichar quote, id *object) {
  size_t start = reader->at;
  while (reader->at < reader->length && reader->text[reader->at] != quote) {
    reader->at += reader->text[reader->at] == '\\' ? 2 : 1;
  }
  if (reader->at >= reader->length) return Fault;  // no closing quote (or a backslash at the end)
  size_t end = reader->at++;
  unichar *units = malloc(sizeof(unichar) * (end - start + 1));
  if (units == NULL) return Fault;
  size_t n = 0;
  Reader inside = {reader->text, end, start, 0, false};
  while (inside.at < end) {
    unichar c = reader->text[inside.at++];
    units[n++] = c == '\\' ? Escaped(&inside) : c;
  }
  NSString *string = DWPropertyListString(units, n);
  free(units);
  if (string == nil) return Fault;
  *object = string;
  return Found;
}

static Outcome ReadString(Reader *reader, id *object) {
  if (!SkipSpace(reader)) return None;
  unichar c = reader->text[reader->at];
  if (c == '"' || c == '\'') {
    ++reader->at;
    return ReadQuoted(reader, c, object);
  }
  if (!IsUnquoted(c)) return None;
  size_t start = reader->at;
  while (reader->at < reader->length && IsUnquoted(reader->text[reader->at])) ++reader->at;
  *object = [[NSString alloc] initWithCharacters:reader->text + start length:reader->at - start];
  return *object != nil ? Found : Fault;
}

static Outcome ReadData(Reader *reader, id *object) {
  const unichar *text = reader->text;
  NSMutableData *data = [[NSMutableData alloc] init];
  while (reader->at < reader->length && text[reader->at] != '>') {
    unichar c = text[reader->at];
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == 0x2028 || c == 0x2029) {
      ++reader->at;
      continue;
    }
    // CoreFoundation takes a digit's low byte only, so U+0130 stands for '0'.
    int high = HexValue((uint8_t)c);
    int low = reader->at + 1 < reader->length ? HexValue((uint8_t)text[reader->at + 1]) : -1;
    if (high < 0 || low < 0) {
      [data release];
      return Fault;
    }
    uint8_t byte = (uint8_t)(high << 4 | low);
    [data appendBytes:&byte length:1];
    reader->at += 2;
  }
  if (reader->at >= reader->length) {
    [data release];
    return Fault;
  }
  ++reader->at;
  *object = [[NSData alloc] initWithData:data];
  [data release];
  return Found;
}

static Outcome ReadArray(Reader *reader, id *object) {
  NSMutableArray *items = [[NSMutableArray alloc] init];
  while (true) {
    id item = nil;
    Outcome outcome = ReadObject(reader, &item);
    if (outcome == Fault) goto fault;
    if (outcome == None) break;
    [items addObject:item];
    [item release];
    if (!SkipSpace(reader) || reader->text[reader->at] != ',') break;
    ++reader->at;  // a comma may end the list
  }
  if (!SkipSpace(reader) || reader->text[reader->at] != ')') goto fault;
  ++reader->at;
  *object = [[NSArray alloc] initWithArray:items];
  [items release];
  return Found;
fault:
  [items release];
  return Fault;
}

// key = value; ... (a key alone, "key;", is its own value), up to what cannot start a key. A key
// given again replaces its value.
static Outcome ReadDictionaryContents(Reader *reader, id *object) {
  NSMutableDictionary *entries = [[NSMutableDictionary alloc] init];
  while (true) {
    id key = nil, value = nil;
    Outcome outcome = ReadString(reader, &key);
    if (outcome == Fault) goto fault;
    if (outcome == None) break;
    if (!SkipSpace(reader)) {
      [key release];
      goto fault;
    }
    if (reader->text[reader->at] == ';') {
      value = [key retain];
    } else if (reader->text[reader->at] == '=') {
      ++reader->at;
      if (ReadObject(reader, &value) != Found) {
        [key release];
        goto fault;
      }
    } else {
      [key release];
      goto fault;
    }
    bool ended = SkipSpace(reader) && reader->text[reader->at] == ';';
    if (ended) {
      ++reader->at;
      [entries setObject:value forKey:key];
    }
    [key release];
    [value release];
    if (!ended) goto fault;
  }
  *object = [[NSDictionary alloc] initWithDictionary:entries];
  [entries release];
  return Found;
fault:
  [entries release];
  return Fault;
}

static Outcome ReadDictionary(Reader *reader, id *object) {
  id dictionary = nil;
  if (ReadDictionaryContents(reader, &dictionary) != Found) return Fault;
  if (!SkipSpace(reader) || reader->text[reader->at] != '}') {
    [dictionary release];
    return Fault;
  }
  ++reader->at;
  *object = dictionary;
  return Found;
}

static Outcome ReadObject(Reader *reader, id *object) {
  if (!SkipSpace(reader)) return None;
  unichar c = reader->text[reader->at];
  if (c == '{' || c == '(') {
    if (reader->depth + 1 > DWPropertyListMaxDepth) {
      reader->tooDeep = true;
      return Fault;
    }
    ++reader->depth;
    ++reader->at;
    Outcome outcome = c == '{' ? ReadDictionary(reader, object) : ReadArray(reader, object);
    --reader->depth;
    return outcome;
  }
  if (c == '<') {
    ++reader->at;
    return ReadData(reader, object);
  }
  return ReadString(reader, object);
}

// The whole text: nothing but white space and comments is an empty dictionary; a first string with
// more after it starts the strings-file form, read again from the start as the inside of a
// dictionary, up to the first thing that cannot start a key.
static Outcome ReadText(Reader *reader, id *object) {
  if (!SkipSpace(reader)) {
    *object = [[NSDictionary alloc] init];
    return Found;
  }
  id first = nil;
  if (ReadObject(reader, &first) != Found) return Fault;
  if (!SkipSpace(reader)) {
    *object = first;
    return Found;
  }
  bool string = [first isKindOfClass:[NSString class]];
  [first release];
  if (!string) return Fault;
  reader->at = 0;
  reader->depth = 1;
  return ReadDictionaryContents(reader, object);
}

DWPropertyListOutcome DWReadOpenStepPropertyList(const uint8_t *bytes, size_t length, id *object) {
  size_t count = 0;
  unichar *text = Characters(bytes, length, &count);
  if (text == NULL) return DWPropertyListMalformed;
  Reader reader = {text, count, 0, 0, false};
  id read = nil;
  Outcome outcome = ReadText(&reader, &read);
  free(text);
  if (outcome != Found) return reader.tooDeep ? DWPropertyListTooDeep : DWPropertyListMalformed;
  *object = read;
  return DWPropertyListRead;
}
