// A binary property list's layout: its trailer, and each object's shape as its marker and the bytes
// after it say. Shared by the graph's measure (BinaryGraphLimits.m) and the objects made from it
// (BinaryPropertyListObjects.m). Every object lies before the offset table, as CoreFoundation reads it.
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

typedef struct {
  const uint8_t *bytes;
  size_t table;  // the offset table; the objects lie between the header and it
  unsigned offsetSize, refSize;
  uint64_t count, top;
} DWBinaryLayout;

// What one object is: its marker's two halves, where its contents start after the marker (and a
// count that follows it), and its count (bytes, UTF-16 units, items or entries). `valid` when all of
// it lies before the offset table.
typedef struct {
  bool valid;
  unsigned type, low;
  size_t contents;
  uint64_t count;
} DWBinaryShape;

__attribute__((visibility("hidden"))) uint64_t DWBigEndian(const uint8_t *bytes, unsigned width);
__attribute__((visibility("hidden"))) bool DWReadBinaryLayout(const uint8_t *bytes, size_t length, DWBinaryLayout *layout);
__attribute__((visibility("hidden"))) DWBinaryShape DWBinaryShapeOf(const DWBinaryLayout *layout, uint64_t index);

static inline bool DWBinaryShapeIsContainer(DWBinaryShape shape) {
  return shape.type == 0xA || shape.type == 0xC || shape.type == 0xD;
}
static inline bool DWBinaryShapeIsString(DWBinaryShape shape) { return shape.type == 0x5 || shape.type == 0x6; }
// Its references: the items of an array or set, the keys then the values of a dictionary.
static inline uint64_t DWBinaryShapeReferences(DWBinaryShape shape) {
  return shape.type == 0xD ? shape.count * 2 : DWBinaryShapeIsContainer(shape) ? shape.count : 0;
}
static inline uint64_t DWBinaryReference(const DWBinaryLayout *layout, DWBinaryShape shape, uint64_t i) {
  return DWBigEndian(layout->bytes + shape.contents + i * layout->refSize, layout->refSize);
}
