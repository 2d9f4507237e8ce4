// Lazy binding through the slice's own stub helper: the fast-path reading of one lazy-bind entry
// (against hand-made streams), then two images with lazy stubs run as the device runs them — the
// shipped arm64 slice (ld64.lld's stubs) and an armv7 dylib in the layout of Apple's linker
// (tests/LazyStubsArmv7.s) — and mutants of their stub helpers, which the run must not survive.
#include "LazyBinding.h"
#include "Loader.h"
#include "Support.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <stdexcept>

namespace device {
namespace {

using macho::kLazySymbolPointers;
using macho::kNonLazySymbolPointers;

// __TEXT, and __DATA with one non-lazy and three lazy pointers.
Slice LazySlice(std::vector<uint8_t> stream) {
  Slice s;
  s.pointerSize = 8;
  s.segments = {Segment{"__TEXT", 0, 0x4000, 0, 0x4000, 5}, Segment{"__DATA", 0x4000, 0x4000, 0x4000, 0x4000, 3}};
  s.sections = {Section{"__DATA", "__got", 0x4000, 8, 0x4000, kNonLazySymbolPointers},
                Section{"__DATA", "__la_symbol_ptr", 0x4008, 24, 0x4008, kLazySymbolPointers}};
  s.libraries = {"/usr/lib/libobjc.A.dylib", "/usr/lib/libSystem.B.dylib"};
  s.dyldInfo.lazyBind = std::move(stream);
  return s;
}

std::string LazyBindMessage(const std::vector<uint8_t> &stream, uint64_t offset) {
  try {
    const Bind b = LazyBindAt(LazySlice(stream), offset);
    return "(bound " + b.symbol + ")";
  } catch (const LoadError &e) {
    return e.what();
  }
}

TEST(LazyBindEntryTest, ReadsTheOneEntryAtTheOffsetTheHelperPushes) {
  const std::vector<uint8_t> stream = {0x71, 0x08, 0x11, 0x40, '_', 'a', 0, 0x90, 0x00,          // offset 0
                                       0x71, 0x10, 0x12, 0x41, '_', 'b', 0, 0x51, 0x90, 0x00,    // offset 9
                                       0x71, 0x18, 0x3e, 0x40, '_', 'c', 0, 0x90};               // offset 19
  const Slice slice = LazySlice(stream);
  const Bind b = LazyBindAt(slice, 9);
  EXPECT_EQ(b.address, 0x4010u);
  EXPECT_EQ(b.symbol, "_b");
  EXPECT_EQ(b.ordinal, 2);
  EXPECT_TRUE(b.weakImport);
  EXPECT_TRUE(b.lazy);
  // Each entry starts afresh; the stream's end closes the last one as DONE would.
  const Bind c = LazyBindAt(slice, 19);
  EXPECT_EQ(c.address, 0x4018u);
  EXPECT_EQ(c.ordinal, -2);
  EXPECT_EQ(LazyBindAt(slice, 0).symbol, "_a");
}

TEST(LazyBindEntryTest, RefusesWhatTheLoadersFastPathRefusesNamingTheField) {
  const std::vector<uint8_t> good = {0x71, 0x08, 0x11, 0x40, '_', 'a', 0, 0x90, 0x00};
  EXPECT_EQ(LazyBindMessage(good, 9), "lazy-bind offset 0x9 lies outside the lazy-bind stream (9 bytes)");
  EXPECT_EQ(LazyBindMessage(good, 0x100000000ull), "lazy-bind offset 0x100000000 lies outside the lazy-bind stream (9 bytes)");
  EXPECT_EQ(LazyBindMessage({0x71, 0x00, 0x11, 0x40, '_', 'a', 0, 0x90, 0x00}, 0),
            "lazy-bind entry at offset 0x0: lazy pointer 0x4000 of _a lies outside every lazy symbol pointer section "
            "(__la_symbol_ptr)");
  EXPECT_NE(LazyBindMessage({0x71, 0x1c, 0x11, 0x40, '_', 'a', 0, 0x90, 0x00}, 0).find("lies outside every lazy"),
            std::string::npos)
      << "a pointer reaching past the section's end";
  EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x11, 0x40, '_', 'a', 0, 0x00}, 0),
            "lazy-bind entry at offset 0x0: no DO_BIND before its DONE");
  EXPECT_EQ(LazyBindMessage({0x00, 0x71, 0x08, 0x11, 0x40, '_', 'a', 0, 0x90}, 0),
            "lazy-bind entry at offset 0x0: no DO_BIND before its DONE")
      << "an offset at a DONE";
  EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x40, '_', 'a', 0, 0x90, 0x90, 0x00}, 0),
            "lazy-bind entry at offset 0x0: a second DO_BIND at offset 0x7 (an entry binds one pointer)");
  for (uint8_t opcode : {0x60, 0x80, 0xa0, 0xb0, 0xc0, 0xd0}) {
    EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x40, '_', 'a', 0, opcode, 0x01, 0x90, 0x00}, 0),
              "lazy-bind entry at offset 0x0: opcode " + Hex(opcode) + " at offset 0x6 is not one a lazy-bind entry may hold");
  }
  EXPECT_EQ(LazyBindMessage({0x11, 0x40, '_', 'a', 0, 0x90}, 0), "lazy-bind entry at offset 0x0: DO_BIND before a segment was set");
  EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x90}, 0), "lazy-bind entry at offset 0x0: DO_BIND without a symbol");
  EXPECT_EQ(LazyBindMessage({0x75, 0x08, 0x40, '_', 'a', 0, 0x90}, 0), "lazy-bind entry at offset 0x0: segment index 5 out of range");
  EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x40, '_', 'a'}, 0),
            "lazy-bind entry at offset 0x0: symbol name runs past the end of the stream");
  EXPECT_EQ(LazyBindMessage({0x71, 0x08, 0x40, '_', 'a', 0, 0x52, 0x90}, 0),
            "lazy-bind entry at offset 0x0: bind type 2 is not a pointer");
  EXPECT_EQ(LazyBindMessage({0x71, 0x88}, 0), "lazy bind opcodes: ULEB128 runs past the end");
}

