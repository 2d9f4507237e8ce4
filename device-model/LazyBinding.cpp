#include "LazyBinding.h"

#include "Loader.h"
#include "Text.h"

#include "ByteReader.h"
#include "MachOFormat.h"

namespace device {

using namespace macho;

const Section *LazyPointerSection(const Slice &slice, uint64_t address) {
  for (const Section &s : slice.sections) {
    if ((s.flags & kSectionTypeMask) != kLazySymbolPointers) continue;
    if (address >= s.address && address - s.address < s.size && s.size - (address - s.address) >= slice.pointerSize) {
      return &s;
    }
  }
  return nullptr;
}

Bind LazyBindAt(const Slice &slice, uint64_t offset) {
  const std::vector<uint8_t> &p = slice.dyldInfo.lazyBind;
  const std::string entry = "lazy-bind entry at offset " + Hex(offset);
  if (offset >= p.size()) {
    throw LoadError("lazy-bind offset " + Hex(offset) + " lies outside the lazy-bind stream (" + std::to_string(p.size()) +
                    " bytes)");
  }
  const ByteReader<LoadError> r(p, "lazy bind opcodes");
  Bind bind;
  bind.lazy = true;
  bool haveSegment = false, bound = false;
  uint64_t address = 0;
  std::string symbol;
  int ordinal = 0;
  uint8_t flags = 0;
  size_t i = static_cast<size_t>(offset);
  while (i < p.size()) {
    const size_t at = i;
    const uint8_t byte = p[i++];
    const uint8_t imm = byte & kImmediateMask;
    const uint8_t opcode = byte & kOpcodeMask;
    if (opcode == kBindDone) break;
    switch (opcode) {
      case kBindSetDylibOrdinalImm:
        ordinal = imm;
        break;
      case kBindSetDylibOrdinalUleb:
        ordinal = static_cast<int>(r.Uleb(i));
        break;
      case kBindSetDylibSpecialImm:
        ordinal = SpecialOrdinal(imm);
        break;
      case kBindSetSymbolTrailingFlagsImm:
        flags = imm;
        symbol = r.CString(i, p.size());
        i += symbol.size();
        if (i >= p.size()) throw LoadError(entry + ": symbol name runs past the end of the stream");
        ++i;
        break;
      case kBindSetTypeImm:
        if (imm != kBindTypePointer) throw LoadError(entry + ": bind type " + std::to_string(imm) + " is not a pointer");
        break;
      case kBindSetSegmentAndOffsetUleb: {
        const uint64_t within = r.Uleb(i);
        if (imm >= slice.segments.size()) {
          throw LoadError(entry + ": segment index " + std::to_string(imm) + " out of range");
        }
        address = slice.segments[imm].address + within;
        haveSegment = true;
        break;
      }
      case kBindDoBind:
        if (bound) throw LoadError(entry + ": a second DO_BIND at offset " + Hex(at) + " (an entry binds one pointer)");
        if (!haveSegment) throw LoadError(entry + ": DO_BIND before a segment was set");
        if (symbol.empty()) throw LoadError(entry + ": DO_BIND without a symbol");
        if (LazyPointerSection(slice, address) == nullptr) {
          throw LoadError(entry + ": lazy pointer " + Hex(address) + " of " + symbol +
                          " lies outside every lazy symbol pointer section (__la_symbol_ptr)");
        }
        bind.address = address;
        bind.symbol = symbol;
        bind.ordinal = ordinal;
        bind.weakImport = (flags & kBindSymbolWeakImport) != 0;
        bound = true;
        break;
      default:
        throw LoadError(entry + ": opcode " + Hex(byte) + " at offset " + Hex(at) +
                        " is not one a lazy-bind entry may hold");
    }
  }
  if (!bound) throw LoadError(entry + ": no DO_BIND before its DONE");
  return bind;
}

void Device::BindLazyPointer() {
  Machine &m = *machine_;
  const unsigned p = m.pointerSize();
  const uint64_t sp = m.StackPointer();
  const uint64_t cache = m.ReadPointer(ImageCacheArgument(slice_.arch, sp, p));
  const uint64_t offset = m.ReadPointer(LazyBindOffsetArgument(slice_.arch, sp, p));
  const std::string binder = "dyld_stub_binder: ";

  // The cache slot must be a writable pointer of this image, holding 0 before the first bind and the
  // loader's record of the image after it (the model's record is the image's load address).
  const uint64_t unslidCache = cache - slide_;
  const Segment *segment = nullptr;
  uint64_t loadAddress = UINT64_MAX;
  for (const Segment &s : slice_.segments) {
    if (s.memorySize == 0) continue;
    loadAddress = std::min(loadAddress, Slid(s.address));
    if (unslidCache >= s.address && unslidCache - s.address < s.memorySize && s.memorySize - (unslidCache - s.address) >= p) {
      segment = &s;
    }
  }
  if (segment == nullptr) {
    throw RunError(binder + "the image cache pointer " + Hex(cache) + " that the stub helper pushed lies in no segment of the image");
  }
  if ((segment->initialProtection & kProtWrite) == 0) {
    throw RunError(binder + "the image cache pointer " + Hex(cache) + " lies in " + segment->name + ", which is not writable");
  }
  const uint64_t held = m.ReadPointer(cache);
  if (held != 0 && held != loadAddress) {
    throw RunError(binder + "the image cache at " + Hex(cache) + " holds " + Hex(held) +
                   ", neither 0 nor the loader's record of the image");
  }
  m.WritePointer(cache, loadAddress);

  Bind bind;
  ImportAnswer answer;
  try {
    bind = LazyBindAt(slice_, offset);
    answer = AnswerFor(bind);
  } catch (const LoadError &e) {
    throw RunError(binder + e.what());
  }
  const uint64_t pointer = Slid(bind.address);
  for (const LazyBinding &earlier : lazyBindings_) {
    if (earlier.pointer == pointer) {
      throw RunError(binder + "the lazy pointer " + Hex(bind.address) + " of " + bind.symbol + " (lazy-bind offset " +
                     Hex(offset) + ") is bound already: the stub helper entry that pushed this offset was reached " +
                     "through another lazy pointer");
    }
  }
  m.WritePointer(pointer, answer.value);
  lazyBindings_.push_back(LazyBinding{offset, bind.symbol, pointer, answer.value});
  // As the device's binder leaves: what the helper pushed removed, the import's address in the
  // intra-procedure scratch register it jumps through, every argument register as the caller set it.
  m.SetStackPointer(sp + 2 * p);
  m.SetCoreRegister(slice_.arch == Arch::arm64 ? 16 : 12, answer.value);
  m.ContinueAt(answer.value);
}

}  // namespace device
