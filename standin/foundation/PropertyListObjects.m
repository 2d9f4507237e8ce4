// libplist's nodes of an XML file as Foundation objects, each retained once and owned by its container.
#import "PropertyListObjects.h"

#include <stdbool.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static long long SignedValue(uint64_t value) {
  // libplist 2.2 keeps integers as their 64-bit two's complement and does not say which were signed.
  return value <= (uint64_t)INT64_MAX ? (long long)value : -(long long)(~value) - 1;
}

static id ObjectFromNode(plist_t node, unsigned depth);

// Text that is not UTF-8 (libplist passes on an XML file's bytes) is read as Latin-1 rather than lose the file.
static NSString *StringFromBytes(const char *bytes, size_t length) {
  NSString *string = [[NSString alloc] initWithBytes:bytes length:length encoding:NSUTF8StringEncoding];
  if (string == nil) string = [[NSString alloc] initWithBytes:bytes length:length encoding:NSISOLatin1StringEncoding];
  return string;
}

static id ArrayFromNode(plist_t node, unsigned depth) {
  uint32_t count = plist_array_get_size(node);
  id *items = count > 0 ? malloc(sizeof(id) * count) : NULL;
  if (count > 0 && items == NULL) return nil;
  uint32_t made = 0;
  for (; made < count; ++made) {
    if ((items[made] = ObjectFromNode(plist_array_get_item(node, made), depth + 1)) == nil) break;
  }
  NSArray *array = made == count ? [[NSArray alloc] initWithObjects:items count:count] : nil;
  for (uint32_t i = 0; i < made; ++i) [items[i] release];
  free(items);
  return array;
}

static id DictionaryFromNode(plist_t node, unsigned depth) {
  uint32_t count = plist_dict_get_size(node);
  id *keys = count > 0 ? malloc(sizeof(id) * count) : NULL;
  id *values = count > 0 ? malloc(sizeof(id) * count) : NULL;
  plist_dict_iter iterator = NULL;
  plist_dict_new_iter(node, &iterator);
  uint32_t made = 0;
  bool failed = count > 0 && (keys == NULL || values == NULL);
  while (!failed && made < count) {
    char *key = NULL;
    plist_t value = NULL;
    plist_dict_next_item(node, iterator, &key, &value);
    if (key == NULL || value == NULL) {
      free(key);
      failed = true;
      break;
    }
    keys[made] = StringFromBytes(key, strlen(key));
    free(key);
    values[made] = keys[made] != nil ? ObjectFromNode(value, depth + 1) : nil;
    if (values[made] == nil) {
      [keys[made] release];
      failed = true;
      break;
    }
    ++made;
  }
  free(iterator);
  NSDictionary *dictionary = failed ? nil : [[NSDictionary alloc] initWithObjects:values forKeys:keys count:count];
  for (uint32_t i = 0; i < made; ++i) {
    [keys[i] release];
    [values[i] release];
  }
  free(keys);
  free(values);
  return dictionary;
}

static id ObjectFromNode(plist_t node, unsigned depth) {
  if (node == NULL || depth > DWPropertyListMaxDepth + 1) return nil;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return [[NSNumber alloc] initWithBool:value != 0];
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      return [[NSNumber alloc] initWithLongLong:SignedValue(value)];
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return [[NSNumber alloc] initWithDouble:value];
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char *text = plist_get_string_ptr(node, &length);
      return text != NULL ? StringFromBytes(text, (size_t)length) : nil;
    }
    case PLIST_DATE: {
      int32_t seconds = 0, microseconds = 0;
      plist_get_date_val(node, &seconds, &microseconds);
      return [[NSDate alloc] initWithTimeIntervalSinceReferenceDate:seconds + microseconds / 1e6];
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char *bytes = plist_get_data_ptr(node, &length);
      return [[NSData alloc] initWithBytes:bytes length:(NSUInteger)length];
    }
    case PLIST_ARRAY: return ArrayFromNode(node, depth);
    case PLIST_DICT: return DictionaryFromNode(node, depth);
    case PLIST_UID:
      // A keyed archive's reference (CF$UID): the device makes it an object of a private class that
      // is neither a dictionary nor a number and answers no message the library sends.
      return [[NSObject alloc] init];
    default: return nil;
  }
}

id DWObjectFromPropertyListNode(plist_t node) { return ObjectFromNode(node, 0); }