// An image with lazy stubs, as a thin file, and how to run it.
struct LazyImage {
  const char *name;
  Arch arch;
  std::vector<uint8_t> (*bytes)();
  // Two imports the run calls, `first` before `second`.
  const char *first, *second;
};

std::vector<uint8_t> ShippedArm64() { return ParseSlice(ShippedDylib(), Arch::arm64).bytes; }
std::vector<uint8_t> Armv7Fixture() { return ReadFile(DUSKWELL_LAZY_STUBS_ARMV7); }

const LazyImage kImages[] = {
    {"arm64_lld", Arch::arm64, ShippedArm64, "_objc_getClass", "_MSHookMessageEx"},
    {"armv7_apple_layout", Arch::armv7, Armv7Fixture, "_objc_getClass", "_sel_registerName"},
};

std::string ImageName(const ::testing::TestParamInfo<LazyImage> &info) { return info.param.name; }

FileReader NoFiles() {
  return [](const std::string &) { return FileContents{}; };
}

// What the file holds at an unslid address of the slice.
uint64_t FileWord(const Slice &slice, const std::vector<uint8_t> &bytes, uint64_t address, unsigned size) {
  for (const Segment &s : slice.segments) {
    if (address >= s.address && address + size <= s.address + s.fileSize) {
      uint64_t v = 0;
      std::memcpy(&v, bytes.data() + s.fileOffset + (address - s.address), size);
      return v;
    }
  }
  ADD_FAILURE() << "address " << Hex(address) << " is not in the file";
  return 0;
}

// The file offset of an unslid address.
size_t FileOffset(const Slice &slice, uint64_t address) {
  for (const Segment &s : slice.segments) {
    if (address >= s.address && address < s.address + s.fileSize) return s.fileOffset + (address - s.address);
  }
  ADD_FAILURE() << "address " << Hex(address) << " is not in the file";
  return 0;
}

// Both linkers' helper entries are `ldr` of the offset word, a branch to the common part, the word.
constexpr uint64_t kEntryOffsetWord = 8;

class LazyStubs : public ::testing::TestWithParam<LazyImage> {
 protected:
  void SetUp() override {
    if (GetParam().arch == Arch::arm64 && !ShippedDylibHas(Arch::arm64)) GTEST_SKIP() << "no arm64 slice";
    bytes_ = GetParam().bytes();
    slice_ = ParseSlice(bytes_, GetParam().arch);
    helper_ = slice_.FindSection("__TEXT", "__stub_helper");
    ASSERT_NE(helper_, nullptr);
    lazy_ = DecodeBinds(slice_, slice_.dyldInfo.lazyBind, true);
    ASSERT_GE(lazy_.size(), 2u);
  }

  const Bind &LazyBindOf(const std::string &symbol) const {
    for (const Bind &b : lazy_) {
      if (b.symbol == symbol) return b;
    }
    throw std::runtime_error("no lazy bind of " + symbol);
  }
  // The helper entry a lazy pointer starts at (unslid), and the offset that entry pushes.
  uint64_t HelperEntry(const Bind &b) const { return FileWord(slice_, bytes_, b.address, slice_.pointerSize); }
  uint32_t PushedOffset(const Bind &b) const {
    return static_cast<uint32_t>(FileWord(slice_, bytes_, HelperEntry(b) + kEntryOffsetWord, 4));
  }

