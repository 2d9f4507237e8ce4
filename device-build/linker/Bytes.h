// Little- and big-endian reads and writes on byte buffers, and the LEB128 encodings of the dynamic
// loader's opcodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ByteReader.h"
#include "Hex.h"

namespace dwl {

using Bytes = std::vector<uint8_t>;

// Every refusal of the linker and the signer: a message naming the file and what is wrong.
struct LinkError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads go through the shared bounded reader; what the linker makes of the fields is its own.
using Reader = macho::ByteReader<LinkError>;
inline uint16_t Read16(const Bytes &b, size_t at) { return Reader(b, "the file").U16(at); }
inline uint32_t Read32(const Bytes &b, size_t at) { return Reader(b, "the file").U32(at); }
inline uint64_t Read64(const Bytes &b, size_t at) { return Reader(b, "the file").U64(at); }
inline void Write16(Bytes &b, size_t at, uint16_t v) {
  b.at(at + 1);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Write32(Bytes &b, size_t at, uint32_t v) {
  b.at(at + 3);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Write64(Bytes &b, size_t at, uint64_t v) {
  Write32(b, at, static_cast<uint32_t>(v));
  Write32(b, at + 4, static_cast<uint32_t>(v >> 32));
}
inline uint32_t Read32Big(const Bytes &b, size_t at) { return Reader(b, "the file").U32BigEndian(at); }

inline void Append8(Bytes &b, uint8_t v) { b.push_back(v); }
inline void Append32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Append32Big(Bytes &b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void AppendBytes(Bytes &b, const Bytes &more) { b.insert(b.end(), more.begin(), more.end()); }
inline void AppendString(Bytes &b, const std::string &s) {
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}
// A fixed-size name field (segment and section names): zero-padded, never terminated when full.
inline void AppendName16(Bytes &b, const std::string &s) {
  for (size_t i = 0; i < 16; ++i) b.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}
inline void PadTo(Bytes &b, size_t alignment) {
  while (b.size() % alignment != 0) b.push_back(0);
}

inline void AppendUleb(Bytes &b, uint64_t v) {
  do {
    uint8_t byte = v & 0x7f;
    v >>= 7;
    if (v != 0) byte |= 0x80;
    b.push_back(byte);
  } while (v != 0);
}
inline void AppendSleb(Bytes &b, int64_t v) {
  bool more = true;
  while (more) {
    uint8_t byte = v & 0x7f;
    v >>= 7;  // arithmetic shift: implementation-defined before C++20, arithmetic on every compiler we use
    more = !((v == 0 && (byte & 0x40) == 0) || (v == -1 && (byte & 0x40) != 0));
    if (more) byte |= 0x80;
    b.push_back(byte);
  }
}
inline size_t UlebSize(uint64_t v) {
  size_t n = 1;
  while (v >= 0x80) {
    v >>= 7;
    ++n;
  }
  return n;
}

inline uint64_t AlignUp(uint64_t v, uint64_t alignment) { return (v + alignment - 1) / alignment * alignment; }

using macho::Hex;

}  // namespace dwl
