// A binary property list's object graph measured before libplist reads it: the trailer, each
// object's shape, and a walk over the references that keeps the path of containers it is in.
#import "PropertyListLimits.h"

#include <stdlib.h>
#include <string.h>

typedef struct {
  const uint8_t *bytes;
  size_t objectsEnd;  // objects and references lie before the 32-byte trailer
  size_t table;
  unsigned offsetSize, refSize;
  uint64_t count;
} BinaryLayout;

static uint64_t BigEndian(const uint8_t *bytes, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

static bool ReadTrailer(const uint8_t *bytes, size_t length, BinaryLayout *layout) {
  if (length < 8 + 32) return false;
  const uint8_t *trailer = bytes + length - 32;
  layout->bytes = bytes;
  layout->objectsEnd = length - 32;
  layout->offsetSize = trailer[6];
  layout->refSize = trailer[7];
  layout->count = BigEndian(trailer + 8, 8);
  uint64_t top = BigEndian(trailer + 16, 8), table = BigEndian(trailer + 24, 8);
  if (layout->offsetSize < 1 || layout->offsetSize > 8 || layout->refSize < 1 || layout->refSize > 8) return false;
  if (layout->count == 0 || top >= layout->count || table < 8 || table > layout->objectsEnd) return false;
  if (layout->count > (layout->objectsEnd - table) / layout->offsetSize) return false;
  layout->table = (size_t)table;
  return true;
}

typedef struct {
  uint64_t object;
  uint64_t next, references;  // references: values of an array, keys then values of a dictionary
  size_t firstReference;
  bool isDictionary;
  uint64_t expanded;          // objects below, counting each reference
  unsigned height;            // deepest container below
} Frame;

// What one object holds: whether it is a container, its references, and whether it is a string that
// can be a key (libplist aborts on a key with a NUL character in it, so such a file is refused).
typedef struct {
  bool valid, container, dictionary, key, wideUnsigned;
  uint64_t references;
  size_t firstReference;
} ObjectShape;

static bool HasZeroUnit(const uint8_t *bytes, uint64_t units, unsigned width) {
  for (uint64_t i = 0; i < units; ++i) {
    if (bytes[i * width] == 0 && (width == 1 || bytes[i * width + 1] == 0)) return true;
  }
  return false;
}

static ObjectShape ShapeOf(const BinaryLayout *layout, uint64_t index) {
  ObjectShape shape = {false, false, false, false, false, 0, 0};
  uint64_t offset = BigEndian(layout->bytes + layout->table + index * layout->offsetSize, layout->offsetSize);
  if (offset < 8 || offset >= layout->objectsEnd) return shape;
  uint8_t marker = layout->bytes[offset];
  unsigned type = marker >> 4;
  shape.valid = true;
  if (marker == 0x14 && layout->objectsEnd - offset > 16) {  // 16 bytes: unsigned past 2^63 when the top half is 0
    const uint8_t *value = layout->bytes + offset + 1;
    shape.wideUnsigned = BigEndian(value, 8) == 0 && (value[8] & 0x80) != 0;
  }
  if (type != 0x5 && type != 0x6 && type != 0xA && type != 0xC && type != 0xD) return shape;
  uint64_t count = marker & 0xF;
  size_t position = (size_t)offset + 1;
  if (count == 0xF) {
    if (position >= layout->objectsEnd) return shape.valid = false, shape;
    uint8_t sizeMarker = layout->bytes[position];
    unsigned width = 1u << (sizeMarker & 0xF);
    if ((sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3 || layout->objectsEnd - position - 1 < width) {
      return shape.valid = false, shape;
    }
    count = BigEndian(layout->bytes + position + 1, width);
    position += 1 + width;
  }
  if (type == 0x5 || type == 0x6) {
    unsigned width = type == 0x5 ? 1 : 2;
    if (count > (layout->objectsEnd - position) / width) return shape.valid = false, shape;
    shape.key = !HasZeroUnit(layout->bytes + position, count, width);
    return shape;
  }
  shape.dictionary = type == 0xD;
  uint64_t room = (layout->objectsEnd - position) / layout->refSize;
  if (count > (shape.dictionary ? room / 2 : room)) return shape.valid = false, shape;
  shape.container = true;
  shape.references = shape.dictionary ? count * 2 : count;
  shape.firstReference = position;
  return shape;
}

// The path of containers being measured starts on the stack and grows only as deep as the file
// nests: a preference file is two levels deep, and a large heap block per read would make the
// allocator merge its free lists each time.
enum { ShallowPath = 16 };

static bool DeepenPath(Frame **path, size_t *capacity, Frame *shallow) {
  size_t wanted = *capacity * 2 < DWPropertyListMaxDepth ? *capacity * 2 : DWPropertyListMaxDepth;
  Frame *deeper = *path == shallow ? malloc(sizeof(Frame) * wanted) : realloc(*path, sizeof(Frame) * wanted);
  if (deeper == NULL) return false;
  if (*path == shallow) memcpy(deeper, shallow, sizeof(Frame) * *capacity);
  *path = deeper;
  *capacity = wanted;
  return true;
}

// Depth and expansion of the graph below the top object, each object measured once.
DWPropertyListOutcome DWCheckBinaryGraph(const uint8_t *bytes, size_t length, bool *wideUnsigned) {
  BinaryLayout layout;
  if (!ReadTrailer(bytes, length, &layout)) return DWPropertyListMalformed;
  if (layout.count > DWPropertyListMaxObjects) return DWPropertyListTooManyObjects;
  const uint32_t onPath = UINT32_MAX;
  uint32_t *expanded = calloc((size_t)layout.count, sizeof *expanded);  // 0: not yet seen
  uint16_t *height = calloc((size_t)layout.count, sizeof *height);
  Frame shallowPath[ShallowPath];
  Frame *path = shallowPath;
  size_t capacity = ShallowPath;
  DWPropertyListOutcome outcome = DWPropertyListRead;
  size_t depth = 0;
  if (expanded == NULL || height == NULL) {
    outcome = DWPropertyListTooManyObjects;
    goto done;
  }
  uint64_t top = BigEndian(bytes + length - 32 + 16, 8);
  ObjectShape shape = ShapeOf(&layout, top);
  if (!shape.valid) {
    outcome = DWPropertyListMalformed;
    goto done;
  }
  if (!shape.container) goto done;
  expanded[top] = onPath;
  path[depth++] = (Frame){top, 0, shape.references, shape.firstReference, shape.dictionary, 1, 0};
  while (depth > 0) {
    Frame *frame = &path[depth - 1];
    if (frame->next == frame->references) {
      expanded[frame->object] = (uint32_t)frame->expanded;
      height[frame->object] = (uint16_t)(frame->height + 1);
      uint64_t childExpanded = frame->expanded;
      unsigned childHeight = frame->height + 1;
      if (--depth == 0) break;
      Frame *parent = &path[depth - 1];
      parent->expanded += childExpanded;
      if (childHeight > parent->height) parent->height = childHeight;
      if (parent->expanded > DWPropertyListMaxObjects) {
        outcome = DWPropertyListTooManyObjects;
        goto done;
      }
      continue;
    }
    bool isKey = frame->isDictionary && frame->next < frame->references / 2;
    uint64_t child = BigEndian(bytes + frame->firstReference + frame->next * layout.refSize, layout.refSize);
    frame->next++;
    if (child >= layout.count || expanded[child] == onPath) {  // out of range, or a cycle
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (isKey && !ShapeOf(&layout, child).key) {  // a shared key is checked at each use
      outcome = DWPropertyListNonStringKey;
      goto done;
    }
    if (expanded[child] != 0) {  // measured already: a shared object
      frame->expanded += expanded[child];
      if (height[child] > frame->height) frame->height = height[child];
      if (depth + height[child] > DWPropertyListMaxDepth) outcome = DWPropertyListTooDeep;
      if (frame->expanded > DWPropertyListMaxObjects) outcome = DWPropertyListTooManyObjects;
      if (outcome != DWPropertyListRead) goto done;
      continue;
    }
    ObjectShape childShape = ShapeOf(&layout, child);
    if (!childShape.valid) {
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (childShape.wideUnsigned) *wideUnsigned = true;
    if (!childShape.container) {
      expanded[child] = 1;
      frame->expanded += 1;
      continue;
    }
    if (depth >= DWPropertyListMaxDepth) {
      outcome = DWPropertyListTooDeep;
      goto done;
    }
    if (depth == capacity && !DeepenPath(&path, &capacity, shallowPath)) {
      outcome = DWPropertyListTooManyObjects;
      goto done;
    }
    expanded[child] = onPath;
    path[depth++] = (Frame){child, 0, childShape.references, childShape.firstReference, childShape.dictionary, 1, 0};
  }
done:
  free(expanded);
  free(height);
  if (path != shallowPath) free(path);
  return outcome;
}