  // Loads the image (the shipped one's constructor runs) and, for the fixture, calls _probe.
  static void Run(Device &d) {
    d.Load();
    if (d.slice().arch == Arch::armv7) d.machine().Call(d.SymbolAddress("_probe"), {}, Kind::word);
  }
  // The message a run of the image with `patch` applied stops with.
  std::string MutantStops(const std::function<void(std::vector<uint8_t> &)> &patch) const {
    std::vector<uint8_t> mutant = bytes_;
    patch(mutant);
    Device d(mutant, GetParam().arch, NoFiles());
    try {
      Run(d);
    } catch (const std::exception &e) {
      return e.what();
    }
    return "(the mutant ran)";
  }
  void Put32(std::vector<uint8_t> &file, uint64_t address, uint32_t value) const {
    std::memcpy(file.data() + FileOffset(slice_, address), &value, 4);
  }

  std::vector<uint8_t> bytes_;
  Slice slice_;
  const Section *helper_ = nullptr;
  std::vector<Bind> lazy_;
};

TEST_P(LazyStubs, EachPointerStartsAtItsHelperEntryAndTheFirstCallBindsItThroughTheHelper) {
  Device d(bytes_, GetParam().arch, NoFiles());
  Run(d);
  const std::vector<LazyBinding> &bound = d.lazyBindings();
  ASSERT_FALSE(bound.empty());
  std::set<std::string> symbols;
  for (const LazyBinding &b : bound) EXPECT_TRUE(symbols.insert(b.symbol).second) << b.symbol << " bound twice";
  EXPECT_TRUE(symbols.count(GetParam().first) && symbols.count(GetParam().second));
  for (const Bind &b : lazy_) {
    const uint64_t entry = HelperEntry(b);
    EXPECT_GE(entry, helper_->address) << b.symbol << ": the file's lazy pointer is not in the stub helper";
    EXPECT_LT(entry, helper_->address + helper_->size) << b.symbol;
    const uint64_t now = d.machine().ReadPointer(b.address + d.slide());
    auto binding = std::find_if(bound.begin(), bound.end(), [&](const LazyBinding &l) { return l.symbol == b.symbol; });
    if (binding == bound.end()) {
      EXPECT_EQ(now, entry + d.slide()) << b.symbol << " was never called: its pointer is the helper entry, slid";
      continue;
    }
    EXPECT_EQ(binding->pointer, b.address + d.slide()) << b.symbol;
    EXPECT_EQ(binding->offset, PushedOffset(b)) << b.symbol << ": the binder read the offset its helper entry pushes";
    EXPECT_EQ(now, binding->target) << b.symbol;
    EXPECT_EQ(d.machine().TrapName(now), b.symbol == "_objc_msgSend" ? "objc_msgSend" : b.symbol);
  }
}

TEST_P(LazyStubs, TheImageCacheSlotHoldsTheLoadersRecordAfterTheFirstBind) {
  Device d(bytes_, GetParam().arch, NoFiles());
  d.Load();
  // The slot is the one pointer of __DATA,__data the helper's common part addresses.
  const Section *data = d.slice().FindSection("__DATA", "__data");
  ASSERT_NE(data, nullptr);
  const uint64_t slot = data->address + d.slide();
  if (GetParam().arch == Arch::armv7) {
    EXPECT_EQ(d.machine().ReadPointer(slot), 0u) << "nothing bound yet";
    d.machine().Call(d.SymbolAddress("_probe"), {}, Kind::word);
  }
  EXPECT_EQ(d.machine().ReadPointer(slot), d.slide() + d.slice().segments.front().address);
}

// The fixture's probe: the imports reach the model with their arguments, and the second call of
// objc_getClass and every later probe go straight through the bound pointers.
TEST(LazyStubsArmv7Test, ArgumentsPassThroughTheHelperAndLaterCallsSkipIt) {
  Device d(ReadFile(DUSKWELL_LAZY_STUBS_ARMV7), Arch::armv7, NoFiles());
  d.Load();
  EXPECT_TRUE(d.lazyBindings().empty());
  const uint64_t probe = d.SymbolAddress("_probe");
  EXPECT_EQ(probe & 1, 1u) << "a Thumb function";
  const Value first = d.machine().Call(probe, {}, Kind::word);
  EXPECT_EQ(first.word, d.runtime().Selector("description"));
  ASSERT_EQ(d.lazyBindings().size(), 3u);
  EXPECT_EQ(d.lazyBindings()[0].symbol, "_objc_getClass");
  EXPECT_EQ(d.lazyBindings()[1].symbol, "_class_getInstanceVariable");
  EXPECT_EQ(d.lazyBindings()[2].symbol, "_sel_registerName");
  const std::string once = "objc_getClass \"NSObject\" -> class NSObject\n"
                           "objc_getClass \"NSObject\" -> class NSObject\n"
                           "class_getInstanceVariable class NSObject \"isa\" -> NULL\n";
  EXPECT_EQ(d.trace().text(), once);
  EXPECT_EQ(d.machine().Call(probe, {}, Kind::word).word, first.word);
  EXPECT_EQ(d.lazyBindings().size(), 3u) << "the binder is entered once per import";
  EXPECT_EQ(d.trace().text(), once + once);
}

