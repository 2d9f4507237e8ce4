// The calling conventions of both slices, run on hand-assembled code: where arguments go, where
// results come from, Thumb entry at odd addresses, traps reached from emulated code, and host
// steps that call back into emulated code while a trap is running.
#include "Machine.h"

#include <gtest/gtest.h>

#include <cstring>

namespace device {
namespace {

constexpr uint64_t kCodeBase = 0x1000000;

uint64_t PlaceCode(Machine &m, const std::vector<uint8_t> &bytes) {
  m.Map(kCodeBase, 0x1000, 1 | 4);
  m.Write(kCodeBase, bytes.data(), bytes.size());
  return kCodeBase;
}

Location Core(unsigned i) { return Location{Location::coreRegister, i, 0}; }
Location Float(unsigned i) { return Location{Location::floatRegister, i, 0}; }
Location Stack(unsigned offset, unsigned size) { return Location{Location::stack, offset, size}; }

// Runs `code` on `arch` (`entry` 1: in Thumb state): it is to call a trap with the words 0xabc and
// 0xdef and the CGFloats 1.5 and 2.5, and to add 1.0 to the trap's result, the CGFloats' sum.
void ExpectSumThroughTrap(Arch arch, const std::vector<uint8_t> &code, uint64_t entry) {
  Machine m(arch);
  std::vector<Value> seen;
  const uint64_t trap = m.AddTrap("sum", [&m, &seen] {
    seen = m.Arguments({Kind::word, Kind::word, Kind::cgfloat, Kind::cgfloat});
    m.Return(Value::Real(seen[2].real + seen[3].real));
  });
  const Value result =
      m.Call(PlaceCode(m, code) | entry, {Value::Word(0xabc), Value::Word(0xdef), Value::Word(trap)}, Kind::cgfloat);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].word, 0xabcu);
  EXPECT_EQ(seen[1].word, 0xdefu);
  EXPECT_EQ(seen[2].real, 1.5);
  EXPECT_EQ(seen[3].real, 2.5);
  EXPECT_EQ(result.real, 5.0);
}

void ExpectLayout(const std::vector<Location> &actual, const std::vector<Location> &expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].place, expected[i].place) << "argument " << i;
    EXPECT_EQ(actual[i].index, expected[i].index) << "argument " << i;
    EXPECT_EQ(actual[i].size, expected[i].size) << "argument " << i;
  }
}

TEST(CallingConventionTest, Arm64PutsComponentsInFloatRegistersAndObjectsInCoreRegisters) {
  // initWithRed:green:blue:alpha: — receiver and selector in x0/x1, the four CGFloats in d0-d3.
  const std::vector<Kind> kinds = {Kind::word, Kind::word, Kind::cgfloat, Kind::cgfloat, Kind::cgfloat, Kind::cgfloat};
  ExpectLayout(ArgumentLayout(Arch::arm64, kinds), {Core(0), Core(1), Float(0), Float(1), Float(2), Float(3)});
  // Mixed: words and floats are counted separately.
  ExpectLayout(ArgumentLayout(Arch::arm64, {Kind::word, Kind::cgfloat, Kind::word, Kind::boolean}),
               {Core(0), Float(0), Core(1), Core(2)});
}

TEST(CallingConventionTest, Arm64PacksStackArgumentsAtTheirOwnSize) {
  std::vector<Kind> kinds(8, Kind::word);
  kinds.push_back(Kind::boolean);  // one byte at sp+0
  kinds.push_back(Kind::boolean);  // the next byte, not the next 8-byte slot
  kinds.push_back(Kind::word);     // aligned to 8 again
  std::vector<Location> expected;
  for (unsigned i = 0; i < 8; ++i) expected.push_back(Core(i));
  expected.push_back(Stack(0, 1));
  expected.push_back(Stack(1, 1));
  expected.push_back(Stack(8, 8));
  ExpectLayout(ArgumentLayout(Arch::arm64, kinds), expected);
}

TEST(CallingConventionTest, Armv7PassesFloatsInCoreRegistersThenOnTheStack) {
  const std::vector<Kind> kinds = {Kind::word, Kind::word, Kind::cgfloat, Kind::cgfloat, Kind::cgfloat, Kind::cgfloat};
  ExpectLayout(ArgumentLayout(Arch::armv7, kinds), {Core(0), Core(1), Core(2), Core(3), Stack(0, 4), Stack(4, 4)});
}

