// A measured binary property list made into Foundation objects, as CoreFoundation reads one: an
// ASCII-typed string is one character per byte (U+0000-U+00FF), a UTF-16 one its units; integers of
// 1, 2 and 4 bytes are unsigned, of 8 the 64-bit two's complement, of 16 their low 8 bytes; a set
// reads as an array, a UID as a plain object. The measure has bounded the
// depth and the expansion, so the recursion is bounded too.
#import "PropertyListForms.h"

#import "BinaryLayout.h"

#include <stdlib.h>
#include <string.h>

static long long SignedValue(uint64_t value) {
  return value <= (uint64_t)INT64_MAX ? (long long)value : -(long long)(~value) - 1;
}

static id ObjectAt(const DWBinaryLayout *layout, uint64_t index);

static id StringOf(const DWBinaryLayout *layout, DWBinaryShape shape) {
  const uint8_t *contents = layout->bytes + shape.contents;
  if (shape.type == 0x5) {
    return [[NSString alloc] initWithBytes:contents length:(NSUInteger)shape.count encoding:NSISOLatin1StringEncoding];
  }
  unichar *units = shape.count > 0 ? malloc(sizeof(unichar) * (size_t)shape.count) : NULL;
  if (shape.count > 0 && units == NULL) return nil;
  for (uint64_t i = 0; i < shape.count; ++i) units[i] = (unichar)(contents[2 * i] << 8 | contents[2 * i + 1]);
  NSString *string = DWPropertyListString(units, (size_t)shape.count);
  free(units);
  return string;
}

// The items of an array, or the keys (then the values) of a dictionary, made one by one.
static id *ObjectsAt(const DWBinaryLayout *layout, DWBinaryShape shape, uint64_t first, uint64_t count) {
  id *objects = malloc(sizeof(id) * (size_t)(count > 0 ? count : 1));
  if (objects == NULL) return NULL;
  for (uint64_t i = 0; i < count; ++i) {
    if ((objects[i] = ObjectAt(layout, DWBinaryReference(layout, shape, first + i))) == nil) {
      while (i > 0) [objects[--i] release];
      free(objects);
      return NULL;
    }
  }
  return objects;
}

static void ReleaseObjects(id *objects, uint64_t count) {
  for (uint64_t i = 0; i < count; ++i) [objects[i] release];
  free(objects);
}

static id ContainerOf(const DWBinaryLayout *layout, DWBinaryShape shape) {
  NSUInteger count = (NSUInteger)shape.count;
  if (shape.type != 0xD) {
    id *items = ObjectsAt(layout, shape, 0, count);
    if (items == NULL) return nil;
    NSArray *array = [[NSArray alloc] initWithObjects:items count:count];
    ReleaseObjects(items, count);
    return array;
  }
  id *keys = ObjectsAt(layout, shape, 0, count);
  if (keys == NULL) return nil;
  id *values = ObjectsAt(layout, shape, count, count);
  NSDictionary *dictionary = values != NULL ? [[NSDictionary alloc] initWithObjects:values forKeys:keys count:count] : nil;
  ReleaseObjects(keys, count);
  if (values != NULL) ReleaseObjects(values, count);
  return dictionary;
}

static id ObjectAt(const DWBinaryLayout *layout, uint64_t index) {
  DWBinaryShape shape = DWBinaryShapeOf(layout, index);
  const uint8_t *contents = layout->bytes + shape.contents;
  switch (shape.type) {
    case 0x0: return [[NSNumber alloc] initWithBool:shape.low == 0x9];
    case 0x1: {
      unsigned width = 1u << shape.low;
      uint64_t bits = width == 16 ? DWBigEndian(contents + 8, 8) : DWBigEndian(contents, width);
      return [[NSNumber alloc] initWithLongLong:SignedValue(bits)];
    }
    case 0x2: {
      if (shape.low == 3) {
        uint64_t bits = DWBigEndian(contents, 8);
        double value;
        memcpy(&value, &bits, sizeof value);
        return [[NSNumber alloc] initWithDouble:value];
      }
      uint32_t bits = (uint32_t)DWBigEndian(contents, 4);
      float value;
      memcpy(&value, &bits, sizeof value);
      return [[NSNumber alloc] initWithDouble:value];
    }
    case 0x3: {
      uint64_t bits = DWBigEndian(contents, 8);
      double seconds;
      memcpy(&seconds, &bits, sizeof seconds);
      return [[NSDate alloc] initWithTimeIntervalSinceReferenceDate:seconds];
    }
    case 0x4: return [[NSData alloc] initWithBytes:contents length:(NSUInteger)shape.count];
    case 0x5:
    case 0x6: return StringOf(layout, shape);
    case 0x8: return [[NSObject alloc] init];  // a UID: see PropertyListObjects.m
    default: return ContainerOf(layout, shape);
  }
}

id DWObjectFromBinaryPropertyList(const uint8_t *bytes, size_t length) {
  DWBinaryLayout layout;
  if (!DWReadBinaryLayout(bytes, length, &layout)) return nil;
  return ObjectAt(&layout, layout.top);
}
