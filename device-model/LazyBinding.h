// Lazy binding as the device's loader does it. A lazy pointer starts at what the file holds, its stub
// helper entry (slid); the first call through it runs that entry, which loads the offset of its
// import's entry in the lazy-bind stream and branches to the helper's common part; that pushes the
// offset and the address of the image's cache slot and jumps to dyld_stub_binder. The binder reads
// the one entry at the offset, binds its pointer and goes on into the import with the caller's
// argument registers and stack. Later calls go straight through the bound pointer.
#pragma once

#include "DylibFile.h"

#include <cstdint>

namespace device {

// The entry of the lazy-bind stream at `offset`, read as the loader's fast path reads it: only the
// ordinal, symbol, type and segment-and-offset opcodes, one DO_BIND, up to DONE (or the stream's
// end). Throws LoadError naming what is wrong: an offset outside the stream, an opcode the fast path
// does not take, no bind or two, a pointer outside every lazy symbol pointer section.
Bind LazyBindAt(const Slice &slice, uint64_t offset);

// The section of lazy symbol pointers (__la_symbol_ptr) that holds the whole pointer at `address`
// (unslid), or nullptr.
const Section *LazyPointerSection(const Slice &slice, uint64_t address);

// Where dyld_stub_binder finds what the stub helper's common part pushed, by slice: arm64 (`stp x16,
// x17, [sp, #-16]!`) the offset at sp and the cache slot's address above it; armv7 (two `str ip,
// [sp, #-4]!`, the offset first) the cache slot's address at sp and the offset above it. The cache
// slot is a pointer of the image's data (lld's __dyld_private) that the loader fills with its record
// of the image at the first bind. The binder removes both words before it jumps on.
inline uint64_t ImageCacheArgument(Arch arch, uint64_t sp, unsigned pointerSize) {
  return arch == Arch::arm64 ? sp + pointerSize : sp;
}
inline uint64_t LazyBindOffsetArgument(Arch arch, uint64_t sp, unsigned pointerSize) {
  return arch == Arch::arm64 ? sp : sp + pointerSize;
}

}  // namespace device
