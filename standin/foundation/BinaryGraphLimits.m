// A binary property list's object graph measured before anything is made of it: each object's
// shape, and a walk over the references that keeps the path of containers it is in.
#import "PropertyListLimits.h"

#import "BinaryLayout.h"

#include <stdlib.h>
#include <string.h>

typedef struct {
  uint64_t object;
  uint64_t next;       // the next of its references (DWBinaryShapeReferences) to measure
  DWBinaryShape shape;
  uint64_t expanded;   // objects below, counting each reference
  unsigned height;     // deepest container below
} Frame;

// A 16-byte integer above 2^63-1 (its top half 0): the low 64 bits are read, as a negative number.
static bool WideUnsigned(const DWBinaryLayout *layout, DWBinaryShape shape) {
  if (shape.type != 0x1 || shape.low != 4) return false;
  const uint8_t *value = layout->bytes + shape.contents;
  return DWBigEndian(value, 8) == 0 && (value[8] & 0x80) != 0;
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
  DWBinaryLayout layout;
  if (!DWReadBinaryLayout(bytes, length, &layout)) return DWPropertyListMalformed;
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
  uint64_t top = layout.top;
  DWBinaryShape shape = DWBinaryShapeOf(&layout, top);
  if (!shape.valid) {
    outcome = DWPropertyListMalformed;
    goto done;
  }
  if (WideUnsigned(&layout, shape)) *wideUnsigned = true;
  if (!DWBinaryShapeIsContainer(shape)) goto done;
  expanded[top] = onPath;
  path[depth++] = (Frame){top, 0, shape, 1, 0};
  while (depth > 0) {
    Frame *frame = &path[depth - 1];
    if (frame->next == DWBinaryShapeReferences(frame->shape)) {
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
    bool isKey = frame->shape.type == 0xD && frame->next < frame->shape.count;
    uint64_t child = DWBinaryReference(&layout, frame->shape, frame->next);
    frame->next++;
    if (child >= layout.count || expanded[child] == onPath) {  // out of range, or a cycle
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (isKey && !DWBinaryShapeIsString(DWBinaryShapeOf(&layout, child))) {  // a shared key is checked at each use
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
    DWBinaryShape childShape = DWBinaryShapeOf(&layout, child);
    if (!childShape.valid) {
      outcome = DWPropertyListMalformed;
      goto done;
    }
    if (WideUnsigned(&layout, childShape)) *wideUnsigned = true;
    if (!DWBinaryShapeIsContainer(childShape)) {
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
    path[depth++] = (Frame){child, 0, childShape, 1, 0};
  }
done:
  free(expanded);
  free(height);
  if (path != shallowPath) free(path);
  return outcome;
}