TEST(CallingConventionTest, Arm64CallsEmulatedCodeWithFloatArgumentsAndAFloatResult) {
  Machine m(Arch::arm64);
  // fadd d0, d0, d1; fadd d0, d0, d2; fadd d0, d0, d3; ret
  const uint64_t f = PlaceCode(m, {0x00, 0x28, 0x61, 0x1e, 0x00, 0x28, 0x62, 0x1e, 0x00, 0x28, 0x63, 0x1e, 0xc0, 0x03,
                                   0x5f, 0xd6});
  const Value sum = m.Call(f, {Value::Word(1), Value::Word(2), Value::Real(0.25), Value::Real(0.5), Value::Real(1.0 / 3),
                               Value::Real(2)},
                           Kind::cgfloat);
  EXPECT_EQ(sum.real, 0.25 + 0.5 + 1.0 / 3 + 2);
}

TEST(CallingConventionTest, Arm64CallsEmulatedCodeWithStackArguments) {
  Machine m(Arch::arm64);
  // ldr x0, [sp]; ldr x1, [sp, #8]; add x0, x0, x1; ret
  const uint64_t f = PlaceCode(m, {0xe0, 0x03, 0x40, 0xf9, 0xe1, 0x07, 0x40, 0xf9, 0x00, 0x00, 0x01, 0x8b, 0xc0, 0x03,
                                   0x5f, 0xd6});
  std::vector<Value> args;
  for (uint64_t i = 0; i < 8; ++i) args.push_back(Value::Word(100 + i));
  args.push_back(Value::Word(0x100000000ull));
  args.push_back(Value::Word(7));
  EXPECT_EQ(m.Call(f, args, Kind::word).word, 0x100000007ull);
}

TEST(CallingConventionTest, Armv7EntersThumbCodeAtOddAddressesAndReadsFloatsFromCoreRegistersAndStack) {
  Machine m(Arch::armv7);
  // vmov s0, r2; vmov s1, r3; vadd.f32 s0, s0, s1; vldr s1, [sp]; vadd.f32; vldr s1, [sp, #4];
  // vadd.f32; vmov r0, s0; bx lr
  const uint64_t f = PlaceCode(m, {0x00, 0xee, 0x10, 0x2a, 0x00, 0xee, 0x90, 0x3a, 0x30, 0xee, 0x20, 0x0a, 0xdd, 0xed,
                                   0x00, 0x0a, 0x30, 0xee, 0x20, 0x0a, 0xdd, 0xed, 0x01, 0x0a, 0x30, 0xee, 0x20, 0x0a,
                                   0x10, 0xee, 0x10, 0x0a, 0x70, 0x47});
  const Value sum = m.Call(f | 1, {Value::Word(1), Value::Word(2), Value::Real(0.25), Value::Real(0.5),
                                   Value::Real(1.0 / 3), Value::Real(2)},
                           Kind::cgfloat);
  // Single precision throughout: each argument and each partial sum is a float.
  const float expected = ((0.25f + 0.5f) + static_cast<float>(1.0 / 3)) + 2.0f;
  EXPECT_EQ(sum.real, static_cast<double>(expected));
}

TEST(CallingConventionTest, Arm64TrapReadsFloatRegistersAndReturnsInD0) {
  // stp x29, x30, [sp, #-16]!; mov x9, x2; fmov d0, #1.5; fmov d1, #2.5; blr x9; fmov d1, #1.0;
  // fadd d0, d0, d1; ldp x29, x30, [sp], #16; ret
  ExpectSumThroughTrap(Arch::arm64,
                       {0xfd, 0x7b, 0xbf, 0xa9, 0xe9, 0x03, 0x02, 0xaa, 0x00, 0x10, 0x6f, 0x1e, 0x01, 0x90,
                        0x60, 0x1e, 0x20, 0x01, 0x3f, 0xd6, 0x01, 0x10, 0x6e, 0x1e, 0x00, 0x28, 0x61, 0x1e,
                        0xfd, 0x7b, 0xc1, 0xa8, 0xc0, 0x03, 0x5f, 0xd6},
                       0);
}

