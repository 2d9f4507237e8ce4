// Binary property lists ("bplist00") as CoreFoundation reads them, strings whole: an ASCII-typed
// string is one character per byte and a UTF-16 one its units, a NUL among them or not, in keys as
// in values (libplist, which the model read them with before, cuts ASCII strings at a NUL and aborts
// on a UTF-16 key holding one). Every object lies before the offset table; the graph is measured
// (depth, objects once expanded, cycles) before anything is built.
#include "PropertyListReading.h"

#include "scenario/PropertyListBounds.h"

#include <cstring>

namespace device {

namespace {

using Value = PropertyListValue;

uint64_t BigEndian(const uint8_t *bytes, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value = value << 8 | bytes[i];
  return value;
}

// One object: what its marker says, where its contents start, and its count (bytes, units,
// references) or width.
struct Shape {
  bool valid = false;
  unsigned type = 0, low = 0;
  size_t contents = 0;
  uint64_t count = 0;
  bool container() const { return type == 0xA || type == 0xC || type == 0xD; }
  bool string() const { return type == 0x5 || type == 0x6; }
};

class Reader {
 public:
  explicit Reader(const std::vector<uint8_t> &bytes) : bytes_(bytes) {}

  bool Read(Value *out) {
    if (!Trailer()) return false;
    expanded_.assign(count_, 0);
    height_.assign(count_, 0);
    if (!Measure(top_, 0)) return false;
    Build(top_, out);
    return true;
  }

 private:
  bool Trailer() {
    if (bytes_.size() < 8 + 32) return false;
    const uint8_t *trailer = bytes_.data() + bytes_.size() - 32;
    offsetSize_ = trailer[6];
    refSize_ = trailer[7];
    count_ = BigEndian(trailer + 8, 8);
    top_ = BigEndian(trailer + 16, 8);
    const uint64_t table = BigEndian(trailer + 24, 8), objectsEnd = bytes_.size() - 32;
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) return false;
    if (count_ == 0 || count_ > DWPropertyListMaxObjects || top_ >= count_) return false;
    if (table < 8 || table > objectsEnd || count_ > (objectsEnd - table) / offsetSize_) return false;
    table_ = static_cast<size_t>(table);
    return true;
  }

  // Room for `units` items of `width` bytes from `at`, before the offset table.
  bool Fits(size_t at, uint64_t units, unsigned width) const { return at <= table_ && units <= (table_ - at) / width; }

  Shape ShapeOf(uint64_t index) const {
    Shape shape;
    const uint64_t offset = BigEndian(bytes_.data() + table_ + index * offsetSize_, offsetSize_);
    if (offset < 8 || offset >= table_) return shape;
    const uint8_t marker = bytes_[offset];
    shape.type = marker >> 4;
    shape.low = marker & 0xF;
    shape.contents = static_cast<size_t>(offset) + 1;
    switch (shape.type) {
      case 0x0: shape.valid = shape.low == 0x8 || shape.low == 0x9; return shape;  // false, true
      case 0x1: shape.valid = shape.low <= 4 && Fits(shape.contents, 1u << shape.low, 1); return shape;
      case 0x2: shape.valid = (shape.low == 2 || shape.low == 3) && Fits(shape.contents, 1u << shape.low, 1); return shape;
      case 0x3: shape.valid = shape.low == 3 && Fits(shape.contents, 8, 1); return shape;  // a date
      case 0x8: shape.valid = Fits(shape.contents, shape.low + 1, 1); return shape;        // a UID
      case 0x4: case 0x5: case 0x6: case 0xA: case 0xC: case 0xD: break;
      default: return shape;
    }
    shape.count = shape.low;
    if (shape.low == 0xF) {  // the count follows as an integer object of 1, 2, 4 or 8 bytes
      if (!Fits(shape.contents, 1, 1)) return shape;
      const uint8_t size = bytes_[shape.contents];
      const unsigned width = 1u << (size & 0xF);
      if ((size >> 4) != 0x1 || (size & 0xF) > 3 || !Fits(shape.contents + 1, width, 1)) return shape;
      shape.count = BigEndian(bytes_.data() + shape.contents + 1, width);
      shape.contents += 1 + width;
    }
    if (shape.type == 0xD && shape.count > UINT64_MAX / 2) return shape;
    const uint64_t units = shape.type == 0xD ? shape.count * 2 : shape.count;
    const unsigned width = shape.container() ? refSize_ : shape.type == 0x6 ? 2 : 1;
    shape.valid = Fits(shape.contents, units, width);
    return shape;
  }

  uint64_t Reference(const Shape &container, uint64_t i) const {
    return BigEndian(bytes_.data() + container.contents + i * refSize_, refSize_);
  }

