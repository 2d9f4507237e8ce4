// The Mach-O loader: the dyld info opcode streams decoded (against hand-made streams and against
// llvm-objdump's reading of the shipped dylib), slices of fat files, and the device's load of the
// shipped dylib at a slide (rebases, binds, selector references, constant strings, the initialiser).
#include "Loader.h"
#include "Support.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

namespace device {
namespace {

Slice TwoSegments() {
  Slice s;
  s.pointerSize = 8;
  s.segments = {Segment{"__TEXT", 0, 0x4000, 0, 0x4000, 5}, Segment{"__DATA", 0x4000, 0x4000, 0x4000, 0x4000, 3}};
  s.libraries = {"/usr/lib/libobjc.A.dylib", "/usr/lib/libSystem.B.dylib"};
  return s;
}

std::vector<uint64_t> Addresses(const std::vector<Rebase> &rebases) {
  std::vector<uint64_t> out;
  for (const Rebase &r : rebases) out.push_back(r.address);
  return out;
}

TEST(RebaseOpcodesTest, EveryOpcodeMovesAndRebasesAsDyldDoes) {
  const std::vector<uint8_t> opcodes = {
      0x11,              // SET_TYPE_IMM pointer
      0x21, 0x10,        // segment 1, offset 0x10
      0x52,              // DO_REBASE_IMM_TIMES 2: 0x4010, 0x4018
      0x30, 0x08,        // ADD_ADDR_ULEB 8
      0x41,              // ADD_ADDR_IMM_SCALED 1 (one pointer)
      0x60, 0x02,        // DO_REBASE_ULEB_TIMES 2: 0x4030, 0x4038
      0x70, 0x08,        // DO_REBASE_ADD_ADDR_ULEB: 0x4040, then skip 8
      0x80, 0x02, 0x08,  // DO_REBASE_ULEB_TIMES_SKIPPING_ULEB 2, 8: 0x4050, 0x4060
      0x00,              // DONE
      0x52,              // after DONE: ignored
  };
  EXPECT_EQ(Addresses(DecodeRebases(TwoSegments(), opcodes)),
            (std::vector<uint64_t>{0x4010, 0x4018, 0x4030, 0x4038, 0x4040, 0x4050, 0x4060}));
}

TEST(RebaseOpcodesTest, RefusesWhatTheDeviceWouldNotLoad) {
  const Slice s = TwoSegments();
  auto message = [&](std::vector<uint8_t> opcodes) {
    try {
      DecodeRebases(s, opcodes);
    } catch (const LoadError &e) {
      return std::string(e.what());
    }
    return std::string("(accepted)");
  };
  EXPECT_NE(message({0x11, 0x21, 0x80, 0x80, 0x01, 0x51}).find("outside segment __DATA"), std::string::npos);
  EXPECT_NE(message({0x11, 0x25, 0x00, 0x51}).find("segment index 5"), std::string::npos);
  EXPECT_NE(message({0x11, 0x21, 0x80}).find("runs past the end"), std::string::npos);
  EXPECT_NE(message({0x51}).find("before a segment"), std::string::npos);
  EXPECT_NE(message({0x12, 0x21, 0x00, 0x51}).find("not a pointer"), std::string::npos);
  EXPECT_NE(message({0x90}).find("unknown opcode 0x90"), std::string::npos);
}

TEST(BindOpcodesTest, OrdinalsSymbolsAddendsAndEveryBindOpcode) {
  const std::vector<uint8_t> opcodes = {
      0x11,                    // ordinal 1
      0x40, '_', 'a', 0,       // symbol _a
      0x51,                    // type pointer
      0x71, 0x00,              // segment 1, offset 0
      0x90,                    // DO_BIND: 0x4000
      0x60, 0x7c,              // addend -4
      0xa0, 0x08,              // DO_BIND_ADD_ADDR_ULEB: 0x4008, then skip 8
      0x20, 0x83, 0x01,        // ordinal 131
      0xb1,                    // DO_BIND_ADD_ADDR_IMM_SCALED: 0x4018, then skip one pointer
      0x3e,                    // special ordinal -2 (flat lookup)
      0x41, '_', 'w', 0,       // symbol _w, weak import
      0xc0, 0x02, 0x08,        // DO_BIND_ULEB_TIMES_SKIPPING_ULEB 2, 8: 0x4028, 0x4038
      0x00,                    // DONE
  };
  const std::vector<Bind> binds = DecodeBinds(TwoSegments(), opcodes, false);
  ASSERT_EQ(binds.size(), 5u);
  const struct {
    uint64_t address;
    const char *symbol;
    int ordinal;
    int64_t addend;
    bool weak;
  } expected[] = {{0x4000, "_a", 1, 0, false},
                  {0x4008, "_a", 1, -4, false},
                  {0x4018, "_a", 131, -4, false},
                  {0x4028, "_w", -2, -4, true},
                  {0x4038, "_w", -2, -4, true}};
  for (size_t i = 0; i < binds.size(); ++i) {
    EXPECT_EQ(binds[i].address, expected[i].address) << i;
    EXPECT_EQ(binds[i].symbol, expected[i].symbol) << i;
    EXPECT_EQ(binds[i].ordinal, expected[i].ordinal) << i;
    EXPECT_EQ(binds[i].addend, expected[i].addend) << i;
    EXPECT_EQ(binds[i].weakImport, expected[i].weak) << i;
    EXPECT_FALSE(binds[i].lazy);
  }
}

TEST(BindOpcodesTest, LazyBindsSeparateTheirEntriesWithDone) {
  const std::vector<uint8_t> opcodes = {0x71, 0x10, 0x11, 0x40, '_', 'x', 0, 0x90, 0x00,
                                        0x71, 0x18, 0x12, 0x40, '_', 'y', 0, 0x90, 0x00};
  const std::vector<Bind> lazy = DecodeBinds(TwoSegments(), opcodes, true);
  ASSERT_EQ(lazy.size(), 2u);
  EXPECT_EQ(lazy[0].address, 0x4010u);
  EXPECT_EQ(lazy[0].symbol, "_x");
  EXPECT_EQ(lazy[1].address, 0x4018u);
  EXPECT_EQ(lazy[1].symbol, "_y");
  EXPECT_EQ(TwoSegments().LibraryOf(lazy[1].ordinal), "/usr/lib/libSystem.B.dylib");
  EXPECT_TRUE(lazy[1].lazy);
  // Read as a non-lazy stream, the first DONE ends it.
  EXPECT_EQ(DecodeBinds(TwoSegments(), opcodes, false).size(), 1u);
}

TEST(BindOpcodesTest, RefusesBindsWithoutSymbolOrSegment) {
  const Slice s = TwoSegments();
  EXPECT_THROW(DecodeBinds(s, {0x11, 0x71, 0x00, 0x90}, false), LoadError);             // no symbol
  EXPECT_THROW(DecodeBinds(s, {0x11, 0x40, '_', 'a', 0, 0x90}, false), LoadError);      // no segment
  EXPECT_THROW(DecodeBinds(s, {0x11, 0x40, '_', 'a'}, false), LoadError);               // unterminated name
  EXPECT_THROW(DecodeBinds(s, {0x11, 0x40, '_', 'a', 0, 0x71, 0x80, 0x80, 0x01, 0x90}, false), LoadError);
}

// llvm-objdump's reading of one table of a slice: "address symbol" lines (or addresses alone).
std::multiset<std::string> ObjdumpTable(Arch arch, const char *option) {
  const std::string command = "/usr/lib/llvm-14/bin/llvm-objdump --macho --arch " + std::string(ArchName(arch)) + " " +
                              option + " " + ShippedDylibPath();
  std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
  std::multiset<std::string> rows;
  char line[512];
  while (pipe && fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::istringstream in(line);
    std::string segment, section, address, last, word;
    if (!(in >> segment >> section >> address) || address.rfind("0x", 0) != 0) continue;
    while (in >> word) last = word;
    rows.insert(std::to_string(std::stoull(address, nullptr, 16)) + (std::string(option) == "--rebase" ? "" : " " + last));
  }
  return rows;
}

TEST_P(EachSlice, DecodedTablesAreLlvmObjdumpsTables) {
  const Slice slice = ParseSlice(ShippedDylib(), GetParam());
  std::multiset<std::string> rebases, binds, lazy;
  for (const Rebase &r : DecodeRebases(slice, slice.dyldInfo.rebase)) rebases.insert(std::to_string(r.address));
  for (const Bind &b : DecodeBinds(slice, slice.dyldInfo.bind, false)) binds.insert(std::to_string(b.address) + " " + b.symbol);
  for (const Bind &b : DecodeBinds(slice, slice.dyldInfo.lazyBind, true)) lazy.insert(std::to_string(b.address) + " " + b.symbol);
  EXPECT_FALSE(binds.empty());
  EXPECT_EQ(rebases, ObjdumpTable(GetParam(), "--rebase"));
  EXPECT_EQ(binds, ObjdumpTable(GetParam(), "--bind"));
  EXPECT_EQ(lazy, ObjdumpTable(GetParam(), "--lazy-bind"));
}

std::vector<uint8_t> FatOf(const std::vector<uint8_t> &thin, int32_t cpuType, int32_t cpuSubtype) {
  std::vector<uint8_t> fat(0x4000 + thin.size(), 0);
  auto be = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) fat[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  be(0, 0xcafebabe);
  be(4, 1);
  be(8, static_cast<uint32_t>(cpuType));
  be(12, static_cast<uint32_t>(cpuSubtype));
  be(16, 0x4000);
  be(20, static_cast<uint32_t>(thin.size()));
  be(24, 14);
  std::memcpy(fat.data() + 0x4000, thin.data(), thin.size());
  return fat;
}

TEST(SliceTest, OneSliceOfAFatFileReadsAsTheThinFile) {
  if (!ShippedDylibHas(Arch::arm64)) GTEST_SKIP() << "no arm64 slice";
  const Slice thin = ParseSlice(ShippedDylib(), Arch::arm64);
  const std::vector<uint8_t> fat = FatOf(thin.bytes, 12 | 0x01000000, 0);
  EXPECT_EQ(ArchitecturesOf(fat), std::vector<Arch>{Arch::arm64});
  const Slice fromFat = ParseSlice(fat, Arch::arm64);
  EXPECT_EQ(fromFat.bytes, thin.bytes);
  EXPECT_EQ(fromFat.installName, "/Library/MobileSubstrate/DynamicLibraries/duskwell.dylib");
  EXPECT_EQ(fromFat.libraries, thin.libraries);
  try {
    ParseSlice(fat, Arch::armv7);
    FAIL() << "an armv7 slice was found";
  } catch (const LoadError &e) {
    EXPECT_STREQ(e.what(), "the fat file has no armv7 slice");
  }
}

TEST(SliceTest, RefusesFilesThatAreNotDylibsOfTheseProcessors) {
  auto message = [](const std::vector<uint8_t> &file, Arch arch) {
    try {
      ParseSlice(file, arch);
    } catch (const LoadError &e) {
      return std::string(e.what());
    }
    return std::string("(accepted)");
  };
  EXPECT_NE(message({'h', 'e', 'l', 'l', 'o', 0, 0, 0}, Arch::arm64).find("not a Mach-O file"), std::string::npos);
  EXPECT_NE(message({0xcf, 0xfa, 0xed}, Arch::arm64).find("truncated"), std::string::npos);
  if (ShippedDylibHas(Arch::arm64) && !ShippedDylibHas(Arch::armv7)) {
    EXPECT_EQ(message(ShippedDylib(), Arch::armv7), "the file is arm64, not armv7");
  }
  std::vector<uint8_t> x86(32, 0);
  const uint32_t header[] = {0xfeedfacf, 0x01000007, 3, 6};
  std::memcpy(x86.data(), header, sizeof header);
  EXPECT_NE(message(x86, Arch::arm64).find("unsupported cpu type"), std::string::npos);
}

// The shipped dylib loaded at a slide, as the device does it.
class LoadedSlice : public EachSlice {
 protected:
  void SetUp() override {
    EachSlice::SetUp();
    if (IsSkipped()) return;
    device_ = std::make_unique<Device>(ShippedDylib(), GetParam(), [](const std::string &) { return FileContents{}; });
    device_->Load();
  }
  std::unique_ptr<Device> device_;
};

TEST_P(LoadedSlice, RebasesSlideEveryPointerAndTheInitialiserIsTheConstructor) {
  Device &d = *device_;
  EXPECT_NE(d.slide(), 0u);
  const Section *init = d.slice().FindSection("__DATA", "__mod_init_func");
  ASSERT_NE(init, nullptr);
  ASSERT_EQ(init->size, d.machine().pointerSize());
  const uint64_t constructor = d.SymbolAddress("__ZL15_logosLocalInitv");
  EXPECT_EQ(d.machine().ReadPointer(init->address + d.slide()), constructor);
  if (GetParam() == Arch::armv7) {
    EXPECT_EQ(constructor & 1, 1u) << "Thumb code is entered at an odd address";
  }
  for (const Rebase &r : DecodeRebases(d.slice(), d.slice().dyldInfo.rebase)) {
    const uint64_t value = d.machine().ReadPointer(r.address + d.slide());
    EXPECT_GE(value, d.slide()) << "pointer at " << r.address << " not slid";
  }
}

// (Lazy pointers are bound at their first call: LazyBindingTest.cpp.)
TEST_P(LoadedSlice, EveryNonLazyImportPointsAtTheModelsAnswer) {
  Device &d = *device_;
  const std::vector<Bind> binds = DecodeBinds(d.slice(), d.slice().dyldInfo.bind, false);
  ASSERT_FALSE(binds.empty());
  for (const Bind &b : binds) {
    const uint64_t value = d.machine().ReadPointer(b.address + d.slide());
    if (b.symbol == "___CFConstantStringClassReference") {
      EXPECT_EQ(value, d.runtime().Class("__NSCFConstantString").handle);
    } else if (b.symbol.rfind("_OBJC_CLASS_$_", 0) == 0) {
      EXPECT_EQ(value, d.runtime().Class(b.symbol.substr(14)).handle) << b.symbol;
    } else if (b.symbol == "___stack_chk_guard") {
      EXPECT_NE(d.machine().ReadPointer(value), 0u) << "the guard has a value";
    } else {
      EXPECT_TRUE(d.machine().IsTrap(value)) << b.symbol << " -> " << value;
      EXPECT_EQ(d.machine().TrapName(value), b.symbol == "_objc_msgSend" ? "objc_msgSend" : b.symbol) << b.symbol;
    }
  }
}

TEST_P(LoadedSlice, SelectorReferencesAreUniquedAndConstantStringsRead) {
  Device &d = *device_;
  int selrefs = 0;
  for (const Section &s : d.slice().sections) {
    if (s.name != "__objc_selrefs") continue;
    for (uint64_t at = 0; at < s.size; at += d.machine().pointerSize(), ++selrefs) {
      const uint64_t sel = d.machine().ReadPointer(s.address + d.slide() + at);
      ASSERT_TRUE(d.runtime().IsSelector(sel));
      EXPECT_EQ(d.runtime().Selector(d.runtime().SelectorName(sel)), sel);
    }
  }
  EXPECT_GT(selrefs, 0);
  const Section *cfstrings = d.slice().FindSection("__DATA", "__cfstring");
  ASSERT_NE(cfstrings, nullptr);
  const unsigned p = d.machine().pointerSize();
  std::set<std::string> texts;
  for (uint64_t at = cfstrings->address + d.slide(); at < cfstrings->address + cfstrings->size + d.slide(); at += 4 * p) {
    ASSERT_TRUE(d.runtime().IsString(at));
    const std::string text = d.machine().ReadCString(d.machine().ReadPointer(at + 2 * p));
    EXPECT_EQ(d.runtime().StringValue(at), std::u16string(text.begin(), text.end()));
    texts.insert(text);
  }
  EXPECT_TRUE(texts.count("/var/mobile/Library/Preferences/com.tervan.duskwell.plist"));
  EXPECT_TRUE(texts.count("#181818"));
}

TEST_P(LoadedSlice, TheCategoryIsAttachedToUIColorFromTheBinarysMethodList) {
  Runtime &rt = device_->runtime();
  ClassInfo &color = rt.Class("UIColor");
  for (const char *method : {"initWithHex:", "isSameColor:"}) {
    const uint64_t imp = rt.LookUpInClass(&color, false, rt.Selector(method));
    EXPECT_TRUE(rt.IsImageCode(imp)) << method;
  }
  const uint64_t isSameColor = rt.LookUpInClass(&color, false, rt.Selector("isSameColor:"));
  if (GetParam() == Arch::armv7) {
    EXPECT_EQ(isSameColor & 1, 1u) << "a Thumb method";
  }
  for (const Symbol &symbol : device_->slice().symbols) {
    if (symbol.name == "-[UIColor(CompareAndHex) isSameColor:]") {
      EXPECT_EQ(isSameColor, symbol.address + device_->slide());
    }
  }
}

// An import the model does not know stops the load with its name and library.
TEST_P(EachSlice, AnUnknownImportStopsTheLoadNamingSymbolAndLibrary) {
  std::vector<uint8_t> file = ShippedDylib();
  const std::string from = "_LCPParseColorString", to = "_LCPParseColorStrinX";
  int replaced = 0;
  for (auto it = std::search(file.begin(), file.end(), from.begin(), from.end()); it != file.end();
       it = std::search(it + 1, file.end(), from.begin(), from.end())) {
    std::copy(to.begin(), to.end(), it);
    ++replaced;
  }
  ASSERT_GT(replaced, 0);
  Device device(file, GetParam(), [](const std::string &) { return FileContents{}; });
  try {
    device.Load();
    FAIL() << "the load went on";
  } catch (const LoadError &e) {
    EXPECT_STREQ(e.what(), "import _LCPParseColorStrinX from /usr/lib/libcolorpicker.dylib is not known to the device model");
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, EachSlice, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);
INSTANTIATE_TEST_SUITE_P(Slices, LoadedSlice, ::testing::Values(Arch::arm64, Arch::armv7), SliceName);

}  // namespace
}  // namespace device