TEST(CallingConventionTest, Armv7TrapReadsFloatBitsFromCoreRegistersAndReturnsToThumb) {
  // push {r4, lr}; mov r4, r2; movw/movt r2, 1.5f; movw/movt r3, 2.5f; blx r4; vmov s0, r0;
  // vmov.f32 s1, #1.0; vadd.f32 s0, s0, s1; vmov r0, s0; pop {r4, pc}
  ExpectSumThroughTrap(Arch::armv7,
                       {0x10, 0xb5, 0x14, 0x46, 0x40, 0xf2, 0x00, 0x02, 0xc3, 0xf6, 0xc0, 0x72, 0x40, 0xf2,
                        0x00, 0x03, 0xc4, 0xf2, 0x20, 0x03, 0xa0, 0x47, 0x00, 0xee, 0x10, 0x0a, 0xf7, 0xee,
                        0x00, 0x0a, 0x30, 0xee, 0x20, 0x0a, 0x10, 0xee, 0x10, 0x0a, 0x10, 0xbd},
                       1);
}

TEST(CallingConventionTest, ATrapMayRunEmulatedCodeAndTheOuterRunGoesOn) {
  Machine m(Arch::arm64);
  // The second function (at +0x100) adds its four float arguments.
  std::vector<uint8_t> code = {0xfd, 0x7b, 0xbf, 0xa9, 0xe9, 0x03, 0x02, 0xaa, 0x00, 0x10, 0x6f, 0x1e, 0x01, 0x90,
                               0x60, 0x1e, 0x20, 0x01, 0x3f, 0xd6, 0x01, 0x10, 0x6e, 0x1e, 0x00, 0x28, 0x61, 0x1e,
                               0xfd, 0x7b, 0xc1, 0xa8, 0xc0, 0x03, 0x5f, 0xd6};
  code.resize(0x100, 0);
  for (uint8_t b : {0x00, 0x28, 0x61, 0x1e, 0x00, 0x28, 0x62, 0x1e, 0x00, 0x28, 0x63, 0x1e, 0xc0, 0x03, 0x5f, 0xd6}) {
    code.push_back(b);
  }
  const uint64_t outer = PlaceCode(m, code), inner = outer + 0x100;
  int nested = 0;
  const uint64_t trap = m.AddTrap("re-enter", [&] {
    std::vector<Value> a = m.Arguments({Kind::word, Kind::word, Kind::cgfloat, Kind::cgfloat});
    // As a UIKit implementation that sends a message landing in the library's code.
    const Value inside = m.Call(inner, {Value::Word(0), Value::Word(0), a[2], a[3], Value::Real(10), Value::Real(20)},
                                Kind::cgfloat);
    ++nested;
    m.Return(inside);
  });
  const Value result = m.Call(outer, {Value::Word(0), Value::Word(0), Value::Word(trap)}, Kind::cgfloat);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(result.real, 1.5 + 2.5 + 10 + 20 + 1.0);
}

TEST(CallingConventionTest, AFailureInsideATrapStopsEveryRunWithItsMessage) {
  Machine m(Arch::arm64);
  const uint64_t trap = m.AddTrap("fails", [] { throw RunError("unknown import _foo from /usr/lib/libfoo.dylib"); });
  const uint64_t f = PlaceCode(m, {0xfd, 0x7b, 0xbf, 0xa9, 0xe9, 0x03, 0x02, 0xaa, 0x00, 0x10, 0x6f, 0x1e, 0x01, 0x90,
                                   0x60, 0x1e, 0x20, 0x01, 0x3f, 0xd6, 0x01, 0x10, 0x6e, 0x1e, 0x00, 0x28, 0x61, 0x1e,
                                   0xfd, 0x7b, 0xc1, 0xa8, 0xc0, 0x03, 0x5f, 0xd6});
  try {
    m.Call(f, {Value::Word(0), Value::Word(0), Value::Word(trap)}, Kind::cgfloat);
    FAIL() << "the run went on";
  } catch (const RunError &e) {
    EXPECT_STREQ(e.what(), "unknown import _foo from /usr/lib/libfoo.dylib");
  }
  // The machine is usable again afterwards.
  EXPECT_EQ(m.Call(f, {Value::Word(0), Value::Word(0), Value::Word(m.AddTrap("ok", [&] { m.Return(Value::Real(0)); }))},
                   Kind::cgfloat)
                .real,
            1.0);
}

TEST(CallingConventionTest, UnmappedMemoryStopsTheRunNamingTheAddress) {
  Machine m(Arch::arm64);
  // ldr x0, [sp] with sp pointing nowhere is not possible here; jump to an unmapped address instead.
  try {
    m.Call(0xdead0000, {}, Kind::none);
    FAIL() << "the run went on";
  } catch (const RunError &e) {
    EXPECT_NE(std::string(e.what()).find("0xdead0000"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace device
