#import "BinaryLayout.h"

uint64_t DWBigEndian(const uint8_t *bytes, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

bool DWReadBinaryLayout(const uint8_t *bytes, size_t length, DWBinaryLayout *layout) {
  if (length < 8 + 32) return false;
  const uint8_t *trailer = bytes + length - 32;
  const size_t objectsEnd = length - 32;
  layout->bytes = bytes;
  layout->offsetSize = trailer[6];
  layout->refSize = trailer[7];
  layout->count = DWBigEndian(trailer + 8, 8);
  layout->top = DWBigEndian(trailer + 16, 8);
  uint64_t table = DWBigEndian(trailer + 24, 8);
  if (layout->offsetSize < 1 || layout->offsetSize > 8 || layout->refSize < 1 || layout->refSize > 8) return false;
  if (layout->count == 0 || layout->top >= layout->count || table < 8 || table > objectsEnd) return false;
  if (layout->count > (objectsEnd - table) / layout->offsetSize) return false;
  layout->table = (size_t)table;
  return true;
}

// Room for `units` items of `width` bytes from `at`, before the offset table.
static bool Fits(const DWBinaryLayout *layout, size_t at, uint64_t units, unsigned width) {
  return at <= layout->table && units <= (layout->table - at) / width;
}

DWBinaryShape DWBinaryShapeOf(const DWBinaryLayout *layout, uint64_t index) {
  DWBinaryShape shape = {false, 0, 0, 0, 0};
  uint64_t offset = DWBigEndian(layout->bytes + layout->table + index * layout->offsetSize, layout->offsetSize);
  if (offset < 8 || offset >= layout->table) return shape;
  uint8_t marker = layout->bytes[offset];
  shape.type = marker >> 4;
  shape.low = marker & 0xF;
  shape.contents = (size_t)offset + 1;
  switch (shape.type) {
    case 0x0: shape.valid = shape.low == 0x8 || shape.low == 0x9; return shape;  // false, true
    case 0x1: shape.valid = shape.low <= 4 && Fits(layout, shape.contents, 1u << shape.low, 1); return shape;
    case 0x2: shape.valid = (shape.low == 2 || shape.low == 3) && Fits(layout, shape.contents, 1u << shape.low, 1); return shape;
    case 0x3: shape.valid = shape.low == 3 && Fits(layout, shape.contents, 8, 1); return shape;  // a date
    case 0x8: shape.valid = Fits(layout, shape.contents, shape.low + 1, 1); return shape;        // a UID
    case 0x4: case 0x5: case 0x6: case 0xA: case 0xC: case 0xD: break;
    default: return shape;
  }
  shape.count = shape.low;
  if (shape.low == 0xF) {  // the count follows as an integer object of 1, 2, 4 or 8 bytes
    if (!Fits(layout, shape.contents, 1, 1)) return shape;
    uint8_t size = layout->bytes[shape.contents];
    unsigned width = 1u << (size & 0xF);
    if ((size >> 4) != 0x1 || (size & 0xF) > 3 || !Fits(layout, shape.contents + 1, width, 1)) return shape;
    shape.count = DWBigEndian(layout->bytes + shape.contents + 1, width);
    shape.contents += 1 + width;
  }
  if (shape.type == 0xD && shape.count > UINT64_MAX / 2) return shape;
  uint64_t units = shape.type == 0xD ? shape.count * 2 : shape.count;
  unsigned width = DWBinaryShapeIsContainer(shape) ? layout->refSize : shape.type == 0x6 ? 2 : 1;
  shape.valid = Fits(layout, shape.contents, units, width);
  return shape;
}
