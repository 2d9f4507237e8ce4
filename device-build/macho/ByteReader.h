// Bounded reads of a Mach-O file's bytes: little-endian integers (big-endian for the fat header and
// the code signature), fixed-size and terminated names, and the LEB128 numbers of the dynamic
// loader's opcode streams. Every read is checked against the end first; a read that does not fit
// throws the caller's own error type, with the message naming what was being read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Hex.h"

namespace macho {

template <typename Error>
class ByteReader {
 public:
  // `what` names the bytes in messages ("Mach-O header", "bind opcodes"); it must outlive the reader.
  ByteReader(const uint8_t *data, size_t size, const char *what) : data_(data), size_(size), what_(what) {}
  ByteReader(const std::vector<uint8_t> &bytes, const char *what) : ByteReader(bytes.data(), bytes.size(), what) {}

  size_t size() const { return size_; }

  void Need(uint64_t offset, uint64_t size) const {
    if (offset > size_ || size > size_ - offset) {
      throw Error(std::string(what_) + ": truncated at offset " + Hex(offset) + " (needs " + std::to_string(size) +
                  " bytes, file has " + std::to_string(size_) + ")");
    }
  }

  // The same check for bytes a field of the file points at (an offset and a size read from it):
  // the refusal names the field.
  void Need(uint64_t offset, uint64_t size, const std::string &field) const {
    if (offset > size_ || size > size_ - offset) {
      throw Error(std::string(what_) + ": " + field + " (offset " + Hex(offset) + ", " + std::to_string(size) +
                  " bytes) runs past the end of the " + std::to_string(size_) + " bytes");
    }
  }

  // Reads whose refusal names the field they read.
  uint16_t U16(uint64_t offset, const std::string &field) const { return static_cast<uint16_t>(Little(offset, 2, field)); }
  uint32_t U32(uint64_t offset, const std::string &field) const { return static_cast<uint32_t>(Little(offset, 4, field)); }
  uint64_t U64(uint64_t offset, const std::string &field) const { return Little(offset, 8, field); }
  uint64_t U64BigEndian(uint64_t offset) const {
    return uint64_t(U32BigEndian(offset)) << 32 | U32BigEndian(offset + 4);
  }

  // The characters from `offset` up to a zero byte that must come before `end` (or the end of the
  // bytes): a name left unterminated is refused, naming the field.
  std::string TerminatedString(uint64_t offset, uint64_t end, const std::string &field) const {
    Need(offset, 0, field);
    if (end > size_) end = size_;
    std::string out;
    for (uint64_t i = offset; i < end; ++i) {
      if (data_[i] == 0) return out;
      out.push_back(static_cast<char>(data_[i]));
    }
    throw Error(std::string(what_) + ": " + field + " at offset " + Hex(offset) + " is not terminated");
  }

  uint8_t U8(uint64_t offset) const {
    Need(offset, 1);
    return data_[offset];
  }
  uint16_t U16(uint64_t offset) const { return static_cast<uint16_t>(Little(offset, 2)); }
  uint32_t U32(uint64_t offset) const { return static_cast<uint32_t>(Little(offset, 4)); }
  uint64_t U64(uint64_t offset) const { return Little(offset, 8); }
  uint32_t U32BigEndian(uint64_t offset) const {
    Need(offset, 4);
    uint32_t v = 0;
    for (unsigned i = 0; i < 4; ++i) v = v << 8 | data_[offset + i];
    return v;
  }

  // A fixed 16-byte name field (segment and section names): zero-padded, unterminated when full.
  std::string Name16(uint64_t offset) const {
    Need(offset, 16);
    std::string name;
    for (uint64_t i = offset; i < offset + 16 && data_[i] != 0; ++i) name.push_back(static_cast<char>(data_[i]));
    return name;
  }

  // The characters from `offset` up to a zero byte, `end` or the end of the bytes, whichever is first.
  std::string CString(uint64_t offset, uint64_t end) const {
    Need(offset, 0);
    if (end > size_) end = size_;
    std::string out;
    for (uint64_t i = offset; i < end && data_[i] != 0; ++i) out.push_back(static_cast<char>(data_[i]));
    return out;
  }

  // An unsigned LEB128 at `cursor`, which moves past it. Padding with 0x80 bytes is allowed as long
  // as the number fits 64 bits in ten bytes; a tenth byte may add only bit 63.
  uint64_t Uleb(size_t &cursor) const {
    uint64_t result = 0;
    unsigned shift = 0;
    while (true) {
      if (cursor >= size_) throw Error(std::string(what_) + ": ULEB128 runs past the end");
      const uint8_t byte = data_[cursor++];
      if (shift >= 64 || (shift == 63 && (byte & 0x7e) != 0)) throw Error(std::string(what_) + ": ULEB128 too large");
      result |= uint64_t(byte & 0x7f) << shift;
      shift += 7;
      if ((byte & 0x80) == 0) return result;
    }
  }

  // A signed LEB128 at `cursor`, which moves past it. A tenth byte may only repeat the sign.
  int64_t Sleb(size_t &cursor) const {
    uint64_t result = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
      if (cursor >= size_) throw Error(std::string(what_) + ": SLEB128 runs past the end");
      byte = data_[cursor++];
      if (shift >= 64 || (shift == 63 && (byte & 0x7f) != 0 && (byte & 0x7f) != 0x7f)) {
        throw Error(std::string(what_) + ": SLEB128 too large");
      }
      result |= uint64_t(byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    if (shift < 64 && (byte & 0x40)) result |= ~uint64_t(0) << shift;
    return static_cast<int64_t>(result);
  }

 private:
  uint64_t Little(uint64_t offset, unsigned size, const std::string &field) const {
    Need(offset, size, field);
    return LittleUnchecked(offset, size);
  }
  uint64_t Little(uint64_t offset, unsigned size) const {
    Need(offset, size);
    return LittleUnchecked(offset, size);
  }
  uint64_t LittleUnchecked(uint64_t offset, unsigned size) const {
    uint64_t v = 0;
    for (unsigned i = size; i-- > 0;) v = v << 8 | data_[offset + i];
    return v;
  }

  const uint8_t *data_;
  size_t size_;
  const char *what_;
};

}  // namespace macho