// The helper entry of `second` pushing the offset of `first`, which is bound by then: dyld would bind
// `first` again and run it in place of `second`.
TEST_P(LazyStubs, AHelperEntryPushingAnotherImportsOffsetIsCaught) {
  const Bind &first = LazyBindOf(GetParam().first), &second = LazyBindOf(GetParam().second);
  const std::string message = MutantStops([&](std::vector<uint8_t> &file) {
    Put32(file, HelperEntry(second) + kEntryOffsetWord, PushedOffset(first));
  });
  EXPECT_EQ(message, "dyld_stub_binder: the lazy pointer " + Hex(first.address) + " of " + first.symbol +
                         " (lazy-bind offset " + Hex(PushedOffset(first)) + ") is bound already: the stub helper entry " +
                         "that pushed this offset was reached through another lazy pointer");
}

TEST_P(LazyStubs, AHelperEntryPushingAnOffsetPastTheStreamIsCaught) {
  const std::string message = MutantStops([&](std::vector<uint8_t> &file) {
    Put32(file, HelperEntry(LazyBindOf(GetParam().first)) + kEntryOffsetWord, 0x7000);
  });
  EXPECT_EQ(message, "dyld_stub_binder: lazy-bind offset 0x7000 lies outside the lazy-bind stream (" +
                         std::to_string(slice_.dyldInfo.lazyBind.size()) + " bytes)");
}

// The common part's address of the image cache slot, changed: on arm64 its `add x17, x17, #pageoff`
// made a no-op (the slot becomes the page's first pointer, __got's bound one); on armv7 its
// PC-relative word zeroed (the slot becomes an address in __TEXT).
TEST_P(LazyStubs, ACommonPartWithAWrongImageCacheIsCaught) {
  const std::string message = MutantStops([&](std::vector<uint8_t> &file) {
    if (GetParam().arch == Arch::arm64) {
      ASSERT_EQ(FileWord(slice_, file, helper_->address + 4, 4) & 0xff8003ffu, 0x91000231u) << "add x17, x17, #imm";
      Put32(file, helper_->address + 4, 0xd503201fu);  // nop
    } else {
      Put32(file, helper_->address + 28, 0);
    }
  });
  EXPECT_NE(message.find("dyld_stub_binder: the image cache"), std::string::npos) << message;
}

// A lazy pointer outside __la_symbol_ptr stops the load, before anything runs.
TEST_P(LazyStubs, ALazyBindOutsideTheLazyPointersStopsTheLoad) {
  const Section *got = nullptr;
  for (const Section &s : slice_.sections) {
    if ((s.flags & macho::kSectionTypeMask) == kNonLazySymbolPointers) got = &s;
  }
  ASSERT_NE(got, nullptr);
  // The first entry's segment offset: SET_SEGMENT_AND_OFFSET_ULEB, then a ULEB of one or two bytes.
  std::vector<uint8_t> mutant = bytes_;
  const std::vector<uint8_t> &stream = slice_.dyldInfo.lazyBind;
  const auto at = std::search(mutant.begin(), mutant.end(), stream.begin(), stream.end());
  ASSERT_NE(at, mutant.end());
  ASSERT_EQ(at[0] & 0xf0, 0x70);
  const uint64_t segmentStart = slice_.segments[at[0] & 0x0f].address;
  const uint64_t within = got->address - segmentStart;
  ASSERT_LT(within, 0x4000u);
  const bool twoBytes = (at[1] & 0x80) != 0;
  ASSERT_TRUE(twoBytes || within < 0x80) << "the replacement must fit the ULEB's bytes";
  if (twoBytes) {
    at[1] = static_cast<uint8_t>(0x80 | (within & 0x7f));
    at[2] = static_cast<uint8_t>(within >> 7);
  } else {
    at[1] = static_cast<uint8_t>(within);
  }
  Device d(mutant, GetParam().arch, NoFiles());
  try {
    d.Load();
    FAIL() << "the load went on";
  } catch (const LoadError &e) {
    EXPECT_EQ(std::string(e.what()), "lazy bind of " + lazy_.front().symbol + ": pointer " + Hex(got->address) +
                                         " lies outside every lazy symbol pointer section (__la_symbol_ptr)");
  }
}

INSTANTIATE_TEST_SUITE_P(Images, LazyStubs, ::testing::ValuesIn(kImages), ImageName);

}  // namespace
}  // namespace device