  // Checks the object and what it holds, `above` containers up: every shape valid, every reference
  // in range and off the path, keys strings, nesting and expansion within bounds. Recursion ends at
  // the depth bound; each object is measured once.
  bool Measure(uint64_t index, unsigned above) {
    if (expanded_[index] == onPath) return false;  // a cycle
    if (expanded_[index] != 0) return above + height_[index] <= DWPropertyListMaxDepth;
    const Shape shape = ShapeOf(index);
    if (!shape.valid) return false;
    if (!shape.container()) {
      expanded_[index] = 1;
      return true;
    }
    if (above + 1 > DWPropertyListMaxDepth) return false;
    expanded_[index] = onPath;
    const uint64_t references = shape.type == 0xD ? shape.count * 2 : shape.count;
    uint64_t total = 1;
    unsigned height = 0;
    for (uint64_t i = 0; i < references; ++i) {
      const uint64_t child = Reference(shape, i);
      if (child >= count_) return false;
      if (shape.type == 0xD && i < shape.count && !ShapeOf(child).string()) return false;  // keys are strings
      if (!Measure(child, above + 1)) return false;
      total += expanded_[child];
      if (total > DWPropertyListMaxObjects) return false;
      if (height_[child] > height) height = height_[child];
    }
    expanded_[index] = static_cast<uint32_t>(total);
    height_[index] = static_cast<uint16_t>(height + 1);
    return true;
  }

  // The measured object as a value: nothing here can fail.
  void Build(uint64_t index, Value *out) const {
    const Shape shape = ShapeOf(index);
    const uint8_t *contents = bytes_.data() + shape.contents;
    switch (shape.type) {
      case 0x0:
        out->kind = Value::Kind::boolean;
        out->integer = shape.low == 0x9;
        return;
      case 0x1: {
        // 1, 2 and 4 bytes are unsigned, 8 are the 64-bit two's complement; of 16 the low 8 count.
        const unsigned width = 1u << shape.low;
        const uint64_t bits = BigEndian(contents + (width == 16 ? 8 : 0), width == 16 ? 8 : width);
        out->kind = Value::Kind::integer;
        std::memcpy(&out->integer, &bits, sizeof bits);
        return;
      }
      case 0x2: {
        out->kind = Value::Kind::real;
        if (shape.low == 2) {
          const uint32_t bits = static_cast<uint32_t>(BigEndian(contents, 4));
          float single;
          std::memcpy(&single, &bits, sizeof single);
          out->real = single;
        } else {
          const uint64_t bits = BigEndian(contents, 8);
          std::memcpy(&out->real, &bits, sizeof out->real);
        }
        return;
      }
      case 0x3: out->kind = Value::Kind::date; return;
      case 0x4:
        out->kind = Value::Kind::data;
        out->bytes.assign(contents, contents + shape.count);
        return;
      case 0x5:
        out->kind = Value::Kind::string;
        out->text.assign(contents, contents + shape.count);  // each byte one character, U+0000-U+00FF
        return;
      case 0x6: {
        std::u16string units;
        for (uint64_t i = 0; i < shape.count; ++i) units.push_back(static_cast<char16_t>(contents[2 * i] << 8 | contents[2 * i + 1]));
        out->kind = Value::Kind::string;
        out->text = PropertyListText(std::move(units));
        return;
      }
      case 0x8: out->kind = Value::Kind::other; return;
      case 0xA:
      case 0xC:
        out->kind = Value::Kind::array;
        out->items.resize(shape.count);
        for (uint64_t i = 0; i < shape.count; ++i) Build(Reference(shape, i), &out->items[i]);
        return;
      default: {  // 0xD, a dictionary
        out->kind = Value::Kind::dictionary;
        out->keys.resize(shape.count);
        out->items.resize(shape.count);
        for (uint64_t i = 0; i < shape.count; ++i) {
          Value key;
          Build(Reference(shape, i), &key);
          out->keys[i] = std::move(key.text);
          Build(Reference(shape, shape.count + i), &out->items[i]);
        }
      }
    }
  }

  static constexpr uint32_t onPath = UINT32_MAX;
  const std::vector<uint8_t> &bytes_;
  unsigned offsetSize_ = 0, refSize_ = 0;
  uint64_t count_ = 0, top_ = 0;
  size_t table_ = 0;
  std::vector<uint32_t> expanded_;  // objects below, each reference counted; 0 until measured
  std::vector<uint16_t> height_;    // containers on the deepest path down, itself included
};

}  // namespace

bool ReadBinaryPropertyList(const std::vector<uint8_t> &bytes, PropertyListValue *out) {
  PropertyListValue value;
  if (!Reader(bytes).Read(&value)) return false;
  *out = std::move(value);
  return true;
}

}  // namespace device
